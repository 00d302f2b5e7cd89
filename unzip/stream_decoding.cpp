#include "unzip/stream_decoding.h"

#include <algorithm>
#include <new>

#include <zlib.h>
#if !defined(VUNZIP_ZLIB_ONLY)
#include <libdeflate.h>
#endif

namespace vellumo::unzip {
namespace {
constexpr size_t kOutputChunk = 1024 * 1024;  // also the progress granularity
}  // namespace

uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t n) {
#if defined(VUNZIP_ZLIB_ONLY)
  while (n > 0) {
    uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
    crc = static_cast<uint32_t>(crc32(crc, data, step));
    data += step;
    n -= step;
  }
  return crc;
#else
  return libdeflate_crc32(crc, data, n);
#endif
}

InputPump::InputPump(ArchiveSource& source, const EntryData& data, EntryDecryptor* decryptor)
    : source_(source), decryptor_(decryptor), offset_(data.offset) {
  uint64_t available = source.Size() > data.offset ? source.Size() - data.offset : 0;
  left_ = std::min(data.compressedSize, available);
}

bool InputPump::Next(const uint8_t*& chunk, size_t& n) {
  n = 0;
  if (left_ == 0 || readFailed_) return false;
  if (!buffer_) {
    buffer_.reset(new (std::nothrow) uint8_t[kChunk]);
    if (!buffer_) {
      readFailed_ = true;
      return false;
    }
  }
  size_t want = static_cast<size_t>(std::min<uint64_t>(left_, kChunk));
  if (!source_.ReadAt(offset_, buffer_.get(), want)) {
    readFailed_ = true;
    return false;
  }
  if (decryptor_) decryptor_->Decrypt(buffer_.get(), want);
  offset_ += want;
  left_ -= want;
  chunk = buffer_.get();
  n = want;
  return true;
}

OutputPump::OutputPump(OutputTarget& target, uint64_t declaredSize, const ProgressFn& progress,
                       DecodeResult& result)
    : target_(target), progress_(progress), result_(result), left_(declaredSize) {}

bool OutputPump::Space(uint8_t*& out, size_t& n) {
  if (left_ == 0) {
    region_ = nullptr;
    out = &probe_;
    n = 1;
    return true;
  }
  size_t got = 0;
  uint8_t* r = target_.Region(static_cast<size_t>(std::min<uint64_t>(left_, kOutputChunk)), got);
  if (!r || got == 0) {
    result_.status = DecodeStatus::kWriteError;
    return false;
  }
  region_ = r;
  out = r;
  n = got;
  return true;
}

bool OutputPump::Produced(size_t n) {
  if (n == 0) return true;
  if (!region_) {
    result_.status = DecodeStatus::kTooLong;
    return false;
  }
  result_.crc = UpdateCrc(result_.crc, region_, n);
  if (!target_.Commit(n)) {
    result_.status = DecodeStatus::kWriteError;
    return false;
  }
  region_ = nullptr;
  left_ -= n;
  result_.written += n;
  if (progress_ && !progress_(static_cast<uint32_t>(n))) {
    result_.status = DecodeStatus::kStopped;
    return false;
  }
  return true;
}

DecodeResult DecodeWithCodec(ArchiveSource& source, const EntryData& data,
                             EntryDecryptor* decryptor, OutputTarget& target,
                             const ProgressFn& progress, StreamCodec& codec) {
  DecodeResult result;
  InputPump input(source, data, decryptor);
  OutputPump output(target, data.uncompressedSize, progress, result);
  const uint8_t* in = nullptr;
  size_t inLength = 0;
  uint8_t* region = nullptr;
  uint8_t* out = nullptr;
  size_t outLength = 0;
  for (;;) {
    if (inLength == 0 && !input.Exhausted() && !input.Next(in, inLength)) {
      result.status = DecodeStatus::kReadError;
      return result;
    }
    if (outLength == 0) {
      if (region && !output.Produced(static_cast<size_t>(out - region))) return result;
      if (!output.Space(region, outLength)) return result;
      out = region;
    }
    size_t inBefore = inLength, outBefore = outLength;
    StreamCodec::Step step = codec.Decode(in, inLength, out, outLength, input.Exhausted());
    if (step == StreamCodec::kCorrupt) {
      result.status = DecodeStatus::kCorrupt;
      return result;
    }
    if (step == StreamCodec::kEnd) break;
    if (inLength == inBefore && outLength == outBefore) {
      if (inLength == 0 && !input.Exhausted()) continue;  // the next chunk is read above
      // A decoder with input and space that moves neither is stuck on bad data.
      result.status = inLength == 0 ? DecodeStatus::kTruncated : DecodeStatus::kCorrupt;
      return result;
    }
  }
  if (!output.Produced(static_cast<size_t>(out - region))) return result;
  if (output.Left() != 0) result.status = DecodeStatus::kTruncated;
  return result;
}

}  // namespace vellumo::unzip
