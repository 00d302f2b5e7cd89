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
// ends or fails, or the source runs dry. Returns the bytes written. Memory streams on either
// side are used in place (no copy through a chunk buffer); other streams go through
// kCopyChunkSize buffers.
uint64_t Inflate(Stream& source, uint64_t source_left, Stream& dest, uint64_t expected) {
  if (expected == 0) return 0;
  auto* memory_source = dynamic_cast<MemoryStream*>(&source);
  if (memory_source && memory_source->bytes().size() != memory_source->Size()) memory_source = nullptr;
  auto* memory_dest = dynamic_cast<MemoryStream*>(&dest);
  if (memory_dest && memory_dest->Position() != memory_dest->bytes().size()) memory_dest = nullptr;

  z_stream z{};
  if (inflateInit(&z) != Z_OK) return 0;
  std::vector<uint8_t> in, out;
  bool buffers = (memory_source || Allocate(in, static_cast<size_t>(std::min<uint64_t>(
                                                    std::max<uint64_t>(source_left, 1), kCopyChunkSize)))) &&
                 (memory_dest || Allocate(out, static_cast<size_t>(std::min<uint64_t>(expected, kCopyChunkSize))));
  if (!buffers) {
    inflateEnd(&z);
    return 0;
  }
  const uint8_t* source_bytes = nullptr;
  uint64_t source_pos = 0, source_end = 0;
  if (memory_source) {
    source_bytes = memory_source->bytes().data();
    source_pos = memory_source->Position();
    source_end = memory_source->bytes().size();
  }
  uint64_t produced = 0;
  bool source_done = false;
  for (;;) {
    PumpMessages();
    if (z.avail_in == 0 && !source_done) {
      if (memory_source) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(source_end - source_pos, kCopyChunkSize));
        z.next_in = const_cast<Bytef*>(source_bytes + source_pos);
        z.avail_in = static_cast<uInt>(n);
        source_pos += n;
        if (n == 0) source_done = true;
      } else {
        size_t got = source.Read(in.data(), in.size());
        if (got == 0) source_done = true;
        z.next_in = in.data();
        z.avail_in = static_cast<uInt>(got);
      }
    }
    size_t room = static_cast<size_t>(std::min<uint64_t>(expected - produced, kCopyChunkSize));
    uint8_t* target = nullptr;
    std::vector<uint8_t>* grown = nullptr;
    if (memory_dest) {
      grown = &memory_dest->bytes();
      size_t old = grown->size();
      // Stay inside the reservation made from the source's size while it lasts.
      if (grown->capacity() > old) room = std::min(room, grown->capacity() - old);
      if (!Allocate(*grown, old + room)) break;
      target = grown->data() + old;
    } else {
      target = out.data();
    }
    z.next_out = target;
    z.avail_out = static_cast<uInt>(room);
    int rc = inflate(&z, Z_NO_FLUSH);
    size_t made = room - z.avail_out;
    if (memory_dest) {
      grown->resize(grown->size() - z.avail_out);
      memory_dest->Seek(grown->size());
      produced += made;
    } else if (made > 0) {
      size_t written = dest.Write(out.data(), made);
      produced += written;
      if (written != made) break;
    }
    if (produced >= expected) break;
    if (rc == Z_STREAM_END) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;  // data, dictionary or memory error
    if (z.avail_in == 0 && source_done) break;  // truncated stream
  }
  if (memory_source) memory_source->Seek(source_pos - z.avail_in);
  inflateEnd(&z);
  return produced;
}

}  // namespace

void SetDecodeFailureHandler(DecodeFailureHandler handler) { g_failure_handler = handler; }

void ReportDecodeFailure() {
  if (g_failure_handler) g_failure_handler();
}

uint64_t StreamCopy(Stream& dest, Stream& src, uint64_t count) {
  uint64_t position = src.Position();
  if (count == 0) {
    count = src.Size();
    position = 0;
    if (count == UINT64_MAX) return 0;
  }
  return StreamCopyFrom(dest, src, position, count);
}

uint64_t StreamCopyFrom(Stream& dest, Stream& src, uint64_t position, uint64_t count) {
  if (count == 0) return 0;
  std::vector<uint8_t> buffer;
  if (!Allocate(buffer, static_cast<size_t>(std::min<uint64_t>(count, kCopyChunkSize)))) return 0;
  uint64_t total = 0;
  while (total < count) {
    PumpMessages();
    if (position > UINT64_MAX - total || !src.Seek(position + total)) break;
    size_t want = static_cast<size_t>(std::min<uint64_t>(count - total, buffer.size()));
    size_t got = src.Read(buffer.data(), want);
    if (got == 0) break;
    size_t written = dest.Write(buffer.data(), got);
    total += written;
    if (written != got) break;
  }
  return total;
}

BlockDecodeResult DecodeBlock(Stream& source, Stream& dest, uint64_t limit) {
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
  result.over_limit = expected > limit;
  const uint64_t wanted = result.over_limit ? limit : expected;
  uint64_t source_left = size - 4;
  if (auto* memory = dynamic_cast<MemoryStream*>(&dest)) {
    uint64_t justified = std::min<uint64_t>(wanted, source_left * kMaxInflateRatio + 64);
    justified = std::min(justified, kMaxReservation);
    memory->Reserve(static_cast<size_t>(memory->Position() + justified));
  }
  result.produced = Inflate(source, source_left, dest, wanted);
  result.complete = !result.over_limit && result.produced == result.expected;
  dest.Seek(0);
  if (result.failed() && g_failure_handler) g_failure_handler();
  return result;
}

BlockDecodeResult ReadLengthPrefixedBlock(Stream& stream, Stream& dest,
                                          LengthPrefixedBlockInfo* info, uint64_t limit) {
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
      i.stored_length = StreamCopyFrom(packed, stream, here, take);
    }
  }
  BlockDecodeResult result = DecodeBlock(packed, dest, limit);
  // Copy and decoding pump messages, which may move the stream: the records after this one
  // are read from here on.
  if (ok) stream.Seek(i.position + 4 + i.stored_length);
  return result;
}

FileBlockResult ExtractFileBlock(Stream& package, uint64_t position, uint64_t block_length,
                                 Stream& dest) {
  FileBlockResult result;
  uint64_t size = package.Size();
  if (size == UINT64_MAX || position > size || block_length > size - position) return result;
  MemoryStream packed;
  if (!packed.Reserve(static_cast<size_t>(block_length))) return result;
  if (StreamCopyFrom(packed, package, position, block_length) != block_length) return result;
  result.copied = true;
  result.decode = DecodeBlock(packed, dest);
  return result;
}

FileBlockResult ExtractFileBlock(Stream& package, uint64_t block_length, Stream& dest) {
  const uint64_t start = package.Position();
  FileBlockResult result = ExtractFileBlock(package, start, block_length, dest);
  if (!result.copied) package.Seek(start);
  return result;
}

}  // namespace hollin
