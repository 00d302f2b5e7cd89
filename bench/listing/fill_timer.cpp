// fill_timer.exe: times Vellumo from outside, under Wine, from process start until its
// drop-down list holds the expected number of names.
//
//   fill_timer VELLUMO.EXE ARCHIVE COUNT [TIMEOUT_S]
//
// Starts the program with the archive as its command line, finds its main window (by
// process id) and its combo box, and asks for the count until it equals COUNT. Prints the
// milliseconds from just before CreateProcess to the first answer that equals COUNT, then
// closes the window. The program answers the count only between messages, so the time
// includes the process start, reading the directory, filling the list and whatever the
// program does before it next looks at its message queue. Every wait is bounded.
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

double Ms(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER freq) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: fill_timer VELLUMO.EXE ARCHIVE COUNT [TIMEOUT_S]\n");
    return 2;
  }
  long wanted = std::atol(argv[3]);
  double timeout_ms = 1000.0 * (argc > 4 ? std::atof(argv[4]) : 120.0);
  std::string command = std::string("\"") + argv[1] + "\" \"" + argv[2] + "\"";
  LARGE_INTEGER freq, start, now;
  QueryPerformanceFrequency(&freq);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::fprintf(stderr, "fill_timer: cannot start %s (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  HWND form = nullptr, combo = nullptr;
  long count = -1;
  int status = 1;
  for (;;) {
    QueryPerformanceCounter(&now);
    double elapsed = Ms(start, now, freq);
    if (elapsed > timeout_ms) {
      std::fprintf(stderr, "fill_timer: timed out with %ld of %ld names\n", count, wanted);
      break;
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
      std::fprintf(stderr, "fill_timer: the program ended before its list was filled\n");
      break;
    }
    if (!combo) {
      Find find{pi.dwProcessId, nullptr};
      EnumWindows(FindForm, reinterpret_cast<LPARAM>(&find));
      form = find.form;
      if (form) EnumChildWindows(form, FindCombo, reinterpret_cast<LPARAM>(&combo));
      if (!combo) {
        Sleep(1);
        continue;
      }
    }
    DWORD_PTR result = 0;
    UINT left = static_cast<UINT>(timeout_ms - elapsed) + 1;
    if (SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_NORMAL, left, &result)) {
      count = static_cast<long>(result);
      if (count == wanted) {
        QueryPerformanceCounter(&now);
        std::printf("%.1f\n", Ms(start, now, freq));
        std::fflush(stdout);
        status = 0;
        break;
      }
    }
    Sleep(1);
  }
  if (form) PostMessageA(form, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 3);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return status;
}
