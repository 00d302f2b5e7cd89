// Vellumo: shows the entries of a ZIP archive from memory. Argument 1 names the archive,
// argument 2 its password.
#include <windows.h>
#include <ole2.h>
#include <commctrl.h>

#include "common/win/dll_search.h"
#include "viewer/archive/win/archive.h"
#include "viewer/browser/application.h"
#include "viewer/form1.h"
#include "viewer/texts.h"

#include <cstdlib>

// The toolchain's default terminate handler prints a demangled type name on stderr, which a
// windowed program does not have, and so links the whole demangler (about 46 KB); the window
// procedures, COM methods and callbacks catch every exception at their boundaries.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The shell starts Vellumo with an archive's folder (often a downloads folder) as the
  // current folder: DLLs come from the program's own folder and the system folder only.
  vellumo::win::RestrictDllSearch(vellumo::win::DllSearch::kProgramAndSystemFolders);
  // The browser control needs OLE on this thread (single-threaded apartment).
  HRESULT ole = OleInitialize(nullptr);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  vellumo::SetApplicationTitle(vellumo::texts::kApplicationTitle);
  int code = 0;
  {
    vellumo::TForm1 form(GetCommandLineA());
    if (form.Handle()) {
      ShowWindow(form.Handle(), SW_SHOWMAXIMIZED);
      UpdateWindow(form.Handle());
      code = vellumo::RunMessageLoop();
    }
  }
  if (SUCCEEDED(ole)) OleUninitialize();
  return code;
}
