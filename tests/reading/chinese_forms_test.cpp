// The generated simplified/traditional tables: well-formed and right on common pairs.
#include <gtest/gtest.h>

#include "installer/ui/chinese_forms.h"

namespace hollin {
namespace {

// Common simplified/traditional pairs that a reader of either script meets on every page.
const char16_t kPairs[][2] = {
    {u'国', u'國'}, {u'说', u'說'}, {u'语', u'語'}, {u'书', u'書'}, {u'门', u'門'},
    {u'车', u'車'}, {u'马', u'馬'}, {u'鸟', u'鳥'}, {u'鱼', u'魚'}, {u'东', u'東'},
    {u'时', u'時'}, {u'间', u'間'}, {u'学', u'學'}, {u'开', u'開'}, {u'关', u'關'},
    {u'电', u'電'}, {u'见', u'見'}, {u'长', u'長'}, {u'个', u'個'}, {u'们', u'們'},
    {u'会', u'會'}, {u'这', u'這'}, {u'来', u'來'}, {u'对', u'對'}, {u'过', u'過'},
    {u'发', u'發'}, {u'万', u'萬'}, {u'软', u'軟'}, {u'件', u'件'}, {u'体', u'體'},
    {u'汉', u'漢'}, {u'简', u'簡'}, {u'繁', u'繁'}, {u'装', u'裝'}, {u'载', u'載'},
};

TEST(ChineseForms, CommonPairsBothWays) {
  for (const auto& pair : kPairs) {
    SCOPED_TRACE(static_cast<unsigned>(pair[0]));
    EXPECT_EQ(MapChineseCharacter(pair[0], ChineseForm::kTraditional), pair[1]);
    EXPECT_EQ(MapChineseCharacter(pair[1], ChineseForm::kSimplified), pair[0]);
    // A character already in the wanted form stays.
    EXPECT_EQ(MapChineseCharacter(pair[1], ChineseForm::kTraditional), pair[1]);
    EXPECT_EQ(MapChineseCharacter(pair[0], ChineseForm::kSimplified), pair[0]);
  }
}

TEST(ChineseForms, TablesAreSortedAndLeaveOtherTextAlone) {
  for (auto [pairs, count] : {std::pair{kToSimplifiedPairs, kToSimplifiedPairsCount},
                              std::pair{kToTraditionalPairs, kToTraditionalPairsCount}}) {
    ASSERT_GT(count, 2000u);
    for (size_t i = 0; i < count; ++i) {
      EXPECT_NE(pairs[i].from, pairs[i].to);
      EXPECT_GE(pairs[i].from, 0x3400);  // CJK only
      if (i > 0) {
        EXPECT_LT(pairs[i - 1].from, pairs[i].from);
      }
    }
  }
  uint16_t text[] = {'A', 'z', ' ', 0x00E9, 0x3001, 0x570B, 0xFF01, 0};
  MapChineseForm(text, 7, ChineseForm::kSimplified);
  const uint16_t expected[] = {'A', 'z', ' ', 0x00E9, 0x3001, 0x56FD, 0xFF01, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(text[i], expected[i]) << i;
}

}  // namespace
}  // namespace hollin
