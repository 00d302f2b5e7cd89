// Pictures for the built-in view: which entries are pictures (by their signature, not their
// name) and how large they say they are, read from their headers before any decoder runs, so
// that a picture claiming a huge size is refused without allocating for it.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vellumo {

enum class PictureFormat { None, Png, Jpeg, Gif, Bmp, Ico };

PictureFormat PictureFormatOf(const uint8_t* data, size_t size);

// Width and height from the header; false when the header cannot be read.
bool PictureDimensions(const uint8_t* data, size_t size, uint32_t* width, uint32_t* height);

// Pictures larger than this are not decoded (the decoder would need 4 bytes a pixel).
inline constexpr uint64_t kMaxPicturePixels = 24u * 1000 * 1000;
inline constexpr uint32_t kMaxPictureSide = 16384;

}  // namespace vellumo
