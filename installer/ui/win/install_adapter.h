// The main window seen by the install and uninstall procedures: an InstallHost over the
// controls, and the Setup and Uninstall actions that hand it to them.
#pragma once
#include <string>

#include "installer/actions/install_host.h"
#include "installer/ui/win/main_window.h"

namespace hollin {

class WindowInstallHost : public InstallHost {
 public:
  explicit WindowInstallHost(MainWindow& window) : w_(window) {}
  void ClearLog() override;
  void AppendLog(const std::string& text) override;
  std::string PathText() override;
  void SetPathText(const std::string& text) override;
  bool SkipCrcChecked() override;
  void ShowProgress() override;
  void SetProgressMax(int maximum) override;
  void SetProgress(int position) override;
  std::string ActionCaption() override;
  void SetActionCaption(const std::string& caption) override;
  void SetActionEnabled(bool enabled) override;
  void SetWindowCaption(const std::string& caption) override;
  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& question) override;
  void PumpMessages() override;
  void EndProgram() override;
  void ClosePackage() override;

 private:
  HWND ActionButton() const;
  MainWindow& w_;
};

// The start-up values as the procedures take them.
InstallContext MakeInstallContext();

// Setup and Uninstall clicks.
void RunInstallFromWindow();
void RunUninstallFromWindow();

}  // namespace hollin
