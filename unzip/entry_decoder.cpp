#include "unzip/entry_decoder.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

namespace vellumo::unzip {
namespace {

constexpr size_t kInputChunk = 256 * 1024;
constexpr size_t kOutputChunk = 1024 * 1024;  // also the progress granularity

struct InflateStream {
  z_stream z{};
  bool live = false;
  ~InflateStream() {
    if (live) inflateEnd(&z);
  }
};

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

DecodeResult DecodeStored(ArchiveSource& source, const EntryData& data,
                          TraditionalDecryptor* decryptor, OutputTarget& target,
                          const ProgressFn& progress) {
  DecodeResult result;
  result.crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
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
                            TraditionalDecryptor* decryptor, OutputTarget& target,
                            const ProgressFn& progress) {
  DecodeResult result;
  result.crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
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

}  // namespace

uint8_t* BlockTarget::Region(size_t want, size_t& got) {
  got = std::min(want, size_ - used_);
  return got ? block_ + used_ : nullptr;
}

bool BlockTarget::Commit(size_t n) {
  if (n > size_ - used_) return false;
  used_ += n;
  return true;
}

uint8_t* ChunkTarget::Region(size_t want, size_t& got) {
  if (buffer_.size() < want) buffer_.resize(std::min<size_t>(want, kOutputChunk));
  got = std::min(want, buffer_.size());
  return got ? buffer_.data() : nullptr;
}

bool ChunkTarget::Commit(size_t n) { return n <= buffer_.size() && (!sink_ || sink_(buffer_.data(), n)); }

DecodeResult DecodeEntry(ArchiveSource& source, const EntryData& data,
                         TraditionalDecryptor* decryptor, OutputTarget& target,
                         const ProgressFn& progress) {
  if (data.method == 8) return DecodeDeflated(source, data, decryptor, target, progress);
  return DecodeStored(source, data, decryptor, target, progress);
}

}  // namespace vellumo::unzip
