// Pictures decoded from memory by the platform's imaging component (WIC), scaled down to a
// bound and laid on white, for the picture view and for pictures inside pages.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vellumo {

struct DecodedPicture {
  uint32_t width = 0, height = 0;
  std::vector<uint32_t> pixels;  // top-down rows of 0x00RRGGBB, transparency laid on white
};

enum class PictureResult { Decoded, NotAPicture, TooLarge, Undecodable };

// Decodes the first frame of a PNG, JPEG, GIF, BMP or ICO, scaled down (keeping its shape) to
// fit max_width x max_height when larger. A header claiming more than kMaxPicturePixels is
// refused before the decoder sees it. COM must be initialised on the thread.
PictureResult DecodePicture(const uint8_t* data, size_t size, uint32_t max_width,
                            uint32_t max_height, DecodedPicture* out);

// The picture as an RTF \pict group holding an enhanced metafile, for the rich-edit control.
std::string PictureRtfGroup(const DecodedPicture& picture);

// A 32-bit top-down DIB section holding the picture, or nullptr.
HBITMAP PictureBitmap(const DecodedPicture& picture);

}  // namespace vellumo
