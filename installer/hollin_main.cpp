// Hollin's entry point: build the main window, run start-up on the program's own file,
// build the backdrop, then run the message loop until the main window closes.
#include <windows.h>

#include "common/win/dll_search.h"
#include "installer/package/package_offset.h"
#include "installer/package/win/startup.h"
#include "installer/ui/win/program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Run from a downloads folder, the installer must not pick up a DLL that lies beside it.
  vellumo::win::RestrictDllSearch(vellumo::win::DllSearch::kSystemFolderOnly);
  hollin::InstallProgramHooks();
  if (!hollin::BuildMainWindow()) ExitProcess(1);
  std::string first_argument = hollin::FirstCommandLineArgument();
  if (hollin::RunStartup(hollin::OwnExecutablePath(), hollin::PackageOffset(), first_argument) ==
      hollin::StartupOutcome::kEndProgram)
    ExitProcess(0);
  hollin::BuildBackdropWindow(first_argument, true);
  ExitProcess(static_cast<UINT>(hollin::RunMessageLoop()));
}
