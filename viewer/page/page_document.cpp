#include "viewer/page/page_document.h"

#include <algorithm>

#include "viewer/page/html_entities.h"
#include "viewer/page/page_charset.h"

namespace vellumo {

const char16_t kCutMark[] = u"[\x2026 the rest of this page is not shown]";

std::u16string PictureMarker(const std::u16string& alt) {
  return u"[" + (alt.empty() ? std::u16string(u"picture") : alt) + u"]";
}

namespace {

constexpr char16_t kBullet = u'\x2022';
constexpr size_t kRuleLength = 60;
constexpr uint8_t kMaxIndent = 8;

bool IsSpace(char16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAsciiLetter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiAlnum(char16_t c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9'); }
char16_t LowerAscii(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + 32) : c; }

// Windows-1252's characters for the references &#128; to &#159;, as browsers read them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// Reads a character reference at in[i] == '&'. Returns true and the code point with the
// index after it, or false when the text is not a reference (the "&" is then plain text).
bool ReadReference(const std::u16string& in, size_t i, size_t end, char32_t* cp, size_t* next) {
  size_t k = i + 1;
  if (k < end && in[k] == '#') {
    ++k;
    bool hex = k < end && (in[k] == 'x' || in[k] == 'X');
    if (hex) ++k;
    const size_t digits_start = k;
    uint32_t value = 0;
    bool overflow = false;
    while (k < end) {
      const char16_t c = in[k];
      uint32_t digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else break;
      if (value > 0x10FFFF) overflow = true;
      else value = value * (hex ? 16 : 10) + digit;
      ++k;
    }
    if (k == digits_start) return false;
    if (k < end && in[k] == ';') ++k;
    if (overflow || value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      *cp = 0xFFFD;
    } else if (value >= 0x80 && value <= 0x9F) {
      *cp = kWindows1252High[value - 0x80];
    } else {
      *cp = value;
    }
    *next = k;
    return true;
  }
  char name[32];
  size_t length = 0;
  while (k < end && IsAsciiAlnum(in[k]) && length < sizeof name) name[length++] = static_cast<char>(in[k++]);
  if (length == 0 || length == sizeof name) return false;
  const char32_t value = LookUpNamedReference(name, length);
  if (!value) return false;
  if (k < end && in[k] == ';') ++k;
  *cp = value;
  *next = k;
  return true;
}

// Text with character references decoded, at most `limit` units kept.
std::u16string DecodeReferences(const std::u16string& in, size_t begin, size_t end, size_t limit) {
  std::u16string out;
  size_t i = begin;
  while (i < end && out.size() < limit) {
    char32_t cp;
    size_t next;
    if (in[i] == '&' && ReadReference(in, i, end, &cp, &next)) {
      AppendCodePoint(cp, &out);
      i = next;
    } else {
      out.push_back(in[i] == 0 ? u'\xFFFD' : in[i]);
      ++i;
    }
  }
  return out;
}

std::u16string Trimmed(const std::u16string& text) {
  size_t b = 0, e = text.size();
  while (b < e && IsSpace(text[b])) ++b;
  while (e > b && IsSpace(text[e - 1])) --e;
  return text.substr(b, e - b);
}

struct Tag {
  std::string name;  // lower case ASCII
  bool end = false;
  bool self_closing = false;
  std::vector<std::pair<std::string, std::u16string>> attributes;
  const std::u16string* Attribute(const char* key) const {
    for (const auto& a : attributes) {
      if (a.first == key) return &a.second;
    }
    return nullptr;
  }
};

enum class ListKind : uint8_t { Bullets, Numbers };
struct ListLevel {
  ListKind kind;
  uint32_t counter;
};

class Converter {
 public:
  Converter(const std::u16string& in, const PageLimits& limits, const InlinePictureQuery& query)
      : in_(in), limits_(limits), query_(query) {}

  PageDocument Run() {
    size_t i = 0;
    const size_t n = in_.size();
    while (i < n && !full_) {
      const char16_t c = in_[i];
      if (c == '<') {
        i = Markup(i);
      } else if (c == '&') {
        char32_t cp;
        size_t next;
        if (ReadReference(in_, i, n, &cp, &next)) {
          std::u16string s;
          AppendCodePoint(cp, &s);
          for (char16_t u : s) Char(u, false);
          i = next;
        } else {
          Char('&', false);
          ++i;
        }
      } else {
        Char(c == 0 ? u'\xFFFD' : c, true);
        ++i;
      }
    }
    CloseLink();
    if (full_) {
      doc_.cut = true;
      pending_space_ = false;
      pending_break_ = 0;
      if (!doc_.text.empty() && doc_.text.back() != kParagraphBreak) Append(kParagraphBreak);
      const PageFormat plain;
      format_override_ = &plain;
      for (const char16_t* m = kCutMark; *m; ++m) Append(*m);
      format_override_ = nullptr;
    } else if (links_dropped_) {
      doc_.cut = true;
      Block(2);
      Flush();
      const PageFormat plain;
      format_override_ = &plain;
      const std::u16string note = u"[only the first " + Number(limits_.max_links) +
                                  u" links of this page can be followed]";
      for (char16_t u : note) Append(u);
      format_override_ = nullptr;
    }
    for (const std::string& name : pending_anchors_)
      doc_.anchors.push_back({name, static_cast<uint32_t>(doc_.text.size())});
    // Trailing breaks show nothing.
    while (!doc_.text.empty() && doc_.text.back() == kParagraphBreak) doc_.text.pop_back();
    const uint32_t size = static_cast<uint32_t>(doc_.text.size());
    for (PageSpan& s : doc_.spans) s.end = std::min(s.end, size);
    while (!doc_.spans.empty() && doc_.spans.back().start >= doc_.spans.back().end)
      doc_.spans.pop_back();
    for (PageAnchor& a : doc_.anchors) a.position = std::min(a.position, size);
    for (PagePicture& p : doc_.pictures) {
      p.position = std::min(p.position, size);
      p.length = std::min(p.length, size - p.position);
    }
    for (PageLink& l : doc_.links) {
      l.end = std::min(l.end, size);
      l.start = std::min(l.start, l.end);
    }
    return std::move(doc_);
  }

 private:
  static std::u16string Number(size_t value) {
    std::u16string digits;
    do {
      digits.insert(digits.begin(), static_cast<char16_t>('0' + value % 10));
      value /= 10;
    } while (value);
    return digits;
  }

  PageFormat CurrentFormat() const {
    if (format_override_) return *format_override_;
    PageFormat f;
    f.bold = bold_ > 0 || heading_ > 0;
    f.italic = italic_ > 0;
    f.underline = underline_ > 0;
    f.fixed = fixed_ > 0 || pre_ > 0;
    f.heading = heading_;
    f.link = link_;
    return f;
  }

  // Appends one unit of view text in the current format.
  void Append(char16_t c) {
    if (!format_override_ && (doc_.text.size() >= limits_.max_text ||
                              (c == kParagraphBreak && paragraphs_ >= limits_.max_paragraphs))) {
      full_ = true;
      return;
    }
    if (c == kParagraphBreak) ++paragraphs_;
    const uint32_t at = static_cast<uint32_t>(doc_.text.size());
    if (at_line_start_ && c != kParagraphBreak) {
      const uint8_t indent = static_cast<uint8_t>(std::min<size_t>(Indent(), kMaxIndent));
      if (indent || centred_) doc_.paragraphs.push_back({at, indent, centred_});
      at_line_start_ = false;
    }
    if (!pending_anchors_.empty() && c != kParagraphBreak) {
      for (const std::string& name : pending_anchors_) doc_.anchors.push_back({name, at});
      pending_anchors_.clear();
    }
    doc_.text.push_back(c);
    if (c == kParagraphBreak) {
      at_line_start_ = true;
      ++trailing_breaks_;
      paragraph_start_ = doc_.text.size();
    } else {
      trailing_breaks_ = 0;
    }
    const PageFormat f = c == kParagraphBreak && format_override_ == nullptr ? PageFormat() : CurrentFormat();
    if (!f.IsPlain()) {
      if (!doc_.spans.empty() && doc_.spans.back().end == at && doc_.spans.back().format == f) {
        doc_.spans.back().end = at + 1;
      } else {
        doc_.spans.push_back({at, at + 1, f});
      }
    }
    // A paragraph without end (one 50 MB line) is shown as several: the control lays out
    // and wraps paragraph by paragraph.
    if (c != kParagraphBreak && doc_.text.size() - paragraph_start_ >= limits_.max_paragraph &&
        !(c >= 0xD800 && c <= 0xDBFF)) {
      doc_.text.push_back(kParagraphBreak);
      ++paragraphs_;
      at_line_start_ = true;
      paragraph_start_ = doc_.text.size();
    }
  }

  size_t Indent() const { return lists_.size() + list_overflow_ + quotes_; }

  void Block(int breaks) {
    pending_space_ = false;
    if (breaks > pending_break_) pending_break_ = breaks;
  }

  // Puts the pending paragraph breaks in before more text.
  void Flush() {
    if (pending_break_ && !doc_.text.empty()) {
      while (trailing_breaks_ < pending_break_ && !full_) Append(kParagraphBreak);
    }
    pending_break_ = 0;
  }

  void Char(char16_t c, bool raw) {
    if (pre_ > 0) {
      if (raw && (c == '\r' || c == '\n')) {
        // CR LF, CR and LF each end one line; the line break right after <pre> is dropped.
        if (c == '\n' && last_was_cr_) {
          last_was_cr_ = false;
          return;
        }
        last_was_cr_ = c == '\r';
        if (pre_skip_newline_) {
          pre_skip_newline_ = false;
          return;
        }
        Flush();
        Append(kParagraphBreak);
        return;
      }
      last_was_cr_ = false;
      pre_skip_newline_ = false;
      Flush();
      Append(c == '\f' ? u' ' : c);
      return;
    }
    if (raw && IsSpace(c)) {
      if (!pending_space_) space_format_ = CurrentFormat();
      pending_space_ = !doc_.text.empty() && !at_line_start_ && doc_.text.back() != u'\t';
      return;
    }
    Flush();
    EmitPendingSpace();
    Append(c);
  }

  // A blank between words keeps the format it had where it stood ("a <b>b</b>": not bold).
  void EmitPendingSpace() {
    if (pending_space_ && !at_line_start_) {
      format_override_ = &space_format_;
      Append(' ');
      format_override_ = nullptr;
    }
    pending_space_ = false;
  }

  // Skips to after the first case-insensitive `close` ("</script") and its ">", or to the end.
  size_t SkipRawText(size_t i, const char* close) {
    const size_t n = in_.size();
    const size_t len = std::char_traits<char>::length(close);
    for (; i + len <= n; ++i) {
      if (in_[i] != '<') continue;
      size_t k = 0;
      while (k < len && LowerAscii(in_[i + k]) == static_cast<char16_t>(close[k])) ++k;
      if (k < len) continue;
      size_t gt = i + len;
      while (gt < n && in_[gt] != '>') ++gt;
      return gt < n ? gt + 1 : n;
    }
    return n;
  }

  // Handles the markup at in_[i] == '<'; returns the index after it.
  size_t Markup(size_t i) {
    const size_t n = in_.size();
    if (i + 3 < n && in_[i + 1] == '!' && in_[i + 2] == '-' && in_[i + 3] == '-') {
      for (size_t k = i + 4; k + 2 < n; ++k) {
        if (in_[k] == '-' && in_[k + 1] == '-' && in_[k + 2] == '>') return k + 3;
      }
      return n;  // an unterminated comment hides the rest, as in a browser
    }
    if (i + 1 < n && (in_[i + 1] == '!' || in_[i + 1] == '?')) {
      size_t k = i + 2;
      while (k < n && in_[k] != '>') ++k;
      return k < n ? k + 1 : n;
    }
    const bool end = i + 1 < n && in_[i + 1] == '/';
    const size_t name_at = i + (end ? 2 : 1);
    if (name_at >= n || !IsAsciiLetter(in_[name_at])) {
      if (end && name_at < n && in_[name_at] == '>') return name_at + 1;
      Char('<', false);
      return i + 1;
    }
    Tag tag;
    tag.end = end;
    size_t k = name_at;
    while (k < n && !IsSpace(in_[k]) && in_[k] != '/' && in_[k] != '>') {
      if (tag.name.size() < 16) tag.name += static_cast<char>(LowerAscii(in_[k]) & 0x7F);
      ++k;
    }
    // Attributes.
    while (k < n && in_[k] != '>') {
      if (IsSpace(in_[k])) {
        ++k;
        continue;
      }
      if (in_[k] == '/') {
        tag.self_closing = k + 1 < n && in_[k + 1] == '>';
        ++k;
        continue;
      }
      std::string key;
      while (k < n && !IsSpace(in_[k]) && in_[k] != '/' && in_[k] != '>' && in_[k] != '=') {
        if (key.size() < 16) key += static_cast<char>(LowerAscii(in_[k]) & 0x7F);
        ++k;
      }
      if (key.empty()) key = "=";  // a stray "=": consumed below with its value
      while (k < n && IsSpace(in_[k])) ++k;
      size_t vb = k, ve = k;
      if (k < n && in_[k] == '=') {
        ++k;
        while (k < n && IsSpace(in_[k])) ++k;
        if (k < n && (in_[k] == '"' || in_[k] == '\'')) {
          const char16_t quote = in_[k++];
          vb = k;
          while (k < n && in_[k] != quote) ++k;
          ve = k;
          if (k < n) ++k;
        } else {
          vb = k;
          while (k < n && !IsSpace(in_[k]) && in_[k] != '>') ++k;
          ve = k;
        }
      }
      if (Wanted(key) && tag.attributes.size() < 16)
        tag.attributes.emplace_back(key, DecodeReferences(in_, vb, ve, limits_.max_attribute));
    }
    if (k >= n) return n;  // a tag cut off by the end of the page is not shown
    ++k;
    if (!tag.end && (tag.name == "script" || tag.name == "style" || tag.name == "title" ||
                     tag.name == "xmp" || tag.name == "iframe" || tag.name == "noembed")) {
      if (tag.self_closing && tag.name != "script" && tag.name != "style") return k;
      return SkipRawText(k, tag.name == "script"   ? "</script"
                            : tag.name == "style"  ? "</style"
                            : tag.name == "title"  ? "</title"
                            : tag.name == "xmp"    ? "</xmp"
                            : tag.name == "iframe" ? "</iframe"
                                                   : "</noembed");
    }
    Element(tag);
    return k;
  }

  static bool Wanted(const std::string& key) {
    return key == "href" || key == "src" || key == "alt" || key == "id" || key == "name" ||
           key == "width" || key == "height" || key == "start" || key == "align";
  }

  static bool IsBlockElement(const std::string& name) {
    static const char* const kBlocks[] = {
        "div", "address", "center", "form", "section", "article", "header", "footer", "nav",
        "aside", "main", "figure", "figcaption", "fieldset", "legend", "caption", "noscript",
        "body", "html", "dl", "menu", "dir", "details", "summary", "option", "frameset", "frame"};
    for (const char* b : kBlocks) {
      if (name == b) return true;
    }
    return false;
  }

  void Count(int* counter, bool end) {
    if (end) {
      if (*counter > 0) --*counter;
    } else {
      ++*counter;
    }
  }

  void CloseLink() {
    if (link_ < 0) return;
    PageLink& link = doc_.links[static_cast<size_t>(link_)];
    link.end = static_cast<uint32_t>(doc_.text.size());
    link_ = -1;
  }

  void Anchor(const Tag& tag) {
    for (const char* key : {"id", "name"}) {
      const std::u16string* value = tag.Attribute(key);
      if (value && !value->empty() && pending_anchors_.size() < 64)
        pending_anchors_.push_back(Utf16ToUtf8(*value));
    }
  }

  void Element(const Tag& tag) {
    const std::string& name = tag.name;
    const bool end = tag.end;
    if (!end) Anchor(tag);
    if (name == "b" || name == "strong") return Count(&bold_, end);
    if (name == "i" || name == "em" || name == "cite" || name == "var" || name == "dfn")
      return Count(&italic_, end);
    if (name == "u" || name == "ins") return Count(&underline_, end);
    if (name == "tt" || name == "code" || name == "kbd" || name == "samp")
      return Count(&fixed_, end);
    if (name == "a") {
      if (end) return CloseLink();
      const std::u16string* href = tag.Attribute("href");
      if (!href) return;
      CloseLink();
      if (doc_.links.size() >= limits_.max_links) {
        links_dropped_ = true;
        return;
      }
      Flush();
      EmitPendingSpace();
      link_ = static_cast<int32_t>(doc_.links.size());
      const uint32_t at = static_cast<uint32_t>(doc_.text.size());
      doc_.links.push_back({Utf16ToUtf8(Trimmed(*href)), at, at});
      return;
    }
    if (name == "br") {
      if (end) return;
      Flush();
      Append(kParagraphBreak);
      pending_space_ = false;
      return;
    }
    if (name == "p") return Block(2);
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6') {
      Block(2);
      heading_ = end ? 0 : static_cast<uint8_t>(name[1] - '0');
      return;
    }
    if (name == "pre" || name == "listing" || name == "plaintext") {
      Block(2);
      if (end) {
        if (pre_ > 0) --pre_;
      } else {
        ++pre_;
        pre_skip_newline_ = true;
      }
      return;
    }
    if (name == "ul" || name == "ol" || name == "menu" || name == "dir") {
      Block(lists_.empty() && list_overflow_ == 0 ? 2 : 1);
      if (end) {
        if (list_overflow_ > 0) --list_overflow_;
        else if (!lists_.empty()) lists_.pop_back();
      } else if (lists_.size() < limits_.max_nesting) {
        uint32_t first = 1;
        if (const std::u16string* start = tag.Attribute("start")) {
          uint32_t v = 0;
          for (char16_t c : *start) {
            if (c < '0' || c > '9' || v > 100000000) break;
            v = v * 10 + (c - '0');
          }
          if (v) first = v;
        }
        lists_.push_back({name == "ol" ? ListKind::Numbers : ListKind::Bullets, first});
      } else {
        ++list_overflow_;
      }
      return;
    }
    if (name == "li") {
      Block(1);
      if (end) return;
      Flush();
      std::u16string prefix;
      if (lists_.empty() || lists_.back().kind == ListKind::Bullets) {
        prefix = std::u16string(1, kBullet) + u" ";
      } else {
        prefix = Number(lists_.back().counter++) + u". ";
      }
      // The prefix starts the item's paragraph even when the item is empty.
      for (char16_t c : prefix) Append(c);
      pending_space_ = false;
      return;
    }
    if (name == "blockquote" || name == "dd") {
      Block(name == "blockquote" ? 2 : 1);
      if (end) {
        if (quotes_ > 0) --quotes_;
      } else if (quotes_ < static_cast<int>(limits_.max_nesting)) {
        ++quotes_;
      }
      return;
    }
    if (name == "dt") return Block(1);
    if (name == "table") {
      Block(2);
      return;
    }
    if (name == "tr") {
      Block(1);
      cell_ = 0;
      return;
    }
    if (name == "td" || name == "th") {
      if (name == "th") Count(&bold_, end);
      if (end) return;
      if (cell_++ > 0) {
        Flush();
        pending_space_ = false;
        Append(u'\t');
      }
      return;
    }
    if (name == "hr") {
      if (end) return;
      Block(1);
      Flush();
      const PageFormat plain;
      format_override_ = &plain;
      for (size_t k = 0; k < kRuleLength && !full_; ++k) Append(u'\x2500');
      format_override_ = nullptr;
      Block(1);
      return;
    }
    if (name == "img") {
      if (end) return;
      Picture(tag);
      return;
    }
    if (name == "head") return;
    if (IsBlockElement(name)) return Block(1);
  }

  void Picture(const Tag& tag) {
    PagePicture picture{};
    if (const std::u16string* src = tag.Attribute("src")) picture.source = Utf16ToUtf8(Trimmed(*src));
    if (const std::u16string* alt = tag.Attribute("alt")) picture.alt = *alt;
    Flush();
    EmitPendingSpace();
    const bool counted = doc_.pictures.size() < limits_.max_pictures;
    if (!counted) picture.source.clear();
    picture.position = static_cast<uint32_t>(doc_.text.size());
    picture.shown_inline = counted && !picture.source.empty() && query_ && query_(picture);
    if (picture.shown_inline) {
      Append(kObjectCharacter);
    } else {
      for (char16_t c : PictureMarker(picture.alt)) Append(c);
    }
    picture.length = static_cast<uint32_t>(doc_.text.size()) - picture.position;
    if (picture.shown_inline) {
      // One object character (a paragraph break the length bound put after it is not part
      // of the picture), or none when the page was cut just there.
      picture.shown_inline = picture.length > 0;
      picture.length = picture.length > 0 ? 1 : 0;
    }
    if (counted) doc_.pictures.push_back(std::move(picture));
  }

  const std::u16string& in_;
  const PageLimits& limits_;
  const InlinePictureQuery& query_;
  PageDocument doc_;
  const PageFormat* format_override_ = nullptr;
  PageFormat space_format_;
  int bold_ = 0, italic_ = 0, underline_ = 0, fixed_ = 0, pre_ = 0, quotes_ = 0;
  uint8_t heading_ = 0;
  int32_t link_ = -1;
  std::vector<ListLevel> lists_;
  size_t list_overflow_ = 0;
  int cell_ = 0;
  int pending_break_ = 0;
  int trailing_breaks_ = 0;
  size_t paragraph_start_ = 0;
  size_t paragraphs_ = 0;
  bool pending_space_ = false;
  bool at_line_start_ = true;
  bool centred_ = false;
  bool pre_skip_newline_ = false;
  bool last_was_cr_ = false;
  bool full_ = false;
  bool links_dropped_ = false;
  std::vector<std::string> pending_anchors_;
};

}  // namespace

PageDocument HtmlToDocument(const std::u16string& html, const PageLimits& limits,
                            const InlinePictureQuery& inline_picture) {
  return Converter(html, limits, inline_picture).Run();
}

int64_t FindAnchor(const PageDocument& document, const std::string& name) {
  for (const PageAnchor& anchor : document.anchors) {
    if (anchor.name == name) return anchor.position;
  }
  return -1;
}

int FindLinkAt(const PageDocument& document, uint32_t position) {
  // Links are in text order and do not overlap.
  const auto& links = document.links;
  auto it = std::upper_bound(links.begin(), links.end(), position,
                             [](uint32_t p, const PageLink& l) { return p < l.start; });
  if (it == links.begin()) return -1;
  --it;
  if (position >= it->start && position < it->end) return static_cast<int>(it - links.begin());
  return -1;
}

bool IsHtmlEntry(const std::string& name, const uint8_t* data, size_t size) {
  std::string lower;
  for (char c : name) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  for (const char* ext : {".htm", ".html", ".shtml", ".xhtml"}) {
    const size_t len = std::char_traits<char>::length(ext);
    if (lower.size() >= len && lower.compare(lower.size() - len, len, ext) == 0) return true;
  }
  // Sniff: the first bytes as ASCII (every other byte for UTF-16).
  const TextEncoding bom = EncodingFromBom(data, size);
  size_t i = bom.bom_length, step = 1;
  if (bom.code_page == kCodePageUtf16Le) step = 2;
  if (bom.code_page == kCodePageUtf16Be) step = 2, ++i;
  const size_t end = size < 1024 ? size : 1024;
  std::string head;
  for (; i < end && head.size() < 32; i += step) {
    const char c = static_cast<char>(data[i]);
    if (head.empty() && (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f')) continue;
    head += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  }
  return head.rfind("<!doctype html", 0) == 0 || head.rfind("<html", 0) == 0;
}

}  // namespace vellumo
