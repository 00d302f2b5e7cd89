#include "installer/actions/shortcuts.h"

#include "installer/actions/action_texts.h"
#include "installer/actions/paths.h"
#include "installer/package/package_format.h"

namespace hollin {

namespace {

struct LinkMessages {
  const char* same;
  const char* not_same;
  const char* bad;
  const char* created;
};
constexpr LinkMessages kDesktopMessages = {texts::kDesktopLinkSame, texts::kDesktopLinkNotSame,
                                           texts::kDesktopLinkBad, texts::kDesktopLinkNew};
constexpr LinkMessages kGroupMessages = {texts::kGroupLinkSame, texts::kGroupLinkNotSame,
                                         texts::kGroupLinkBad, texts::kGroupLinkNew};

void WriteInstallLink(InstallPlatform& platform, const std::string& target,
                      const std::string& link_path) {
  LinkFields fields;
  fields.target = target;
  platform.WriteLink(fields, "", 1, link_path);  // the result is not looked at
}

// Writes the link unless it already points at the target (letter case aside).
void PlaceLink(InstallHost& host, InstallPlatform& platform, const std::string& link_path,
               const std::string& target, const LinkMessages& messages) {
  const char* message = messages.created;
  if (platform.FileExists(link_path)) {
    LinkFields existing;
    if (!platform.ReadLink(link_path, kLinkReadOwner, &existing)) {
      message = messages.bad;
    } else if (ToLowerAscii(existing.target) == ToLowerAscii(target)) {
      host.AppendLog(link_path + messages.same + texts::kLineEnd);
      return;
    } else {
      message = messages.not_same;
    }
  }
  WriteInstallLink(platform, target, link_path);
  host.AppendLog(link_path + message + texts::kLineEnd);
}

}  // namespace

std::string DesktopLinkPath(InstallPlatform& platform, const std::string& link_name) {
  return platform.SpecialFolderPath(kCsidlDesktop) + "\\" + link_name + ".lnk";
}

std::string GroupFolderPath(InstallPlatform& platform, uint8_t kind, const std::string& group_name) {
  int csidl = kind == kGroupUnderPrograms ? kCsidlPrograms : kCsidlStartMenu;
  return WithTrailingBackslash(platform.SpecialFolderPath(csidl)) + group_name;
}

void CreateDesktopShortcut(InstallHost& host, InstallPlatform& platform,
                           const std::string& install_folder, const ShortcutRecord& record) {
  const std::string link_path = DesktopLinkPath(platform, record.link_name);
  const std::string target = install_folder + record.program;
  // A name that climbs out of the desktop, or a target outside the install folder, is not
  // written.
  if (!IsContainedName(record.link_name + ".lnk") || !IsContainedName(record.program)) {
    host.AppendLog(link_path + texts::kIsBad + texts::kLineEnd);
    return;
  }
  PlaceLink(host, platform, link_path, target, kDesktopMessages);
}

void CreateProgramGroup(InstallHost& host, InstallPlatform& platform,
                        const std::string& install_folder, const ProgramGroupRecord& record) {
  if (!record.present()) return;
  const std::string group_folder = GroupFolderPath(platform, record.kind, record.group_name);
  if (!IsContainedName(record.group_name)) {
    host.AppendLog(group_folder + texts::kIsBad + texts::kLineEnd);
    return;
  }
  if (!platform.FolderExists(group_folder)) platform.CreateOneFolder(group_folder);
  host.AppendLog(texts::kGroupCreated + record.group_name + texts::kLineEnd);
  for (const GroupLink& link : record.links) {
    const std::string link_path = group_folder + "\\" + link.link_name + ".lnk";
    if (!IsContainedName(link.link_name + ".lnk") || !IsContainedName(link.program)) {
      host.AppendLog(link_path + texts::kIsBad + texts::kLineEnd);
      continue;
    }
    PlaceLink(host, platform, link_path, install_folder + link.program, kGroupMessages);
  }
}

}  // namespace hollin
