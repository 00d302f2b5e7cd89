// What the install and uninstall procedures need from Hollin's main window, and the values
// start-up hands them. The window implements InstallHost; tests fake it.
#pragma once
#include <cstdint>
#include <string>

#include "installer/package/stream.h"

namespace hollin {

class InstallHost {
 public:
  virtual ~InstallHost() = default;
  virtual void ClearLog() = 0;
  virtual void AppendLog(const std::string& text) = 0;  // text carries its own CR LF
  virtual std::string PathText() = 0;
  virtual void SetPathText(const std::string& text) = 0;
  virtual bool SkipCrcChecked() = 0;
  virtual void ShowProgress() = 0;
  virtual void SetProgressMax(int maximum) = 0;
  virtual void SetProgress(int position) = 0;
  // The Setup button in the installer, the Uninstall button in the uninstaller.
  virtual std::string ActionCaption() = 0;
  virtual void SetActionCaption(const std::string& caption) = 0;
  virtual void SetActionEnabled(bool enabled) = 0;
  virtual void SetWindowCaption(const std::string& caption) = 0;
  virtual void ShowMessage(const std::string& text) = 0;  // "<folder> unable to create"
  // Question box with the answers "y" and "n"; true = "y". The window can implement it with
  // AskYesNoBox (installer/actions/win/question_box.h).
  virtual bool AskYesNo(const std::string& question) = 0;
  virtual void PumpMessages() = 0;
  virtual void EndProgram() = 0;
  // The uninstaller closes its own file before starting the batch file that deletes it;
  // the procedure does not touch InstallContext::package after this call.
  virtual void ClosePackage() = 0;
};

struct InstallContext {
  Stream* package = nullptr;    // the read stream on the running program's own file
  std::string own_path;         // full path of the running program (uninstaller: its folder is the install folder)
  std::string first_argument;   // "/u" skips the uninstall question
  // Header values read by start-up:
  uint8_t registry_import = 0;  // 1 = packaged ".reg" files are imported
  std::string uninstall_key;    // trimmed; may be empty
  std::string display_name;     // trimmed
  uint64_t header_end = 0;          // position right after the header records
  uint64_t file_list_position = 0;  // installer: position after the reserved byte (file list block)
};

// Run with the real Windows operations (defined in installer/actions/win). Both guard
// against re-entry from a second button press while messages are pumped, and disable the
// action button while they run.
void RunInstall(InstallHost& host, const InstallContext& context);
void RunUninstall(InstallHost& host, const InstallContext& context);

}  // namespace hollin
