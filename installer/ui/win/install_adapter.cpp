#include "installer/ui/win/install_adapter.h"

#include "installer/actions/win/question_box.h"
#include "installer/package/win/startup.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/texts.h"

namespace hollin {

void WindowInstallHost::ClearLog() { w_.ClearLog(); }
void WindowInstallHost::AppendLog(const std::string& text) { w_.AppendLog(text); }
std::string WindowInstallHost::PathText() { return w_.Text(w_.path_box); }
void WindowInstallHost::SetPathText(const std::string& text) { w_.SetText(w_.path_box, text); }
bool WindowInstallHost::SkipCrcChecked() { return w_.Checked(w_.skip_crc_box); }
void WindowInstallHost::ShowProgress() { w_.ShowProgress(); }
void WindowInstallHost::SetProgressMax(int maximum) { w_.SetProgressMax(maximum); }
void WindowInstallHost::SetProgress(int position) { w_.SetProgress(position); }

HWND WindowInstallHost::ActionButton() const {
  return Startup().uninstaller ? w_.uninstall_button : w_.setup_button;
}
std::string WindowInstallHost::ActionCaption() { return w_.Text(ActionButton()); }
void WindowInstallHost::SetActionCaption(const std::string& caption) {
  w_.SetText(ActionButton(), caption);
}
void WindowInstallHost::SetActionEnabled(bool enabled) {
  // Setup follows the accept box: a licence unticked meanwhile keeps it disabled.
  w_.Enable(ActionButton(), enabled && (Startup().uninstaller || w_.Checked(w_.accept_box)));
}
void WindowInstallHost::SetWindowCaption(const std::string& caption) {
  w_.SetText(w_.window, caption);
}
void WindowInstallHost::ShowMessage(const std::string& text) {
  MessageBoxA(w_.window, text.c_str(), texts::kApplicationCaption, MB_OK);
}
bool WindowInstallHost::AskYesNo(const std::string& question) {
  return AskYesNoBox(w_.window, question, texts::kApplicationCaption);
}
void WindowInstallHost::PumpMessages() { PumpWindowMessages(); }
void WindowInstallHost::EndProgram() { hollin::EndProgram(0); }
void WindowInstallHost::ClosePackage() { Startup().package.reset(); }

InstallContext MakeInstallContext() {
  const StartupValues& s = Startup();
  InstallContext c;
  c.package = s.package.get();
  c.own_path = s.own_path;
  c.first_argument = s.first_argument;
  c.registry_import = s.registry_import;
  c.uninstall_key = s.uninstall_key;
  c.display_name = s.display_name;
  c.header_end = s.header_end;
  c.file_list_position = s.file_list_position;
  return c;
}

void RunInstallFromWindow() {
  ProcedureScope scope(Main());
  if (!scope.entered()) return;
  WindowInstallHost host(Main());
  RunInstall(host, MakeInstallContext());
}

void RunUninstallFromWindow() {
  ProcedureScope scope(Main());
  if (!scope.entered()) return;
  WindowInstallHost host(Main());
  RunUninstall(host, MakeInstallContext());
}

}  // namespace hollin
