// Compiled only while the reading mode's own files are missing.
#if !__has_include("installer/ui/win/reading_mode.h")
#include "installer/ui/win/reading_placeholder.h"

#include "installer/ui/win/main_window.h"
#include "installer/ui/win/texts.h"

namespace hollin {
HMENU BuildReadingMenu() { return CreatePopupMenu(); }
HACCEL BuildReadingAccelerators() { return nullptr; }
bool OnReadingCommand(MainWindow&, unsigned) { return false; }
void EnterReadingMode(MainWindow& w) {
  w.AppendLog(std::string(texts::kViewButton) + texts::kNotAvailable);
}
void OnFileListSelChange(MainWindow&) {}
void ReadingPreviousFile(MainWindow&) {}
void ReadingNextFile(MainWindow&) {}
}  // namespace hollin
#endif
