// The procedures with the real system under them: what the main window calls.
#include "installer/actions/install_host.h"
#include "installer/actions/procedures.h"
#include "installer/actions/win/windows_platform.h"

namespace hollin {

void RunInstall(InstallHost& host, const InstallContext& context) {
  WindowsPlatform platform;
  RunInstallProcedure(host, platform, context);
}

void RunUninstall(InstallHost& host, const InstallContext& context) {
  WindowsPlatform platform;
  RunUninstallProcedure(host, platform, context);
}

}  // namespace hollin
