// The most bytes an entry's compressed data can turn into, so that a size field is checked
// before anything is allocated for it. Shared by the library and the viewer's component.
#pragma once
#include <cstdint>

namespace vellumo::unzip {

// Deflate writes a 258-byte match in two bits at best: 1,032 bytes per input byte. The
// constant covers the one literal a stream of a byte or two can still give.
constexpr uint64_t kDeflateMaxRatio = 1032;
constexpr uint64_t kDeflateSlack = 1032;

// False when `uncompressed` cannot come from `compressed` bytes of data (encryption header
// included) by `method`: more than stored data holds, or more than deflate can expand to.
// Other methods are not judged here.
constexpr bool SizeClaimPossible(uint16_t method, uint64_t compressed, uint64_t uncompressed) {
  if (method == 0) return uncompressed <= compressed;
  if (method == 8) {
    if (compressed > (UINT64_MAX - kDeflateSlack) / kDeflateMaxRatio) return true;
    return uncompressed <= compressed * kDeflateMaxRatio + kDeflateSlack;
  }
  return true;
}

}  // namespace vellumo::unzip
