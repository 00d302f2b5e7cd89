#include "viewer/browser/application.h"

namespace vellumo {
namespace {
TApplicationHook g_hook;
HWND g_dialog_window = nullptr;

void DispatchOne(MSG& msg) {
  if (CallApplicationMessageHook(msg)) return;
  if (g_dialog_window && IsDialogMessageA(g_dialog_window, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}
}  // namespace

TApplicationHook SetApplicationMessageHook(TApplicationHook hook) {
  TApplicationHook previous = g_hook;
  g_hook = hook;
  return previous;
}

TApplicationHook ApplicationMessageHook() { return g_hook; }

void SetApplicationDialogWindow(HWND wnd) { g_dialog_window = wnd; }
HWND ApplicationDialogWindow() { return g_dialog_window; }

bool CallApplicationMessageHook(MSG& msg) {
  if (!g_hook.hook) return false;
  bool handled = false;
  g_hook.hook(g_hook.context, msg, &handled);
  return handled;
}

bool ProcessPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    DispatchOne(msg);
  }
  return true;
}

int RunMessageLoop() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchOne(msg);
  return static_cast<int>(msg.wParam);
}

}  // namespace vellumo
