#include "viewer/page/page_rtf.h"

#include <algorithm>

namespace vellumo {
namespace {

void AppendNumber(long value, std::string* out) { *out += std::to_string(value); }

std::string CharacterFormat(const PageFormat& f) {
  std::string s = "\\plain";
  s += f.fixed ? "\\f1" : "\\f0";
  const int points = f.heading ? kHeadingPoints[f.heading - 1] : kBodyPoints;
  s += "\\fs";
  s += std::to_string(points * 2);
  if (f.bold) s += "\\b";
  if (f.italic) s += "\\i";
  if (f.underline || f.link >= 0) s += "\\ul";
  if (f.link >= 0) s += "\\cf1";
  s += ' ';
  return s;
}

std::string ParagraphFormat(const PageParagraph* p) {
  std::string s = "\\pard";
  if (p && p->indent) {
    s += "\\li";
    s += std::to_string(p->indent * kIndentTwips);
  }
  if (p && p->centred) s += "\\qc";
  s += ' ';
  return s;
}

}  // namespace

std::string RtfHex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(size * 2 + size / 32 + 1);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
    if (i % 32 == 31) out += '\n';
  }
  return out;
}

std::string DocumentToRtf(const PageDocument& doc, const PictureRtf& picture_rtf) {
  return DocumentRangeToRtf(doc, 0, doc.text.size(), picture_rtf);
}

size_t DocumentPartEnd(const PageDocument& doc, size_t begin, size_t size, size_t breaks) {
  const std::u16string& text = doc.text;
  const size_t total = text.size();
  // Ends before the paragraph break after `size` units, or before the one that would be
  // the part's `breaks`-th, whichever comes first.
  size_t seen = 0;
  for (size_t i = begin + 1; i < total; ++i) {
    if (text[i] != kParagraphBreak) continue;
    if (++seen >= breaks || i - begin >= size) return i;
  }
  return total;
}

std::string DocumentRangeToRtf(const PageDocument& doc, size_t begin, size_t end,
                               const PictureRtf& picture_rtf) {
  const std::u16string& text = doc.text;
  end = std::min(end, text.size());
  begin = std::min(begin, end);
  std::string out;
  out.reserve(text.size() + text.size() / 4 + 256);
  out += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl{\\f0\\fswiss\\fprq2 ";
  out += kBodyFont;
  out += ";}{\\f1\\fmodern\\fprq1 ";
  out += kFixedFont;
  out += ";}}{\\colortbl;\\red0\\green0\\blue238;}\n";
  const PageFormat plain;
  // The first span, paragraph and picture at or after `begin`.
  size_t span = static_cast<size_t>(
      std::lower_bound(doc.spans.begin(), doc.spans.end(), begin,
                       [](const PageSpan& s, size_t at) { return s.end <= at; }) -
      doc.spans.begin());
  size_t paragraph = static_cast<size_t>(
      std::lower_bound(doc.paragraphs.begin(), doc.paragraphs.end(), begin,
                       [](const PageParagraph& p, size_t at) { return p.start < at; }) -
      doc.paragraphs.begin());
  size_t picture = static_cast<size_t>(
      std::lower_bound(doc.pictures.begin(), doc.pictures.end(), begin,
                       [](const PagePicture& p, size_t at) { return p.position < at; }) -
      doc.pictures.begin());
  PageFormat current;
  auto paragraph_at = [&](size_t i) -> const PageParagraph* {
    while (paragraph < doc.paragraphs.size() && doc.paragraphs[paragraph].start < i) ++paragraph;
    if (paragraph < doc.paragraphs.size() && doc.paragraphs[paragraph].start == i)
      return &doc.paragraphs[paragraph];
    return nullptr;
  };
  if (begin == 0) out += ParagraphFormat(paragraph_at(0));
  out += CharacterFormat(plain);
  bool line_start = false;
  const PageParagraph* last_paragraph = begin == 0 ? paragraph_at(0) : nullptr;
  bool last_known = begin == 0;  // a part appended later sets its first paragraph's properties
  auto same = [](const PageParagraph* a, const PageParagraph* b) {
    if (!a || !b) return a == b;
    return a->indent == b->indent && a->centred == b->centred;
  };
  for (size_t i = begin; i < end; ++i) {
    if (line_start) {
      // Paragraph properties only where they change: each costs the control a lookup.
      const PageParagraph* p = paragraph_at(i);
      if (!last_known || !same(p, last_paragraph)) out += ParagraphFormat(p);
      last_paragraph = p;
      last_known = true;
    }
    line_start = false;
    while (span < doc.spans.size() && doc.spans[span].end <= i) ++span;
    const PageFormat& wanted =
        span < doc.spans.size() && doc.spans[span].start <= i ? doc.spans[span].format : plain;
    if (wanted != current) {
      out += CharacterFormat(wanted);
      current = wanted;
    }
    const char16_t c = text[i];
    if (c == kObjectCharacter) {
      while (picture < doc.pictures.size() && doc.pictures[picture].position < i) ++picture;
      if (picture < doc.pictures.size() && doc.pictures[picture].position == i &&
          doc.pictures[picture].shown_inline) {
        std::string group = picture_rtf ? picture_rtf(picture) : std::string();
        if (!group.empty()) {
          out += group;
          continue;
        }
      }
    }
    switch (c) {
      case kParagraphBreak:
        out += "\\par\n";
        line_start = true;
        break;
      case u'\t':
        out += "\\tab ";
        break;
      case u'\\':
        out += "\\\\";
        break;
      case u'{':
        out += "\\{";
        break;
      case u'}':
        out += "\\}";
        break;
      default:
        if (c >= 0x20 && c < 0x80) {
          out += static_cast<char>(c);
        } else if (c >= 0x80) {
          // \u takes a signed 16-bit value, then one fallback character.
          out += "\\u";
          AppendNumber(c < 0x8000 ? static_cast<long>(c) : static_cast<long>(c) - 0x10000, &out);
          out += '?';
        }
        break;
    }
  }
  out += "}";
  return out;
}

}  // namespace vellumo
