// Tiny ZIP archives built byte by byte for the hostile-input tests: every field can be set
// to a lie, and the end record is written separately so it can claim anything.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

inline void Put16(std::string& out, uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
inline void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

inline uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Raw deflate, as ZIP entries hold it.
inline std::string Deflate(const std::string& plain) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(plain.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// A zlib stream (header and Adler-32), as the install package's blocks hold it.
inline std::string ZlibCompress(const std::string& plain) {
  uLongf size = compressBound(static_cast<uLong>(plain.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &size, reinterpret_cast<const Bytef*>(plain.data()),
            static_cast<uLong>(plain.size()), 9);
  out.resize(size);
  return out;
}

constexpr uint32_t kReal = 0xFFFFFFFEu;  // field value: the true one

struct ZipItem {
  std::string name;
  std::string stored;           // the bytes after the local header
  std::string plain;            // for the CRC
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t compressed = kReal;  // central-directory fields
  uint32_t uncompressed = kReal;
  uint32_t local_offset = kReal;
  std::string central_extra;
  bool write_local = true;      // false: the central entry points at another entry's data
};

struct BuiltZip {
  std::string bytes;            // local headers, data and central directory; no end record
  uint32_t central_offset = 0;
  uint32_t central_size = 0;
  uint16_t entries = 0;
};

inline ZipItem Stored(const std::string& name, const std::string& data) {
  ZipItem item;
  item.name = name;
  item.stored = data;
  item.plain = data;
  return item;
}
inline ZipItem Deflated(const std::string& name, const std::string& data) {
  ZipItem item = Stored(name, data);
  item.stored = Deflate(data);
  item.method = 8;
  return item;
}

inline BuiltZip BuildEntries(const std::vector<ZipItem>& items) {
  BuiltZip zip;
  std::vector<uint32_t> offsets;
  for (const ZipItem& item : items) {
    offsets.push_back(static_cast<uint32_t>(zip.bytes.size()));
    if (!item.write_local) continue;
    std::string& o = zip.bytes;
    Put32(o, 0x04034B50);
    Put16(o, 20);
    Put16(o, item.flags);
    Put16(o, item.method);
    Put32(o, 0);  // time, date
    Put32(o, Crc(item.plain));
    Put32(o, static_cast<uint32_t>(item.stored.size()));
    Put32(o, static_cast<uint32_t>(item.plain.size()));
    Put16(o, static_cast<uint32_t>(item.name.size()));
    Put16(o, 0);
    o += item.name;
    o += item.stored;
  }
  zip.central_offset = static_cast<uint32_t>(zip.bytes.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const ZipItem& item = items[i];
    std::string& o = zip.bytes;
    Put32(o, 0x02014B50);
    Put16(o, 20);  // made by: MS-DOS, 2.0
    Put16(o, 20);
    Put16(o, item.flags);
    Put16(o, item.method);
    Put32(o, 0);
    Put32(o, Crc(item.plain));
    Put32(o, item.compressed == kReal ? static_cast<uint32_t>(item.stored.size()) : item.compressed);
    Put32(o, item.uncompressed == kReal ? static_cast<uint32_t>(item.plain.size()) : item.uncompressed);
    Put16(o, static_cast<uint32_t>(item.name.size()));
    Put16(o, static_cast<uint32_t>(item.central_extra.size()));
    Put16(o, 0);  // comment
    Put16(o, 0);  // disk
    Put16(o, 0);
    Put32(o, 0);
    Put32(o, item.local_offset == kReal ? offsets[i] : item.local_offset);
    o += item.name;
    o += item.central_extra;
  }
  zip.central_size = static_cast<uint32_t>(zip.bytes.size()) - zip.central_offset;
  zip.entries = static_cast<uint16_t>(items.size());
  return zip;
}

inline std::string EndRecord(uint16_t entries, uint32_t central_size, uint32_t central_offset,
                             const std::string& comment = "", uint16_t disk = 0) {
  std::string o;
  Put32(o, 0x06054B50);
  Put16(o, disk);
  Put16(o, disk);
  Put16(o, entries);
  Put16(o, entries);
  Put32(o, central_size);
  Put32(o, central_offset);
  Put16(o, static_cast<uint32_t>(comment.size()));
  return o + comment;
}

// A whole, well-formed archive of the items.
inline std::string BuildZip(const std::vector<ZipItem>& items) {
  BuiltZip zip = BuildEntries(items);
  return zip.bytes + EndRecord(zip.entries, zip.central_size, zip.central_offset);
}

}  // namespace hostile
