#include "viewer/page/win/page_view.h"

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>

#include "viewer/page/page_charset.h"
#include "viewer/page/page_links.h"
#include "viewer/page/page_picture.h"
#include "viewer/page/page_rtf.h"
#include "viewer/page/win/picture_decoder.h"

namespace vellumo {
namespace {

constexpr char kViewClass[] = "VellumoPageView";
constexpr char kPictureClass[] = "VellumoPictureView";
constexpr UINT kFollowMessage = WM_APP + 16;
constexpr UINT kLoadPartMessage = WM_APP + 17;
constexpr int kRichEditId = 1, kPictureId = 2;

// Bounds that keep a hostile page small: bytes of a page read, pictures read from the archive
// per page, bytes of one picture entry, RTF bytes of the pictures inside one page, links that
// get the link effect (the rest keep the link's colour), and the size pictures are decoded to.
constexpr size_t kMaxPageBytes = 4u << 20;
constexpr size_t kMaxPicturesRead = 64;
constexpr size_t kMaxPictureRtfBytes = 16u << 20;
// Under Wine the rich-edit control lays out some 50,000 characters a second, marks a link in
// about 10 ms and takes longer still to delete a large text: the first part of a page is
// small enough to show at once, the later ones go in while the window is idle, only the
// links of the first part get the link effect (every link keeps its colour and answers a
// click), and a control that held a large text is replaced instead of emptied.
constexpr size_t kMaxLinkEffects = 48;
constexpr size_t kFirstPartUnits = 4000, kFirstPartBreaks = 100;
constexpr size_t kLaterPartUnits = 8000, kLaterPartBreaks = 200;
constexpr size_t kReplaceControlAbove = 32000;
constexpr uint32_t kMaxInlineWidth = 800, kMaxInlineHeight = 600;
constexpr uint32_t kMaxShownPictureSide = 4096;
constexpr int kTextPoints = 10;

const char16_t kPictureNotShown[] = u"[this picture cannot be shown]";
const char16_t kPictureTooLarge[] = u"[this picture is too large to be shown]";

// The rich-edit control's class, loaded once for the life of the process.
const wchar_t* RichEditClass() {
  static const wchar_t* name = [] {
    if (LoadLibraryA("msftedit.dll")) return L"RICHEDIT50W";
    if (LoadLibraryA("riched20.dll")) return L"RichEdit20W";
    return L"";
  }();
  return name;
}

std::u16string FromCodePage(UINT code_page, const std::string& text) {
  if (text.empty()) return std::u16string();
  int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string out(n > 0 ? static_cast<size_t>(n) : 0, u'\0');
  if (n > 0)
    MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()),
                        reinterpret_cast<wchar_t*>(&out[0]), n);
  return out;
}

std::string ToCodePage(UINT code_page, const std::u16string& text) {
  if (text.empty()) return std::string();
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  int n = WideCharToMultiByte(code_page, 0, wide, static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(code_page, 0, wide, static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
  return out;
}

std::string AnsiToUtf8(const std::string& ansi) { return Utf16ToUtf8(FromCodePage(CP_ACP, ansi)); }

// A link path (UTF-8, %XX bytes included) as the archive's names are written. Bytes that are
// not UTF-8 were written in the archive's own code page already.
std::string Utf8ToAnsi(const std::string& utf8) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
  if (!IsValidUtf8(bytes, utf8.size())) return utf8;
  return ToCodePage(CP_ACP, DecodeText(bytes, utf8.size(), {kCodePageUtf8, 0}, nullptr));
}

bool ConvertCodePage(uint32_t code_page, const uint8_t* data, size_t size, std::u16string* out) {
  if (size > 0x7FFFFFFF) return false;
  const UINT cp = code_page == kCodePageAnsi ? CP_ACP : code_page;
  const char* text = reinterpret_cast<const char*>(data);
  int n = MultiByteToWideChar(cp, 0, text, static_cast<int>(size), nullptr, 0);
  if (n <= 0) return false;
  out->assign(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(cp, 0, text, static_cast<int>(size), reinterpret_cast<wchar_t*>(&(*out)[0]), n);
  return true;
}

struct StreamSource {
  const char* data;
  size_t size, position;
};

DWORD CALLBACK ReadStreamSource(DWORD_PTR cookie, LPBYTE buffer, LONG count, LONG* done) {
  auto* source = reinterpret_cast<StreamSource*>(cookie);
  const size_t left = source->size - source->position;
  const size_t n = std::min(left, static_cast<size_t>(count > 0 ? count : 0));
  std::copy(source->data + source->position, source->data + source->position + n, buffer);
  source->position += n;
  *done = static_cast<LONG>(n);
  return 0;
}

void RegisterClasses(WNDPROC view, WNDPROC picture) {
  static bool done = false;
  if (done) return;
  WNDCLASSA wc{};
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpfnWndProc = view;
  wc.lpszClassName = kViewClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = picture;
  wc.lpszClassName = kPictureClass;
  wc.hbrBackground = nullptr;
  RegisterClassA(&wc);
  done = true;
}

}  // namespace

TPageView::TPageView(HWND parent, const RECT& bounds) {
  RegisterClasses(&TPageView::WindowProc, &TPageView::PictureProc);
  HINSTANCE inst = GetModuleHandleA(nullptr);
  const int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
  window_ = CreateWindowExA(WS_EX_CONTROLPARENT, kViewClass, "",
                            WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, bounds.left, bounds.top, w, h,
                            parent, nullptr, inst, nullptr);
  if (!window_) return;
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  CreateRichEdit();
  picture_window_ = CreateWindowExA(0, kPictureClass, "", WS_CHILD, 0, 0, w, h, window_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPictureId)),
                                    inst, nullptr);
  SetWindowLongPtrA(picture_window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, inst, nullptr);
  if (tooltip_) {
    TTTOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = window_;
    tool.uId = 1;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 600);
  }
}

TPageView::~TPageView() {
  if (tooltip_) DestroyWindow(tooltip_);
  if (window_) {
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    if (picture_window_) SetWindowLongPtrA(picture_window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void TPageView::CreateRichEdit() {
  RECT rc;
  GetClientRect(window_, &rc);
  HWND old = rich_edit_;
  rich_edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, RichEditClass(), L"",
                               WS_CHILD | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | ES_MULTILINE |
                                   ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL |
                                   (old && !IsWindowVisible(old) ? 0 : WS_VISIBLE),
                               0, 0, rc.right, rc.bottom, window_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRichEditId)),
                               GetModuleHandleA(nullptr), nullptr);
  if (old) {
    if (!rich_edit_) {
      rich_edit_ = old;
      return;
    }
    SetWindowPos(rich_edit_, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const bool focused = GetFocus() == old;
    DestroyWindow(old);
    if (focused) SetFocus(rich_edit_);
  }
  if (!rich_edit_) return;
  SendMessageW(rich_edit_, EM_EXLIMITTEXT, 0, 0x7FFFFFF0);
  SendMessageW(rich_edit_, EM_SETEVENTMASK, 0, ENM_LINK | ENM_MOUSEEVENTS);
  content_units_ = 0;
}

void TPageView::SetBounds(const RECT& bounds) {
  if (!window_) return;
  const int w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
  MoveWindow(window_, bounds.left, bounds.top, w, h, TRUE);
  if (rich_edit_) MoveWindow(rich_edit_, 0, 0, w, h, TRUE);
  if (picture_window_) MoveWindow(picture_window_, 0, 0, w, h, TRUE);
}

void TPageView::Show(const std::string& entry_name, const uint8_t* data, size_t size) {
  if (!window_ || !rich_edit_) return;
  if (tooltip_) SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, 0);
  hover_link_ = -1;
  pending_entry_.clear();
  pending_fragment_.clear();
  ++generation_;
  loaded_ = 0;
  links_marked_ = 0;
  if (content_units_ > kReplaceControlAbove) CreateRichEdit();
  std::string stored = archive_.FindEntry ? archive_.FindEntry(entry_name) : std::string();
  entry_name_ = stored.empty() ? entry_name : stored;
  if (!data) size = 0;
  if (PictureFormatOf(data, size) != PictureFormat::None) {
    ShowPicture(data, size);
  } else if (IsHtmlEntry(entry_name_, data, size)) {
    ShowHtml(data, size);
  } else {
    ShowText(data, size);
  }
}

void TPageView::StreamIn(const std::string& bytes, UINT format) {
  SendMessageW(rich_edit_, WM_SETREDRAW, FALSE, 0);
  StreamSource source{bytes.data(), bytes.size(), 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = &ReadStreamSource;
  SendMessageW(rich_edit_, EM_STREAMIN, format, reinterpret_cast<LPARAM>(&stream));
}

void TPageView::ShowHtml(const uint8_t* data, size_t size) {
  const size_t used = std::min(size, kMaxPageBytes);
  const TextEncoding encoding = DetectHtmlEncoding(data, used);
  std::u16string html = DecodeText(data, used, encoding, &ConvertCodePage);
  // From here on the page's bytes are not read again: reading its pictures may reuse memory.
  picture_groups_.clear();
  pictures_by_entry_.clear();
  picture_bytes_ = 0;
  pictures_read_ = 0;
  PageDocument doc = HtmlToDocument(html, PageLimits(), [this](const PagePicture& picture) {
    return InlinePicture(picture);
  });
  html.clear();
  html.shrink_to_fit();
  if (used < size && !doc.cut) {
    doc.cut = true;
    doc.text += kParagraphBreak;
    doc.text += kCutMark;
  }
  document_ = std::move(doc);
  kind_ = PageKind::Html;
  ShowWindow(picture_window_, SW_HIDE);
  ShowWindow(rich_edit_, SW_SHOW);
  SendMessageW(rich_edit_, EM_SETTARGETDEVICE, 0, 0);  // wrap at the window's width
  loaded_ = 0;
  LoadNextPart();
  if (Loading()) PostMessageA(window_, kLoadPartMessage, generation_, 0);
}

bool TPageView::LoadNextPart() {
  if (!Loading()) return false;
  const size_t begin = loaded_;
  const size_t end =
      begin == 0 ? DocumentPartEnd(document_, begin, kFirstPartUnits, kFirstPartBreaks)
                 : DocumentPartEnd(document_, begin, kLaterPartUnits, kLaterPartBreaks);
  const std::string rtf = DocumentRangeToRtf(document_, begin, end, [&](size_t index) {
    auto it = picture_groups_.find(document_.pictures[index].position);
    return it == picture_groups_.end() ? std::string() : it->second;
  });
  // A later part is appended at the end; the reader's selection and scroll position stay
  // where they are (marking links moves the selection too).
  CHARRANGE selection{0, 0};
  POINT scroll{0, 0};
  if (begin == 0) {
    StreamIn(rtf, SF_RTF);
  } else {
    SendMessageW(rich_edit_, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selection));
    SendMessageW(rich_edit_, EM_GETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
    SendMessageW(rich_edit_, WM_SETREDRAW, FALSE, 0);
    CHARRANGE at_end{static_cast<LONG>(begin), static_cast<LONG>(begin)};
    SendMessageW(rich_edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&at_end));
    StreamIn(rtf, SF_RTF | SFF_SELECTION);
  }
  loaded_ = end;
  content_units_ = end;
  ApplyLinkEffects(begin, end);
  SendMessageW(rich_edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
  SendMessageW(rich_edit_, EM_SETSCROLLPOS, 0, reinterpret_cast<LPARAM>(&scroll));
  SendMessageW(rich_edit_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(rich_edit_, nullptr, begin == 0);
  if (!Loading()) {
    picture_groups_.clear();
    pictures_by_entry_.clear();
  }
  return true;
}

void TPageView::FinishLoading() {
  while (LoadNextPart()) {
  }
}

void TPageView::ApplyLinkEffects(size_t begin, size_t end) {
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_LINK;
  format.dwEffects = CFE_LINK;
  while (links_marked_ < document_.links.size() && links_marked_ < kMaxLinkEffects) {
    const PageLink& link = document_.links[links_marked_];
    if (link.end > end) break;
    ++links_marked_;
    if (link.end <= link.start || link.start < begin) continue;
    CHARRANGE range{static_cast<LONG>(link.start), static_cast<LONG>(link.end)};
    SendMessageW(rich_edit_, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    SendMessageW(rich_edit_, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
}

void TPageView::ShowText(const uint8_t* data, size_t size) {
  const size_t used = std::min(size, kMaxPageBytes);
  std::u16string text = DecodeText(data, used, DetectTextEncoding(data, used), &ConvertCodePage);
  for (char16_t& c : text) {
    if (c == 0) c = u' ';  // a NUL would end the text
  }
  if (used < size) {
    text += u"\r\n";
    text += kCutMark;
  }
  ShowMessageText(text);
}

void TPageView::ShowMessageText(const std::u16string& text) {
  document_ = PageDocument();
  kind_ = PageKind::Text;
  ShowWindow(picture_window_, SW_HIDE);
  ShowWindow(rich_edit_, SW_SHOW);
  SendMessageW(rich_edit_, EM_SETTARGETDEVICE, 0, 1);  // lines as they are: no wrapping
  SendMessageW(rich_edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  CHARFORMAT2W format{};
  format.cbSize = sizeof format;
  format.dwMask = CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_LINK |
                  CFM_CHARSET;
  format.yHeight = kTextPoints * 20;
  format.bCharSet = DEFAULT_CHARSET;
  format.bPitchAndFamily = FIXED_PITCH | FF_MODERN;
  std::u16string face = FromCodePage(CP_ACP, kFixedFont);
  std::copy(face.begin(), face.end(), format.szFaceName);
  SendMessageW(rich_edit_, EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
  SendMessageW(rich_edit_, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  // Streamed as Unicode text: a text that begins "{\rtf" is still shown as text.
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  StreamIn(bytes, SF_TEXT | SF_UNICODE);
  content_units_ = text.size();
  SendMessageW(rich_edit_, EM_SETSEL, 0, 0);
  SendMessageW(rich_edit_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(rich_edit_, nullptr, TRUE);
}

void TPageView::ShowPicture(const uint8_t* data, size_t size) {
  DecodedPicture picture;
  const PictureResult result =
      DecodePicture(data, size, kMaxShownPictureSide, kMaxShownPictureSide, &picture);
  if (result != PictureResult::Decoded) {
    ShowMessageText(result == PictureResult::TooLarge ? kPictureTooLarge : kPictureNotShown);
    return;
  }
  picture_bitmap_.reset(PictureBitmap(picture));
  picture_size_ = SIZE{static_cast<LONG>(picture.width), static_cast<LONG>(picture.height)};
  document_ = PageDocument();
  kind_ = PageKind::Picture;
  SendMessageW(rich_edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""));
  content_units_ = 0;
  ShowWindow(rich_edit_, SW_HIDE);
  ShowWindow(picture_window_, SW_SHOW);
  InvalidateRect(picture_window_, nullptr, TRUE);
}

bool TPageView::InlinePicture(const PagePicture& picture) {
  if (!archive_.FindEntry || !archive_.ReadEntry) return false;
  const LinkTarget target = ResolveLink(AnsiToUtf8(entry_name_), picture.source);
  if (target.kind != LinkKind::Entry) return false;
  const std::string stored = archive_.FindEntry(Utf8ToAnsi(target.path));
  if (stored.empty()) return false;
  auto known = pictures_by_entry_.find(stored);
  if (known == pictures_by_entry_.end()) {
    if (pictures_read_ >= kMaxPicturesRead) return false;
    ++pictures_read_;
    std::string group;
    std::vector<uint8_t> bytes;
    if (archive_.ReadEntry(stored, &bytes)) {
      DecodedPicture decoded;
      if (DecodePicture(bytes.data(), bytes.size(), kMaxInlineWidth, kMaxInlineHeight,
                        &decoded) == PictureResult::Decoded)
        group = PictureRtfGroup(decoded);
    }
    known = pictures_by_entry_.emplace(stored, std::move(group)).first;
  }
  const std::string& group = known->second;
  if (group.empty() || group.size() > kMaxPictureRtfBytes - picture_bytes_) return false;
  picture_bytes_ += group.size();
  picture_groups_[picture.position] = group;
  return true;
}

int TPageView::LinkAtPoint(POINT client) const {
  if (kind_ != PageKind::Html || document_.links.empty()) return -1;
  POINTL point{client.x, client.y};
  const LRESULT at = SendMessageW(rich_edit_, EM_CHARFROMPOS, 0, reinterpret_cast<LPARAM>(&point));
  if (at < 0) return -1;
  const int link = FindLinkAt(document_, static_cast<uint32_t>(at));
  if (link < 0) return -1;
  // The point must be on the character itself, not beside the end of its line.
  POINTL begin{}, end{};
  SendMessageW(rich_edit_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&begin), at);
  SendMessageW(rich_edit_, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&end), at + 1);
  if (client.x < begin.x || client.y < begin.y) return -1;
  if (end.y == begin.y && client.x > end.x) return -1;
  return link;
}

void TPageView::FollowLink(int index) {
  if (index < 0 || static_cast<size_t>(index) >= document_.links.size()) return;
  const LinkTarget target = ResolveLink(AnsiToUtf8(entry_name_), document_.links[index].target);
  if (target.kind == LinkKind::SamePage) {
    if (!target.fragment.empty()) ScrollToAnchor(target.fragment);
    return;
  }
  if (target.kind != LinkKind::Entry || !archive_.FindEntry) return;
  const std::string stored = archive_.FindEntry(Utf8ToAnsi(target.path));
  if (stored.empty()) return;
  if (stored == entry_name_) {
    if (!target.fragment.empty()) ScrollToAnchor(target.fragment);
    return;
  }
  // Shown once the click is over: the control must not be refilled inside its own handler.
  pending_entry_ = stored;
  pending_fragment_ = target.fragment;
  PostMessageA(window_, kFollowMessage, 0, 0);
}

bool TPageView::ScrollToAnchor(const std::string& name) {
  const int64_t position = FindAnchor(document_, name);
  if (position < 0) return false;
  if (static_cast<size_t>(position) >= loaded_) FinishLoading();
  const LRESULT line = SendMessageW(rich_edit_, EM_EXLINEFROMCHAR, 0, static_cast<LPARAM>(position));
  const LRESULT first = SendMessageW(rich_edit_, EM_GETFIRSTVISIBLELINE, 0, 0);
  SendMessageW(rich_edit_, EM_SETSEL, static_cast<WPARAM>(position), static_cast<LPARAM>(position));
  SendMessageW(rich_edit_, EM_LINESCROLL, 0, line - first);
  return true;
}

void TPageView::Hover(POINT client) {
  const int link = LinkAtPoint(client);
  if (link == hover_link_) return;
  hover_link_ = link;
  if (!tooltip_) return;
  bool outside = false;
  if (link >= 0) {
    const LinkTarget target = ResolveLink(AnsiToUtf8(entry_name_), document_.links[link].target);
    outside = target.kind == LinkKind::Outside ||
              (target.kind == LinkKind::Entry &&
               (!archive_.FindEntry || archive_.FindEntry(Utf8ToAnsi(target.path)).empty()));
  }
  if (!outside) {
    SendMessageW(tooltip_, TTM_TRACKACTIVATE, FALSE, 0);
    return;
  }
  // The address as written: nothing outside the archive is opened from a page.
  std::u16string address = DecodeText(
      reinterpret_cast<const uint8_t*>(document_.links[link].target.data()),
      document_.links[link].target.size(), {kCodePageUtf8, 0}, nullptr);
  std::wstring text(address.begin(), address.end());
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V1_SIZE;
  tool.hwnd = window_;
  tool.uId = 1;
  tool.lpszText = &text[0];
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  POINT screen = client;
  ClientToScreen(rich_edit_, &screen);
  SendMessageW(tooltip_, TTM_TRACKPOSITION, 0, MAKELPARAM(screen.x + 12, screen.y + 20));
  SendMessageW(tooltip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
}

LRESULT TPageView::OnNotify(NMHDR* header) {
  if (!header || header->hwndFrom != rich_edit_) return 0;
  if (header->code == EN_LINK) {
    auto* link = reinterpret_cast<ENLINK*>(header);
    if (link->msg == WM_LBUTTONUP) {
      FollowLink(FindLinkAt(document_, static_cast<uint32_t>(link->chrg.cpMin)));
      return 1;
    }
    return 0;
  }
  if (header->code == EN_MSGFILTER) {
    auto* filter = reinterpret_cast<MSGFILTER*>(header);
    const POINT point{static_cast<short>(LOWORD(filter->lParam)),
                      static_cast<short>(HIWORD(filter->lParam))};
    if (filter->msg == WM_MOUSEMOVE) Hover(point);
    if (filter->msg == WM_LBUTTONUP) {
      // Links past those with the link effect send no EN_LINK: found from the point.
      const int link = LinkAtPoint(point);
      if (link >= 0 && static_cast<size_t>(link) >= links_marked_) FollowLink(link);
    }
  }
  return 0;
}

void TPageView::PaintPicture(HDC dc) {
  RECT rc;
  GetClientRect(picture_window_, &rc);
  FillRect(dc, &rc, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  if (!picture_bitmap_ || picture_size_.cx <= 0 || picture_size_.cy <= 0) return;
  // Centred; scaled down, keeping its shape, when larger than the area.
  int w = picture_size_.cx, h = picture_size_.cy;
  const int area_w = rc.right, area_h = rc.bottom;
  if (area_w <= 0 || area_h <= 0) return;
  if (w > area_w || h > area_h) {
    if (static_cast<int64_t>(w) * area_h > static_cast<int64_t>(h) * area_w) {
      h = std::max(1, MulDiv(h, area_w, w));
      w = area_w;
    } else {
      w = std::max(1, MulDiv(w, area_h, h));
      h = area_h;
    }
  }
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, picture_bitmap_.get());
  SetStretchBltMode(dc, HALFTONE);
  SetBrushOrgEx(dc, 0, 0, nullptr);
  StretchBlt(dc, (area_w - w) / 2, (area_h - h) / 2, w, h, memory, 0, 0, picture_size_.cx,
             picture_size_.cy, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
}

LRESULT CALLBACK TPageView::WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TPageView*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  // A window procedure: nothing may unwind into the system's dispatch (a link's entry is shown
  // from here, and reading it can run out of memory).
  if (self) try {
    switch (msg) {
      case WM_NOTIFY:
        return self->OnNotify(reinterpret_cast<NMHDR*>(lp));
      case WM_SIZE:
        if (self->rich_edit_) MoveWindow(self->rich_edit_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        if (self->picture_window_)
          MoveWindow(self->picture_window_, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
      case kLoadPartMessage:
        if (wp == self->generation_ && self->LoadNextPart() && self->Loading())
          PostMessageA(wnd, kLoadPartMessage, wp, 0);
        return 0;
      case kFollowMessage: {
        std::string entry, fragment;
        entry.swap(self->pending_entry_);
        fragment.swap(self->pending_fragment_);
        if (entry.empty() || !self->archive_.ShowEntry) return 0;
        self->archive_.ShowEntry(entry);
        if (!fragment.empty() && self->entry_name_ == entry) self->ScrollToAnchor(fragment);
        return 0;
      }
      default:
        break;
    }
  } catch (...) {
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

LRESULT CALLBACK TPageView::PictureProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TPageView*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      InvalidateRect(wnd, nullptr, FALSE);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(wnd, &ps);
      if (self) self->PaintPicture(dc);
      EndPaint(wnd, &ps);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace vellumo
