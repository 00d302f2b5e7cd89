// Closes the modal boxes and prompts that the window under test raises, from a second thread,
// and records what they said. Every box is answered within a few tens of milliseconds, so no
// test can hang on one.
#pragma once
#include <windows.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellumo::test {

struct SeenBox {
  std::string caption;
  std::string text;  // the texts of its static controls, joined by "\n"
  std::string window_class;
};

// How to answer the next box: text for its first edit control (when it has one), and the
// button to press.
struct BoxAnswer {
  std::string edit_text;
  int button = IDOK;
};

class BoxWatcher {
 public:
  BoxWatcher() : thread_([this] { Run(); }) {}
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }

  // Windows of the process that are not boxes (the window under test, the host's parent).
  void Ignore(HWND wnd) {
    std::lock_guard<std::mutex> lock(mutex_);
    ignored_.push_back(wnd);
  }
  void QueueAnswer(BoxAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(std::move(answer));
  }
  // Takes the boxes seen since the last call.
  std::vector<SeenBox> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<SeenBox> seen;
    seen.swap(seen_);
    return seen;
  }
  std::vector<std::string> TakeTexts() {
    std::vector<std::string> texts;
    for (SeenBox& b : Take()) texts.push_back(b.text);
    return texts;
  }
  void ClearAnswers() {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.clear();
  }

 private:
  struct Found {
    BoxWatcher* self;
    std::vector<HWND> windows;
  };

  static std::string TextOf(HWND wnd) {
    char buf[4096] = "";
    // Another thread's window: WM_GETTEXT through a bounded send.
    DWORD_PTR got = 0;
    SendMessageTimeoutA(wnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                        SMTO_ABORTIFHUNG, 1000, &got);
    return buf;
  }
  static std::string ClassOf(HWND wnd) {
    char buf[256] = "";
    GetClassNameA(wnd, buf, sizeof buf);
    return buf;
  }

  static BOOL CALLBACK CollectTop(HWND wnd, LPARAM lp) {
    auto* found = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid != GetCurrentProcessId() || !IsWindowVisible(wnd)) return TRUE;
    if (ClassOf(wnd) == "TForm1") return TRUE;  // the window under test
    std::lock_guard<std::mutex> lock(found->self->mutex_);
    for (HWND ignored : found->self->ignored_)
      if (ignored == wnd) return TRUE;
    found->windows.push_back(wnd);
    return TRUE;
  }

  struct Children {
    std::vector<HWND> statics, edits, buttons;
  };
  static BOOL CALLBACK CollectChild(HWND wnd, LPARAM lp) {
    auto* c = reinterpret_cast<Children*>(lp);
    std::string cls = ClassOf(wnd);
    if (_stricmp(cls.c_str(), "Static") == 0) {
      if ((GetWindowLongA(wnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) c->statics.push_back(wnd);
    } else if (_stricmp(cls.c_str(), "Edit") == 0) {
      c->edits.push_back(wnd);
    } else if (_stricmp(cls.c_str(), "Button") == 0) {
      c->buttons.push_back(wnd);
    }
    return TRUE;
  }

  void Answer(HWND box) {
    Children c;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&c));
    if (c.buttons.empty()) return;  // not a box (yet)
    SeenBox seen{TextOf(box), "", ClassOf(box)};
    for (HWND s : c.statics) {
      std::string t = TextOf(s);
      if (t.empty()) continue;
      if (!seen.text.empty()) seen.text += "\n";
      seen.text += t;
    }
    BoxAnswer answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
      }
      seen_.push_back(seen);
    }
    if (!c.edits.empty() && !answer.edit_text.empty()) {
      DWORD_PTR r;
      SendMessageTimeoutA(c.edits.front(), WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(answer.edit_text.c_str()), SMTO_ABORTIFHUNG,
                          1000, &r);
    }
    HWND button = GetDlgItem(box, answer.button);
    if (!button) button = c.buttons.front();
    // Posted: the box's own thread runs its modal loop and handles the click there.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    answered_.push_back(box);
  }

  void Run() {
    while (!stop_) {
      Sleep(30);
      Found found{this, {}};
      EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&found));
      for (HWND wnd : found.windows) {
        bool done = false;
        for (HWND a : answered_) done = done || a == wnd;
        if (done && IsWindow(wnd)) continue;  // closing: answered once already
        Answer(wnd);
      }
      // Forget boxes that are gone; a new box may reuse a handle.
      std::vector<HWND> alive;
      for (HWND a : answered_)
        if (IsWindow(a) && IsWindowVisible(a)) alive.push_back(a);
      answered_.swap(alive);
    }
  }

  std::mutex mutex_;
  std::vector<HWND> ignored_;
  std::deque<BoxAnswer> answers_;
  std::vector<SeenBox> seen_;
  std::vector<HWND> answered_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vellumo::test
