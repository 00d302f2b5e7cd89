// Which charset a page or a text entry is read in, and the decoding to UTF-16.
#include "viewer/page/page_charset.h"

#include <gtest/gtest.h>

#include <string>

#include "viewer/page/html_entities.h"

namespace vellumo {
namespace {

TextEncoding Html(const std::string& bytes) {
  return DetectHtmlEncoding(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
TextEncoding Text(const std::string& bytes) {
  return DetectTextEncoding(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}
std::u16string Decode(const std::string& bytes, TextEncoding encoding) {
  return DecodeText(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), encoding,
                    nullptr);
}

TEST(PageCharset, HtmlDeclarationsAndBoms) {
  struct Case {
    const char* name;
    std::string bytes;
    uint32_t code_page;
    size_t bom;
  } cases[] = {
      {"nothing", "<html><p>caf\xE9</p>", kCodePageAnsi, 0},
      {"utf-8 BOM", "\xEF\xBB\xBF<html>", kCodePageUtf8, 3},
      {"utf-16le BOM", std::string("\xFF\xFE<\0h\0", 6), kCodePageUtf16Le, 2},
      {"utf-16be BOM", std::string("\xFE\xFF\0<\0h", 6), kCodePageUtf16Be, 2},
      {"meta charset", "<html><head><meta charset=\"utf-8\">", kCodePageUtf8, 0},
      {"meta charset unquoted, capitals", "<HTML><META CHARSET=UTF-8>", kCodePageUtf8, 0},
      {"http-equiv", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GB2312\">",
       936, 0},
      {"http-equiv, content first",
       "<meta content='text/html;charset=windows-1251' http-equiv='content-type'>", 1251, 0},
      {"iso-8859-1 is read as windows-1252", "<meta charset=iso-8859-1>", 1252, 0},
      {"big5", "<meta charset=big5>", 950, 0},
      {"unknown label", "<meta charset=x-unheard-of>", kCodePageAnsi, 0},
      {"content without http-equiv", "<meta name=x content=\"charset=utf-8\">", kCodePageAnsi, 0},
      {"utf-16 claimed without BOM", "<meta charset=utf-16>", kCodePageUtf8, 0},
      {"BOM beats meta", "\xEF\xBB\xBF<meta charset=gb2312>", kCodePageUtf8, 3},
      {"after the first 1024 bytes", std::string(1100, ' ') + "<meta charset=utf-8>",
       kCodePageAnsi, 0},
      {"unterminated meta", "<meta charset=\"utf-8", kCodePageUtf8, 0},
      {"metadata is not meta", "<metadata charset=utf-8>", kCodePageAnsi, 0},
  };
  for (const Case& c : cases) {
    TextEncoding e = Html(c.bytes);
    EXPECT_EQ(e.code_page, c.code_page) << c.name;
    EXPECT_EQ(e.bom_length, c.bom) << c.name;
  }
}

TEST(PageCharset, TextEntriesByBomOrValidUtf8) {
  EXPECT_EQ(Text("plain ascii").code_page, kCodePageUtf8);
  EXPECT_EQ(Text("caf\xC3\xA9").code_page, kCodePageUtf8);
  EXPECT_EQ(Text("caf\xE9").code_page, kCodePageAnsi);
  EXPECT_EQ(Text("\xED\xA0\x80").code_page, kCodePageAnsi);   // a UTF-8 encoded surrogate
  EXPECT_EQ(Text("\xC0\xAF").code_page, kCodePageAnsi);       // overlong
  EXPECT_EQ(Text("\xF4\x90\x80\x80").code_page, kCodePageAnsi);  // above U+10FFFF
  EXPECT_EQ(Text("\xE4\xB8").code_page, kCodePageAnsi);       // cut short
  EXPECT_EQ(Text("\xFF\xFEx\0").code_page, kCodePageUtf16Le);
}

TEST(PageCharset, DecodingReplacesWhatIsInvalid) {
  EXPECT_EQ(Decode("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", {kCodePageUtf8, 0}),
            u"a\u00E9\u4E2D\U0001F600");
  EXPECT_EQ(Decode("\xEF\xBB\xBFx", {kCodePageUtf8, 3}), u"x");
  EXPECT_EQ(Decode("a\xFF" "b\xC3(c\xE4\xB8", {kCodePageUtf8, 0}), u"a\uFFFDb\uFFFD(c\uFFFD\uFFFD");
  EXPECT_EQ(Decode(std::string("\xFF\xFEh\0i\0!", 7), {kCodePageUtf16Le, 2}), u"hi\uFFFD");
  EXPECT_EQ(Decode(std::string("\xFE\xFF\x4E\x2D", 4), {kCodePageUtf16Be, 2}), u"\u4E2D");
  // Other code pages go to the converter; without one, bytes are taken as Latin-1.
  EXPECT_EQ(Decode("caf\xE9", {1252, 0}), u"caf\u00E9");
  std::u16string got = DecodeText(reinterpret_cast<const uint8_t*>("\xD6\xD0"), 2, {936, 0},
                                  [](uint32_t cp, const uint8_t*, size_t, std::u16string* out) {
                                    if (cp != 936) return false;
                                    *out = u"\u4E2D";
                                    return true;
                                  });
  EXPECT_EQ(got, u"\u4E2D");
}

TEST(NamedReferences, EveryHtml4NameAndNothingElse) {
  EXPECT_EQ(NamedReferenceCount(), 253u);  // HTML 4's 252 and &apos;
  struct Case {
    const char* name;
    char32_t cp;
  } cases[] = {{"amp", '&'}, {"lt", '<'}, {"nbsp", 0xA0}, {"eacute", 0xE9}, {"Eacute", 0xC9},
               {"hearts", 0x2665}, {"thetasym", 0x3D1}, {"zwnj", 0x200C}, {"AElig", 0xC6},
               {"yuml", 0xFF}, {"Yuml", 0x178}, {"euro", 0x20AC}, {"apos", '\''},
               {"EACUTE", 0}, {"", 0}, {"ampx", 0}, {"am", 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(LookUpNamedReference(c.name, std::char_traits<char>::length(c.name)), c.cp)
        << c.name;
  }
}

}  // namespace
}  // namespace vellumo
