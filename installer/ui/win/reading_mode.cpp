#include "installer/ui/win/reading_mode.h"

#include "installer/ui/win/main_window.h"

namespace hollin {

HMENU BuildReadingMenu() { return CreatePopupMenu(); }
HACCEL BuildReadingAccelerators() { return nullptr; }
bool OnReadingCommand(MainWindow&, unsigned) { return false; }
void EnterReadingMode(MainWindow&) {}
void OnFileListSelChange(MainWindow&) {}
void ReadingPreviousFile(MainWindow&) {}
void ReadingNextFile(MainWindow&) {}

}  // namespace hollin
