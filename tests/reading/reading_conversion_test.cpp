// GB and Big5 conversions through Windows' code pages (real ones, under Wine too).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "installer/ui/win/reading_conversion.h"

namespace hollin {
namespace {

using namespace std::string_literals;

std::string Encode(const std::wstring& text, UINT cp) {
  int n = WideCharToMultiByte(cp, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n) - 1);
  return out;
}

std::wstring Decode(const std::string& bytes, UINT cp) {
  int n = MultiByteToWideChar(cp, 0, bytes.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, bytes.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n) - 1);
  return out;
}

// Simplified and traditional forms of common characters (equal where both scripts share it).
const wchar_t* const kPairs[][2] = {
    {L"国", L"國"}, {L"说", L"說"}, {L"语", L"語"}, {L"书", L"書"}, {L"门", L"門"},
    {L"车", L"車"}, {L"马", L"馬"}, {L"鸟", L"鳥"}, {L"鱼", L"魚"}, {L"东", L"東"},
    {L"时", L"時"}, {L"间", L"間"}, {L"学", L"學"}, {L"开", L"開"}, {L"关", L"關"},
    {L"电", L"電"}, {L"见", L"見"}, {L"长", L"長"}, {L"个", L"個"}, {L"们", L"們"},
    {L"会", L"會"}, {L"这", L"這"}, {L"来", L"來"}, {L"对", L"對"}, {L"过", L"過"},
    {L"发", L"發"}, {L"万", L"萬"}, {L"软", L"軟"}, {L"体", L"體"}, {L"汉", L"漢"},
    {L"简", L"簡"}, {L"装", L"裝"}, {L"载", L"載"}, {L"中文", L"中文"},
    {L"安装程序", L"安裝程序"}, {L"中华人民共和国", L"中華人民共和國"},
};

TEST(ReadingConversion, CodePageBytesAreTheStandardOnes) {
  // Which way the character form changes here: the platform or the generated tables.
  RecordProperty("platform_maps_chinese_forms", PlatformMapsChineseForms() ? "yes" : "no");
  printf("LCMapStringA maps Chinese forms: %s\n", PlatformMapsChineseForms() ? "yes" : "no");
  // 国 in GB, 國 in Big5 and GB: fixed by the code pages, not by this program.
  EXPECT_EQ(Encode(L"国", kGbCodePage), "\xB9\xFA");
  EXPECT_EQ(Encode(L"國", kBig5CodePage), "\xB0\xEA");
  EXPECT_EQ(ConvertToGb("\xB0\xEA"), "\xB9\xFA");
}

TEST(ReadingConversion, AsciiEmptyAndNul) {
  const std::string rows[] = {"", "plain ASCII text, 123 <b>&amp;</b>\r\n\ttab"};
  for (const std::string& text : rows) {
    EXPECT_EQ(ConvertToGb(text), text);
    EXPECT_EQ(ConvertToBig5(text), text);
    EXPECT_EQ(TranslateCodePage(text, kGbCodePage, kBig5CodePage), text);
  }
  EXPECT_EQ(ConvertToGb("ab\0\xB0\xEA"s), "ab");
  EXPECT_EQ(ConvertToBig5("ab\0\xB9\xFA"s), "ab");
  EXPECT_EQ(TranslateCodePage("x\0y"s, kGbCodePage, kBig5CodePage), "x");
}

TEST(ReadingConversion, BigFiveTextBecomesSimplifiedGb) {
  for (const auto& pair : kPairs) {
    SCOPED_TRACE(Encode(pair[1], CP_UTF8));
    std::string big5 = Encode(pair[1], kBig5CodePage);
    ASSERT_EQ(Decode(big5, kBig5CodePage), pair[1]);  // the fixture is real Big5
    std::string gb = ConvertToGb("A " + big5 + " z");
    EXPECT_EQ(Decode(gb, kGbCodePage), std::wstring(L"A ") + pair[0] + L" z");
  }
}

TEST(ReadingConversion, GbTextBecomesTraditionalBigFive) {
  for (const auto& pair : kPairs) {
    SCOPED_TRACE(Encode(pair[0], CP_UTF8));
    // GB holds both forms: a text in traditional characters keeps them.
    std::string traditional_gb = Encode(pair[1], kGbCodePage);
    ASSERT_EQ(Decode(traditional_gb, kGbCodePage), pair[1]);
    EXPECT_EQ(Decode(ConvertToBig5(traditional_gb), kBig5CodePage), pair[1]);
    // A simplified text: the code page comes first, so what Big5 cannot hold is replaced by
    // its default character before the change of form; the rest turns traditional.
    std::wstring simplified = pair[0];
    std::wstring expected;
    for (size_t i = 0; i < simplified.size(); ++i) {
      std::wstring one(1, simplified[i]);
      bool encodable = Decode(Encode(one, kBig5CodePage), kBig5CodePage) == one;
      expected += encodable ? std::wstring(1, pair[1][i]) : Decode(Encode(one, kBig5CodePage), kBig5CodePage);
    }
    EXPECT_EQ(Decode(ConvertToBig5(Encode(simplified, kGbCodePage)), kBig5CodePage), expected);
  }
}

TEST(ReadingConversion, GbTextReadAsBigFiveIsGarbled) {
  std::string gb = Encode(L"中华人民共和国", kGbCodePage);
  std::string shown = ConvertToGb(gb);
  EXPECT_FALSE(shown.empty());
  EXPECT_NE(shown, gb);
  EXPECT_NE(Decode(shown, kGbCodePage), L"中华人民共和国");
}

}  // namespace
}  // namespace hollin
