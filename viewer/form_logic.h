// The main window's decisions as plain functions, so they are tested without a window:
// command-line splitting, the archive-extension test, the arrow buttons' index math, the
// password cut and the caption text.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace vellumo {

// Splits a command line at blanks; double quotes group blanks into one argument and are
// removed. Element 0 is the program as the line names it.
std::vector<std::string> SplitCommandLine(const std::string& line);

// The text from the last "." of the last path component to the end, "." included, or empty.
std::string FileExtension(const std::string& path);

// True when the lower-cased extension is exactly ".zip" or ".exe".
bool IsArchiveArgument(const std::string& path);

// Index that "<<<" selects: one before `selected`, the last item below 0 (also for -1).
// -1 when the list is empty.
int PreviousIndex(int selected, int count);
// Index that ">>>" selects: one after `selected` (-1 gives 0), 0 past the end.
// -1 when the list is empty.
int NextIndex(int selected, int count);

// The archive component takes at most this many password characters.
inline constexpr size_t kMaxPasswordLength = 255;
std::string CutPassword(const std::string& text);

// Caption while the archive is listed; `encrypted` when any entry is encrypted.
std::string ListedCaption(const std::string& zip_file_name, bool encrypted);

}  // namespace vellumo
