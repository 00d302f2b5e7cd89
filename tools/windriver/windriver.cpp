// windriver: drives the programs' real windows from outside, for the demo and end-to-end
// checks under Wine: wait for a window, press a control as a user would, pick a list entry,
// read texts, close. Every wait is bounded.
//
//   windriver wait TITLE SECONDS          wait until a visible top-level window's caption contains TITLE
//   windriver gone TITLE SECONDS          wait until no such window is left
//   windriver press TITLE TEXT            BM_CLICK the child control whose text is TEXT
//   windriver mouse TITLE TEXT            a real mouse click (SendInput) on the centre of that control
//   windriver select TITLE INDEX|TEXT     select an entry of the first combo (else list) box and notify its parent
//   windriver text TITLE                  print the window caption and every child's class and text
//   windriver close TITLE                 send WM_CLOSE
//   windriver foreground TITLE            bring the window to the front
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string WindowText(HWND wnd) {
  char buffer[1024] = {};
  GetWindowTextA(wnd, buffer, sizeof buffer);
  return buffer;
}

struct FindTop {
  const char* title;
  HWND found;    // the first visible window whose caption holds the title
  HWND enabled;  // the first of them that is also enabled
};

BOOL CALLBACK FindTopProc(HWND wnd, LPARAM param) {
  auto* find = reinterpret_cast<FindTop*>(param);
  if (IsWindowVisible(wnd) && WindowText(wnd).find(find->title) != std::string::npos) {
    if (!find->found) find->found = wnd;
    if (IsWindowEnabled(wnd)) {
      find->enabled = wnd;
      return FALSE;
    }
  }
  return TRUE;
}

// An installer's disabled backdrop carries the same caption as its main window: the
// enabled window is the one to drive.
HWND FindTopWindow(const char* title) {
  FindTop find{title, nullptr, nullptr};
  EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&find));
  return find.enabled ? find.enabled : find.found;
}

BOOL CALLBACK CollectChild(HWND wnd, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(wnd);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

HWND FindChildByText(HWND parent, const char* text) {
  for (HWND child : Children(parent)) {
    if (WindowText(child) == text) return child;
  }
  return nullptr;
}

HWND FindChildByClass(HWND parent, const char* class_name) {
  for (HWND child : Children(parent)) {
    char name[256] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, class_name) == 0) return child;
  }
  return nullptr;
}

HWND RequireWindow(const char* title) {
  HWND wnd = FindTopWindow(title);
  if (!wnd) {
    std::fprintf(stderr, "windriver: no window \"%s\"\n", title);
    std::exit(2);
  }
  return wnd;
}

bool WaitFor(const char* title, double seconds, bool present) {
  DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (;;) {
    bool there = FindTopWindow(title) != nullptr;
    if (there == present) return true;
    if (static_cast<int>(deadline - GetTickCount()) <= 0) return false;
    Sleep(100);
  }
}

void MouseClickAt(int x, int y) {
  SetCursorPos(x, y);
  INPUT inputs[2] = {};
  inputs[0].type = INPUT_MOUSE;
  inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  inputs[1].type = INPUT_MOUSE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, inputs, sizeof(INPUT));
}

int Usage() {
  std::fprintf(stderr, "usage: windriver wait|gone|press|mouse|select|text|close|foreground TITLE [ARG]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1];
  const char* title = argv[2];
  if (command == "wait" || command == "gone") {
    double seconds = argc > 3 ? std::atof(argv[3]) : 10.0;
    if (WaitFor(title, seconds, command == "wait")) return 0;
    std::fprintf(stderr, "windriver: timed out waiting for \"%s\" to %s\n", title,
                 command == "wait" ? "appear" : "go");
    return 1;
  }
  HWND wnd = RequireWindow(title);
  if (command == "text") {
    std::printf("%s\n", WindowText(wnd).c_str());
    for (HWND child : Children(wnd)) {
      char name[256] = {};
      GetClassNameA(child, name, sizeof name);
      std::printf("  %s%s \"%s\"\n", name, IsWindowVisible(child) ? "" : " (hidden)",
                  WindowText(child).c_str());
    }
    return 0;
  }
  if (command == "close") {
    PostMessageA(wnd, WM_CLOSE, 0, 0);
    return 0;
  }
  if (command == "foreground") {
    SetForegroundWindow(wnd);
    return 0;
  }
  if (argc < 4) return Usage();
  if (command == "press" || command == "mouse") {
    HWND control = FindChildByText(wnd, argv[3]);
    if (!control) {
      std::fprintf(stderr, "windriver: no control \"%s\" in \"%s\"\n", argv[3], title);
      return 2;
    }
    if (command == "press") {
      SendMessageA(control, BM_CLICK, 0, 0);
    } else {
      SetForegroundWindow(wnd);
      RECT rect;
      GetWindowRect(control, &rect);
      MouseClickAt((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    }
    return 0;
  }
  if (command == "select") {
    // The first combo box, else the first list box; the entry by index or by its exact text.
    HWND box = FindChildByClass(wnd, "ComboBox");
    bool combo = box != nullptr;
    if (!box) box = FindChildByClass(wnd, "ListBox");
    if (!box) {
      std::fprintf(stderr, "windriver: no combo or list box in \"%s\"\n", title);
      return 2;
    }
    const char* wanted = argv[3];
    bool by_index = *wanted != '\0' && std::strspn(wanted, "0123456789") == std::strlen(wanted);
    LRESULT index = by_index ? std::atoi(wanted)
                             : SendMessageA(box, combo ? CB_FINDSTRINGEXACT : LB_FINDSTRINGEXACT,
                                            static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wanted));
    if (index < 0) {
      std::fprintf(stderr, "windriver: no entry \"%s\" in \"%s\"\n", wanted, title);
      return 2;
    }
    SendMessageA(box, combo ? CB_SETCURSEL : LB_SETCURSEL, index, 0);
    WORD notification = combo ? CBN_SELCHANGE : LBN_SELCHANGE;
    SendMessageA(GetParent(box), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box), notification),
                 reinterpret_cast<LPARAM>(box));
    return 0;
  }
  return Usage();
}
