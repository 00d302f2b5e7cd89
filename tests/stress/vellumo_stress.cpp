// vellumo-stress: starts Vellumo.exe on generated archives and drives it from outside with a
// seeded random sequence of clicks, key presses, list picks and typed names, sent while
// extractions run. It fails on a crash (the process gone, or a page-fault report), a hang (no
// answer to a window message for 30 s), a box other than the expected ones, or a shown entry
// whose text differs from what Info-ZIP unzip gives for it. The seed is printed first, so a
// failing run can be replayed with --seed.
//
//   vellumo-stress --program DIR\Vellumo.exe --fixtures DIR [--seconds N] [--seed S]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "viewer/browser/page_text.h"
#include "viewer/texts.h"

namespace {

constexpr DWORD kHangMs = 30000;
constexpr char kFatalEmptyName[] = "Fatal Error in VUNZIP.DLL: abort exception";

struct Entry {
  std::string name;      // as listed, "\" separators
  std::string expected;  // file with the bytes unzip gave
};

struct Archive {
  std::string path;  // Windows path
  std::string password;
  std::vector<Entry> entries;  // directory order
};

std::string Unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  return out;
}

bool ReadFile(const std::string& path, std::string* bytes) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->clear();
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, n);
  std::fclose(f);
  return true;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string ClassOf(HWND wnd) {
  char buf[256] = "";
  GetClassNameA(wnd, buf, sizeof buf);
  return buf;
}

// Another process's window text, through a bounded send; false when it does not answer.
bool TextOf(HWND wnd, std::string* text, DWORD timeout = kHangMs) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(wnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, timeout, &length))
    return false;
  std::string buf(length + 1, '\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(wnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&buf[0]),
                           SMTO_ABORTIFHUNG, timeout, &got))
    return false;
  buf.resize(got);
  *text = buf;
  return true;
}

struct Found {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectTop(HWND wnd, LPARAM lp) {
  auto* found = reinterpret_cast<Found*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (IsWindowVisible(wnd) && (found->pid == 0 || pid == found->pid)) found->windows.push_back(wnd);
  return TRUE;
}

std::vector<HWND> TopWindows(DWORD pid) {
  Found found{pid, {}};
  EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

BOOL CALLBACK CollectChild(HWND wnd, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(wnd);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

class Failure {
 public:
  std::string what;
};

class Session {
 public:
  Session(const std::string& program, const Archive& archive, const std::string& log_path,
          std::mt19937& rng, std::deque<std::string>& trail)
      : archive_(archive), log_path_(log_path), rng_(rng), trail_(trail) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    log_ = CreateFileA(log_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = log_;
    si.hStdError = log_;
    std::string line = "\"" + program + "\" \"" + archive.path + "\"";
    if (!archive.password.empty()) line += " \"" + archive.password + "\"";
    if (!CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &si, &pi_))
      Fail("cannot start " + program);
    started_ = true;
  }

  ~Session() {
    if (started_) {
      if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(pi_.hProcess, 1);
        WaitForSingleObject(pi_.hProcess, 5000);
      }
      CloseHandle(pi_.hThread);
      CloseHandle(pi_.hProcess);
    }
    if (log_ != INVALID_HANDLE_VALUE) CloseHandle(log_);
  }

  void Fail(const std::string& what) { throw Failure{what}; }

  void Note(const std::string& action) {
    trail_.push_back(action);
    if (trail_.size() > 40) trail_.pop_front();
  }

  void WaitForWindow() {
    const DWORD start = GetTickCount();
    for (;;) {
      CheckAlive();
      for (HWND wnd : TopWindows(pi_.dwProcessId)) {
        if (ClassOf(wnd) == "TForm1") form_ = wnd;
      }
      if (form_) break;
      HandleBoxes();
      if (GetTickCount() - start > kHangMs) Fail("no window after 30 s");
      Sleep(50);
    }
    for (HWND child : Children(form_)) {
      std::string cls = ClassOf(child), text;
      if (lstrcmpiA(cls.c_str(), "ComboBox") == 0) combo_ = child;
      if (lstrcmpiA(cls.c_str(), "Button") == 0 && TextOf(child, &text)) {
        if (text == vellumo::texts::kNextButton) next_ = child;
        if (text == vellumo::texts::kPreviousButton) previous_ = child;
        if (text == vellumo::texts::kOpenButton) open_ = child;
      }
    }
    if (!combo_ || !next_ || !previous_ || !open_) Fail("controls not found");
    combo_edit_ = FindWindowExA(combo_, nullptr, "Edit", nullptr);
    panel_ = GetParent(combo_);
  }

  void CheckAlive() {
    if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_TIMEOUT) {
      DWORD code = 0;
      GetExitCodeProcess(pi_.hProcess, &code);
      char buf[64];
      std::snprintf(buf, sizeof buf, "Vellumo ended by itself (exit code 0x%lx)",
                    static_cast<unsigned long>(code));
      Fail(buf);
    }
    for (HWND wnd : TopWindows(0)) {
      std::string caption;
      if (TextOf(wnd, &caption, 2000) && caption.find("Program Error") != std::string::npos)
        Fail("a crash dialog appeared: " + caption);
    }
  }

  void Ping() {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(form_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kHangMs, &r)) {
      CheckAlive();
      Fail("no answer to a window message for 30 s (hang)");
    }
  }

  // Closes the boxes Vellumo shows; a box that is not expected fails the run.
  void HandleBoxes() {
    for (HWND wnd : TopWindows(pi_.dwProcessId)) {
      if (wnd == form_ || ClassOf(wnd) == "TForm1") continue;
      if (ClassOf(wnd) != "#32770") continue;  // Wine's own hidden helpers and the like
      bool answered = false;
      for (HWND a : answered_) answered = answered || a == wnd;
      if (answered) continue;  // closing
      std::string caption, text;
      TextOf(wnd, &caption, 2000);
      bool buttons = false;
      for (HWND child : Children(wnd)) {
        std::string t;
        const std::string cls = ClassOf(child);
        if (lstrcmpiA(cls.c_str(), "Button") == 0) buttons = true;
        if (lstrcmpiA(cls.c_str(), "Static") == 0 && TextOf(child, &t, 2000) && !t.empty())
          text += (text.empty() ? "" : "\n") + t;
      }
      if (!buttons || (caption.empty() && text.empty())) continue;  // still being made
      std::string flat, credit;
      for (char c : text)
        if (c != '\r' && c != '\n') flat += c;
      for (const char* p = vellumo::texts::kCreditText; *p; ++p)
        if (*p != '\n') credit += *p;
      if (caption == vellumo::texts::kApplicationTitle && (flat == credit || flat == kFatalEmptyName)) {
        PostMessageA(wnd, WM_COMMAND, IDOK, 0);
      } else if (open_dialog_expected_ && caption != vellumo::texts::kApplicationTitle &&
                 caption != "Password") {
        PostMessageA(wnd, WM_COMMAND, IDCANCEL, 0);
        open_dialog_expected_ = false;
      } else {
        Fail("unexpected box \"" + caption + "\": " + text);
      }
      ++boxes_;
      answered_.push_back(wnd);
      Sleep(30);
    }
    std::vector<HWND> alive;
    for (HWND a : answered_)
      if (IsWindow(a) && IsWindowVisible(a)) alive.push_back(a);
    answered_.swap(alive);
  }

  std::string ComboText() {
    std::string text;
    if (!TextOf(combo_, &text)) Fail("the combo box does not answer (hang)");
    return text;
  }

  HWND TextView() {
    for (HWND child : Children(form_)) {
      if (lstrcmpiA(ClassOf(child).c_str(), "Edit") == 0 && GetParent(child) != combo_ &&
          GetParent(GetParent(child)) == form_ && ClassOf(GetParent(child)) == "VellumoBrowserHost")
        return child;
    }
    return nullptr;
  }

  void Type(HWND edit, const std::string& text) {
    PostMessageA(edit, EM_SETSEL, 0, -1);
    if (text.empty()) PostMessageA(edit, WM_CHAR, VK_BACK, 1);
    for (char c : text) PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
  }

  int Count() {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutA(combo_, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kHangMs, &count))
      Fail("the combo box does not answer (hang)");
    return static_cast<int>(count);
  }

  std::string RandomCase(std::string name) {
    for (char& c : name) {
      if (rng_() % 2) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
      else c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    return name;
  }

  // One random user action; returns false when the session was ended by a close.
  bool Act() {
    const int pick = static_cast<int>(rng_() % 100);
    ++actions_;
    if (pick < 20) {
      Note(">>>");
      PostMessageA(next_, BM_CLICK, 0, 0);
    } else if (pick < 32) {
      Note("<<<");
      PostMessageA(previous_, BM_CLICK, 0, 0);
    } else if (pick < 40) {
      Note(">>> double");
      PostMessageA(next_, BM_CLICK, 0, 0);
      PostMessageA(next_, BM_CLICK, 0, 0);
    } else if (pick < 60) {
      int count = Count();
      if (count > 0) {
        int index = static_cast<int>(rng_() % static_cast<unsigned>(count));
        Note("pick " + std::to_string(index));
        DWORD_PTR r;
        SendMessageTimeoutA(combo_, CB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, kHangMs, &r);
        PostMessageA(panel_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo_), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo_));
      }
    } else if (pick < 76) {
      std::string name;
      const int kind = static_cast<int>(rng_() % 10);
      const Entry& entry = archive_.entries[rng_() % archive_.entries.size()];
      if (kind < 6) name = RandomCase(entry.name);
      else if (kind < 8) name = entry.name.substr(0, rng_() % (entry.name.size() + 1));
      else if (kind < 9) name = "no such entry " + std::to_string(rng_() % 1000);
      else name.clear();
      Note("type \"" + name + "\"");
      Type(combo_edit_, name);
    } else if (pick < 82) {
      Note("Enter");
      PostMessageA(combo_edit_, WM_KEYDOWN, VK_RETURN, 1);
      PostMessageA(combo_edit_, WM_CHAR, VK_RETURN, 1);
      PostMessageA(combo_edit_, WM_KEYUP, VK_RETURN, 0xC0000001);
    } else if (pick < 86) {
      Note("...");
      open_dialog_expected_ = true;
      PostMessageA(open_, BM_CLICK, 0, 0);
    } else if (pick < 90) {
      Note("Credit");
      PostMessageA(form_, WM_SYSCOMMAND, 100, 0);
    } else if (pick < 98) {
      DWORD ms = 100 + rng_() % 700;
      Note("pause " + std::to_string(ms));
      Pause(ms);
    } else {
      Note("close");
      PostMessageA(form_, WM_CLOSE, 0, 0);
      return false;
    }
    Pause(rng_() % 120);
    Ping();
    return true;
  }

  void Pause(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
      HandleBoxes();
      Sleep(10);
    } while (GetTickCount() - start < ms);
    CheckAlive();
  }

  // Once the commands are handled: when the combo box names an entry, that entry's text is
  // what the page shows (within 30 s).
  void Check() {
    std::string name = ComboText();
    const Entry* wanted = nullptr;
    for (const Entry& e : archive_.entries) {
      if (Lower(e.name) == Lower(name)) {
        wanted = &e;
        break;
      }
    }
    if (!wanted) return;
    std::string bytes;
    if (!ReadFile(wanted->expected, &bytes)) Fail("cannot read " + wanted->expected);
    const std::string want = vellumo::TextForDisplay(bytes.data(), bytes.size());
    const DWORD start = GetTickCount();
    std::string shown;
    for (;;) {
      HandleBoxes();
      CheckAlive();
      HWND view = TextView();
      if (view && TextOf(view, &shown) && shown == want) break;
      if (ComboText() != name) return;  // a waiting change was taken up meanwhile
      if (GetTickCount() - start > kHangMs)
        Fail("\"" + name + "\" is selected but the page shows other bytes (" +
             std::to_string(shown.size()) + " characters, " + std::to_string(want.size()) +
             " expected)");
      Sleep(50);
    }
    ++checks_;
  }

  void Close() {
    PostMessageA(form_, WM_CLOSE, 0, 0);
    Ended();
  }

  void Ended() {
    const DWORD start = GetTickCount();
    while (WaitForSingleObject(pi_.hProcess, 50) == WAIT_TIMEOUT) {
      HandleBoxes();
      if (GetTickCount() - start > kHangMs) Fail("the window did not close within 30 s");
    }
    DWORD code = 1;
    GetExitCodeProcess(pi_.hProcess, &code);
    if (code != 0) Fail("Vellumo ended with exit code " + std::to_string(code));
    CloseHandle(log_);
    log_ = INVALID_HANDLE_VALUE;
    std::string log;
    ReadFile(log_path_, &log);
    if (log.find("page fault") != std::string::npos || log.find("Unhandled") != std::string::npos)
      Fail("Wine reported a fault:\n" + log);
  }

  void Run(int actions) {
    WaitForWindow();
    for (int i = 0; i < actions; ++i) {
      if (!Act()) {
        Ended();
        return;
      }
      if (i % 8 == 7) Check();
    }
    Check();
    Close();
  }

  int actions_ = 0, checks_ = 0, boxes_ = 0;

 private:
  const Archive& archive_;
  std::string log_path_;
  std::mt19937& rng_;
  std::deque<std::string>& trail_;
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  HANDLE log_ = INVALID_HANDLE_VALUE;
  HWND form_ = nullptr, combo_ = nullptr, combo_edit_ = nullptr, panel_ = nullptr;
  HWND next_ = nullptr, previous_ = nullptr, open_ = nullptr;
  bool open_dialog_expected_ = false;
  std::vector<HWND> answered_;  // boxes already answered, until they are gone
};

std::vector<Archive> LoadManifest(const std::string& dir) {
  std::string text;
  if (!ReadFile(dir + "\\manifest.tsv", &text)) return {};
  std::map<std::string, size_t> index;
  std::vector<Archive> archives;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    std::vector<std::string> fields;
    size_t f = 0;
    for (;;) {
      size_t tab = line.find('\t', f);
      fields.push_back(line.substr(f, tab == std::string::npos ? std::string::npos : tab - f));
      if (tab == std::string::npos) break;
      f = tab + 1;
    }
    if (fields.size() < 4) continue;
    auto found = index.find(fields[0]);
    if (found == index.end()) {
      found = index.emplace(fields[0], archives.size()).first;
      archives.push_back(Archive{dir + "\\" + fields[0], Unhex(fields[3]), {}});
    }
    archives[found->second].entries.push_back(Entry{Unhex(fields[1]), dir + "\\expected\\" + fields[2]});
  }
  return archives;
}

}  // namespace

int main(int argc, char** argv) {
  std::string program, fixtures;
  double seconds = 60;
  unsigned long seed = static_cast<unsigned long>(GetTickCount()) ^ GetCurrentProcessId();
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    if (key == "--program") program = argv[i + 1];
    else if (key == "--fixtures") fixtures = argv[i + 1];
    else if (key == "--seconds") seconds = std::atof(argv[i + 1]);
    else if (key == "--seed") seed = std::strtoul(argv[i + 1], nullptr, 10);
  }
  if (program.empty() || fixtures.empty()) {
    std::fprintf(stderr, "usage: vellumo-stress --program EXE --fixtures DIR [--seconds N] [--seed S]\n");
    return 2;
  }
  std::printf("vellumo-stress: seed %lu (replay: --seed %lu), %.0f s\n", seed, seed, seconds);
  std::fflush(stdout);
  std::vector<Archive> archives = LoadManifest(fixtures);
  if (archives.empty()) {
    std::fprintf(stderr, "no archives in %s\\manifest.tsv\n", fixtures.c_str());
    return 2;
  }
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof temp, temp);
  const std::string log_path = std::string(temp) + "vellumo-stress-" +
                               std::to_string(GetCurrentProcessId()) + ".log";
  std::mt19937 rng(seed);
  std::deque<std::string> trail;
  const DWORD start = GetTickCount();
  int sessions = 0, actions = 0, checks = 0, boxes = 0;
  while ((GetTickCount() - start) / 1000.0 < seconds) {
    const Archive& archive = archives[rng() % archives.size()];
    const int count = 20 + static_cast<int>(rng() % 100);
    trail.push_back("-- start on " + archive.path);
    try {
      Session session(program, archive, log_path, rng, trail);
      try {
        session.Run(count);
      } catch (const Failure&) {
        actions += session.actions_;
        throw;
      }
      actions += session.actions_;
      checks += session.checks_;
      boxes += session.boxes_;
    } catch (const Failure& failure) {
      std::printf("FAILED (seed %lu, session %d, %d actions so far): %s\nlast actions:\n", seed,
                  sessions + 1, actions, failure.what.c_str());
      for (const std::string& a : trail) std::printf("  %s\n", a.c_str());
      std::fflush(stdout);
      DeleteFileA(log_path.c_str());
      return 1;
    }
    ++sessions;
  }
  DeleteFileA(log_path.c_str());
  std::printf("vellumo-stress: passed, seed %lu: %d sessions, %d actions, %d page checks, %d boxes "
              "closed, %.0f s\n",
              seed, sessions, actions, checks, boxes, (GetTickCount() - start) / 1000.0);
  return 0;
}
