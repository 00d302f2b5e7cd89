#include "installer/ui/reading_rules.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "installer/ui/reading_texts.h"

namespace hollin {
namespace {

// Windows virtual-key codes of the keys the shortcuts use.
constexpr uint16_t kVkF1 = 0x70;
constexpr uint16_t kVkAdd = 0x6B;
constexpr uint16_t kVkSubtract = 0x6D;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

std::vector<ReadingMenuItem> ParseReadingMenu(const std::vector<std::string>& lines,
                                              int default_item) {
  std::vector<ReadingMenuItem> items;
  std::vector<int> parents;  // open submenus, innermost last
  for (const std::string& line : lines) {
    if (line == "(") {
      if (!items.empty()) {
        items.back().submenu = true;
        parents.push_back(items.back().number);
      }
      continue;
    }
    if (line == ")") {
      if (!parents.empty()) parents.pop_back();
      continue;
    }
    ReadingMenuItem item;
    item.number = static_cast<int>(items.size());
    item.parent = parents.empty() ? -1 : parents.back();
    std::string_view text = line;
    // The sign marks a check item only before "!" or a letter or digit, so that an arrow
    // caption such as "-->" stays a plain command.
    if (text.size() >= 2 && (text[0] == '+' || text[0] == '-') &&
        (text[1] == '!' || std::isalnum(static_cast<unsigned char>(text[1])))) {
      item.check = true;
      item.checked = text[0] == '+';
      text.remove_prefix(1);
      if (!text.empty() && text[0] == '!') {
        item.radio = true;
        text.remove_prefix(1);
      }
    }
    size_t tab = text.find('\t');
    item.caption = std::string(text.substr(0, tab));
    if (tab != std::string_view::npos) item.shortcut = std::string(text.substr(tab + 1));
    // Every radio item joins the group of the radio item before it in its submenu; the
    // first one opens group 1.
    if (item.radio) item.group = 1;
    item.is_default = item.number == default_item;
    items.push_back(std::move(item));
  }
  return items;
}

std::vector<ReadingMenuItem> ReadingMenuItems() {
  std::vector<std::string> lines(std::begin(reading_texts::kMenuTemplate),
                                 std::end(reading_texts::kMenuTemplate));
  return ParseReadingMenu(lines, reading_texts::kDefaultMenuItem);
}

ReadingShortcut ParseShortcut(std::string_view text) {
  ReadingShortcut shortcut;
  std::string_view key;
  if (text.substr(0, 5) == "Ctrl+") {
    shortcut.control = true;
    key = text.substr(5);
  } else if (text.substr(0, 4) == "Alt+") {
    shortcut.alt = true;
    key = text.substr(4);
  } else {
    return ReadingShortcut{};
  }
  if (key.size() == 1 && key[0] >= 'A' && key[0] <= 'Z') {
    shortcut.virtual_key = static_cast<uint16_t>(key[0]);
  } else if (key == "+") {
    shortcut.virtual_key = kVkAdd;
  } else if (key == "-") {
    shortcut.virtual_key = kVkSubtract;
  } else if ((key.size() == 2 || key.size() == 3) && key[0] == 'F') {
    int n = 0;
    for (char c : key.substr(1)) {
      if (c < '0' || c > '9') return ReadingShortcut{};
      n = n * 10 + (c - '0');
    }
    if (n < 1 || n > 24) return ReadingShortcut{};
    shortcut.virtual_key = static_cast<uint16_t>(kVkF1 + n - 1);
  }
  if (shortcut.virtual_key == 0) return ReadingShortcut{};
  return shortcut;
}

bool RadioRun(const std::vector<ReadingMenuItem>& items, int number, int* first, int* last) {
  if (number < 0 || number >= static_cast<int>(items.size()) || !items[number].radio) {
    return false;
  }
  const ReadingMenuItem& item = items[number];
  std::vector<int> siblings;
  for (const auto& other : items) {
    if (other.parent == item.parent) siblings.push_back(other.number);
  }
  size_t at = 0;
  while (siblings[at] != number) ++at;
  auto same = [&](size_t k) {
    const ReadingMenuItem& o = items[siblings[k]];
    return o.radio && o.group == item.group;
  };
  size_t lo = at, hi = at;
  while (lo > 0 && same(lo - 1)) --lo;
  while (hi + 1 < siblings.size() && same(hi + 1)) ++hi;
  *first = siblings[lo];
  *last = siblings[hi];
  return true;
}

bool IsHtmlLikeName(std::string_view name) {
  size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string extension;
  for (char c : name.substr(dot)) extension += Lower(c);
  for (const char* html : {".html", ".shtml", ".htm", ".shtm", ".asp", ".cgi", ".xml"}) {
    if (extension == html) return true;
  }
  return false;
}

std::string JoinTextLines(std::string_view bytes) {
  size_t nul = bytes.find('\0');
  if (nul != std::string_view::npos) bytes = bytes.substr(0, nul);
  std::string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c == '\r') continue;
    if (c == '\n' && i > 0 && bytes[i - 1] == '\r') continue;
    text += c;
  }
  return text;
}

std::string FolderWithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace hollin
