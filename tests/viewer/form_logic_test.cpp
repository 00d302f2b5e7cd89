// The main window's decisions, without a window.
#include "viewer/form_logic.h"

#include <gtest/gtest.h>

#include "viewer/browser/page_text.h"
#include "viewer/texts.h"

namespace vellumo {
namespace {

TEST(SplitCommandLine, BlanksSplitAndQuotesGroup) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  } cases[] = {
      {"", {}},
      {"   ", {}},
      {"vellumo.exe", {"vellumo.exe"}},
      {"vellumo.exe a.zip pw", {"vellumo.exe", "a.zip", "pw"}},
      {"\"C:\\Program Files\\Vellumo\\Vellumo.exe\" \"C:\\My Docs\\book.zip\"",
       {"C:\\Program Files\\Vellumo\\Vellumo.exe", "C:\\My Docs\\book.zip"}},
      {"v   a.zip\t\tpw  ", {"v", "a.zip", "pw"}},
      // Quotes inside an argument group too and are removed wherever they stand.
      {"v C:\\My\" \"Docs\\b.zip", {"v", "C:\\My Docs\\b.zip"}},
      {"v \"\" pw", {"v", "", "pw"}},
      {"v \"unterminated blank", {"v", "unterminated blank"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

TEST(IsArchiveArgument, LowerCasedExtensionOfLastComponent) {
  struct Case {
    const char* path;
    const char* extension;
    bool archive;
  } cases[] = {
      {"C:\\DATA\\BOOK.ZIP", ".ZIP", true},
      {"book.zip", ".zip", true},
      {"setup.Exe", ".Exe", true},
      {"book.zip.txt", ".txt", false},
      {"book", "", false},
      {"book.rar", ".rar", false},
      {"C:\\dir.zip\\book", "", false},  // the dot belongs to a folder, not the file
      {"dir.zip/book", "", false},
      {"C:book.zip", ".zip", true},
      {"book.zipx", ".zipx", false},
      {".zip", ".zip", true},
      {"book.", ".", false},
      {"", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FileExtension(c.path), c.extension) << c.path;
    EXPECT_EQ(IsArchiveArgument(c.path), c.archive) << c.path;
  }
}

TEST(ArrowButtons, IndexesWrapAround) {
  struct Case {
    int selected, count, previous, next;
  } cases[] = {
      {-1, 0, -1, -1},  // empty list: nothing to select
      {-1, 1, 0, 0},   {0, 1, 0, 0},  // one entry: both arrows show it again
      {-1, 5, 4, 0},   // nothing selected: "<<<" the last, ">>>" the first
      {0, 5, 4, 1},    {2, 5, 1, 3},  {4, 5, 3, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PreviousIndex(c.selected, c.count), c.previous) << c.selected << "/" << c.count;
    EXPECT_EQ(NextIndex(c.selected, c.count), c.next) << c.selected << "/" << c.count;
  }
}

TEST(CutPassword, KeepsAtMost255Characters) {
  EXPECT_EQ(CutPassword(""), "");
  EXPECT_EQ(CutPassword("s3cret"), "s3cret");
  EXPECT_EQ(CutPassword(std::string(255, 'x')), std::string(255, 'x'));
  std::string long_one = std::string(255, 'a') + "bcd";
  EXPECT_EQ(CutPassword(long_one), std::string(255, 'a'));
}

TEST(Captions, EncryptedSuffix) {
  EXPECT_EQ(ListedCaption("C:\\a.zip", false), "C:\\a.zip");
  EXPECT_EQ(ListedCaption("C:\\a.zip", true), "C:\\a.zip encrypted,please enter pass");
}

TEST(TextForDisplay, LineBreaksBecomeCrLfAndNulBecomesBlank) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb", "a\r\nb"},
      {"a\rb", "a\r\nb"},
      {"a\n\r\nb", "a\r\n\r\nb"},
      {"a\r\r\n", "a\r\n\r\n"},
      {std::string("x\0y", 3), "x y"},
      {"\xe4\xf6\xfc\xff", "\xe4\xf6\xfc\xff"},  // 8-bit bytes pass unchanged
  };
  for (const Case& c : cases) EXPECT_EQ(TextForDisplay(c.in.data(), c.in.size()), c.out);
}

}  // namespace
}  // namespace vellumo
