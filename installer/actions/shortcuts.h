// The desktop-shortcut and program-group steps of the install procedure, and the paths the
// uninstaller uses to find the same links again.
#pragma once
#include <string>

#include "installer/actions/install_host.h"
#include "installer/actions/install_platform.h"
#include "installer/package/package_reader.h"

namespace hollin {

// What the install steps pass to the link reader as its owner.
constexpr intptr_t kLinkReadOwner = 1;

// desktop path + "\" + link name + ".lnk"
std::string DesktopLinkPath(InstallPlatform& platform, const std::string& link_name);
// Programs menu (kind 1) or Start menu (kind 2) + "\" + group name.
std::string GroupFolderPath(InstallPlatform& platform, uint8_t kind, const std::string& group_name);

void CreateDesktopShortcut(InstallHost& host, InstallPlatform& platform,
                           const std::string& install_folder, const ShortcutRecord& record);
void CreateProgramGroup(InstallHost& host, InstallPlatform& platform,
                        const std::string& install_folder, const ProgramGroupRecord& record);

}  // namespace hollin
