#include "installer/actions/win/question_box.h"

namespace hollin {
namespace {

// The hook lives only while the box is being created on this thread.
thread_local HHOOK g_hook = nullptr;

LRESULT CALLBACK RenameButtons(int code, WPARAM wparam, LPARAM lparam) {
  HHOOK hook = g_hook;
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    SetDlgItemTextA(box, IDYES, "y");
    SetDlgItemTextA(box, IDNO, "n");
    UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
  }
  return CallNextHookEx(hook, code, wparam, lparam);
}

}  // namespace

bool AskYesNoBox(HWND owner, const std::string& text, const std::string& caption) {
  g_hook = SetWindowsHookExA(WH_CBT, RenameButtons, nullptr, GetCurrentThreadId());
  int answer = MessageBoxA(owner, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION);
  if (g_hook) {
    UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
  }
  return answer != IDNO;
}

}  // namespace hollin
