// Interleaving stress test for Hollin under Wine: an installer of several large files, a
// .reg file, a shell verb and links is started again and again and driven from outside with
// a seeded random sequence of clicks on every control, reading-menu commands, file-list
// picks, accelerators and other key presses while Setup, Uninstall and the reading mode run.
// After every install it compares the installed files with the packaged ones, the registry
// and links with an undisturbed run, the uninstaller byte for byte, and the files outside
// the install folder with how they were; after every uninstall it checks that everything is
// gone again. It fails on a crash, a hang (no answer to a window message for 30 s) or any
// difference, and prints its seed.
//
//   hollin_stress [--seed N] [--seconds S]
#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "installer/actions/registration.h"
#include "installer/actions/win/windows_platform.h"
#include "installer/package/block.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_writer.h"
#include "installer/package/stream.h"
#include "tests/hollin/test_support.h"

namespace hollin {
namespace {

using vellumo::win::UniqueHandle;

// Control ids of Hollin's main window (creation order from 101).
enum : int {
  kPrev = 106, kNext = 107, kFileList = 108, kPanel = 109, kAcceptArea = 112, kBrowse = 114,
  kView = 115, kPath = 116, kSetup = 117, kAcceptBox = 118, kSkipCrc = 119, kHelp = 120,
  kUninstall = 121, kProgress = 123,
};
constexpr int kNav = 105;
constexpr DWORD kHangMs = 30000;
constexpr char kProduct[] = "HollinStress";
constexpr char kVerb[] = "Hollin stress verb";
constexpr char kRegKey[] = "Software\\HollinStress";
constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\HollinStress";

uint64_t g_seed = 0;
long g_actions = 0;
std::string g_recent[12];  // the last commands sent, printed with a failure
HANDLE g_child = nullptr;  // the Hollin now running, ended with a failure

// Under Wine, prints the stacks of process `pid`'s threads (winedbg's "bt all", cut to that
// process), so that a hang says where the program was.
void PrintStacks(DWORD pid) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
  char temp[MAX_PATH], path[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  GetTempFileNameA(temp, "stk", 0, path);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  UniqueHandle out(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
  if (!out) return;
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = out.get();
  PROCESS_INFORMATION pi = {};
  std::string command = "winedbg --command \"bt all\" " + std::to_string(pid);
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return;
  if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  out.reset();
  char own[32];
  std::snprintf(own, sizeof own, "in process %04lx ", static_cast<unsigned long>(pid));
  std::printf("stacks of process %04lx:\n", static_cast<unsigned long>(pid));
  if (FILE* f = std::fopen(path, "r")) {
    char line[1024];
    bool mine = false;
    while (std::fgets(line, sizeof line, f)) {
      if (std::strncmp(line, "Backtracing for thread", 22) == 0) mine = std::strstr(line, own) != nullptr;
      if (mine) std::fputs(line, stdout);
    }
    std::fclose(f);
  }
  DeleteFileA(path);
}

[[noreturn]] void Fail(const std::string& what) {
  std::printf("FAILED (seed %llu): %s\nlast commands, oldest first:\n", static_cast<unsigned long long>(g_seed), what.c_str());
  for (long i = g_actions - 12; i < g_actions; ++i)
    if (i >= 0) std::printf("  %ld %s\n", i, g_recent[i % 12].c_str());
  std::fflush(stdout);
  if (g_child) TerminateProcess(g_child, 99);
  ExitProcess(1);
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  auto f = FileStream::Open(path, FileStream::Mode::kRead);
  if (!f) return bytes;
  bytes.resize(static_cast<size_t>(f->Size()));
  if (!bytes.empty()) bytes.resize(f->Read(bytes.data(), bytes.size()));
  return bytes;
}
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Everything below `folder` (sizes, times and the bytes of small files), skipping `except`.
void Snapshot(const std::string& folder, const std::string& except, std::map<std::string, std::string>* out) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = folder + "\\" + name;
    if (_stricmp(path.c_str(), except.c_str()) == 0) continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*out)[path] = "<folder>";
      Snapshot(path, except, out);
    } else {
      std::string v = std::to_string(data.nFileSizeLow) + "/" + std::to_string(data.ftLastWriteTime.dwLowDateTime);
      if (data.nFileSizeLow < 65536) {
        std::vector<uint8_t> b = FileBytes(path);
        v += ":" + std::string(b.begin(), b.end());
      }
      (*out)[path] = v;
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

std::string RegString(HKEY root, const std::string& key, const char* name) {
  vellumo::win::RegKey k;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) return "<no key>";
  char buffer[1024];
  DWORD size = sizeof buffer, type = 0;
  if (RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return "<no value>";
  return std::string(buffer, size && buffer[size - 1] == 0 ? size - 1 : size);
}

struct Child {
  UniqueHandle process;
  DWORD pid = 0;
};

Child Launch(const std::string& exe, const std::string& arg) {
  Child c;
  std::string command = "\"" + exe + "\"" + (arg.empty() ? "" : " " + arg);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    Fail("cannot start " + exe);
  CloseHandle(pi.hThread);
  c.process.reset(pi.hProcess);
  c.pid = pi.dwProcessId;
  g_child = pi.hProcess;
  return c;
}

struct FindArgs {
  DWORD pid;
  const char* cls;
  HWND found;
};
bool g_hidden_too = false;
BOOL CALLBACK FindTop(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<FindArgs*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (pid == f->pid && strcmp(cls, f->cls) == 0 && (g_hidden_too || IsWindowVisible(w))) {
    f->found = w;
    return FALSE;
  }
  return TRUE;
}
// A visible top-level window of the process, or (hidden_too) any.
HWND FindTopWindow(DWORD pid, const char* cls, bool hidden_too = false) {
  FindArgs f{pid, cls, nullptr};
  g_hidden_too = hidden_too;
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

std::string Text(HWND w) {
  char text[512] = {};
  DWORD_PTR result = 0;
  SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kHangMs, &result);
  return text;
}

// One running Hollin (installer or uninstaller) and the random commands sent to it.
class Driver {
 public:
  // `runs_by_itself`: started with "/u", the program works before its window shows and
  // ends by itself; its (hidden) window gets the commands meanwhile.
  Driver(Child child, std::mt19937_64& random, const char* what, bool runs_by_itself = false)
      : c_(std::move(child)), random_(random), what_(what) {
    for (int waited = 0; !main_; waited += 20) {
      main_ = FindTopWindow(c_.pid, "HollinMainWindow", runs_by_itself);
      if (main_) break;
      if (WaitForSingleObject(c_.process.get(), 20) == WAIT_OBJECT_0) {
        if (runs_by_itself) return;
        Fail(what_ + ": ended before its window showed");
      }
      if (waited > 60000) Fail(what_ + ": no window after 60 s");
    }
    panel_ = GetDlgItem(main_, kPanel);
    nav_ = GetDlgItem(main_, kNav);
  }
  HWND Control(int id) const {
    HWND in_panel = GetDlgItem(panel_, id);
    return in_panel ? in_panel : GetDlgItem(nav_, id);
  }
  bool Ended() { return WaitForSingleObject(c_.process.get(), 0) == WAIT_OBJECT_0; }
  bool HasWindow() const { return main_ != nullptr; }
  DWORD ExitCode() {
    DWORD code = 0;
    GetExitCodeProcess(c_.process.get(), &code);
    return code;
  }
  // The window answers within kHangMs, or the run fails.
  void CheckAlive() {
    if (Ended()) Fail(what_ + ": ended unexpectedly, exit code " + std::to_string(ExitCode()));
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(main_, WM_NULL, 0, 0, SMTO_NORMAL, kHangMs, &result)) {
      if (Ended()) Fail(what_ + ": ended unexpectedly, exit code " + std::to_string(ExitCode()));
      PrintStacks(c_.pid);
      Fail(what_ + ": no answer to a window message for 30 s");
    }
  }
  // Fails after printing what the program shows (its top-level windows, the procedure
  // buttons) and where its threads are.
  [[noreturn]] void Stuck(const std::string& what) {
    std::printf("windows of process %04lx (GUI modes %#lx):\n", static_cast<unsigned long>(c_.pid),
                static_cast<unsigned long>(Modes()));
    EnumWindows(PrintWindowOf, static_cast<LPARAM>(c_.pid));
    for (int id : {kSetup, kUninstall}) {
      HWND b = Control(id);
      std::printf("  button %d: \"%s\" %s %s\n", id, Text(b).c_str(), IsWindowVisible(b) ? "visible" : "hidden",
                  IsWindowEnabled(b) ? "enabled" : "disabled");
    }
    PrintStacks(c_.pid);
    Fail(what);
  }
  static BOOL CALLBACK PrintWindowOf(HWND w, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner != static_cast<DWORD>(pid)) return TRUE;
    char cls[64] = {}, title[128] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    std::printf("  %s \"%s\" %s %s\n", cls, title, IsWindowVisible(w) ? "visible" : "hidden",
                IsWindowEnabled(w) ? "enabled" : "disabled");
    return TRUE;
  }

  // The modes GetGUIThreadInfo tells of (a move or size loop, a menu), for a failure's
  // description. Wine does not tell the keyboard menu mode that F10 starts.
  DWORD Modes() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!main_ || !GetGUIThreadInfo(GetWindowThreadProcessId(main_, nullptr), &info)) return 0;
    return info.flags;
  }
  // F10 or Alt leaves the window in menu mode, Alt+Space then M or S in a move or size
  // loop: commands sent from outside are lost meanwhile, where a user's own click would end
  // the mode. When the program does not get on, press Escape, as the user would.
  void LeaveModes() {
    Key(0, VK_ESCAPE);
    Sleep(20);
    if (Modes() & (GUI_INMENUMODE | GUI_INMOVESIZE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) Key(0, VK_ESCAPE);
    last_escape_ = GetTickCount();
  }
  // While a procedure runs, a mode started by a random key holds it up until left: every
  // 30 s, as a user would.
  void LeaveModesNowAndThen() {
    if (GetTickCount() - last_escape_ > 30000) LeaveModes();
  }

  bool Checked(int id) { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  std::string Caption(int id) { return Text(Control(id)); }
  void Click(int id, WORD code = BN_CLICKED) {
    PostMessageA(main_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Control(id)));
  }
  void Command(unsigned id) { PostMessageA(main_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  // Closes every dialog of the program: folder dialogs are always cancelled (the user's own
  // choice of an outside folder is not what is tested), the rest answered at random.
  void AnswerDialogs() {
    for (int i = 0; i < 5; ++i) {
      HWND box = FindTopWindow(c_.pid, "#32770");
      if (!box) return;
      Sleep(30);
      int button = IDCANCEL;
      char title[256] = {};
      GetWindowTextA(box, title, sizeof title);
      if (GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO)) button = random_() % 4 ? IDYES : IDNO;
      else if (GetDlgItem(box, IDOK) && !GetDlgItem(box, 0x3744) && random_() % 2) button = IDOK;  // not a tree
      if (strstr(title, "folder") || FindWindowExA(box, nullptr, "SysTreeView32", nullptr)) button = IDCANCEL;
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
      for (int k = 0; k < 50 && IsWindow(box) && IsWindowVisible(box); ++k) Sleep(20);
      if (IsWindow(box) && IsWindowVisible(box)) PostMessageA(box, WM_CLOSE, 0, 0);
    }
  }

  void Key(WORD modifier, WORD key) {
    SetForegroundWindow(main_);
    INPUT input[4] = {};
    for (INPUT& in : input) in.type = INPUT_KEYBOARD;
    int n = 0;
    if (modifier) input[n++].ki.wVk = modifier;
    input[n++].ki.wVk = key;
    input[n].ki.wVk = key;
    input[n++].ki.dwFlags = KEYEVENTF_KEYUP;
    if (modifier) {
      input[n].ki.wVk = modifier;
      input[n++].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(n, input, sizeof(INPUT));
  }

  // One random command. `running`: a procedure runs, so also the commands that would end
  // an idle program (a second Setup or Uninstall, the close box) are sent; they must be
  // ignored.
  void Note(const std::string& what) { g_recent[(g_actions - 1) % 12] = what; }

  void RandomCommand(bool running) {
    ++g_actions;
    Note("?");
    static const int kClicks[] = {kAcceptArea, kBrowse, kView, kSkipCrc, kHelp, kPrev, kNext};
    static const unsigned kCommands[] = {40000, 40002, 40003, 40004, 40005, 40006, 40007, 40008, 40009,
                                         40010, 40012, 40013, 40014, 40015, 40017, 40018, 40020, 40021, 40022};
    static const WORD kCtrlKeys[] = {'R', VK_F1, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F10,
                                     'A', VK_SUBTRACT, VK_ADD, 'E'};
    static const WORD kAltKeys[] = {'A', 'D', 'N', 'G', 'B'};
    switch (random_() % 7) {
      case 0:
      case 1: {
        int id = kClicks[random_() % (sizeof kClicks / sizeof kClicks[0])];
        Note("click control " + std::to_string(id));
        Click(id, id == kAcceptArea ? STN_CLICKED : BN_CLICKED);
        break;
      }
      case 2:
      {
        unsigned id = kCommands[random_() % (sizeof kCommands / sizeof kCommands[0])];
        Note("reading command " + std::to_string(id));
        Command(id);
      }
        break;
      case 3: {
        HWND list = Control(kFileList);
        LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        if (count > 0) {
          int pick = static_cast<int>(random_() % count);
          char name[MAX_PATH] = {};
          SendMessageA(list, CB_GETLBTEXT, pick, reinterpret_cast<LPARAM>(name));
          Note(std::string("pick ") + name);
          PostMessageA(list, CB_SETCURSEL, pick, 0);
          PostMessageA(main_, WM_COMMAND, MAKEWPARAM(kFileList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        }
        break;
      }
      case 4:
        if (random_() % 3) {
          WORD key = kCtrlKeys[random_() % (sizeof kCtrlKeys / sizeof kCtrlKeys[0])];
          Note("ctrl key " + std::to_string(key));
          Key(VK_CONTROL, key);
        } else {
          WORD key = kAltKeys[random_() % (sizeof kAltKeys / sizeof kAltKeys[0])];
          Note("alt key " + std::to_string(key));
          Key(VK_MENU, key);
        }
        break;
      case 5:
        Note("tab");
        Key(0, VK_TAB);
        break;
      case 6:
        if (running) {
          switch (random_() % 3) {
            case 0: Note("setup"); Click(kSetup); break;
            case 1: Note("uninstall"); Click(kUninstall); break;
            default: Note("close"); PostMessageA(main_, WM_CLOSE, 0, 0); break;
          }
        }
        break;
    }
  }

  // Random commands for `count` steps while idle, answering dialogs.
  // `after_run`: commands sent while the procedure ran may still arrive and end the program.
  void Idle(int count, bool after_run = false) {
    for (int i = 0; i < count; ++i) {
      if (after_run && Ended() && ExitCode() == 0) return;
      RandomCommand(false);
      Sleep(random_() % 15);
      AnswerDialogs();
      if (!(after_run && Ended() && ExitCode() == 0)) CheckAlive();
    }
  }

  // Back in the install state with the licence accepted and the proposed folder.
  void ReadyForSetup(const std::string& folder) {
    for (int tries = 0; tries < 50; ++tries) {
      AnswerDialogs();
      if (tries >= 10) LeaveModes();  // stuck
      CheckAlive();
      if (!IsWindowVisible(panel_)) {
        Command(40000);  // Return
      } else if (!Checked(kAcceptBox)) {
        Click(kAcceptArea, STN_CLICKED);
      } else {
        const std::string path = Text(Control(kPath));
        if (path != folder && path != folder + "\\") Fail(what_ + ": path box changed to " + path);
        return;
      }
      Sleep(50);
    }
    Stuck(what_ + ": cannot get back to an accepted install state");
  }

  // Presses `button` and sends random commands until its caption reads "exit".
  int RunProcedure(int button) {
    AnswerDialogs();
    Click(button);
    int sent = 0;
    DWORD last_press = GetTickCount();
    for (DWORD start = GetTickCount(); Caption(button) != "exit"; ++sent) {
      // A second press or the close box sent while it ran, arriving just after it finished,
      // ends the program: rightly so. The checks that follow tell whether the run was whole.
      if (Ended() && ExitCode() == 0) return sent;
      // A press that came while another command ran (a dialog open) was rightly ignored: the
      // button is enabled again and the procedure has not run. Press again.
      if (IsWindowEnabled(Control(button)) && GetTickCount() - last_press > 1000) {
        AnswerDialogs();
        Click(button);
        last_press = GetTickCount();
      }
      // The commands that end an idle program only once the install has shown its progress
      // bar: until then the press may still wait in the queue, or have been ignored under a
      // dialog that a command sent earlier opened, and the program is rightly idle.
      RandomCommand(IsWindowVisible(GetDlgItem(main_, kProgress)) != FALSE);
      if (random_() % 4 == 0) Sleep(random_() % 10);
      AnswerDialogs();
      LeaveModesNowAndThen();
      if (!(Ended() && ExitCode() == 0)) CheckAlive();
      if (GetTickCount() - start > 300000) Stuck(what_ + ": did not finish in 5 minutes");
    }
    return sent;
  }

  // Ends the program with its "exit" button and waits for it.
  void Exit() {
    if (Ended() && ExitCode() == 0) return;  // ended already by a late "exit" press or close
    // A dialog still open (a reading command's) makes the press wait: it is ignored until the
    // dialog is answered, so answer and press again.
    const int button = IsWindowVisible(Control(kSetup)) ? kSetup : kUninstall;
    DWORD start = GetTickCount();
    do {
      AnswerDialogs();
      if (GetTickCount() - start > 5000) LeaveModes();  // stuck
      Click(button);
      if (GetTickCount() - start > kHangMs) Stuck(what_ + ": did not end on exit");
    } while (WaitForSingleObject(c_.process.get(), 1000) != WAIT_OBJECT_0);
    if (ExitCode() != 0) Fail(what_ + ": exit code " + std::to_string(ExitCode()));
  }

 private:
  Child c_;
  std::mt19937_64& random_;
  std::string what_;
  HWND main_ = nullptr, panel_ = nullptr, nav_ = nullptr;
  DWORD last_escape_ = GetTickCount();
};

struct Expected {
  std::vector<PackedFile> files;
  std::vector<std::vector<uint8_t>> contents;
  std::vector<uint8_t> uninstaller;
};

// Hardly compressible: the large files stay above the reading mode's 5 MB limit (it refuses
// them), and their blocks take many copy and inflate chunks, each a chance for a command.
std::vector<uint8_t> Pattern(size_t size, uint32_t salt) {
  std::vector<uint8_t> data(size);
  uint32_t x = salt * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    data[i] = static_cast<uint8_t>(x >> 23);
  }
  return data;
}

// What the registry and the links say after an install (or "gone" after an uninstall).
std::string SystemState(WindowsPlatform& platform) {
  std::string s;
  s += "uninstall:" + RegString(HKEY_LOCAL_MACHINE, kUninstallKey, "displayname") + "|" +
       RegString(HKEY_LOCAL_MACHINE, kUninstallKey, "uninstallstring") + "\n";
  s += "verb:" + RegString(HKEY_CLASSES_ROOT, std::string("*\\shell\\") + kVerb + "\\command", nullptr) + "\n";
  s += "reg:" + RegString(HKEY_CURRENT_USER, kRegKey, "imported") + "\n";
  for (const std::string& link : {platform.SpecialFolderPath(0) + "\\Hollin stress.lnk",
                                  platform.SpecialFolderPath(2) + "\\Hollin stress\\Readme.lnk"}) {
    LinkFields fields;
    s += "link:" + link + (platform.ReadLink(link, -1, &fields) ? "=" + fields.target + "|" + fields.working_folder
                                                                 : std::string("=none")) + "\n";
  }
  return s;
}

int Run(uint64_t seed, int seconds) {
  g_seed = seed;
  std::printf("hollin stress: seed %llu, %d s\n", static_cast<unsigned long long>(seed), seconds);
  std::fflush(stdout);
  CoInitialize(nullptr);
  std::mt19937_64 random(seed);
  const std::string work = test::ScratchFolder();
  const std::string folder = work + "\\Installed App";  // with a blank
  const std::string outside = work + "\\outside";
  CreateDirectoryA(outside.c_str(), nullptr);
  FILE* keep = std::fopen((outside + "\\keep.txt").c_str(), "wb");
  if (keep) {
    std::fputs("the user's", keep);
    std::fclose(keep);
  }
  CreateDirectoryA((outside + "\\empty").c_str(), nullptr);

  // The package: three files of tens of MB, texts, a .reg file, a verb, links, a key removal.
  PackagePlan plan = test::BasicPlan("Hollin stress");
  plan.self_check_on = false;
  plan.has_default_folder = true;
  plan.default_folder = folder;
  plan.has_uninstall_key = true;
  plan.uninstall_key = kProduct;
  plan.registry_import = true;
  plan.actions.any_file_verb.present = true;
  plan.actions.any_file_verb.verb = kVerb;
  plan.actions.any_file_verb.program = "docs\\readme.txt";
  plan.actions.desktop_shortcut.present = true;
  plan.actions.desktop_shortcut.link_name = "Hollin stress";
  plan.actions.desktop_shortcut.program = "docs\\readme.txt";
  plan.actions.program_group.kind = 1;
  plan.actions.program_group.group_name = "Hollin stress";
  plan.actions.program_group.links.push_back({"Readme", "docs\\readme.txt"});
  plan.actions.registry_removal[0].present = true;
  plan.actions.registry_removal[0].root_index = 1;
  plan.actions.registry_removal[0].key_path = kRegKey;
  Expected expected;
  struct Source {
    const char* name;
    std::vector<uint8_t> data;
  };
  std::vector<Source> sources;
  sources.push_back({"big one.bin", Pattern(24u << 20, 1)});
  sources.push_back({"data\\big two.bin", Pattern(12u << 20, 2)});
  sources.push_back({"data\\deep\\three.bin", Pattern(10u << 20, 3)});
  std::string reg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\HollinStress]\r\n\"imported\"=\"yes\"\r\n";
  sources.push_back({"settings.reg", std::vector<uint8_t>(reg.begin(), reg.end())});
  std::string readme = "Hollin stress\r\n{\\rtf1 not formatting}\r\n";
  sources.push_back({"docs\\readme.txt", std::vector<uint8_t>(readme.begin(), readme.end())});
  std::string page = "<html><body><p>A page &amp; more</p></body></html>";
  std::string manual;
  for (int i = 0; i < 3000; ++i) manual += "Line " + std::to_string(i) + " of the manual, <b>some</b> text\r\n";
  sources.push_back({"docs\\page.htm", std::vector<uint8_t>(page.begin(), page.end())});
  sources.push_back({"docs\\manual.txt", std::vector<uint8_t>(manual.begin(), manual.end())});
  DWORD packing = GetTickCount();
  for (const Source& s : sources) {
    PackedFile f;
    if (!PackFile(s.name, s.data.data(), s.data.size(), kPackCompressionLevel, &f)) Fail("packing");
    expected.files.push_back(f);
    expected.contents.push_back(s.data);
  }
  test::Installer installer = test::WriteInstaller("stress-setup.exe", plan, expected.files);
  if (installer.path.empty()) Fail("writing the installer");
  {
    MemoryStream image(installer.bytes);
    if (!BuildUninstallerFromInstaller(image, installer.package_offset, &expected.uninstaller))
      Fail("building the expected uninstaller");
  }
  std::printf("packed %zu files in %lu ms\n", expected.files.size(), GetTickCount() - packing);

  WindowsPlatform platform;
  // What an earlier run that failed may have left.
  DeleteKeyTree(platform, 2, std::string("software\\microsoft\\windows\\currentversion\\uninstall\\") + kProduct);
  DeleteKeyTree(platform, 3, std::string("*\\shell\\") + kVerb);
  DeleteKeyTree(platform, 1, kRegKey);
  DeleteFileA((platform.SpecialFolderPath(0) + "\\Hollin stress.lnk").c_str());
  DeleteFileA((platform.SpecialFolderPath(2) + "\\Hollin stress\\Readme.lnk").c_str());
  RemoveDirectoryA((platform.SpecialFolderPath(2) + "\\Hollin stress").c_str());
  const std::string gone_state = SystemState(platform);
  std::string clean_state;
  std::map<std::string, std::string> before;
  Snapshot(work, folder, &before);
  const std::string desktop = platform.SpecialFolderPath(0);

  const DWORD start = GetTickCount();
  int runs = 0;
  long procedure_commands = 0;
  for (bool first = true; first || GetTickCount() - start < static_cast<DWORD>(seconds) * 1000; first = false) {
    // Install. The first run is undisturbed: it gives the registry and links to compare with.
    const char* arg = first ? "/c" : (random() % 3 == 0 ? "/v" : "/c");
    Driver setup(Launch(installer.path, arg), random, "installer");
    if (!first) setup.Idle(static_cast<int>(random() % 40));
    setup.ReadyForSetup(folder);
    if (first) {
      setup.Click(kSetup);
      for (DWORD t = GetTickCount(); setup.Caption(kSetup) != "exit"; Sleep(50)) {
        setup.CheckAlive();
        if (GetTickCount() - t > 300000) setup.Stuck("installer: the undisturbed install did not finish");
      }
    } else {
      procedure_commands += setup.RunProcedure(kSetup);
    }
    if (!first) setup.Idle(static_cast<int>(random() % 20), true);
    setup.Exit();

    for (size_t i = 0; i < expected.files.size(); ++i) {
      if (FileBytes(folder + "\\" + expected.files[i].name) != expected.contents[i])
        Fail("installed " + expected.files[i].name + " differs from the packaged file");
    }
    if (FileBytes(folder + "\\uninstall.exe") != expected.uninstaller) Fail("uninstall.exe differs");
    // regedit runs on its own; give it time.
    for (int i = 0; i < 100 && RegString(HKEY_CURRENT_USER, kRegKey, "imported") != "yes"; ++i) Sleep(100);
    std::string state = SystemState(platform);
    if (first) clean_state = state;
    if (state != clean_state) Fail("registry or links differ from the undisturbed run:\n" + state + "expected:\n" + clean_state);
    std::map<std::string, std::string> after;
    Snapshot(work, folder, &after);
    if (after != before) Fail("files outside the install folder changed after the install");

    // Uninstall, from the install folder; with or without "/u" (the question answered "y").
    const bool ask = !first && random() % 2;
    Driver remover(Launch(folder + "\\uninstall.exe", ask ? "" : "/u"), random, "uninstaller", !ask);
    if (ask) {
      remover.Idle(static_cast<int>(random() % 20));
      // A press that arrives just as the uninstall finishes is a press of "exit": the program
      // ends with 0, rightly; the checks below tell whether the uninstall was whole.
      auto done = [&] { return (remover.Ended() && remover.ExitCode() == 0) || remover.Caption(kUninstall) == "exit"; };
      for (int tries = 0; !done(); ++tries) {
        if (tries >= 10) remover.LeaveModes();  // stuck
        if (done()) break;
        remover.Click(kUninstall);
        for (int k = 0; k < 40; ++k) {
          Sleep(25);
          remover.AnswerDialogs();  // mostly "y"
          if (done()) break;
        }
        if (done()) break;
        remover.CheckAlive();
        if (tries > 100) remover.Stuck("uninstaller: never finished");
      }
      remover.Exit();
    } else {
      // "/u": the program ends by itself when done.
      for (DWORD t = GetTickCount(); !remover.Ended(); Sleep(5)) {
        if (remover.HasWindow()) {
          remover.RandomCommand(true);
          remover.LeaveModesNowAndThen();
        }
        remover.AnswerDialogs();
        if (GetTickCount() - t > 300000) remover.Stuck("uninstaller: /u did not end");
      }
      if (remover.ExitCode() != 0) Fail("uninstaller: exit code " + std::to_string(remover.ExitCode()));
    }
    for (int i = 0; i < 300 && Exists(folder + "\\uninstall.exe"); ++i) Sleep(100);
    for (int i = 0; i < 100 && Exists(folder + "\\del.bat"); ++i) Sleep(100);
    for (const PackedFile& f : expected.files)
      if (Exists(folder + "\\" + f.name)) Fail("uninstall left " + f.name);
    if (Exists(folder + "\\uninstall.exe") || Exists(folder + "\\del.bat")) Fail("the uninstaller did not delete itself");
    if (SystemState(platform) != gone_state) Fail("registry or links left after the uninstall:\n" + SystemState(platform));
    RemoveDirectoryA(folder.c_str());  // holds nothing now; the sweep left it for the batch file
    after.clear();
    Snapshot(work, folder, &after);
    if (after != before) Fail("files outside the install folder changed after the uninstall");
    ++runs;
    std::printf("run %d done (%ld commands so far)\n", runs, g_actions);
    std::fflush(stdout);
  }
  std::printf("PASSED: seed %llu, %d install/uninstall runs, %ld random commands (%ld while a procedure ran)\n",
              static_cast<unsigned long long>(seed), runs, g_actions, procedure_commands);
  return 0;
}

}  // namespace
}  // namespace hollin

int main(int argc, char** argv) {
  uint64_t seed = GetTickCount() ^ (static_cast<uint64_t>(GetCurrentProcessId()) << 20);
  int seconds = 60;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seed") == 0) seed = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
  }
  return hollin::Run(seed, seconds);
}
