// Kept apart from package_offset.cpp so Hollin's image, which links only that file, holds
// the marker once. The marker is kept here bit-inverted for the same reason.
#include <cstring>

#include "installer/package/package_offset.h"

namespace hollin {
namespace {

constexpr uint8_t kInvertedMarker[kPackageOffsetMarkerLength] = {
    uint8_t(~'H'), uint8_t(~'o'), uint8_t(~'l'), uint8_t(~'l'), uint8_t(~'i'), uint8_t(~'n'),
    uint8_t(~'P'), uint8_t(~'k'), uint8_t(~'g'), uint8_t(~'O'), uint8_t(~'f'), uint8_t(~'f'),
    uint8_t(~'s'), uint8_t(~'e'), uint8_t(~'t'), uint8_t(~'=')};

bool MatchesAt(const uint8_t* p) {
  for (size_t i = 0; i < kPackageOffsetMarkerLength; ++i)
    if (p[i] != static_cast<uint8_t>(~kInvertedMarker[i])) return false;
  return true;
}

bool FindMarker(const uint8_t* image, size_t size, size_t* position) {
  if (size < kPackageOffsetStampLength) return false;
  size_t found = 0, count = 0;
  for (size_t i = 0; i + kPackageOffsetStampLength <= size; ++i) {
    if (image[i] == static_cast<uint8_t>(~kInvertedMarker[0]) && MatchesAt(image + i)) {
      found = i;
      ++count;
    }
  }
  if (count != 1) return false;
  *position = found;
  return true;
}

}  // namespace

void CopyPackageOffsetMarker(uint8_t* out16) {
  for (size_t i = 0; i < kPackageOffsetMarkerLength; ++i)
    out16[i] = static_cast<uint8_t>(~kInvertedMarker[i]);
}

bool FindStampedPackageOffset(const uint8_t* image, size_t size, uint32_t* value,
                              size_t* marker_position) {
  size_t at = 0;
  if (!FindMarker(image, size, &at)) return false;
  const uint8_t* v = image + at + kPackageOffsetMarkerLength;
  *value = uint32_t(v[0]) | (uint32_t(v[1]) << 8) | (uint32_t(v[2]) << 16) |
           (uint32_t(v[3]) << 24);
  if (marker_position) *marker_position = at;
  return true;
}

bool StampPackageOffset(uint8_t* image, size_t size, uint32_t value) {
  size_t at = 0;
  if (!FindMarker(image, size, &at)) return false;
  for (int i = 0; i < 4; ++i)
    image[at + kPackageOffsetMarkerLength + i] = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
  return true;
}

}  // namespace hollin
