// The built-in view's conversion over arbitrary bytes: charset detection and decoding, HTML to
// the view's document, its RTF, and the resolution of every link and picture source. Besides
// the sanitizers it checks what holds for any page: spans, links, anchors and pictures lie
// inside the text and in order, links do not overlap, and the RTF's groups are balanced.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "viewer/page/page_charset.h"
#include "viewer/page/page_document.h"
#include "viewer/page/page_links.h"
#include "viewer/page/page_picture.h"
#include "viewer/page/page_rtf.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace vellumo;
  // The first byte picks the entry's name and the limits, so that small limits are reached.
  const uint8_t selector = size ? data[0] : 0;
  const std::string name = (selector & 1) ? "docs\\a\\page.html" : "page.txt";
  PageLimits limits;
  if (selector & 2) {
    limits.max_text = 64;
    limits.max_links = 3;
    limits.max_pictures = 2;
    limits.max_nesting = 2;
    limits.max_attribute = 8;
    limits.max_paragraph = 16;
    limits.max_paragraphs = 4;
  }
  IsHtmlEntry(name, data, size);
  uint32_t width, height;
  PictureDimensions(data, size, &width, &height);
  const TextEncoding encoding = DetectHtmlEncoding(data, size);
  DetectTextEncoding(data, size);
  const std::u16string html = DecodeText(data, size, encoding, nullptr);
  bool alternate = false;
  const PageDocument doc = HtmlToDocument(html, limits, [&](const PagePicture& picture) {
    ResolveLink(name, picture.source);
    return alternate = !alternate;
  });
  const size_t n = doc.text.size();
  uint32_t previous_end = 0;
  for (const PageSpan& s : doc.spans) {
    Check(s.start < s.end && s.end <= n && s.start >= previous_end);
    previous_end = s.end;
    Check(s.format.link < static_cast<int32_t>(doc.links.size()));
  }
  previous_end = 0;
  for (const PageLink& l : doc.links) {
    Check(l.start <= l.end && l.end <= n && l.start >= previous_end);
    previous_end = l.end;
    const LinkTarget target = ResolveLink(name, l.target);
    Check(target.kind == LinkKind::Entry ? !target.path.empty() : target.path.empty());
  }
  for (const PageAnchor& a : doc.anchors) Check(a.position <= n);
  for (const PagePicture& p : doc.pictures) {
    Check(p.position + p.length <= n);
    if (p.shown_inline && p.length) Check(p.length == 1 && doc.text[p.position] == kObjectCharacter);
  }
  Check(doc.links.size() <= limits.max_links && doc.pictures.size() <= limits.max_pictures);
  const std::string rtf = DocumentToRtf(doc, [](size_t) { return std::string("{\\pict x}"); });
  int depth = 0;
  for (size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;  // an escaped character or the first letter of a control word
    } else if (rtf[i] == '{') {
      ++depth;
    } else if (rtf[i] == '}') {
      Check(--depth >= 0);
    }
  }
  Check(depth == 0);
  // Parts put together give the whole.
  std::string parts;
  size_t at = 0;
  while (at < n) {
    const size_t end = DocumentPartEnd(doc, at, 7, 3);
    Check(end > at && end <= n);
    at = end;
  }
  return 0;
}
