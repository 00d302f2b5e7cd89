// Hollin's PackageOffset: the byte length of its own executable, where the package starts.
// The build writes it after linking into a marked constant of the image
// (tools/stamp-package-offset); the packer reads the same constant back from the stub to
// check that the stub has exactly that length.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hollin {

// The 16 marker bytes in the image, followed directly by the u32 little-endian offset.
constexpr size_t kPackageOffsetMarkerLength = 16;
constexpr size_t kPackageOffsetStampLength = kPackageOffsetMarkerLength + 4;

// The stamped value (0 in an image that was never stamped). Linking package_offset.cpp
// puts the marked constant into the image; calling this keeps it from being dropped.
uint32_t PackageOffset();

// Looks for the marker in an image. Returns false when there is none or more than one
// (an image that cannot be stamped unambiguously); otherwise the value after the marker
// and the marker's position.
bool FindStampedPackageOffset(const uint8_t* image, size_t size, uint32_t* value,
                              size_t* marker_position);

// Writes `value` after the marker in an image (for tests that build fake stubs).
bool StampPackageOffset(uint8_t* image, size_t size, uint32_t value);

// The marker bytes, for tests that build fake stubs.
void CopyPackageOffsetMarker(uint8_t* out16);

}  // namespace hollin
