#include "tests/archive/box_watcher.h"

#include <chrono>

namespace vellumo::test {

namespace {
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr int kPasswordLabelId = 101;

BOOL CALLBACK Collect(HWND window, LPARAM lparam) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  char name[32] = {};
  ::GetClassNameA(window, name, sizeof name);
  if (process == ::GetCurrentProcessId() && ::IsWindowVisible(window) && lstrcmpA(name, "#32770") == 0)
    reinterpret_cast<std::vector<HWND>*>(lparam)->push_back(window);
  return TRUE;
}
}  // namespace

BoxWatcher::BoxWatcher() : thread_([this] { Loop(); }) {}

BoxWatcher::~BoxWatcher() {
  stop_ = true;
  thread_.join();
}

void BoxWatcher::Then(Handler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handlers_.push_back(std::move(handler));
}

std::vector<SeenBox> BoxWatcher::Boxes() {
  std::lock_guard<std::mutex> lock(mutex_);
  return boxes_;
}

std::vector<std::string> BoxWatcher::Texts() {
  std::vector<std::string> texts;
  for (const SeenBox& b : Boxes()) texts.push_back(b.text);
  return texts;
}

std::string BoxWatcher::WindowText(HWND window) {
  char buffer[2048] = {};
  ::GetWindowTextA(window, buffer, sizeof buffer);
  return buffer;
}

void BoxWatcher::Loop() {
  while (!stop_) {
    std::vector<HWND> boxes;
    ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&boxes));
    for (HWND box : boxes) {
      Handler handler;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        // A mark on the window itself: a new box may get the handle of one just closed.
        if (::GetPropA(box, "BoxWatcherSeen")) continue;
        ::SetPropA(box, "BoxWatcherSeen", reinterpret_cast<HANDLE>(1));
        HWND text = ::GetDlgItem(box, kMessageBoxTextId);
        if (!text) text = ::GetDlgItem(box, kPasswordLabelId);
        boxes_.push_back({WindowText(box), text ? WindowText(text) : std::string()});
        if (!handlers_.empty()) {
          handler = std::move(handlers_.front());
          handlers_.pop_front();
        }
      }
      if (handler) handler(box);
      else Press(box, IDCANCEL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
  }
}

}  // namespace vellumo::test
