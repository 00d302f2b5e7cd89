// The most bytes an entry's compressed data can turn into, so that a size field is checked
// before anything is allocated for it. Shared by the library and the viewer's component.
#pragma once
#include <cstdint>

namespace vellumo::unzip {

// Deflate writes a 258-byte match in two bits at best: 1,032 bytes per input byte. The
// constant covers the one literal a stream of a byte or two can still give.
constexpr uint64_t kDeflateMaxRatio = 1032;
constexpr uint64_t kDeflateSlack = 1032;

// The most plain bytes `compressed` bytes of data can decode to by `method`; UINT64_MAX for
// a method not judged here. The ratios and why they hold are in compression_methods.h.
constexpr uint64_t MaxPlainBytes(uint16_t method, uint64_t compressed) {
  uint64_t ratio = 0, slack = 1024;
  switch (method) {
    case 0: return compressed;
    case 8: ratio = kDeflateMaxRatio; slack = kDeflateSlack; break;
    case 9: ratio = 29128; break;       // Deflate64
    case 12: ratio = 1u << 23; break;   // bzip2
    case 14: ratio = 1u << 17; break;   // LZMA
    default: return UINT64_MAX;
  }
  if (compressed > (UINT64_MAX - slack) / ratio) return UINT64_MAX;
  return compressed * ratio + slack;
}

// False when `uncompressed` cannot come from `compressed` bytes of data (encryption header
// included) by `method`: more than stored data holds, or more than the method can expand to.
constexpr bool SizeClaimPossible(uint16_t method, uint64_t compressed, uint64_t uncompressed) {
  return uncompressed <= MaxPlainBytes(method, compressed);
}

}  // namespace vellumo::unzip
