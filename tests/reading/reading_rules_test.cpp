// The reading mode's window-free rules: menu template, shortcuts, HTML names, line joining,
// the size limit and which names may be extracted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/actions/paths.h"
#include "installer/ui/reading_rules.h"

namespace hollin {
namespace {

using namespace std::string_literals;

struct MenuRow {
  int number;
  const char* caption;
  const char* shortcut;
  int parent;
  bool submenu, check, checked, radio, is_default;
};

TEST(ReadingMenu, TemplateGivesTheTwentyThreeItems) {
  const MenuRow rows[] = {
      {0, "Return", "Ctrl+R", -1, false, false, false, false, false},
      {1, "Font Set", "", -1, true, false, false, false, false},
      {2, "Max", "Ctrl+F1", 1, false, false, false, false, false},
      {3, "Big", "Ctrl+F2", 1, false, false, false, false, false},
      {4, "Normal", "Ctrl+F3", 1, false, false, false, false, false},
      {5, "Small", "Ctrl+F4", 1, false, false, false, false, false},
      {6, "Min", "Ctrl+F5", 1, false, false, false, false, false},
      {7, "Background Color", "Ctrl+F10", -1, false, false, false, false, false},
      {8, "Copy All", "Ctrl+A", -1, false, false, false, false, false},
      {9, "<--", "Ctrl+-", -1, false, false, false, false, false},
      {10, "-->", "Ctrl++", -1, false, false, false, false, false},
      {11, "Convert methods", "", -1, true, false, false, false, false},
      {12, "None", "Ctrl+F6", 11, false, true, true, true, true},
      {13, "One", "Ctrl+F7", 11, false, true, false, true, false},
      {14, "Second", "Ctrl+F8", 11, false, true, false, true, false},
      {15, "Extract Current File", "Ctrl+E", -1, false, false, false, false, false},
      {16, "Convert set", "", -1, true, false, false, false, false},
      {17, "Auto", "Alt+A", 16, false, true, true, true, false},
      {18, "Default", "Alt+D", 16, false, true, false, true, false},
      {19, "Language Convert Set", "", -1, true, false, false, false, false},
      {20, "None", "Alt+N", 19, false, true, true, true, false},
      {21, "GB", "Alt+G", 19, false, true, false, true, false},
      {22, "Big5", "Alt+B", 19, false, true, false, true, false},
  };
  auto items = ReadingMenuItems();
  ASSERT_EQ(items.size(), std::size(rows));
  for (const MenuRow& row : rows) {
    const ReadingMenuItem& item = items[row.number];
    SCOPED_TRACE(row.number);
    EXPECT_EQ(item.number, row.number);
    EXPECT_EQ(item.caption, row.caption);
    EXPECT_EQ(item.shortcut, row.shortcut);
    EXPECT_EQ(item.parent, row.parent);
    EXPECT_EQ(item.submenu, row.submenu);
    EXPECT_EQ(item.check, row.check);
    EXPECT_EQ(item.checked, row.checked);
    EXPECT_EQ(item.radio, row.radio);
    EXPECT_EQ(item.group, row.radio ? 1 : 0);
    EXPECT_EQ(item.is_default, row.is_default);
  }
}

TEST(ReadingMenu, ParsesSignsNestingAndRadioRuns) {
  // A plain check item between two radio runs splits them; ")" without "(" is ignored.
  std::vector<std::string> lines = {"Top", "(", "+!A\tAlt+A", "-!B", "+Check", "-!C", "Sub",
                                    "(", "-!D", ")", ")", ")", "+plain-check\tCtrl+F12", "-->", "+"};
  auto items = ParseReadingMenu(lines, -1);
  ASSERT_EQ(items.size(), 10u);
  EXPECT_FALSE(items[8].check);
  EXPECT_EQ(items[8].caption, "-->");
  EXPECT_FALSE(items[9].check);
  EXPECT_EQ(items[9].caption, "+");
  EXPECT_TRUE(items[0].submenu);
  EXPECT_EQ(items[1].caption, "A");
  EXPECT_EQ(items[1].shortcut, "Alt+A");
  EXPECT_TRUE(items[3].check && items[3].checked && !items[3].radio);
  EXPECT_EQ(items[3].caption, "Check");
  EXPECT_EQ(items[6].parent, 5);
  EXPECT_EQ(items[7].parent, -1);
  EXPECT_TRUE(items[7].check && items[7].checked && !items[7].radio);
  EXPECT_EQ(items[7].caption, "plain-check");
  int first = 0, last = 0;
  ASSERT_TRUE(RadioRun(items, 2, &first, &last));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 2);
  ASSERT_TRUE(RadioRun(items, 4, &first, &last));
  EXPECT_EQ(first, 4);
  EXPECT_EQ(last, 4);
  ASSERT_TRUE(RadioRun(items, 6, &first, &last));
  EXPECT_EQ(first, 6);
  EXPECT_EQ(last, 6);
  EXPECT_FALSE(RadioRun(items, 3, &first, &last));
  EXPECT_FALSE(RadioRun(items, 99, &first, &last));

  auto reading = ReadingMenuItems();
  const int runs[][3] = {{13, 12, 14}, {17, 17, 18}, {22, 20, 22}};
  for (const auto& run : runs) {
    ASSERT_TRUE(RadioRun(reading, run[0], &first, &last));
    EXPECT_EQ(first, run[1]);
    EXPECT_EQ(last, run[2]);
  }
}

TEST(ReadingMenu, Shortcuts) {
  struct Row {
    const char* text;
    bool control, alt;
    uint16_t key;
  };
  const Row rows[] = {
      {"Ctrl+R", true, false, 'R'},   {"Ctrl+F1", true, false, 0x70},
      {"Ctrl+F10", true, false, 0x79}, {"Ctrl+-", true, false, 0x6D},
      {"Ctrl++", true, false, 0x6B},  {"Alt+A", false, true, 'A'},
      {"Alt+B", false, true, 'B'},    {"Shift+A", false, false, 0},
      {"Ctrl+", false, false, 0},     {"Ctrl+F0", false, false, 0},
      {"Ctrl+Fx", false, false, 0},   {"", false, false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    ReadingShortcut s = ParseShortcut(row.text);
    EXPECT_EQ(s.virtual_key, row.key);
    EXPECT_EQ(s.control, row.control);
    EXPECT_EQ(s.alt, row.alt);
  }
  // Every shortcut of the reading menu is understood, and none is used twice.
  std::vector<std::pair<bool, uint16_t>> seen;
  for (const auto& item : ReadingMenuItems()) {
    if (item.shortcut.empty()) continue;
    ReadingShortcut s = ParseShortcut(item.shortcut);
    EXPECT_NE(s.virtual_key, 0) << item.shortcut;
    std::pair<bool, uint16_t> key{s.alt, s.virtual_key};
    EXPECT_EQ(std::count(seen.begin(), seen.end(), key), 0) << item.shortcut;
    seen.push_back(key);
  }
  EXPECT_EQ(seen.size(), 19u);
}

TEST(ReadingRules, HtmlLikeNames) {
  const std::pair<const char*, bool> rows[] = {
      {"index.html", true}, {"a.SHTML", true},   {"page.HTM", true},  {"x.shtm", true},
      {"run.asp", true},    {"cgi.cgi", true},   {"data.Xml", true},  {"readme.txt", false},
      {"noextension", false}, {"dir.htm\\file", false}, {"a.html.bak", false},
      {"a.htmlx", false},   {".htm", true},      {"a.", false},       {"", false},
  };
  for (const auto& row : rows) EXPECT_EQ(IsHtmlLikeName(row.first), row.second) << row.first;
}

TEST(ReadingRules, JoinTextLines) {
  const std::pair<std::string, std::string> rows[] = {
      {"one\r\ntwo\r\nthree\r\n", "onetwothree"},
      {"bare\nlf\n", "bare\nlf\n"},
      {"cr\ronly\r", "cronly"},
      {"a\r\n\nb", "a\nb"},       // the LF after CR LF is bare
      {"a\r\r\nb", "ab"},
      {"a\n\rb", "a\nb"},
      {"head\0tail\r\n"s, "head"},
      {"", ""},
  };
  for (const auto& row : rows) EXPECT_EQ(JoinTextLines(row.first), row.second);
}

TEST(ReadingRules, SizeLimit) {
  EXPECT_FALSE(ReadingBlockTooBig(0));
  EXPECT_FALSE(ReadingBlockTooBig(5242880));
  EXPECT_TRUE(ReadingBlockTooBig(5242881));
  EXPECT_TRUE(ReadingBlockTooBig(UINT64_MAX));
}

TEST(ReadingRules, ExtractNamesAndFolders) {
  const std::pair<const char*, bool> names[] = {
      {"readme.txt", true},    {"doc\\help.txt", true},  {"a..b.txt", true},
      {"..\\evil.txt", false}, {"doc\\..\\..\\x", false}, {"doc/../x", false},
      {"..", false},           {"\\windows\\x", false},   {"/etc/x", false},
      {"c:\\x", false},        {"c:x", false},            {"x.txt:stream", false},
      {"...\\x", false},       {"doc\\.. \\x", false},    {". .\\x", false},
      {".\\x", false},         {"", false},
      // Devices the system would open instead of a file: the installer's rule refuses them.
      {"COM1", false},         {"NUL", false},            {"con.txt", false},
      {"doc\\lpt1.txt", false}, {"console.txt", true},
  };
  // Extract Current File uses the installer's name rule.
  for (const auto& row : names) EXPECT_EQ(IsContainedName(row.first), row.second) << row.first;
  EXPECT_EQ(FolderWithSeparator("C:\\out"), "C:\\out\\");
  EXPECT_EQ(FolderWithSeparator("C:\\"), "C:\\");
  EXPECT_EQ(FolderWithSeparator("C:\\out\\"), "C:\\out\\");
}

}  // namespace
}  // namespace hollin
