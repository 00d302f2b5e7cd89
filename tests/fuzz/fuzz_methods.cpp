// The entry decoders of every method over arbitrary compressed bytes, shaped as one byte
// choosing the method, three bytes of declared size and the data. Each input is decoded
// into a block of the declared size (guard bytes behind it must stay untouched) and
// streamed through a scratch target; neither may write past the declared size, and both
// must agree.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "unzip/archive_source.h"
#include "unzip/compression_methods.h"
#include "unzip/entry_decoder.h"

namespace u = vellumo::unzip;

namespace {
constexpr uint16_t kMethods[] = {u::kMethodDeflate64, u::kMethodBzip2, u::kMethodLzma, 8, 0};
constexpr size_t kGuard = 32;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  u::EntryData entry;
  entry.method = kMethods[data[0] % (sizeof kMethods / sizeof kMethods[0])];
  entry.uncompressedSize = (data[1] | (data[2] << 8) | (uint32_t(data[3]) << 16)) & 0xFFFFF;
  entry.offset = 4;
  entry.compressedSize = size - 4;
  u::MemorySource source(data, size);

  std::vector<uint8_t> block(static_cast<size_t>(entry.uncompressedSize) + kGuard, 0xA5);
  u::BlockTarget whole(block.data(), static_cast<size_t>(entry.uncompressedSize));
  u::DecodeResult a = u::DecodeEntry(source, entry, nullptr, whole, nullptr);
  if (a.written > entry.uncompressedSize || whole.written() != a.written) std::abort();
  for (size_t i = static_cast<size_t>(entry.uncompressedSize); i < block.size(); ++i)
    if (block[i] != 0xA5) std::abort();

  uint64_t streamed = 0;
  u::ChunkTarget chunks([&](const uint8_t*, size_t n) {
    streamed += n;
    return true;
  });
  u::DecodeResult b = u::DecodeEntry(source, entry, nullptr, chunks, nullptr);
  if (streamed != b.written || b.written > entry.uncompressedSize) std::abort();
  if (a.status == u::DecodeStatus::kOk && b.status == u::DecodeStatus::kOk && a.crc != b.crc)
    std::abort();
  return 0;
}
