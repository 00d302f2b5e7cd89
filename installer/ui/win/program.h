// Hollin's program-level pieces: building the two windows, start-up over the main window,
// the message loop and the pump the long loops call, and how the program ends.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "installer/ui/win/main_window.h"

namespace hollin {

// Creates the main window and every control in creation order (hidden until shown by the
// caller), centred on the screen. False when a window cannot be created.
bool BuildMainWindow();
// Destroys both windows and resets the records (tests build the windows many times).
void DestroyWindows();

enum class StartupOutcome { kRunMessageLoop, kEndProgram };

// Start-up over the built main window: opens `package_path` as the package stream (Hollin
// passes its own path and PackageOffset()), reads the stub fields and header, runs the self
// check, fills the window and acts on `first_argument`. kEndProgram after "/a", "/u", a
// silent self-check failure or a package file that cannot be opened.
StartupOutcome RunStartup(const std::string& package_path, uint64_t package_offset,
                          const std::string& first_argument);

// Creates the backdrop window after start-up: product title, caption, hidden in the
// uninstaller, minimised with "/v". Shows it (unless hidden) behind the main window when
// `show` is true.
bool BuildBackdropWindow(const std::string& first_argument, bool show);

// Installs the window pump for the long loops and the block-decoding failure report (the
// main window caption becomes "zlib decompress error").
void InstallProgramHooks();

// Shows the main window and runs the message loop until the program ends.
int RunMessageLoop();
// One pass over the pending messages (the long loops' pump), accelerators included.
void PumpWindowMessages();

// Ends the program at once; the window's close request comes here too. Tests replace the
// handler so that the process survives; the default ends the process.
using EndProgramHandler = void (*)(int exit_code);
void SetEndProgramHandler(EndProgramHandler handler);
void EndProgram(int exit_code);

// BrowseCallbackProc of the folder dialogs: centres the dialog on the screen when it opens.
int CALLBACK CentreFolderDialog(HWND dialog, UINT msg, LPARAM, LPARAM);

// Link opening of the log box: ShellExecute "open" by default; tests replace it.
using LinkOpener = void (*)(const std::string& link);
void SetLinkOpener(LinkOpener opener);

// Paints the backdrop into `dc`: the 256 gradient bands over the client area, then the
// product title and the maker notice (window_width/height are the outer size).
void PaintBackdrop(HDC dc, int client_width, int client_height, int window_width,
                   int window_height);

}  // namespace hollin
