// vellumo-stress: starts Vellumo.exe on generated archives and drives it from outside with a
// seeded random sequence of clicks, key presses, list picks and typed names, sent while
// extractions run. It fails on a crash (the process gone, or a page-fault report), a hang (no
// answer to a window message for 30 s), a box other than the expected ones, or a shown entry
// whose text differs from what Info-ZIP unzip gives for it. The seed is printed first, so a
// failing run can be replayed with --seed.
//
//   vellumo-stress --program DIR\Vellumo.exe --fixtures DIR [--seconds N] [--seed S]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "viewer/browser/page_text.h"
#include "viewer/texts.h"

namespace {

constexpr DWORD kHangMs = 30000;
constexpr DWORD kQuickMs = 5000;
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
  if (!SendMessageTimeoutA(wnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, timeout, &length))
    return false;
  // Room for line ends twice over: a rich-edit control may count "\r" where it gives "\r\n".
  std::string buf(2 * length + 2, '\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(wnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(&buf[0]),
                           SMTO_NORMAL, timeout, &got))
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

// Starts the program as its debugger, on a thread of its own (debug events go to the thread
// that started the process): an exception nothing in the program handles (a page fault) is
// recorded with its address and the process ended, instead of waiting in Wine's debugger.
class Launcher {
 public:
  Launcher(const std::string& program, const std::string& line, HANDLE log)
      : program_(program), line_(line), log_(log) {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    thread_ = CreateThread(nullptr, 0, &Launcher::Main, this, 0, nullptr);
    WaitForSingleObject(ready_, kHangMs);
  }
  ~Launcher() {
    if (started_ && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(pi_.hProcess, 1);
    stop_ = true;
    WaitForSingleObject(thread_, kHangMs);
    CloseHandle(thread_);
    CloseHandle(ready_);
    if (started_) {
      CloseHandle(pi_.hThread);
      CloseHandle(pi_.hProcess);
    }
  }
  bool Started() const { return started_; }
  HANDLE Process() const { return pi_.hProcess; }
  DWORD Pid() const { return pi_.dwProcessId; }
  // The unhandled exception's code and address; code 0 when there was none.
  DWORD CrashCode() const { return crash_code_; }
  uintptr_t CrashAddress() const { return crash_address_; }

 private:
  static DWORD WINAPI Main(void* self) {
    static_cast<Launcher*>(self)->Loop();
    return 0;
  }
  void Loop() {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = log_;
    si.hStdError = log_;
    started_ = CreateProcessA(program_.c_str(), &line_[0], nullptr, nullptr, TRUE,
                              DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si, &pi_) != 0;
    SetEvent(ready_);
    if (!started_) return;
    while (!stop_) {
      DEBUG_EVENT event{};
      if (!WaitForDebugEvent(&event, 100)) continue;
      DWORD status = DBG_CONTINUE;
      switch (event.dwDebugEventCode) {
        case EXCEPTION_DEBUG_EVENT: {
          const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
          if (record.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
          if (!event.u.Exception.dwFirstChance) {
            crash_address_ = reinterpret_cast<uintptr_t>(record.ExceptionAddress);
            crash_code_ = record.ExceptionCode;
            TerminateProcess(pi_.hProcess, record.ExceptionCode);
          }
          break;
        }
        case CREATE_PROCESS_DEBUG_EVENT:
          if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
          break;
        case LOAD_DLL_DEBUG_EVENT:
          if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
          break;
        default:
          break;
      }
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
      if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) break;
    }
  }

  std::string program_, line_;
  HANDLE log_;
  HANDLE ready_ = nullptr, thread_ = nullptr;
  PROCESS_INFORMATION pi_{};
  std::atomic<bool> started_{false}, stop_{false};
  std::atomic<DWORD> crash_code_{0};
  std::atomic<uintptr_t> crash_address_{0};
};

class Session {
 public:
  Session(const std::string& program, const Archive& archive, const std::string& log_path,
          std::mt19937& rng, std::deque<std::string>& trail)
      : archive_(archive), log_path_(log_path), rng_(rng), trail_(trail) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    log_ = CreateFileA(log_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string line = "\"" + program + "\" \"" + archive.path + "\"";
    if (!archive.password.empty()) line += " \"" + archive.password + "\"";
    launcher_ = std::make_unique<Launcher>(program, line, log_);
    if (!launcher_->Started()) Fail("cannot start " + program);
    pi_.hProcess = launcher_->Process();
    pi_.dwProcessId = launcher_->Pid();
  }

  ~Session() {
    launcher_.reset();
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
    // The buttons are found by their texts, read from the window's own thread: the first page
    // may keep it busy for a while.
    for (;;) {
      for (HWND child : Children(form_)) {
        std::string cls = ClassOf(child), text;
        if (lstrcmpiA(cls.c_str(), "ComboBox") == 0) combo_ = child;
        if (lstrcmpiA(cls.c_str(), "Button") == 0 && TextOf(child, &text)) {
          if (text == vellumo::texts::kNextButton) next_ = child;
          if (text == vellumo::texts::kPreviousButton) previous_ = child;
          if (text == vellumo::texts::kOpenButton) open_ = child;
        }
      }
      if (combo_ && next_ && previous_ && open_) break;
      CheckAlive();
      HandleBoxes();
      if (GetTickCount() - start > kHangMs) Fail("controls not found within 30 s");
      Sleep(50);
    }
    combo_edit_ = FindWindowExA(combo_, nullptr, "Edit", nullptr);
    panel_ = GetParent(combo_);
  }

  void CheckCrash() {
    // The debug thread records the crash before it ends the process.
    for (int i = 0; i < 20 && launcher_->CrashCode() == 0 &&
                    WaitForSingleObject(pi_.hProcess, 0) != WAIT_TIMEOUT; ++i) {
      DWORD code = 0;
      GetExitCodeProcess(pi_.hProcess, &code);
      if (code == 0) break;
      Sleep(10);
    }
    if (launcher_->CrashCode() != 0) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "Vellumo crashed: exception 0x%08lx at address 0x%08lx",
                    static_cast<unsigned long>(launcher_->CrashCode()),
                    static_cast<unsigned long>(launcher_->CrashAddress()));
      Fail(buf);
    }
  }

  void CheckAlive() {
    CheckCrash();
    if (WaitForSingleObject(pi_.hProcess, 0) != WAIT_TIMEOUT) {
      DWORD code = 0;
      GetExitCodeProcess(pi_.hProcess, &code);
      char buf[64];
      std::snprintf(buf, sizeof buf, "Vellumo ended by itself (exit code 0x%lx)",
                    static_cast<unsigned long>(code));
      Fail(buf);
    }
  }

  void Ping() {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(form_, WM_NULL, 0, 0, SMTO_NORMAL, kHangMs, &r)) {
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
      std::string flat, credit, note;
      for (char c : text)
        if (c != '\r' && c != '\n') flat += c;
      for (const char* p = vellumo::texts::kCreditText; *p; ++p)
        if (*p != '\n') credit += *p;
      // Once pages are shown by the built-in view, the credit box says so at its end.
      for (const char* p = vellumo::texts::kBuiltInViewNote; *p; ++p)
        if (*p != '\n') note += *p;
      if (caption == vellumo::texts::kApplicationTitle &&
          (flat == credit || flat == credit + note || flat == kFatalEmptyName)) {
        PostMessageA(wnd, WM_COMMAND, IDOK, 0);
      } else if (open_dialogs_expected_ > 0 && caption != vellumo::texts::kApplicationTitle &&
                 caption != "Password") {
        PostMessageA(wnd, WM_COMMAND, IDCANCEL, 0);
        --open_dialogs_expected_;
      } else {
        // A box whose texts are not all set yet looks like none of the expected ones.
        auto seen = first_seen_.emplace(wnd, GetTickCount()).first;
        if (GetTickCount() - seen->second < 2000) continue;
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
    for (auto it = first_seen_.begin(); it != first_seen_.end();)
      it = IsWindow(it->first) ? std::next(it) : first_seen_.erase(it);
  }

  std::string ComboText() {
    std::string text;
    if (!TextOf(combo_, &text)) CheckAlive();
    if (!TextOf(combo_, &text)) Fail("the combo box does not answer (hang)");
    return text;
  }

  // The built-in view's rich-edit control: inside the page view, inside the browser host.
  HWND TextView() {
    for (HWND child : Children(form_)) {
      const std::string cls = ClassOf(child);
      if (lstrcmpiA(cls.c_str(), "RICHEDIT50W") != 0 && lstrcmpiA(cls.c_str(), "RichEdit20W") != 0)
        continue;
      HWND host = GetParent(GetParent(child));
      if (host && GetParent(host) == form_ && ClassOf(host) == "VellumoBrowserHost") return child;
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
    if (!SendMessageTimeoutA(combo_, CB_GETCOUNT, 0, 0, SMTO_NORMAL, kHangMs, &count))
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

  // A burst of one to four commands sent back to back (they queue up and arrive while the
  // first one's extraction runs), then a short pause; false when a close ended the session.
  bool Act() {
    const int burst = 1 + static_cast<int>(rng_() % 4);
    for (int i = 0; i < burst; ++i) {
      if (!Command()) return false;
    }
    Pause(rng_() % 150);
    Ping();
    return true;
  }

  bool Command() {
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
        SendMessageTimeoutA(combo_, CB_SETCURSEL, index, 0, SMTO_NORMAL, kHangMs, &r);
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
      ++open_dialogs_expected_;
      PostMessageA(open_, BM_CLICK, 0, 0);
    } else if (pick < 90) {
      Note("Credit");
      PostMessageA(form_, WM_SYSCOMMAND, 100, 0);
    } else if (pick < 99) {
      DWORD ms = 100 + rng_() % 700;
      Note("pause " + std::to_string(ms));
      Pause(ms);
    } else {
      Note("close");
      PostMessageA(form_, WM_CLOSE, 0, 0);
      return false;
    }
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
      if (view && TextOf(view, &shown, kQuickMs) && shown == want) break;
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
      if (launcher_->CrashCode() != 0) CheckAlive();
      HandleBoxes();
      if (GetTickCount() - start > kHangMs) Fail("the window did not close within 30 s");
    }
    CheckCrash();
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

  void Run(int actions, DWORD deadline) {
    WaitForWindow();
    for (int i = 0; i < actions && static_cast<LONG>(GetTickCount() - deadline) < 0; ++i) {
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
  std::unique_ptr<Launcher> launcher_;
  HANDLE log_ = INVALID_HANDLE_VALUE;
  HWND form_ = nullptr, combo_ = nullptr, combo_edit_ = nullptr, panel_ = nullptr;
  HWND next_ = nullptr, previous_ = nullptr, open_ = nullptr;
  int open_dialogs_expected_ = 0;  // one per "..." sent, until its dialog is seen
  std::vector<HWND> answered_;  // boxes already answered, until they are gone
  std::map<HWND, DWORD> first_seen_;  // boxes not recognised yet, since when
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
        session.Run(count, start + static_cast<DWORD>(seconds * 1000));
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
