// Vellumo.exe started as the shell starts it, driven from outside: its window, caption, list
// and page, and a clean exit on close. Every wait is bounded; a program left running is ended.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "viewer/browser/page_text.h"
#include "viewer/texts.h"

namespace {

std::string WindowsPath(const std::string& unix_path) {
  std::string path = "Z:" + unix_path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string BinaryDir() {
  const char* dir = getenv("VELLUMO_BINARY_DIR");
  return dir ? dir : "";
}

std::string Fixture(const std::string& name) {
  return WindowsPath(BinaryDir() + "/tests/viewer/fixtures/" + name);
}

std::string TextOf(HWND wnd) {
  char buf[8192] = "";
  DWORD_PTR got = 0;
  SendMessageTimeoutA(wnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                      SMTO_ABORTIFHUNG, 2000, &got);
  return buf;
}

std::string ClassOf(HWND wnd) {
  char buf[128] = "";
  GetClassNameA(wnd, buf, sizeof buf);
  return buf;
}

class Program {
 public:
  explicit Program(const std::string& args) {
    std::string exe = WindowsPath(BinaryDir() + "/tests/viewer/program/Vellumo.exe");
    std::string line = "\"" + exe + "\" " + args;
    STARTUPINFOA si{sizeof si};
    started_ = CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &si, &pi_) != 0;
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  bool Started() const { return started_; }

  // The program's main window, waited for at most `ms`.
  HWND Window(DWORD ms = 30000) {
    const DWORD start = GetTickCount();
    while (!window_ && GetTickCount() - start < ms) {
      EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(this));
      if (!window_) Sleep(100);
    }
    return window_;
  }

  // Waits until the caption is `caption`; returns the last caption seen.
  std::string WaitForCaption(const std::string& caption, DWORD ms = 20000) {
    const DWORD start = GetTickCount();
    std::string seen;
    do {
      seen = TextOf(window_);
      if (seen == caption) break;
      Sleep(100);
    } while (GetTickCount() - start < ms);
    return seen;
  }

  HWND Child(const char* cls) { return Child(window_, cls); }
  struct FindChild {
    const char* cls;
    HWND found;
  };
  static BOOL CALLBACK FindChildProc(HWND wnd, LPARAM lp) {
    auto* f = reinterpret_cast<FindChild*>(lp);
    if (_stricmp(ClassOf(wnd).c_str(), f->cls) == 0) {
      f->found = wnd;
      return FALSE;
    }
    return TRUE;
  }
  static HWND Child(HWND parent, const char* cls) {
    FindChild find{cls, nullptr};
    if (parent) EnumChildWindows(parent, FindChildProc, reinterpret_cast<LPARAM>(&find));
    return find.found;
  }
  static BOOL CALLBACK FindMainWindow(HWND wnd, LPARAM lp) {
    auto* self = reinterpret_cast<Program*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == self->pi_.dwProcessId && IsWindowVisible(wnd) && ClassOf(wnd) == "TForm1") {
      self->window_ = wnd;
      return FALSE;
    }
    return TRUE;
  }

  std::vector<std::string> ComboItems() {
    std::vector<std::string> items;
    HWND combo = Child("ComboBox");
    if (!combo) return items;
    DWORD_PTR count = 0;
    SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    for (DWORD_PTR i = 0; i < count && i < 100; ++i) {
      // Asked as wide text: that is how a string crosses the process boundary intact.
      wchar_t wide[1024] = L"";
      DWORD_PTR got = 0;
      SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide),
                          SMTO_ABORTIFHUNG, 2000, &got);
      char buf[2048] = "";
      WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
      items.push_back(buf);
    }
    return items;
  }

  // Closes the window and returns the exit code, or -1 when the program did not end in time.
  long CloseAndWait(DWORD ms = 15000) {
    PostMessageA(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
  HWND window_ = nullptr;
};

TEST(VellumoProgram, ShowsTheArchiveFromTheCommandLineMaximised) {
  Program p("\"" + Fixture("plain.zip") + "\"");
  ASSERT_TRUE(p.Started());
  HWND wnd = p.Window();
  ASSERT_NE(wnd, nullptr);
  const std::string caption = Fixture("plain.zip");
  // The caption is the archive path whichever view shows the page.
  EXPECT_EQ(p.WaitForCaption(caption), caption);
  EXPECT_TRUE(IsZoomed(wnd));
  EXPECT_EQ(p.ComboItems(), (std::vector<std::string>{"alpha.txt", "Beta.txt", "delta.txt",
                                                      "Gamma.html", "sub\\Echo.txt"}));
  // Without an HTML engine the built-in view shows the text.
  if (HWND view = Program::Child(p.Child("VellumoPageView"), "RICHEDIT50W")) {
    const std::string alpha = "alpha line 1\nalpha line 2\n";
    const DWORD start = GetTickCount();
    while (TextOf(view) != vellumo::TextForDisplay(alpha.data(), alpha.size()) &&
           GetTickCount() - start < 10000)
      Sleep(100);
    EXPECT_EQ(TextOf(view), vellumo::TextForDisplay(alpha.data(), alpha.size()));
  }
  EXPECT_EQ(p.CloseAndWait(), 0);
}

TEST(VellumoProgram, WithoutArgumentsWaitsAtRest) {
  Program p("");
  ASSERT_TRUE(p.Started());
  HWND wnd = p.Window();
  ASSERT_NE(wnd, nullptr);
  EXPECT_EQ(p.WaitForCaption("Vellumo 2.0", 3000), "Vellumo 2.0");
  EXPECT_TRUE(p.ComboItems().empty());
  EXPECT_EQ(p.CloseAndWait(), 0);
}

}  // namespace
