// The reading mode's decisions that need no window: the menu template's items, the
// shortcut keys, which files count as HTML, how a file's lines are joined and what may be
// extracted where.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "installer/package/package_format.h"

namespace hollin {

struct ReadingMenuItem {
  int number = 0;        // counts every item, submenu parents included, from 0
  int parent = -1;       // number of the submenu parent, -1 at the top level
  bool submenu = false;  // opens a submenu
  std::string caption;   // shown text, without the sign, "!" and shortcut
  std::string shortcut;  // text after the tab, empty when none
  bool check = false;    // "+" or "-" item
  bool checked = false;  // "+"
  bool radio = false;    // "!" after the sign
  int group = 0;         // radio group within its submenu, from 1; 0 when not radio
  bool is_default = false;
};

// Parses a menu template (see reading_texts.h). A sign makes a check item only when "!" or a
// letter or digit follows it ("-->" is a command). Unbalanced ")" are ignored; a "(" with no
// item before it opens nothing.
std::vector<ReadingMenuItem> ParseReadingMenu(const std::vector<std::string>& lines,
                                              int default_item);
// The reading menu's own template.
std::vector<ReadingMenuItem> ReadingMenuItems();

// A shortcut text such as "Ctrl+F1", "Alt+A", "Ctrl+-": the modifier and the virtual key.
struct ReadingShortcut {
  bool control = false;
  bool alt = false;
  uint16_t virtual_key = 0;  // Windows virtual-key code; 0 when the text is not understood
};
ReadingShortcut ParseShortcut(std::string_view text);

// The reading menu items that are radio items of the same group and contiguous with
// `number` (the run CheckMenuRadioItem covers): first and last item numbers.
bool RadioRun(const std::vector<ReadingMenuItem>& items, int number, int* first, int* last);

// ".html", ".shtml", ".htm", ".shtm", ".asp", ".cgi", ".xml", compared with the name's
// extension (from its last "." on) lower-cased; a name without "." has none.
bool IsHtmlLikeName(std::string_view name);

// The text shown through methods One and Second: up to the first NUL byte, with every CR and
// every LF right after a CR removed (lines joined without separators; bare LFs stay).
std::string JoinTextLines(std::string_view bytes);

// The reading path refuses a stored block longer than kReadingSizeLimit (5,242,880 bytes).
constexpr uint64_t kReadingBlockLimit = kReadingSizeLimit;
inline bool ReadingBlockTooBig(uint64_t block_length) { return block_length > kReadingBlockLimit; }

// Folder path with one trailing "\" (none added when it already ends with one).
std::string FolderWithSeparator(std::string folder);

}  // namespace hollin
