// The built-in view's document as RTF for the rich-edit control: one stream-in shows the
// whole page with its fonts, sizes, indents, link colours and inline pictures.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

#include "viewer/page/page_document.h"

namespace vellumo {

inline constexpr char kBodyFont[] = "Tahoma";
inline constexpr char kFixedFont[] = "Courier New";
inline constexpr int kBodyPoints = 10;
// Heading sizes in points, h1 to h6.
inline constexpr int kHeadingPoints[6] = {24, 18, 14, 12, 10, 8};
inline constexpr int kIndentTwips = 360;

// The RTF group of picture `index` (shown inline), or empty to show its marker instead.
using PictureRtf = std::function<std::string(size_t index)>;

std::string DocumentToRtf(const PageDocument& document, const PictureRtf& picture_rtf);
// Part of the document, [begin, end) of its text, as an RTF stream of its own, to be appended
// where the part before it ends. A part begins at the start or at a paragraph break.
std::string DocumentRangeToRtf(const PageDocument& document, size_t begin, size_t end,
                               const PictureRtf& picture_rtf);
// Where the part starting at `begin` should end: before a paragraph break, after about
// `size` units or `breaks` paragraph breaks; the end of the text when none comes.
size_t DocumentPartEnd(const PageDocument& document, size_t begin, size_t size, size_t breaks);

// Bytes as the hexadecimal digits of an RTF \pict group's data, 64 digits a line.
std::string RtfHex(const unsigned char* data, size_t size);

}  // namespace vellumo
