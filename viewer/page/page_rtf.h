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

// Bytes as the hexadecimal digits of an RTF \pict group's data, 64 digits a line.
std::string RtfHex(const unsigned char* data, size_t size);

}  // namespace vellumo
