#include "installer/package/block.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

#include "installer/package/header_string.h"
#include "installer/package/message_pump.h"
#include "installer/package/package_format.h"

namespace hollin {
namespace {

DecodeFailureHandler g_failure_handler = nullptr;

// deflate cannot expand data by more than about 1032:1; the reservation for a memory
// destination never trusts U beyond that, nor beyond a fixed ceiling.
constexpr uint64_t kMaxInflateRatio = 1032;
constexpr uint64_t kMaxReservation = 64u << 20;

template <typename T>
bool Allocate(std::vector<T>& buffer, size_t n) {
  try {
    buffer.resize(n);
  } catch (...) {
    return false;
  }
  return true;
}

// Inflates from the source's position until `expected` bytes are written, the zlib stream
// ends or fails, or the source runs dry. Returns the bytes written.
uint64_t Inflate(Stream& source, uint64_t source_left, Stream& dest, uint64_t expected) {
  if (expected == 0) return 0;
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return 0;
  std::vector<uint8_t> in, out;
  if (!Allocate(in, static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(source_left, 1),
                                                            kCopyChunkSize))) ||
      !Allocate(out, static_cast<size_t>(std::min<uint64_t>(expected, kCopyChunkSize)))) {
    inflateEnd(&z);
    return 0;
  }
  uint64_t produced = 0;
  bool source_done = false;
  for (;;) {
    PumpMessages();
    if (z.avail_in == 0 && !source_done) {
      size_t got = source.Read(in.data(), in.size());
      if (got == 0) source_done = true;
      z.next_in = in.data();
      z.avail_in = static_cast<uInt>(got);
    }
    size_t room = static_cast<size_t>(std::min<uint64_t>(expected - produced, out.size()));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(room);
    int rc = inflate(&z, Z_NO_FLUSH);
    size_t made = room - z.avail_out;
    if (made > 0) {
      size_t written = dest.Write(out.data(), made);
      produced += written;
      if (written != made) break;
    }
    if (produced >= expected) break;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;  // data, dictionary or memory error
    if (rc == Z_BUF_ERROR && z.avail_in == 0 && source_done) break;  // truncated stream
    if (made == 0 && z.avail_in == 0 && source_done) break;
  }
  inflateEnd(&z);
  return produced;
}

}  // namespace

void SetDecodeFailureHandler(DecodeFailureHandler handler) { g_failure_handler = handler; }

uint64_t StreamCopy(Stream& dest, Stream& src, uint64_t count) {
  if (count == 0) {
    uint64_t size = src.Size();
    if (size == UINT64_MAX || !src.Seek(0)) return 0;
    count = size;
  }
  if (count == 0) return 0;
  std::vector<uint8_t> buffer;
  if (!Allocate(buffer, static_cast<size_t>(std::min<uint64_t>(count, kCopyChunkSize)))) return 0;
  uint64_t total = 0;
  while (total < count) {
    PumpMessages();
    size_t want = static_cast<size_t>(std::min<uint64_t>(count - total, buffer.size()));
    size_t got = src.Read(buffer.data(), want);
    if (got == 0) break;
    size_t written = dest.Write(buffer.data(), got);
    total += written;
    if (written != got) break;
  }
  return total;
}

BlockDecodeResult DecodeBlock(Stream& source, Stream& dest) {
  BlockDecodeResult result;
  uint64_t size = source.Size();
  if (size == UINT64_MAX || !source.Seek(0)) return result;
  bool ok = false;
  uint32_t expected = ReadU32(source, &ok);
  if (!ok) {
    dest.Seek(0);
    return result;
  }
  result.has_size = true;
  result.expected = expected;
  uint64_t source_left = size - 4;
  if (auto* memory = dynamic_cast<MemoryStream*>(&dest)) {
    uint64_t justified = std::min<uint64_t>(expected, source_left * kMaxInflateRatio + 64);
    justified = std::min(justified, kMaxReservation);
    memory->Reserve(static_cast<size_t>(memory->Position() + justified));
  }
  result.produced = Inflate(source, source_left, dest, expected);
  result.complete = result.produced == result.expected;
  dest.Seek(0);
  if (result.failed() && g_failure_handler) g_failure_handler();
  return result;
}

BlockDecodeResult ReadLengthPrefixedBlock(Stream& stream, Stream& dest,
                                          LengthPrefixedBlockInfo* info) {
  LengthPrefixedBlockInfo local;
  LengthPrefixedBlockInfo& i = info ? *info : local;
  i = LengthPrefixedBlockInfo{};
  i.position = stream.Position();
  bool ok = false;
  i.declared_length = ReadU32(stream, &ok);
  i.has_length = ok;
  MemoryStream packed;
  if (ok) {
    uint64_t size = stream.Size();
    uint64_t here = stream.Position();
    uint64_t available = (size == UINT64_MAX || here > size) ? 0 : size - here;
    uint64_t take = std::min<uint64_t>(i.declared_length, available);
    if (take > 0 && packed.Reserve(static_cast<size_t>(take))) {
      i.stored_length = StreamCopy(packed, stream, take);
    }
  }
  return DecodeBlock(packed, dest);
}

FileBlockResult ExtractFileBlock(Stream& package, uint64_t block_length, Stream& dest) {
  FileBlockResult result;
  uint64_t start = package.Position();
  uint64_t size = package.Size();
  if (size == UINT64_MAX || start > size || block_length > size - start) return result;
  MemoryStream packed;
  if (!packed.Reserve(static_cast<size_t>(block_length))) return result;
  if (StreamCopy(packed, package, block_length) != block_length) {
    package.Seek(start);
    return result;
  }
  result.copied = true;
  result.decode = DecodeBlock(packed, dest);
  return result;
}

}  // namespace hollin
