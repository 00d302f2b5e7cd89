// The built-in view for real under Wine: what the rich-edit control holds after a page (text,
// character formats, link effects), charsets, text entries, pictures on screen, links clicked
// with the real mouse, anchors, tooltips, and hostile pages kept within bounds.
#include "viewer/page/win/page_view.h"

#include <ole2.h>
#include <richedit.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "viewer/browser/application.h"
#include "viewer/page/page_document.h"
#include "viewer/page/page_rtf.h"

namespace vellumo {
namespace {

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
  }
  void TearDown() override { OleUninitialize(); }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new Environment);

void Pump(DWORD ms = 50) {
  const DWORD start = GetTickCount();
  do {
    ProcessPendingMessages();
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

std::string Bytes(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// A 24-bit bottom-up BMP of one colour (r, g, b), with a differently coloured top-left pixel.
std::string SolidBmp(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  const int row = (width * 3 + 3) & ~3;
  const uint32_t image = static_cast<uint32_t>(row * height), file = 54 + image;
  std::string out(file, '\0');
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, file);
  put32(10, 54);
  put32(14, 40);
  put32(18, static_cast<uint32_t>(width));
  put32(22, static_cast<uint32_t>(height));
  out[26] = 1;
  out[28] = 24;
  put32(34, image);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      char* p = &out[54 + static_cast<size_t>(y) * row + x * 3];
      p[0] = static_cast<char>(b);
      p[1] = static_cast<char>(g);
      p[2] = static_cast<char>(r);
    }
  }
  return out;
}

// A window with the view filling it, and an archive made of named byte strings.
struct Harness {
  Harness() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "PageViewTestHost";
    RegisterClassA(&wc);
    host = CreateWindowExA(0, "PageViewTestHost", "page view test",
                           WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 700, 500,
                           nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    RECT rc;
    GetClientRect(host, &rc);
    view = std::make_unique<TPageView>(host, rc);
    TPageArchive archive;
    archive.FindEntry = [this](const std::string& name) {
      for (const auto& entry : entries) {
        if (lstrcmpiA(entry.first.c_str(), name.c_str()) == 0) return entry.first;
      }
      return std::string();
    };
    archive.ReadEntry = [this](const std::string& name, std::vector<uint8_t>* bytes) {
      ++reads;
      auto it = entries.find(name);
      if (it == entries.end()) return false;
      bytes->assign(it->second.begin(), it->second.end());
      return true;
    };
    archive.ShowEntry = [this](const std::string& name) {
      shown_entries.push_back(name);
      Show(name);
    };
    view->SetArchive(archive);
    SetForegroundWindow(host);
    Pump(100);
  }
  ~Harness() {
    view.reset();
    DestroyWindow(host);
  }
  void Show(const std::string& name) {
    const std::string& bytes = entries[name];
    view->Show(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    view->FinishLoading();
    Pump(100);
  }
  void Show(const std::string& name, const std::string& bytes) {
    entries[name] = bytes;
    Show(name);
  }
  HWND edit() const { return view->RichEdit(); }
  std::u16string Text() const {
    GETTEXTLENGTHEX length{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LRESULT n = SendMessageW(edit(), EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&length), 0);
    std::u16string text(static_cast<size_t>(n) + 1, u'\0');
    GETTEXTEX get{};
    get.cb = static_cast<DWORD>(text.size() * 2);
    get.flags = GT_DEFAULT;
    get.codepage = 1200;
    const LRESULT got = SendMessageW(edit(), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&get),
                                     reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(got));
    return text;
  }
  CHARFORMAT2W FormatAt(LONG position) const {
    CHARRANGE range{position, position + 1};
    SendMessageW(edit(), EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMAT2W format{};
    format.cbSize = sizeof format;
    SendMessageW(edit(), EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    return format;
  }
  LONG Find(const std::u16string& what) const {
    const size_t at = Text().find(what);
    EXPECT_NE(at, std::u16string::npos) << std::string(what.begin(), what.end());
    return static_cast<LONG>(at);
  }
  // The screen's pixel at a point of the view's client area.
  COLORREF ScreenPixel(HWND wnd, int x, int y) const {
    POINT p{x, y};
    ClientToScreen(wnd, &p);
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return colour;
  }
  // A real click: the cursor moves there and the button goes down and up.
  void MouseClick(HWND wnd, POINT client) {
    MouseMove(wnd, client);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
    Pump(200);
  }
  void MouseMove(HWND wnd, POINT client) {
    POINT p = client;
    ClientToScreen(wnd, &p);
    SetCursorPos(p.x, p.y);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof(INPUT));
    Pump(150);
  }
  POINT PointOf(LONG position) const {
    POINTL p{};
    SendMessageW(edit(), EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&p), position);
    return POINT{p.x + 2, p.y + 4};
  }

  HWND host = nullptr;
  std::unique_ptr<TPageView> view;
  std::map<std::string, std::string> entries;
  std::vector<std::string> shown_entries;
  int reads = 0;
};

TEST(PageView, FormatsAreReadBackFromTheControl) {
  Harness h;
  h.Show("page.html",
         "<html><head><title>Not shown</title></head><body><h1>Heading</h1>"
         "<p>plain <b>bold</b> <i>italic</i> <u>under</u> <code>fixed</code> "
         "<a href=\"other.html\">a link</a></p><ul><li>item</ul></body></html>");
  EXPECT_EQ(h.view->Kind(), PageKind::Html);
  const std::u16string text = h.Text();
  EXPECT_EQ(text.find(u"Not shown"), std::u16string::npos);
  EXPECT_EQ(text, u"Heading\r\rplain bold italic under fixed a link\r\r\u2022 item");
  CHARFORMAT2W heading = h.FormatAt(h.Find(u"Heading"));
  EXPECT_TRUE(heading.dwEffects & CFE_BOLD);
  EXPECT_EQ(heading.yHeight, kHeadingPoints[0] * 20);
  CHARFORMAT2W plain = h.FormatAt(h.Find(u"plain"));
  EXPECT_FALSE(plain.dwEffects & (CFE_BOLD | CFE_ITALIC | CFE_UNDERLINE | CFE_LINK));
  EXPECT_EQ(plain.yHeight, kBodyPoints * 20);
  EXPECT_TRUE(h.FormatAt(h.Find(u"bold")).dwEffects & CFE_BOLD);
  EXPECT_TRUE(h.FormatAt(h.Find(u"italic")).dwEffects & CFE_ITALIC);
  EXPECT_TRUE(h.FormatAt(h.Find(u"under")).dwEffects & CFE_UNDERLINE);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(h.FormatAt(h.Find(u"fixed")).szFaceName)),
            u"Courier New");
  CHARFORMAT2W link = h.FormatAt(h.Find(u"a link") + 2);
  EXPECT_TRUE(link.dwEffects & CFE_LINK);
  EXPECT_FALSE(h.FormatAt(h.Find(u"item")).dwEffects & CFE_LINK);
}

TEST(PageView, CharsetsOfPagesAndTextEntries) {
  Harness h;
  struct Case {
    const char* name;
    std::string entry, bytes;
    std::u16string shown;
  } cases[] = {
      {"windows-1252 by meta", "a.html", "<meta charset=windows-1252><p>caf\xE9 \x80 \x93x\x94",
       u"caf\u00E9 \u20AC \u201Cx\u201D"},
      {"ANSI code page without a declaration", "b.html", "<p>caf\xE9", u"caf\u00E9"},
      {"UTF-8 with BOM", "c.html", "\xEF\xBB\xBF<p>caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87",
       u"caf\u00E9 \u4E2D\u6587"},
      {"UTF-8 by meta", "d.html", "<meta charset=\"utf-8\"><p>\xE4\xB8\xAD\xE6\x96\x87",
       u"\u4E2D\u6587"},
      {"UTF-8 by http-equiv", "e.html",
       "<meta http-equiv=Content-Type content='text/html; charset=utf-8'><p>\xC3\xA9",
       u"\u00E9"},
      {"GB2312 by meta", "f.html", "<meta charset=gb2312><p>\xD6\xD0\xCE\xC4", u"\u4E2D\u6587"},
      {"Big5 by meta", "g.html", "<meta charset=big5><p>\xA4\xA4\xA4\xE5", u"\u4E2D\u6587"},
      {"UTF-16 page", "h.html", Bytes(u"\xFEFF<p>\u4E2D\u00E9</p>"), u"\u4E2D\u00E9"},
      {"page by its first bytes", "page", "  <!DOCTYPE html><p>&eacute;", u"\u00E9"},
      {"text, UTF-8 without BOM", "t1.txt", "caf\xC3\xA9\n\xE4\xB8\xAD", u"caf\u00E9\r\u4E2D"},
      {"text, UTF-16 with BOM", "t2.txt", Bytes(u"\xFEFFline\r\n\u4E2D"), u"line\r\u4E2D"},
      {"text, ANSI", "t3.txt", "caf\xE9", u"caf\u00E9"},
      {"text beginning like RTF", "t4.txt", "{\\rtf1 not rtf}", u"{\\rtf1 not rtf}"},
      {"text with NUL", "t5.txt", std::string("a\0b", 3), u"a b"},
      {"HTML source in a text file", "t6.txt", "x <p>y</p>", u"x <p>y</p>"},
  };
  for (const Case& c : cases) {
    h.Show(c.entry, c.bytes);
    EXPECT_EQ(h.Text(), c.shown) << c.name;
  }
}

TEST(PageView, PictureEntriesAreCentredAndScaledToFit) {
  Harness h;
  h.Show("red.bmp", SolidBmp(120, 80, 255, 0, 0));
  ASSERT_EQ(h.view->Kind(), PageKind::Picture);
  HWND picture = h.view->PictureWindow();
  ASSERT_TRUE(IsWindowVisible(picture));
  RECT rc;
  GetClientRect(picture, &rc);
  const int cx = rc.right / 2, cy = rc.bottom / 2;
  EXPECT_EQ(h.ScreenPixel(picture, cx, cy), RGB(255, 0, 0));
  EXPECT_EQ(h.ScreenPixel(picture, cx - 55, cy - 35), RGB(255, 0, 0));
  EXPECT_EQ(h.ScreenPixel(picture, cx - 65, cy), RGB(255, 255, 255));
  EXPECT_EQ(h.ScreenPixel(picture, 2, 2), RGB(255, 255, 255));
  // Larger than the area: scaled down, its shape kept, touching two sides.
  h.Show("wide.bmp", SolidBmp(3000, 500, 0, 0, 255));
  EXPECT_EQ(h.ScreenPixel(picture, 1, cy), RGB(0, 0, 255));
  EXPECT_EQ(h.ScreenPixel(picture, rc.right - 2, cy), RGB(0, 0, 255));
  EXPECT_EQ(h.ScreenPixel(picture, cx, 2), RGB(255, 255, 255));
  // Signature, not name: a picture named .txt is a picture; a .png that is text is text.
  h.Show("really-a-picture.txt", SolidBmp(10, 10, 0, 255, 0));
  EXPECT_EQ(h.view->Kind(), PageKind::Picture);
  h.Show("not-a-picture.png", "just text");
  EXPECT_EQ(h.view->Kind(), PageKind::Text);
  EXPECT_EQ(h.Text(), u"just text");
}

TEST(PageView, PicturesInsideAPageAreShownInline) {
  Harness h;
  h.entries["images\\green.bmp"] = SolidBmp(60, 40, 0, 200, 0);
  h.Show("docs/page.html",
         "<p>before</p><p><img src=\"../images/green.bmp\" alt=\"green\"> after"
         "<img src=missing.png alt=\"gone\"></p>");
  const std::u16string text = h.Text();
  EXPECT_NE(text.find(u"[gone]"), std::u16string::npos);
  ASSERT_EQ(h.view->Document().pictures.size(), 2u);
  ASSERT_TRUE(h.view->Document().pictures[0].shown_inline);
  EXPECT_FALSE(h.view->Document().pictures[1].shown_inline);
  // The object takes one character of the control's text, where the document has it.
  const LONG object = static_cast<LONG>(h.view->Document().pictures[0].position);
  EXPECT_EQ(text.substr(static_cast<size_t>(object) + 1, 6), u" after");
  POINT at = h.PointOf(object);
  EXPECT_EQ(h.ScreenPixel(h.edit(), at.x + 25, at.y + 15), RGB(0, 200, 0));
}

TEST(PageView, LinksFollowScrollOrOnlyShowTheirAddress) {
  Harness h;
  h.entries["sub\\next.html"] = "<p>next page</p>";
  std::string filler;
  for (int i = 0; i < 200; ++i) filler += "<p>line " + std::to_string(i) + "</p>";
  h.Show("page.html",
         "<p><a href=sub/next.html>next</a> <a href=\"http://example.com/far\">far</a> "
         "<a href=\"missing.html\">gone</a> <a href=\"#bottom\">down</a> "
         "<a href=\"PAGE.HTML#bottom\">self</a></p>" + filler + "<p id=bottom>Bottom</p>");
  ShowWindow(h.host, SW_SHOW);
  SetForegroundWindow(h.host);
  Pump(100);
  const PageDocument& doc = h.view->Document();
  ASSERT_EQ(doc.links.size(), 5u);
  auto centre_of = [&](int i) { return h.PointOf(static_cast<LONG>(doc.links[i].start)); };
  HWND tip = h.view->Tooltip();
  auto tip_text = [&] {
    wchar_t buf[256] = L"";
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.hwnd = h.view->Handle();
    tool.uId = 1;
    tool.lpszText = buf;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return std::wstring(buf);
  };
  // Over a link that leads outside: its address, and a click does nothing.
  h.MouseMove(h.edit(), centre_of(1));
  EXPECT_TRUE(IsWindowVisible(tip));
  EXPECT_EQ(tip_text(), L"http://example.com/far");
  h.MouseClick(h.edit(), centre_of(1));
  EXPECT_TRUE(h.shown_entries.empty());
  // A missing entry is treated the same.
  h.MouseMove(h.edit(), centre_of(2));
  EXPECT_TRUE(IsWindowVisible(tip));
  EXPECT_EQ(tip_text(), L"missing.html");
  h.MouseClick(h.edit(), centre_of(2));
  EXPECT_TRUE(h.shown_entries.empty());
  // Over plain text or a link to an entry: no tip.
  h.MouseMove(h.edit(), h.PointOf(static_cast<LONG>(doc.text.find(u"line 3"))));
  EXPECT_FALSE(IsWindowVisible(tip));
  // "#bottom" and the page's own name with "#bottom" scroll there.
  EXPECT_EQ(SendMessageW(h.edit(), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  h.MouseClick(h.edit(), centre_of(3));
  const LRESULT bottom_line = SendMessageW(h.edit(), EM_EXLINEFROMCHAR, 0,
                                           static_cast<LPARAM>(FindAnchor(doc, "bottom")));
  EXPECT_GT(bottom_line, 100);
  const LRESULT first = SendMessageW(h.edit(), EM_GETFIRSTVISIBLELINE, 0, 0);
  EXPECT_GT(first, 100);
  EXPECT_LE(first, bottom_line);
  SendMessageW(h.edit(), EM_SETSEL, 0, 0);
  SendMessageW(h.edit(), EM_SCROLLCARET, 0, 0);
  h.view->FollowLink(4);
  EXPECT_GT(SendMessageW(h.edit(), EM_GETFIRSTVISIBLELINE, 0, 0), 100);
  EXPECT_TRUE(h.shown_entries.empty());
  // A link to another entry shows it through the archive.
  SendMessageW(h.edit(), EM_SETSEL, 0, 0);
  SendMessageW(h.edit(), EM_SCROLLCARET, 0, 0);
  Pump(100);
  h.MouseClick(h.edit(), centre_of(0));
  EXPECT_EQ(h.shown_entries, std::vector<std::string>{"sub\\next.html"});
  EXPECT_EQ(h.Text(), u"next page");
}

// Hostile pages and pictures: each is shown (or cut with a visible mark) within a bound, and
// while the rest of a long page goes in, the window keeps answering.
TEST(PageView, HostileInputStaysBounded) {
  Harness h;
  auto timed = [&](const char* name, const std::string& entry, const std::string& bytes) {
    h.entries[entry] = bytes;
    DWORD start = GetTickCount();
    h.view->Show(entry, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    EXPECT_LT(GetTickCount() - start, 5000u) << name;
    // The window keeps handling messages between the parts. (Wine's rich-edit control takes
    // up to a few seconds for one part of such a page: the bound says "no hang", not "fast".)
    DWORD longest = 0, last = GetTickCount();
    start = last;
    while (h.view->Loading() && GetTickCount() - start < 1500) {
      ProcessPendingMessages();
      const DWORD now = GetTickCount();
      longest = std::max(longest, now - last);
      last = now;
    }
    EXPECT_LT(longest, 60000u) << name;
  };
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<div><ul><b>";
  timed("100,000 levels", "deep.html", deep + "bottom");
  EXPECT_EQ(h.Text(), u"bottom");
  std::string items;
  for (int i = 0; i < 100000; ++i) items += "<ul><li>x";
  timed("100,000 nested list items", "items.html", items);
  EXPECT_TRUE(h.view->Document().cut);

  timed("50 MB line", "line.html", "<p>" + std::string(50u << 20, 'x'));
  const std::u16string& cut = h.view->Document().text;
  EXPECT_NE(cut.find(kCutMark), std::u16string::npos);
  EXPECT_LT(cut.size(), 600u << 10);

  std::string links;
  for (int i = 0; i < 100000; ++i) links += "<a href=p" + std::to_string(i % 50) + ".html>l</a> ";
  timed("100,000 links", "links.html", links);
  EXPECT_NE(h.view->Document().text.find(u"links of this page can be followed"),
            std::u16string::npos);
  // The first links get the link effect; the others keep their colour and answer a click.
  EXPECT_TRUE(h.FormatAt(static_cast<LONG>(h.view->Document().links[0].start)).dwEffects &
              CFE_LINK);

  h.entries["p.bmp"] = SolidBmp(20, 20, 1, 2, 3);
  std::string pictures;
  for (int i = 0; i < 10000; ++i) pictures += "<img src=p.bmp><img src=q" + std::to_string(i) + ".png>";
  h.reads = 0;
  timed("10,000 pictures", "pictures.html", pictures);
  EXPECT_LE(h.reads, 64);

  h.Show("comment.html", "<p>seen</p><!-- " + std::string(1 << 20, 'y'));
  EXPECT_EQ(h.Text(), u"seen");
  h.Show("tag.html", "<p>seen</p><a href=\"" + std::string(1 << 20, 'y'));
  EXPECT_EQ(h.Text(), u"seen");
  h.Show("bad.html", "<meta charset=utf-8><p>a\xFF\xC3(\xED\xA0\x80" "b");
  EXPECT_EQ(h.Text().substr(0, 2), u"a\uFFFD");

  // A PNG header claiming 65,535 x 65,535 pixels: refused before any decoding.
  std::string huge("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\xFF\xFF\0\0\xFF\xFF\x08\x02\0\0\0", 29);
  huge += std::string(64, '\0');
  h.Show("huge.png", huge);
  EXPECT_EQ(h.view->Kind(), PageKind::Text);
  EXPECT_EQ(h.Text(), u"[this picture is too large to be shown]");
  h.Show("broken.png", std::string("\x89PNG\r\n\x1A\n", 8) + std::string(100, 'z'));
  EXPECT_EQ(h.Text(), u"[this picture cannot be shown]");
  h.Show("withhuge.html", "<img src=huge.png alt=big>");
  EXPECT_EQ(h.Text(), u"[big]");
}

}  // namespace
}  // namespace vellumo
