// The install and uninstall procedures over any platform. RunInstall and RunUninstall
// (install_host.h) call these with the Windows platform; tests call them with a fake.
#pragma once
#include <string>

#include "installer/actions/install_host.h"
#include "installer/actions/install_platform.h"

namespace hollin {

void RunInstallProcedure(InstallHost& host, InstallPlatform& platform, const InstallContext& context);
void RunUninstallProcedure(InstallHost& host, InstallPlatform& platform, const InstallContext& context);

// The four lines of del.bat for an uninstaller at `own_path`.
std::string SelfDeleteBatchText(const std::string& own_path);

}  // namespace hollin
