// The built-in view's model of an HTML page: its text with paragraph breaks, runs of formats,
// paragraph indents, links with their targets, anchors and pictures. HtmlToDocument builds it
// from the decoded page in one bounded pass: no recursion, nesting kept as counters and capped
// stacks, and the output cut with a visible mark at its limits.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vellumo {

inline constexpr char16_t kParagraphBreak = u'\r';
inline constexpr char16_t kObjectCharacter = u'\xFFFC';  // one inline picture

struct PageFormat {
  bool bold = false, italic = false, underline = false, fixed = false;
  uint8_t heading = 0;  // 1 to 6 for h1 to h6, 0 for body text
  int32_t link = -1;    // index into PageDocument::links
  bool operator==(const PageFormat& o) const {
    return bold == o.bold && italic == o.italic && underline == o.underline && fixed == o.fixed &&
           heading == o.heading && link == o.link;
  }
  bool operator!=(const PageFormat& o) const { return !(*this == o); }
  bool IsPlain() const { return *this == PageFormat(); }
};

// [start, end) of the text in one format; text outside every span is plain.
struct PageSpan {
  uint32_t start, end;
  PageFormat format;
};
// A paragraph that begins at `start` and is indented (lists, quotes) or centred (a picture).
struct PageParagraph {
  uint32_t start;
  uint8_t indent;  // levels
  bool centred;
};
struct PageLink {
  std::string target;  // the href as written, character references decoded, UTF-8
  uint32_t start, end;
};
struct PageAnchor {
  std::string name;  // id or name, UTF-8
  uint32_t position;
};
struct PagePicture {
  std::string source;  // the src as written, UTF-8
  std::u16string alt;
  uint32_t position, length;  // the object character, or the marker text
  bool shown_inline;
};

struct PageDocument {
  std::u16string text;  // paragraphs end with kParagraphBreak
  std::vector<PageSpan> spans;
  std::vector<PageParagraph> paragraphs;
  std::vector<PageLink> links;
  std::vector<PageAnchor> anchors;
  std::vector<PagePicture> pictures;
  bool cut = false;  // a limit was reached; the text says so where it happened
};

struct PageLimits {
  size_t max_text = 512u << 10;    // UTF-16 units of view text
  size_t max_links = 20000;        // links beyond are shown as text
  size_t max_pictures = 10000;     // pictures beyond are markers without a source
  size_t max_nesting = 256;        // list levels kept; deeper ones count as the deepest
  size_t max_attribute = 4096;     // characters kept of one attribute value
  size_t max_paragraph = 2048;     // a longer paragraph is broken into several
  size_t max_paragraphs = 5000;    // paragraphs shown; the page is cut after them
};

// Asked once per img element (source and alt filled in): true when the view shows the
// picture inline (the document then holds one kObjectCharacter for it), false for a marker.
using InlinePictureQuery = std::function<bool(const PagePicture& picture)>;

PageDocument HtmlToDocument(const std::u16string& html, const PageLimits& limits = PageLimits(),
                            const InlinePictureQuery& inline_picture = nullptr);

// The visible mark put where a page was cut.
extern const char16_t kCutMark[];
// The marker of a picture not shown inline: "[alt]", or "[picture]" without alt text.
std::u16string PictureMarker(const std::u16string& alt);

// The position of the anchor named `name` (ids and names compared exactly), or -1.
int64_t FindAnchor(const PageDocument& document, const std::string& name);
// The index of the link whose text covers `position`, or -1.
int FindLinkAt(const PageDocument& document, uint32_t position);

// An entry that is an HTML page: by its name (.htm, .html, .shtml, .xhtml in any case) or by
// its first 1,024 bytes, after blanks and a BOM, beginning "<!doctype html" or "<html".
bool IsHtmlEntry(const std::string& name, const uint8_t* data, size_t size);

}  // namespace vellumo
