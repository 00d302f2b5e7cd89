// Closes the modal boxes and dialogs a test opens, from a second thread: each box is recorded
// (caption and text) and handed to the next scripted handler, or cancelled when none is left,
// so no test can hang on a box.
#pragma once
#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vellumo::test {

struct SeenBox {
  std::string title;
  std::string text;
  bool operator==(const SeenBox& o) const { return title == o.title && text == o.text; }
};

class BoxWatcher {
 public:
  using Handler = std::function<void(HWND box)>;
  BoxWatcher();
  ~BoxWatcher();
  BoxWatcher(const BoxWatcher&) = delete;
  BoxWatcher& operator=(const BoxWatcher&) = delete;

  void Then(Handler handler);
  std::vector<SeenBox> Boxes();
  std::vector<std::string> Texts();

  static std::string WindowText(HWND window);
  static void Press(HWND dialog, int id) { ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

 private:
  void Loop();

  std::mutex mutex_;
  std::deque<Handler> handlers_;
  std::vector<SeenBox> boxes_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vellumo::test
