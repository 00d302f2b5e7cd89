// What the log box is given of a whole text: long lines broken, the total bounded, the end
// marked when something was left out, and two-byte characters never split.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/package/package_format.h"
#include "installer/ui/shown_text.h"

namespace hollin {
namespace {

constexpr char kMark[] = "[cut]\r\n";

std::string Shown(const std::string& text, const uint8_t* lead_bytes = nullptr) {
  return ShownText(text, lead_bytes, kMark);
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The lines of a shown text without their ends; checks that every line fits.
std::vector<std::string> Lines(const std::string& shown) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < shown.size()) {
    size_t end = shown.find_first_of("\r\n", at);
    if (end == std::string::npos) end = shown.size();
    lines.push_back(shown.substr(at, end - at));
    EXPECT_LE(end - at, kMaxShownLineChars);
    at = end + (shown.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

TEST(ShownText, ShortTextsPassUnchanged) {
  const std::string words = [] {
    std::string s;
    while (s.size() < kMaxShownLineChars - 8) s += "word ";
    return s;
  }();
  for (const std::string& text : {std::string(), std::string("a\r\nb\nc\rd"), std::string("\r\n\n\r"),
                                  std::string(kMaxShownLineChars, 'x') + "\r\n" + std::string(kMaxShownLineChars, 'y'),
                                  words + "\r\n" + words}) {
    EXPECT_EQ(Shown(text), text);
  }
}

TEST(ShownText, LongLinesBreakAfterABlankInTheirSecondHalfElseAtTheLimit) {
  // No blank: parts of exactly the limit.
  const std::string solid(3000, 'x');
  EXPECT_EQ(Shown(solid + "\nnext"), std::string(1024, 'x') + "\r\n" + std::string(1024, 'x') +
                                         "\r\n" + std::string(952, 'x') + "\nnext");
  // Blanks: after the last one that fits (here at 1020), the blank kept at the line's end.
  std::string words;
  while (words.size() < 2000) words += "abcdefghi ";
  std::string shown = Shown(words);
  EXPECT_EQ(shown.substr(0, 1022), words.substr(0, 1020) + "\r\n");
  EXPECT_EQ(Lines(shown).size(), 2u);
  // A blank only in the first half is not used: the part would be too short.
  const std::string early = std::string(100, 'a') + " " + std::string(2000, 'b');
  EXPECT_EQ(Lines(Shown(early))[0], early.substr(0, 1024));
  // A tab counts as a blank.
  const std::string tabbed = std::string(900, 'a') + "\t" + std::string(900, 'b');
  EXPECT_EQ(Lines(Shown(tabbed))[0], tabbed.substr(0, 901));
}

TEST(ShownText, TwoByteCharactersAreNeverSplit) {
  uint8_t lead[256] = {};
  for (int b = 0x81; b <= 0xFE; ++b) lead[b] = 1;
  // "a" then pairs: the limit falls inside a pair, so the first part stops before it.
  std::string pairs = "a";
  for (int i = 0; i < 1000; ++i) pairs += "\x81\x40";
  const std::vector<std::string> lines = Lines(Shown(pairs, lead));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], pairs.substr(0, 1023));
  EXPECT_EQ(lines[1], pairs.substr(1023));
  // A lead byte before a line end or at the very end is a character of its own.
  EXPECT_EQ(Shown("\x81\r\nb\x81", lead), "\x81\r\nb\x81");
  // A blank byte taken as the second byte of a pair: the break after it still falls between
  // characters.
  std::string spaced = "a";
  for (int i = 0; i < 1000; ++i) spaced += "\x81 ";
  EXPECT_EQ(Lines(Shown(spaced, lead))[0].size() % 2, 1u);
}

TEST(ShownText, TotalAndLineCountAreBoundedAndTheCutIsMarked) {
  // Lines: no more than kMaxShownLines, marked only when some were left out.
  std::string lines;
  for (size_t i = 0; i < kMaxShownLines; ++i) lines += "l\r\n";
  EXPECT_EQ(Shown(lines), lines);
  EXPECT_EQ(Shown(lines + "more"), lines + kMark);
  // A licence of nothing but line ends, as the licence conversion gives it.
  std::string ends;
  for (int i = 0; i < (6 << 20); ++i) ends += "\r\n";
  EXPECT_EQ(Shown(ends).size(), 2 * kMaxShownLines + sizeof kMark - 1);
  // Characters: cut at a line end, the text before it unchanged.
  std::string many;
  while (many.size() < 600 * 1024) many += std::string(198, 'm') + "\r\n";
  std::string shown = Shown(many);
  ASSERT_TRUE(EndsWith(shown, kMark));
  shown.resize(shown.size() - (sizeof kMark - 1));
  EXPECT_LE(shown.size(), kMaxShownChars);
  EXPECT_GT(shown.size(), kMaxShownChars - 200);
  EXPECT_EQ(shown, many.substr(0, shown.size()));
  // Ten megabytes in one line: parts of the limit, up to the total.
  const std::string huge(10 << 20, 'h');
  shown = Shown(huge);
  ASSERT_TRUE(EndsWith(shown, kMark));
  shown.resize(shown.size() - (sizeof kMark - 1));
  EXPECT_LE(shown.size(), kMaxShownChars);
  const std::vector<std::string> parts = Lines(shown);
  EXPECT_EQ(parts.size(), kMaxShownChars / (kMaxShownLineChars + 2));
}

}  // namespace
}  // namespace hollin
