// Builds small installer files in memory for the procedure tests: a fake program image, the
// package header, the file list, the file blocks and hand-written action records.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/byte_reader.h"
#include "installer/package/crc.h"
#include "installer/package/scramble.h"

namespace hollin::testing {

// Action record pieces.
inline std::string Flag(uint8_t value) { return std::string(1, static_cast<char>(value)); }
inline std::string Str(const std::string& text) {
  return Flag(static_cast<uint8_t>(text.size())) + ScrambleHeaderString(text);
}
inline std::string StoredBlock(const std::string& content) {
  uLongf length = compressBound(content.size());
  std::string packed(length, '\0');
  compress2(reinterpret_cast<Bytef*>(&packed[0]), &length,
            reinterpret_cast<const Bytef*>(content.data()), content.size(), 9);
  packed.resize(length);
  std::string out;
  vellumo::PutU32(out, static_cast<uint32_t>(content.size()));
  return out + packed;
}
inline std::string PrefixedBlock(const std::string& content) {
  std::string block = StoredBlock(content), out;
  vellumo::PutU32(out, static_cast<uint32_t>(block.size()));
  return out + block;
}
inline std::string ContentCrc(const std::string& content) {
  return CrcText(Crc32Update(0, content.data(), content.size()));
}

// Records 1 and 2 (register list, run after install), all absent.
inline std::string NoRegisterNoRun() { return Flag(0) + Flag(0); }
// Records 3 to 15, all absent (kind 0 for the group).
inline std::string NoRecordsFromAutorun() { return std::string(13, '\0'); }

struct PackagePlan {
  std::vector<std::pair<std::string, std::string>> files;  // name, content
  std::vector<std::string> list_lines;  // when not empty: the file list as given
  uint8_t registry_import = 0;
  std::string uninstall_key = "DemoKey";
  std::string display_name = "Demo App";
  std::string records_1_2 = NoRegisterNoRun();
  std::string records_from_3 = NoRecordsFromAutorun();
  size_t cut_at_end = 0;  // bytes removed from the end of the file
};

struct TestPackage {
  std::vector<uint8_t> bytes;
  uint64_t header_end = 0;
  uint64_t file_list_position = 0;
  uint64_t autorun_position = 0;
  std::vector<std::string> list_lines;
};

inline TestPackage BuildPackage(const PackagePlan& plan) {
  std::string file;
  for (int i = 0; i < 160; ++i) file.push_back(static_cast<char>(i * 7 + 3));  // the "program"
  file[0] = 'M';
  file[1] = 'Z';
  file += Str("clWhite") + Str("999") + Str("999") + Str("999");
  file += Flag(0) + Flag(1) + Flag(0) + Flag(0);  // records 5 to 8
  file += Flag(0);                                // 9
  file += Flag(plan.registry_import);             // 10
  file += plan.uninstall_key.empty() ? Flag(0) : Flag(1) + Str(plan.uninstall_key);
  file += Flag(0);                                // 12: built-in licence
  file += Str(plan.display_name) + Str("made for tests");
  file += Flag(1) + Str("Demo");                  // 15
  TestPackage out;
  out.header_end = file.size();
  file += Flag(0);                                // 16
  out.file_list_position = file.size();
  std::string blocks;
  std::vector<std::string> lines;
  for (const auto& [name, content] : plan.files) {
    std::string block = StoredBlock(content);
    lines.push_back(name + "|" + ContentCrc(content) + std::to_string(block.size()));
    blocks += block;
  }
  if (!plan.list_lines.empty()) lines = plan.list_lines;
  std::string list_text;
  for (const std::string& line : lines) list_text += line + "\r\n";
  file += PrefixedBlock(list_text) + blocks + plan.records_1_2;
  out.autorun_position = file.size();
  file += plan.records_from_3;
  file.resize(file.size() - plan.cut_at_end);
  out.bytes.assign(file.begin(), file.end());
  out.list_lines = lines;
  return out;
}

// The uninstaller an installer should write, built independently of the code under test.
inline std::string ExpectedUninstallerImage(const std::string& installer, uint64_t header_end,
                                            uint64_t autorun_position, const std::vector<std::string>& lines) {
  std::string list_text;
  for (const std::string& line : lines) list_text += line + "\r\n";
  std::string image = installer.substr(0, header_end);
  vellumo::PutU32(image, static_cast<uint32_t>(list_text.size()));
  image += list_text;
  image += installer.substr(autorun_position);
  for (int i = 77; i <= 80; ++i) image[i] = 1;
  image[84] = 1;
  image.replace(85, 8, "vorn2003");
  return image;
}
inline std::string ExpectedUninstaller(const TestPackage& package) {
  return ExpectedUninstallerImage(std::string(package.bytes.begin(), package.bytes.end()), package.header_end,
                                  package.autorun_position, package.list_lines);
}

}  // namespace hollin::testing
