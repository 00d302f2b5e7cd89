#include "viewer/page/page_picture.h"

#include <algorithm>

namespace vellumo {
namespace {

uint32_t Be16(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 8) | p[1]; }
uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
uint32_t Le16(const uint8_t* p) { return p[0] | (static_cast<uint32_t>(p[1]) << 8); }
uint32_t Le32(const uint8_t* p) {
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kIcoHeaderSize = 6, kIcoEntrySize = 16;

bool IsBmp(const uint8_t* d, size_t size) {
  if (size < kBmpFileHeaderSize + 12 || d[0] != 'B' || d[1] != 'M') return false;
  const uint32_t info = Le32(d + kBmpFileHeaderSize);
  return info == 12 || info == 40 || info == 52 || info == 56 || info == 64 || info == 108 ||
         info == 124;
}

bool IsIco(const uint8_t* d, size_t size) {
  if (size < kIcoHeaderSize + kIcoEntrySize || d[0] || d[1] || d[2] != 1 || d[3]) return false;
  const uint32_t count = Le16(d + 4);
  if (count == 0 || count > (size - kIcoHeaderSize) / kIcoEntrySize) return false;
  return d[kIcoHeaderSize + 3] == 0;  // the first entry's reserved byte
}

}  // namespace

PictureFormat PictureFormatOf(const uint8_t* d, size_t size) {
  if (size >= 24 && std::equal(kPngSignature, kPngSignature + 8, d)) return PictureFormat::Png;
  if (size >= 4 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return PictureFormat::Jpeg;
  if (size >= 10 && d[0] == 'G' && d[1] == 'I' && d[2] == 'F' && d[3] == '8' &&
      (d[4] == '7' || d[4] == '9') && d[5] == 'a')
    return PictureFormat::Gif;
  if (IsBmp(d, size)) return PictureFormat::Bmp;
  if (IsIco(d, size)) return PictureFormat::Ico;
  return PictureFormat::None;
}

bool PictureDimensions(const uint8_t* d, size_t size, uint32_t* width, uint32_t* height) {
  *width = *height = 0;
  switch (PictureFormatOf(d, size)) {
    case PictureFormat::Png:
      if (d[12] != 'I' || d[13] != 'H' || d[14] != 'D' || d[15] != 'R') return false;
      *width = Be32(d + 16);
      *height = Be32(d + 20);
      return true;
    case PictureFormat::Gif:
      *width = Le16(d + 6);
      *height = Le16(d + 8);
      return true;
    case PictureFormat::Bmp: {
      const uint8_t* info = d + kBmpFileHeaderSize;
      if (Le32(info) == 12) {
        *width = Le16(info + 4);
        *height = Le16(info + 6);
        return true;
      }
      if (size < kBmpFileHeaderSize + 12) return false;
      const int32_t w = static_cast<int32_t>(Le32(info + 4)), h = static_cast<int32_t>(Le32(info + 8));
      *width = w < 0 ? 0u - static_cast<uint32_t>(w) : static_cast<uint32_t>(w);
      *height = h < 0 ? 0u - static_cast<uint32_t>(h) : static_cast<uint32_t>(h);
      return true;
    }
    case PictureFormat::Ico: {
      const uint32_t count = Le16(d + 4);
      for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = d + kIcoHeaderSize + i * kIcoEntrySize;
        const uint32_t w = e[0] ? e[0] : 256, h = e[1] ? e[1] : 256;
        if (w * h > *width * *height) *width = w, *height = h;
      }
      return true;
    }
    case PictureFormat::Jpeg: {
      size_t i = 2;
      while (i < size && size - i >= 4) {
        if (d[i] != 0xFF) return false;
        const uint8_t marker = d[i + 1];
        if (marker == 0xFF) {
          ++i;
          continue;
        }
        if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
          i += 2;
          continue;
        }
        const uint32_t length = Be16(d + i + 2);
        if (length < 2) return false;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                           marker != 0xCC;
        if (frame) {
          if (size - i < 9) return false;
          *height = Be16(d + i + 5);
          *width = Be16(d + i + 7);
          return true;
        }
        if (length > size - i - 2) return false;
        i += 2 + length;
      }
      return false;
    }
    case PictureFormat::None:
      break;
  }
  return false;
}

}  // namespace vellumo
