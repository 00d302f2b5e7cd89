// Stand-ins for the reading mode's entry points while it is not part of the build.
#pragma once
#include <windows.h>

namespace hollin {
struct MainWindow;
HMENU BuildReadingMenu();
HACCEL BuildReadingAccelerators();
bool OnReadingCommand(MainWindow&, unsigned id);
void EnterReadingMode(MainWindow&);
void OnFileListSelChange(MainWindow&);
void ReadingPreviousFile(MainWindow&);
void ReadingNextFile(MainWindow&);
}  // namespace hollin
