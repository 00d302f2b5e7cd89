// pick_timer.exe: times Vellumo from outside, under Wine, from the pick of an entry in its
// list until the entry is shown.
//
//   pick_timer VELLUMO.EXE ARCHIVE ENTRY RUNS [TIMEOUT_S]
//
// Starts the program on the archive, waits until its list is filled and its first entry is
// shown in the built-in view, then RUNS times picks ENTRY as the user would (the list's selection, then the
// selection-change notice to the list's parent) and prints the milliseconds each pick took
// until the program answered again: the extraction, the conversion and the first part of
// the page in the built-in view. Between runs it picks the first entry, so that every run
// shows the page anew. Every wait is bounded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Find {
  DWORD pid;
  HWND form;
};

BOOL CALLBACK FindForm(HWND wnd, LPARAM param) {
  auto* find = reinterpret_cast<Find*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  char cls[64] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  if (pid == find->pid && lstrcmpA(cls, "TForm1") == 0) {
    find->form = wnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindCombo(HWND wnd, LPARAM param) {
  char cls[64] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  if (lstrcmpiA(cls, "ComboBox") == 0) {
    *reinterpret_cast<HWND*>(param) = wnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK FindView(HWND wnd, LPARAM param) {
  char cls[64] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  if (lstrcmpA(cls, "VellumoPageView") == 0) {
    *reinterpret_cast<HWND*>(param) = wnd;
    return FALSE;
  }
  return TRUE;
}

double Now(LARGE_INTEGER freq) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(freq.QuadPart);
}

// Selects item `index` and tells the list's parent, as a pick by the user does; returns
// when the program has handled it.
bool Pick(HWND combo, int index, UINT timeout_ms) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(combo, CB_SETCURSEL, index, 0, SMTO_NORMAL, timeout_ms, &result))
    return false;
  const WPARAM notice = MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE);
  return SendMessageTimeoutA(GetParent(combo), WM_COMMAND, notice, reinterpret_cast<LPARAM>(combo),
                             SMTO_NORMAL, timeout_ms, &result) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: pick_timer VELLUMO.EXE ARCHIVE ENTRY RUNS [TIMEOUT_S]\n");
    return 2;
  }
  const int runs = std::atoi(argv[4]);
  const UINT timeout_ms = static_cast<UINT>(1000.0 * (argc > 5 ? std::atof(argv[5]) : 120.0));
  std::string command = std::string("\"") + argv[1] + "\" \"" + argv[2] + "\"";
  LARGE_INTEGER freq;
  QueryPerformanceFrequency(&freq);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fprintf(stderr, "pick_timer: cannot start %s (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  HWND form = nullptr, combo = nullptr;
  int status = 1, index = -1;
  const double start = Now(freq);
  while (Now(freq) - start < timeout_ms && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
    if (!combo) {
      Find find{pi.dwProcessId, nullptr};
      EnumWindows(FindForm, reinterpret_cast<LPARAM>(&find));
      form = find.form;
      if (form) EnumChildWindows(form, FindCombo, reinterpret_cast<LPARAM>(&combo));
    }
    DWORD_PTR found = static_cast<DWORD_PTR>(CB_ERR);
    if (combo && SendMessageTimeoutA(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(argv[3]), SMTO_NORMAL, timeout_ms,
                                     &found) &&
        found != static_cast<DWORD_PTR>(CB_ERR)) {
      index = static_cast<int>(found);
      break;
    }
    Sleep(10);
  }
  // The first entry is shown once the browser host knows whether there is an HTML engine:
  // without one, the built-in view's window appears.
  HWND view = nullptr;
  while (index >= 0 && !view && Now(freq) - start < timeout_ms) {
    EnumChildWindows(form, FindView, reinterpret_cast<LPARAM>(&view));
    if (!view) Sleep(50);
  }
  if (index >= 0) {
    status = 0;
    for (int run = 0; run < runs && status == 0; ++run) {
      if (!Pick(combo, index == 0 ? 1 : 0, timeout_ms)) status = 1;
      Sleep(200);
      const double before = Now(freq);
      if (!Pick(combo, index, timeout_ms)) status = 1;
      std::printf("%.1f\n", Now(freq) - before);
      std::fflush(stdout);
    }
  } else {
    std::fprintf(stderr, "pick_timer: %s not listed in time\n", argv[3]);
  }
  if (form) PostMessageA(form, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 3);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return status;
}
