// Keeps a procedure from starting again while it pumps window messages (a second press of
// the button): the button is disabled for the run and a flag refuses re-entry.
#pragma once
#include "installer/actions/install_host.h"

namespace hollin {

class RunGuard {
 public:
  explicit RunGuard(InstallHost& host) : host_(host), entered_(!Running()) {
    if (!entered_) return;
    Running() = true;
    host_.SetActionEnabled(false);
  }
  ~RunGuard() {
    if (!entered_) return;
    host_.SetActionEnabled(true);
    Running() = false;
  }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;
  bool entered() const { return entered_; }

 private:
  static bool& Running() {
    static bool running = false;
    return running;
  }
  InstallHost& host_;
  bool entered_;
};

}  // namespace hollin
