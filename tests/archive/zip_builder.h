// Hand-made archives for tests: stored entries with chosen header fields, and raw records
// for hostile cases.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vellumo::test {

// Minimal ZIP writer for hand-made and hostile archives (stored entries only).
struct TestEntry {
  TestEntry() = default;
  TestEntry(std::string entry_name, std::string entry_data)
      : name(std::move(entry_name)), data(std::move(entry_data)) {}
  std::string name;
  std::string data;
  uint8_t made_by = 20;
  uint8_t host = 0;
  uint16_t flags = 0;
  std::string extra;
  std::string comment;
  uint32_t compressed_size_field = 0xFFFFFFFEu;    // 0xFFFFFFFE: the real size
  uint32_t uncompressed_size_field = 0xFFFFFFFEu;
};
struct BuiltZip {
  std::string bytes;
  uint64_t central_offset = 0;
  uint64_t central_size = 0;
};
BuiltZip BuildZip(const std::vector<TestEntry>& entries, const std::string& comment = "",
                  const std::string& prefix = "");
// A classic end record.
std::string EndRecord(uint16_t this_volume, uint16_t central_volume, uint16_t entries,
                      uint32_t central_size, uint32_t central_offset, uint16_t comment_length);
std::string CentralHeader(const TestEntry& entry, uint32_t local_offset);

}  // namespace vellumo::test
