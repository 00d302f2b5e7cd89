// HTML to the built-in view's document: text, breaks, formats, lists, tables, links, anchors,
// pictures, references, and the bounds that keep a hostile page small and fast.
#include "viewer/page/page_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "viewer/page/page_charset.h"
#include "viewer/page/page_rtf.h"

namespace vellumo {
namespace {

std::u16string U(const std::string& utf8) {
  return DecodeText(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(),
                    {kCodePageUtf8, 0}, nullptr);
}
// The view's text as UTF-8 with "\n" for paragraph breaks.
std::string Shown(const PageDocument& doc) {
  std::string out = Utf16ToUtf8(doc.text);
  for (char& c : out) {
    if (c == '\r') c = '\n';
  }
  return out;
}
PageDocument Convert(const std::string& html, const PageLimits& limits = PageLimits()) {
  return HtmlToDocument(U(html), limits);
}
// The format of the first occurrence of `what` (which must have one format throughout).
PageFormat FormatOf(const PageDocument& doc, const std::string& what) {
  const std::u16string needle = U(what);
  const size_t at = doc.text.find(needle);
  EXPECT_NE(at, std::u16string::npos) << what;
  if (at == std::u16string::npos) return PageFormat();
  PageFormat found;
  for (const PageSpan& s : doc.spans) {
    if (s.start <= at && at < s.end) {
      EXPECT_GE(s.end, at + needle.size()) << what << ": format changes inside";
      found = s.format;
    }
  }
  return found;
}

TEST(HtmlToDocument, TextBlocksAndWhiteSpace) {
  struct Case {
    const char* name;
    std::string html, shown;
  } cases[] = {
      {"collapsed blanks", "<p>  one \n\t two   three </p>", "one two three"},
      {"paragraphs", "<p>one</p><p>two</p>", "one\n\ntwo"},
      {"line break", "a<br>b<br/><br>c", "a\nb\n\nc"},
      {"div is one break", "<div>a</div><div>b</div>", "a\nb"},
      {"title, head, script, style, comments",
       "<html><head><title>T</title><meta charset=utf-8><style>p{x:1}</style>"
       "<script>var a = '<p>no</p>';</script></head><body><!-- gone <p>x</p> -->"
       "<p>shown</p></body></html>",
       "shown"},
      {"script in capitals", "a<SCRIPT type=x>b</ScRiPt >c", "ac"},
      {"unterminated comment hides the rest", "a<!-- b", "a"},
      {"unterminated tag is dropped", "a<p class=\"x", "a"},
      {"doctype and processing instruction", "<!DOCTYPE html><?xml x?>a", "a"},
      {"lone <", "a < b <3", "a < b <3"},
      {"heading", "<h1>Head</h1>text", "Head\n\ntext"},
      {"pre keeps lines", "<pre>\n a  b\r\n\tc\n</pre>after", " a  b\n\tc\n\nafter"},
      {"unordered list", "<ul><li>one<li>two</ul>", "\u2022 one\n\u2022 two"},
      {"ordered list with start", "<ol start=3><li>c</li><li>d</li></ol>", "3. c\n4. d"},
      {"nested lists", "<ul><li>a<ol><li>b</ol><li>c</ul>", "\u2022 a\n1. b\n\u2022 c"},
      {"table", "<table><tr><th>h1<th>h2<tr><td>a</td><td> b </td></table>x",
       "h1\th2\na\tb\n\nx"},
      {"rule", "a<hr>b", "a\n" + std::string(u8"\u2500") + "" /* placeholder */},
  };
  for (const Case& c : cases) {
    if (std::string(c.name) == "rule") continue;
    EXPECT_EQ(Shown(Convert(c.html)), c.shown) << c.name;
  }
  std::string rule;
  for (int i = 0; i < 60; ++i) rule += "\xE2\x94\x80";
  EXPECT_EQ(Shown(Convert("a<hr>b")), "a\n" + rule + "\nb");
}

TEST(HtmlToDocument, CharacterReferences) {
  EXPECT_EQ(Shown(Convert("&lt;p&gt; &amp; &quot;&apos; caf&eacute; &hearts;&nbsp;x")),
            u8"<p> & \"' caf\u00E9 \u2665\u00A0x");
  EXPECT_EQ(Shown(Convert("&#65;&#x42;&#X43;&#128;&#0;&#xD800;&#1114112;&#99999999999;")),
            u8"ABC\u20AC\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(Shown(Convert("&#x1F600;")), u8"\U0001F600");
  EXPECT_EQ(Shown(Convert("&unknown; &amp &ampx &# &#x;")), "&unknown; & &ampx &# &#x;");
  // In attribute values too.
  PageDocument doc = Convert("<a href=\"a.html?x=1&amp;y=&lt;\">l</a>");
  ASSERT_EQ(doc.links.size(), 1u);
  EXPECT_EQ(doc.links[0].target, "a.html?x=1&y=<");
}

TEST(HtmlToDocument, Formats) {
  PageDocument doc = Convert(
      "<h1>Big</h1><h3>Small</h3><p>plain <b>bold</b> <i>ital</i> <u>under</u> "
      "<strong><em>both</em></strong> <code>fixed</code></p><pre>pre text</pre>"
      "<b>mis<i>nested</b>rest</i> after");
  EXPECT_EQ(FormatOf(doc, "Big").heading, 1);
  EXPECT_TRUE(FormatOf(doc, "Big").bold);
  EXPECT_EQ(FormatOf(doc, "Small").heading, 3);
  EXPECT_TRUE(FormatOf(doc, "plain").IsPlain());
  EXPECT_TRUE(FormatOf(doc, "bold").bold);
  EXPECT_TRUE(FormatOf(doc, "ital").italic);
  EXPECT_TRUE(FormatOf(doc, "under").underline);
  EXPECT_TRUE(FormatOf(doc, "both").bold && FormatOf(doc, "both").italic);
  EXPECT_TRUE(FormatOf(doc, "fixed").fixed);
  EXPECT_TRUE(FormatOf(doc, "pre text").fixed);
  EXPECT_TRUE(FormatOf(doc, "nested").bold && FormatOf(doc, "nested").italic);
  EXPECT_TRUE(!FormatOf(doc, "rest").bold && FormatOf(doc, "rest").italic);
  EXPECT_TRUE(FormatOf(doc, "after").IsPlain());
}

TEST(HtmlToDocument, LinksAnchorsAndPictures) {
  std::vector<std::string> asked;
  PageDocument doc = HtmlToDocument(
      U("<h2 id=top>T</h2><p>See <a href=' other.html#part '>the <b>other</b> page</a> and "
        "<a href=http://example.com/>away</a>.<a name=here></a>Here"
        "<img src=pic.png alt='A picture'><img src=missing.png><img alt=x></p>"),
      PageLimits(), [&](const PagePicture& p) {
        asked.push_back(p.source);
        return p.source == "pic.png";
      });
  EXPECT_EQ(Shown(doc), u8"T\n\nSee the other page and away.Here\uFFFC[picture][x]");
  ASSERT_EQ(doc.links.size(), 2u);
  EXPECT_EQ(doc.links[0].target, "other.html#part");
  EXPECT_EQ(doc.text.substr(doc.links[0].start, doc.links[0].end - doc.links[0].start),
            u"the other page");
  EXPECT_EQ(FormatOf(doc, "the ").link, 0);
  EXPECT_EQ(FormatOf(doc, "other").link, 0);
  EXPECT_TRUE(FormatOf(doc, "other").bold);
  EXPECT_EQ(FormatOf(doc, "away").link, 1);
  EXPECT_EQ(FindLinkAt(doc, doc.links[1].start), 1);
  EXPECT_EQ(FindLinkAt(doc, doc.links[1].end), -1);
  EXPECT_EQ(FindLinkAt(doc, 0), -1);
  EXPECT_EQ(FindAnchor(doc, "top"), 0);
  EXPECT_EQ(FindAnchor(doc, "here"), static_cast<int64_t>(doc.text.find(u"Here")));
  EXPECT_EQ(FindAnchor(doc, "nowhere"), -1);
  EXPECT_EQ(asked, (std::vector<std::string>{"pic.png", "missing.png"}));
  ASSERT_EQ(doc.pictures.size(), 3u);
  EXPECT_TRUE(doc.pictures[0].shown_inline);
  EXPECT_EQ(doc.pictures[0].alt, u"A picture");
  EXPECT_EQ(doc.pictures[0].length, 1u);
  EXPECT_FALSE(doc.pictures[1].shown_inline);
  EXPECT_EQ(doc.pictures[1].length, 9u);
}

TEST(DocumentToRtf, FormatsAndEscapes) {
  PageDocument doc = Convert("<h1>A</h1><p>b{\\}<b>c</b> \xC3\xA9\xE4\xB8\xAD<ul><li>d</ul>");
  std::string rtf = DocumentToRtf(doc, nullptr);
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(rtf.find("\\fs48\\b A"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("b\\{\\\\\\}"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("\\b c"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("\\u233?\\u20013?"), std::string::npos) << rtf;
  EXPECT_NE(rtf.find("\\pard\\li360 "), std::string::npos) << rtf;
  EXPECT_EQ(rtf.back(), '}');
  // An inline picture's group replaces its object character.
  PageDocument pic = HtmlToDocument(U("x<img src=a.png>y"), PageLimits(),
                                    [](const PagePicture&) { return true; });
  EXPECT_NE(DocumentToRtf(pic, [](size_t) { return std::string("{\\pict P}"); }).find("x{\\pict P}y"),
            std::string::npos);
}

// Hostile pages: each is converted within a bound of time and size, cut with a visible mark
// where a limit is reached.
TEST(HtmlToDocument, HostilePagesStayBounded) {
  auto timed = [](const std::string& name, const std::u16string& html, const PageLimits& limits,
                  PageDocument* out) {
    auto start = std::chrono::steady_clock::now();
    *out = HtmlToDocument(html, limits, [](const PagePicture&) { return false; });
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 5000) << name;
  };
  PageLimits limits;
  PageDocument doc;
  std::u16string deep;
  for (int i = 0; i < 100000; ++i) deep += u"<ul><b><div><blockquote><i>";
  deep += u"deep";
  timed("deep nesting", deep, limits, &doc);
  EXPECT_EQ(doc.text, u"deep");
  ASSERT_EQ(doc.paragraphs.size(), 1u);
  EXPECT_EQ(doc.paragraphs[0].indent, 8);
  std::u16string items;
  for (int i = 0; i < 100000; ++i) items += u"<ul><li>x";
  timed("100,000 nested list items", items, limits, &doc);
  EXPECT_TRUE(doc.cut);  // more paragraphs than are shown
  EXPECT_LE(std::count(doc.text.begin(), doc.text.end(), kParagraphBreak),
            static_cast<long>(limits.max_paragraphs) + 2);
  EXPECT_NE(doc.text.find(kCutMark), std::u16string::npos);

  std::u16string line(50u << 20, u'x');
  timed("50 MB line", line, limits, &doc);
  EXPECT_TRUE(doc.cut);
  EXPECT_LE(doc.text.size(), limits.max_text + 64);
  EXPECT_NE(doc.text.find(kCutMark), std::u16string::npos);
  // Shown as paragraphs of a bounded length.
  size_t longest = 0, run = 0;
  for (char16_t c : doc.text) {
    run = c == kParagraphBreak ? 0 : run + 1;
    longest = std::max(longest, run);
  }
  EXPECT_LE(longest, limits.max_paragraph);

  std::u16string links;
  for (int i = 0; i < 100000; ++i) links += u"<a href=p" + std::u16string(1, u'0' + i % 10) + u".html>l</a> ";
  timed("100,000 links", links, limits, &doc);
  EXPECT_EQ(doc.links.size(), limits.max_links);
  EXPECT_TRUE(doc.cut);
  EXPECT_NE(doc.text.find(u"links of this page can be followed"), std::u16string::npos);

  std::u16string pictures;
  for (int i = 0; i < 20000; ++i) pictures += u"<img src=a.png>";
  timed("20,000 pictures", pictures, limits, &doc);
  EXPECT_EQ(doc.pictures.size(), limits.max_pictures);

  timed("unterminated tag", u"a<a href=\"" + std::u16string(1 << 20, u'y'), limits, &doc);
  EXPECT_EQ(doc.text, u"a");
  timed("unterminated script", u"a<script>" + std::u16string(1 << 20, u'<'), limits, &doc);
  EXPECT_EQ(doc.text, u"a");
  std::u16string attrs = u"<p";
  for (int i = 0; i < 200000; ++i) attrs += u" id=x";
  attrs += u">t";
  timed("many attributes", attrs, limits, &doc);
  EXPECT_EQ(doc.text, u"t");
  std::u16string nul = u"a";
  nul += u'\0';
  nul += u"b";
  timed("NUL", nul, limits, &doc);
  EXPECT_EQ(doc.text, u"a\uFFFDb");
}

TEST(IsHtmlEntry, ByNameOrByItsFirstBytes) {
  struct Case {
    const char* name;
    std::string bytes;
    bool html;
  } cases[] = {
      {"a.htm", "", true}, {"A.HTML", "x", true}, {"s.shtml", "", true}, {"x.XHTML", "", true},
      {"a.txt", "  \r\n<!DOCTYPE HTML PUBLIC>", true}, {"noext", "<html>", true},
      {"b.txt", "\xEF\xBB\xBF<HTML>", true}, {"c.txt", std::string("\xFF\xFE<\0h\0t\0m\0l\0", 12), true},
      {"d.txt", "text <html>", false}, {"e.txt", "<!doctype htm", false}, {"f.html.txt", "", false},
      {"g.png", "\x89PNG", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsHtmlEntry(c.name, reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
              c.html)
        << c.name;
  }
}

}  // namespace
}  // namespace vellumo
