// Hand-made archives for tests: stored entries with chosen header fields.
#include "tests/archive/zip_builder.h"

#include "common/byte_reader.h"

namespace vellumo::test {

std::string CentralHeader(const TestEntry& e, uint32_t local_offset) {
  std::string out;
  PutU32(out, 0x02014B50);
  out.push_back(static_cast<char>(e.made_by));
  out.push_back(static_cast<char>(e.host));
  PutU16(out, 20);
  PutU16(out, e.flags);
  PutU16(out, 0);  // stored
  PutU16(out, 0);
  PutU16(out, 0x21);
  PutU32(out, 0);  // CRC not checked by the reader
  uint32_t size = static_cast<uint32_t>(e.data.size());
  PutU32(out, e.compressed_size_field == 0xFFFFFFFEu ? size : e.compressed_size_field);
  PutU32(out, e.uncompressed_size_field == 0xFFFFFFFEu ? size : e.uncompressed_size_field);
  PutU16(out, static_cast<uint16_t>(e.name.size()));
  PutU16(out, static_cast<uint16_t>(e.extra.size()));
  PutU16(out, static_cast<uint16_t>(e.comment.size()));
  PutU16(out, 0);
  PutU16(out, 0);
  PutU32(out, 0);
  PutU32(out, local_offset);
  return out + e.name + e.extra + e.comment;
}

std::string EndRecord(uint16_t this_volume, uint16_t central_volume, uint16_t entries,
                      uint32_t central_size, uint32_t central_offset, uint16_t comment_length) {
  std::string out;
  PutU32(out, 0x06054B50);
  PutU16(out, this_volume);
  PutU16(out, central_volume);
  PutU16(out, entries);
  PutU16(out, entries);
  PutU32(out, central_size);
  PutU32(out, central_offset);
  PutU16(out, comment_length);
  return out;
}

BuiltZip BuildZip(const std::vector<TestEntry>& entries, const std::string& comment,
                  const std::string& prefix) {
  BuiltZip zip;
  std::string body;
  std::vector<uint32_t> offsets;
  for (const TestEntry& e : entries) {
    offsets.push_back(static_cast<uint32_t>(body.size()));
    PutU32(body, 0x04034B50);
    PutU16(body, 20);
    PutU16(body, e.flags);
    PutU16(body, 0);
    PutU16(body, 0);
    PutU16(body, 0x21);
    PutU32(body, 0);
    PutU32(body, static_cast<uint32_t>(e.data.size()));
    PutU32(body, static_cast<uint32_t>(e.data.size()));
    PutU16(body, static_cast<uint16_t>(e.name.size()));
    PutU16(body, 0);
    body += e.name + e.data;
  }
  std::string central;
  for (size_t i = 0; i < entries.size(); ++i) central += CentralHeader(entries[i], offsets[i]);
  zip.central_offset = body.size();
  zip.central_size = central.size();
  zip.bytes = prefix + body + central +
              EndRecord(0, 0, static_cast<uint16_t>(entries.size()),
                        static_cast<uint32_t>(central.size()), static_cast<uint32_t>(body.size()),
                        static_cast<uint16_t>(comment.size())) +
              comment;
  return zip;
}

}  // namespace vellumo::test
