// Start-up's decisions as plain functions (no Windows calls): which switch the command line
// selects, whether the self check runs, the banner's unpack-space number and the default
// install folder.
#pragma once
#include <cstdint>
#include <string>

namespace hollin {

enum class StartSwitch { kNone, kAutoInstall, kView, kSkipCheck, kAutoUninstall };

// Exact, case-sensitive text of the first argument; a switch meant for the other program
// (installer or uninstaller) is ignored.
StartSwitch DecideSwitch(const std::string& first_argument, bool uninstaller);

// The self check runs in the installer, when the package asks for it, unless the first
// argument is "/c" or "/a".
bool SelfCheckApplies(bool uninstaller, bool self_check_on, const std::string& first_argument);

// The "please wait" notice is drawn for packages of more than 100 MB unpacked.
bool SelfCheckNoticeApplies(uint32_t total_unpacked);

// Megabytes announced in the banner: total >> 20, plus 1.
uint32_t UnpackSpaceMegabytes(uint32_t total_unpacked);
// The banner text followed by the unpack-space phrase.
std::string BannerWithUnpackSpace(const std::string& banner, uint32_t total_unpacked);

// Everything up to and including the last "\" or ":"; empty when there is neither.
std::string FolderPart(const std::string& path);

struct DefaultFolderInputs {
  bool has_folder_record = false;  // record 15 was 1
  std::string path_text;           // the path box text (record 15a, or empty)
  std::string program_files;       // "programfilesdir", empty when unreadable
  std::string uninstall_key;       // empty: no earlier install is looked up
  std::string uninstall_string;    // "uninstallstring" of that key, empty when absent
};
// The path box text after the three default-folder steps.
std::string DecideDefaultFolder(const DefaultFolderInputs& in);

}  // namespace hollin
