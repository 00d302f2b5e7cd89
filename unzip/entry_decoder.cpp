#include "unzip/entry_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <zlib.h>

#include "unzip/bzip2_decoder.h"
#include "unzip/compression_methods.h"
#include "unzip/deflate64_decoder.h"
#include "unzip/lzma_decoder.h"
#if !defined(VUNZIP_ZLIB_ONLY)
#include <libdeflate.h>
#endif

namespace vellumo::unzip {
namespace {

constexpr size_t kInputChunk = 256 * 1024;
constexpr size_t kOutputChunk = 1024 * 1024;  // also the progress granularity
// Larger compressed data streams instead of being read whole: in a 32-bit process a second
// buffer of that size next to the caller's block may not fit.
constexpr uint64_t kWholeInputLimit = 256u << 20;
constexpr uint64_t kWholeDecryptedLimit = 32u << 20;
// From this size on, compressed data is mapped rather than copied.
constexpr size_t kViewThreshold = 1u << 20;

struct InflateStream {
  z_stream z{};
  bool live = false;
  ~InflateStream() {
    if (live) inflateEnd(&z);
  }
};

#if defined(VUNZIP_ZLIB_ONLY)
// Splits a large count into the 32-bit steps zlib's crc32 takes.
uint32_t Crc(uint32_t crc, const uint8_t* data, size_t n) {
  while (n > 0) {
    uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, data, step));
    data += step;
    n -= step;
  }
  return crc;
}
#else
// libdeflate's CRC-32 (carry-less multiply where the CPU has it) is several times faster
// than zlib's; same polynomial and conventions.
uint32_t Crc(uint32_t crc, const uint8_t* data, size_t n) { return libdeflate_crc32(crc, data, n); }
#endif

DecodeResult DecodeStored(ArchiveSource& source, const EntryData& data,
                          EntryDecryptor* decryptor, OutputTarget& target,
                          const ProgressFn& progress) {
  DecodeResult result;
  result.crc = 0;
  if (data.compressedSize < data.uncompressedSize) {
    result.status = DecodeStatus::kTruncated;
    return result;
  }
  if (data.compressedSize > data.uncompressedSize) {
    result.status = DecodeStatus::kTooLong;
    return result;
  }
  uint64_t remaining = data.uncompressedSize;
  uint64_t offset = data.offset;
  while (remaining > 0) {
    size_t got = 0;
    uint8_t* region = target.Region(static_cast<size_t>(std::min<uint64_t>(remaining, kOutputChunk)), got);
    if (!region || got == 0) {
      result.status = DecodeStatus::kWriteError;
      return result;
    }
    if (!source.ReadAt(offset, region, got)) {
      result.status = source.Size() - std::min(source.Size(), offset) < got
                          ? DecodeStatus::kTruncated
                          : DecodeStatus::kReadError;
      return result;
    }
    if (decryptor) decryptor->Decrypt(region, got);
    result.crc = Crc(result.crc, region, got);
    if (!target.Commit(got)) {
      result.status = DecodeStatus::kWriteError;
      return result;
    }
    offset += got;
    remaining -= got;
    result.written += got;
    if (progress && !progress(static_cast<uint32_t>(got))) {
      result.status = DecodeStatus::kStopped;
      return result;
    }
  }
  return result;
}

DecodeResult DecodeDeflated(ArchiveSource& source, const EntryData& data,
                            EntryDecryptor* decryptor, OutputTarget& target,
                            const ProgressFn& progress) {
  DecodeResult result;
  result.crc = 0;
  InflateStream stream;
  z_stream& z = stream.z;
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
    result.status = DecodeStatus::kCorrupt;
    return result;
  }
  stream.live = true;

  // Data cannot extend past the end of the file; what is missing shows up as truncation.
  uint64_t available = source.Size() > data.offset ? source.Size() - data.offset : 0;
  uint64_t inputLeft = std::min(data.compressedSize, available);
  uint64_t inputOffset = data.offset;
  std::vector<uint8_t> input(static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(inputLeft, 1), kInputChunk)));

  uint64_t outputLeft = data.uncompressedSize;
  uint8_t* region = nullptr;
  uint8_t probe = 0;  // after the declared size: one byte to prove nothing more comes
  bool probing = false;
  z.avail_out = 0;

  auto commitRegion = [&]() -> bool {
    if (!region) return true;
    size_t produced = static_cast<size_t>(z.next_out - region);
    region = nullptr;
    if (produced == 0) return true;
    const uint8_t* start = z.next_out - produced;
    result.crc = Crc(result.crc, start, produced);
    if (!target.Commit(produced)) {
      result.status = DecodeStatus::kWriteError;
      return false;
    }
    outputLeft -= produced;
    result.written += produced;
    if (progress && !progress(static_cast<uint32_t>(produced))) {
      result.status = DecodeStatus::kStopped;
      return false;
    }
    return true;
  };

  for (;;) {
    if (z.avail_in == 0 && inputLeft > 0) {
      size_t n = static_cast<size_t>(std::min<uint64_t>(inputLeft, input.size()));
      if (!source.ReadAt(inputOffset, input.data(), n)) {
        result.status = DecodeStatus::kReadError;
        return result;
      }
      if (decryptor) decryptor->Decrypt(input.data(), n);
      inputOffset += n;
      inputLeft -= n;
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(n);
    }
    if (z.avail_out == 0) {
      if (!commitRegion()) return result;
      if (outputLeft == 0) {
        probing = true;
        z.next_out = &probe;
        z.avail_out = 1;
      } else {
        size_t got = 0;
        uint8_t* r = target.Region(static_cast<size_t>(std::min<uint64_t>(outputLeft, kOutputChunk)), got);
        if (!r || got == 0) {
          result.status = DecodeStatus::kWriteError;
          return result;
        }
        region = r;
        z.next_out = r;
        z.avail_out = static_cast<uInt>(got);
      }
    }
    uInt inBefore = z.avail_in, outBefore = z.avail_out;
    int ret = inflate(&z, Z_NO_FLUSH);
    if (probing && z.avail_out == 0) {
      result.status = DecodeStatus::kTooLong;
      return result;
    }
    if (ret == Z_STREAM_END) break;
    if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR || ret == Z_STREAM_ERROR) {
      result.status = DecodeStatus::kCorrupt;
      return result;
    }
    bool noProgress = z.avail_in == inBefore && z.avail_out == outBefore;
    if (noProgress && z.avail_in == 0 && inputLeft == 0) {
      result.status = DecodeStatus::kTruncated;
      return result;
    }
  }
  if (!probing && !commitRegion()) return result;
  if (outputLeft != 0) result.status = DecodeStatus::kTruncated;
  return result;
}

#if !defined(VUNZIP_ZLIB_ONLY)
struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Deflated data into the target's whole block in one call. False (and nothing done) when
// this case does not apply: no whole block, compressed data too large, or no memory for it;
// the streaming decoder then takes the entry.
bool DecodeDeflatedWhole(ArchiveSource& source, const EntryData& data,
                         EntryDecryptor* decryptor, OutputTarget& target,
                         const ProgressFn& progress, DecodeResult& result) {
  if (data.uncompressedSize == 0 || data.uncompressedSize > SIZE_MAX) return false;
  size_t wanted = static_cast<size_t>(data.uncompressedSize);
  uint8_t* block = target.WholeBlock(wanted);
  if (!block) return false;
  uint64_t available = source.Size() > data.offset ? source.Size() - data.offset : 0;
  uint64_t inputSize = std::min(data.compressedSize, available);
  if (inputSize > kWholeInputLimit) return false;
  // Encrypted data is decrypted in a copy: only up to a bounded size, never a second copy
  // of a large entry next to the caller's block.
  if (decryptor && inputSize > kWholeDecryptedLimit) return false;
  size_t inputLength = static_cast<size_t>(inputSize);
  std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(libdeflate_alloc_decompressor());
  if (!decompressor) return false;
  // Large plain data is decoded where it lies when the source can show it (a mapped file);
  // small data is cheaper to copy than to map, and encrypted data is decrypted in a copy.
  const uint8_t* input =
      decryptor || inputLength < kViewThreshold ? nullptr : source.View(data.offset, inputLength);
  std::unique_ptr<uint8_t[]> copy;
  if (!input) {
    copy.reset(new (std::nothrow) uint8_t[inputLength + 1]);
    if (!copy) return false;
    result = DecodeResult();
    if (!source.ReadAt(data.offset, copy.get(), inputLength)) {
      result.status = DecodeStatus::kReadError;
      return true;
    }
    if (decryptor) decryptor->Decrypt(copy.get(), inputLength);
    input = copy.get();
  }

  result = DecodeResult();
  size_t produced = 0;
  // The output space is the declared size, not the block: a stream that wants more stops
  // there with INSUFFICIENT_SPACE.
  libdeflate_result r = libdeflate_deflate_decompress(decompressor.get(), input, inputLength, block,
                                                      wanted, &produced);
  if (r != LIBDEFLATE_SUCCESS || produced != wanted) {
    // Failed data takes the streaming decoder over the same bytes in memory, so the error
    // is exactly the one it gives: libdeflate reads missing input as zero bits, and a cut
    // stream can then look like one running past the declared size.
    MemorySource memory(input, inputLength);
    EntryData again = data;
    again.offset = 0;
    again.compressedSize = inputSize;
    result = DecodeDeflated(memory, again, nullptr, target, progress);
    return true;
  }
  result.crc = Crc(0, block, produced);
  if (!target.Commit(produced)) {
    result.status = DecodeStatus::kWriteError;
    return true;
  }
  result.written = produced;
  // The same progress steps the streaming decoder reports, after the fact.
  for (size_t done = 0; progress && done < produced;) {
    size_t step = std::min(produced - done, kOutputChunk);
    done += step;
    if (!progress(static_cast<uint32_t>(step))) {
      result.status = DecodeStatus::kStopped;
      break;
    }
  }
  return true;
}
#endif

}  // namespace

uint8_t* BlockTarget::WholeBlock(size_t size) {
  return size <= size_ - used_ ? block_ + used_ : nullptr;
}

uint8_t* BlockTarget::Region(size_t want, size_t& got) {
  got = std::min(want, size_ - used_);
  return got ? block_ + used_ : nullptr;
}

bool BlockTarget::Commit(size_t n) {
  if (n > size_ - used_) return false;
  used_ += n;
  return true;
}

bool ChunkTarget::Reserve(size_t size) {
  if (capacity_ >= size) return true;
  buffer_.reset(new (std::nothrow) uint8_t[size]);
  capacity_ = buffer_ ? size : 0;
  return buffer_ != nullptr;
}

uint8_t* ChunkTarget::Region(size_t want, size_t& got) {
  got = 0;
  if (want == 0 || !Reserve(std::min(want, kOutputChunk))) return nullptr;
  got = std::min(want, capacity_);
  return buffer_.get();
}

uint8_t* ChunkTarget::WholeBlock(size_t size) {
  if (size > kWholeScratchLimit || !Reserve(size)) return nullptr;  // then streamed
  return buffer_.get();
}

bool ChunkTarget::Commit(size_t n) { return n <= capacity_ && (!sink_ || sink_(buffer_.get(), n)); }

DecodeResult DecodeEntry(ArchiveSource& source, const EntryData& data,
                         EntryDecryptor* decryptor, OutputTarget& target,
                         const ProgressFn& progress) {
  if (data.method == 8) {
#if !defined(VUNZIP_ZLIB_ONLY)
    DecodeResult whole;
    if (DecodeDeflatedWhole(source, data, decryptor, target, progress, whole)) return whole;
#endif
    return DecodeDeflated(source, data, decryptor, target, progress);
  }
  if (data.method == kMethodDeflate64) return DecodeDeflate64(source, data, decryptor, target, progress);
  if (data.method == kMethodBzip2) return DecodeBzip2(source, data, decryptor, target, progress);
  if (data.method == kMethodLzma) return DecodeLzma(source, data, decryptor, target, progress);
  return DecodeStored(source, data, decryptor, target, progress);
}

}  // namespace vellumo::unzip
