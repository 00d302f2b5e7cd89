#include "installer/package/crc.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "installer/package/message_pump.h"

namespace hollin {

uint32_t Crc32Update(uint32_t state, const void* data, size_t size) {
  const Bytef* p = static_cast<const Bytef*>(data);
  uLong crc = state;
  // zlib's length is a uInt: feed huge spans in pieces.
  while (size > 0) {
    uInt piece = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
    crc = crc32(crc, p, piece);
    p += piece;
    size -= piece;
  }
  return static_cast<uint32_t>(crc);
}

std::string CrcText(uint32_t crc) {
  // Formatted by hand: snprintf would link the C runtime's whole printf engine (floating
  // point included) into the installer stub.
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i, crc >>= 4) text[i] = kDigits[crc & 0xF];
  return text;
}

bool StreamCrcUpdate(Stream& stream, uint64_t start, uint64_t end, uint32_t* crc) {
  if (start > end || !stream.Seek(start)) return false;
  uint64_t remaining = end - start;
  auto* memory = dynamic_cast<MemoryStream*>(&stream);
  if (memory && memory->bytes().size() >= end) {
    // The bytes are already in memory: no copy through a buffer.
    const uint8_t* p = memory->bytes().data() + start;
    while (remaining > 0) {
      PumpMessages();
      size_t n = static_cast<size_t>(std::min<uint64_t>(remaining, kCrcChunkSize));
      *crc = Crc32Update(*crc, p, n);
      p += n;
      remaining -= n;
    }
    return stream.Seek(end);
  }
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(static_cast<size_t>(std::min<uint64_t>(remaining, kCrcChunkSize)));
  } catch (...) {
    return false;
  }
  while (remaining > 0) {
    PumpMessages();
    size_t want = static_cast<size_t>(std::min<uint64_t>(remaining, buffer.size()));
    size_t got = stream.Read(buffer.data(), want);
    // A file that got shorter while it was read gives the CRC of what was there; only a
    // read that failed is a failure.
    if (got == 0) return !stream.ReadFailed();
    *crc = Crc32Update(*crc, buffer.data(), got);
    remaining -= got;
  }
  return true;
}

std::string StreamCrcTextFrom(Stream& stream, uint64_t start) {
  uint64_t size = stream.Size();
  uint32_t crc = 0;
  if (size == UINT64_MAX || !StreamCrcUpdate(stream, start, size, &crc)) return kCrcErrorText;
  return CrcText(crc);
}

std::string StreamCrcText(Stream& stream) { return StreamCrcTextFrom(stream, 0); }

std::string FileCrcText(const std::string& path) {
  auto file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) return kCrcErrorText;
  return StreamCrcTextFrom(*file, 0);
}

std::string InstallerCrcText(const std::string& path) {
  auto file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) return kCrcErrorText;
  uint64_t size = file->Size();
  if (size == UINT64_MAX || size < kSelfCheckStartOffset) return kCrcErrorText;
  return StreamCrcTextFrom(*file, kSelfCheckStartOffset);
}

}  // namespace hollin
