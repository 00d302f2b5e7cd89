// Builds small ZIP archives in memory for tests, with every header field under the
// test's control (so hostile archives are one line each).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <zlib.h>

#include "common/byte_reader.h"

namespace vellumo::unzip::test {

inline std::string RawDeflate(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

struct TestEntry {
  std::string name;
  std::string data;  // plain bytes
  uint16_t method = 0;
  uint8_t host = 3;
  uint8_t versionMadeBy = 30;
  uint16_t flags = 0;
  // Overrides of what is written (0xFFFFFFFFFFFFFFFF: the true value).
  uint64_t crc = UINT64_MAX;
  uint64_t compressedSize = UINT64_MAX;
  uint64_t uncompressedSize = UINT64_MAX;
  uint64_t localOffset = UINT64_MAX;
  std::string centralExtra;
  std::string payload;  // if set, written as the compressed data instead of the real one
  bool usePayload = false;
};

inline TestEntry MakeEntry(std::string name, std::string data, uint16_t method) {
  TestEntry e;
  e.name = std::move(name);
  e.data = std::move(data);
  e.method = method;
  return e;
}

struct TestArchive {
  std::vector<TestEntry> entries;
  std::string prefix;       // bytes before the ZIP data (offsets not adjusted)
  std::string comment;
  int64_t entryCountOverride = -1;

  std::string Build() const {
    std::string out = prefix;
    std::string central;
    for (const TestEntry& e : entries) {
      std::string stored = e.usePayload ? e.payload : (e.method == 8 ? RawDeflate(e.data) : e.data);
      uint32_t crc = e.crc != UINT64_MAX ? uint32_t(e.crc) : Crc32(e.data);
      uint32_t csize = e.compressedSize != UINT64_MAX ? uint32_t(e.compressedSize) : uint32_t(stored.size());
      uint32_t usize = e.uncompressedSize != UINT64_MAX ? uint32_t(e.uncompressedSize) : uint32_t(e.data.size());
      uint32_t offset = e.localOffset != UINT64_MAX ? uint32_t(e.localOffset) : uint32_t(out.size() - prefix.size());
      std::string local;
      PutU32(local, 0x04034B50);
      PutU16(local, 20);
      PutU16(local, e.flags);
      PutU16(local, e.method);
      PutU16(local, 0x6000);  // time
      PutU16(local, 0x5A21);  // date
      PutU32(local, crc);
      PutU32(local, csize);
      PutU32(local, usize);
      PutU16(local, uint16_t(e.name.size()));
      PutU16(local, 0);
      out += local + e.name + stored;
      PutU32(central, 0x02014B50);
      central.push_back(char(e.versionMadeBy));
      central.push_back(char(e.host));
      PutU16(central, 20);
      PutU16(central, e.flags);
      PutU16(central, e.method);
      PutU16(central, 0x6000);
      PutU16(central, 0x5A21);
      PutU32(central, crc);
      PutU32(central, csize);
      PutU32(central, usize);
      PutU16(central, uint16_t(e.name.size()));
      PutU16(central, uint16_t(e.centralExtra.size()));
      PutU16(central, 0);
      PutU16(central, 0);
      PutU16(central, 0);
      PutU32(central, 0);
      PutU32(central, offset);
      central += e.name + e.centralExtra;
    }
    uint32_t centralOffset = uint32_t(out.size() - prefix.size());
    out += central;
    PutU32(out, 0x06054B50);
    PutU16(out, 0);
    PutU16(out, 0);
    uint16_t count = entryCountOverride >= 0 ? uint16_t(entryCountOverride) : uint16_t(entries.size());
    PutU16(out, count);
    PutU16(out, count);
    PutU32(out, uint32_t(central.size()));
    PutU32(out, centralOffset);
    PutU16(out, uint16_t(comment.size()));
    out += comment;
    return out;
  }
};

// A Zip64 extra field holding the given 64-bit values in order.
inline std::string Zip64Extra(std::initializer_list<uint64_t> values) {
  std::string body;
  for (uint64_t v : values) {
    PutU32(body, uint32_t(v));
    PutU32(body, uint32_t(v >> 32));
  }
  std::string out;
  PutU16(out, 0x0001);
  PutU16(out, uint16_t(body.size()));
  return out + body;
}

}  // namespace vellumo::unzip::test
