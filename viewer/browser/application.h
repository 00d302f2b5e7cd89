// Vellumo's application object: the message loop and the application-wide message hook that
// sees every message the loop takes from the queue before it is dispatched.
#pragma once
#include <windows.h>

namespace vellumo {

// A hook gets each message; setting *handled stops the message's dispatch.
using TMessageHook = void (*)(void* context, MSG& msg, bool* handled);

struct TApplicationHook {
  TMessageHook hook = nullptr;
  void* context = nullptr;
};

// Installs `hook` as the application's message hook and returns the one it replaces.
TApplicationHook SetApplicationMessageHook(TApplicationHook hook);
TApplicationHook ApplicationMessageHook();

// Runs the hook for one message; true when the hook handled it.
bool CallApplicationMessageHook(MSG& msg);

// The top-level window whose controls Tab and the arrow keys move between (IsDialogMessage),
// or none.
void SetApplicationDialogWindow(HWND wnd);
HWND ApplicationDialogWindow();

// Handles every message waiting in the queue (hook, translate, dispatch); false once WM_QUIT
// was taken (it is posted again so that the outer loop also ends).
bool ProcessPendingMessages();

// The main loop: runs until WM_QUIT and returns its exit code.
int RunMessageLoop();

}  // namespace vellumo
