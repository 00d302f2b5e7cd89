#include "installer/package/win/startup_rules.h"

#include "installer/ui/win/texts.h"

namespace hollin {

StartSwitch DecideSwitch(const std::string& first_argument, bool uninstaller) {
  if (uninstaller) return first_argument == "/u" ? StartSwitch::kAutoUninstall : StartSwitch::kNone;
  if (first_argument == "/a") return StartSwitch::kAutoInstall;
  if (first_argument == "/v") return StartSwitch::kView;
  if (first_argument == "/c") return StartSwitch::kSkipCheck;
  return StartSwitch::kNone;
}

bool SelfCheckApplies(bool uninstaller, bool self_check_on, const std::string& first_argument) {
  return !uninstaller && self_check_on && first_argument != "/c" && first_argument != "/a";
}

bool SelfCheckNoticeApplies(uint32_t total_unpacked) {
  return total_unpacked / 1048576u > 100u;
}

uint32_t UnpackSpaceMegabytes(uint32_t total_unpacked) { return (total_unpacked >> 20) + 1u; }

std::string BannerWithUnpackSpace(const std::string& banner, uint32_t total_unpacked) {
  return banner + texts::kUnpackSpacePrefix + std::to_string(UnpackSpaceMegabytes(total_unpacked)) +
         texts::kUnpackSpaceSuffix;
}

std::string FolderPart(const std::string& path) {
  size_t cut = path.find_last_of("\\:");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string DecideDefaultFolder(const DefaultFolderInputs& in) {
  std::string path = in.path_text;
  // An absolute proposal ("D:\App") or one too short to be a folder name stays as it is.
  bool keep_proposal =
      in.has_folder_record && (path.size() <= 2 || (path.size() >= 2 && path[1] == ':'));
  if (!keep_proposal && !in.program_files.empty()) {
    std::string base = in.program_files;
    if (base.back() != '\\') base += '\\';
    path = base + path;
  }
  if (!in.uninstall_key.empty()) {
    std::string earlier = FolderPart(in.uninstall_string);
    if (!earlier.empty()) path = earlier;
  }
  if (path.empty()) path = texts::kFallbackFolder;
  return path;
}

}  // namespace hollin
