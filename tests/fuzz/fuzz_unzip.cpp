// VUnzip's engine over arbitrary bytes: the directory, every entry tested (local headers,
// decryption, inflate) with a password that is offered once, then the first entry decoded
// into a bounded block the way the viewer asks for it. The block is checked to stay bounded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "unzip/archive_source.h"
#include "unzip/name_rules.h"
#include "unzip/unzip_engine.h"
#include "unzip/unzip_interface.h"
#include "unzip/zip_directory.h"

namespace u = vellumo::unzip;

namespace {

// The largest block the fuzzer hands over; bigger entries must be refused, not overrun it.
constexpr uint64_t kBlockCap = 1 << 20;

bool Answer(u::UnzipEvent& event) {
  if (event.action == u::kActionPassword) {
    event.errorCode = 1;
    event.text = "secret";
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  u::IdentityConverter converter;
  u::MemorySource source(data, size);
  u::ZipDirectory dir = u::ReadZipDirectory(source);
  if (dir.status == u::DirectoryStatus::kOk && dir.entries.size() > size / u::kCentralHeaderSize + 1)
    std::abort();  // more entries than the file can hold

  u::UnzipRequest test;
  test.archivePath = "fuzz.zip";
  test.password = "pw";
  test.passwordRequestCount = 1;
  test.testOnly = true;
  u::RunUnzip(source, test, converter, Answer);

  if (dir.status != u::DirectoryStatus::kOk || dir.entries.empty()) return 0;
  // File names from the archive against the kinds of patterns a caller gives.
  static const char* const kPatterns[] = {"*", "*.TXT", "docs\\*", "*a*?*b*", "?"};
  for (const u::CentralEntry& entry : dir.entries) {
    std::string name = u::ListedName(entry, converter);
    for (const char* pattern : kPatterns) u::WildcardMatch(pattern, name, converter);
  }

  const u::CentralEntry& first = dir.entries.front();
  uint64_t block_size = first.uncompressedSize < kBlockCap ? first.uncompressedSize : kBlockCap;
  std::vector<uint8_t> block(static_cast<size_t>(block_size) + 1, 0xA5);
  u::UnzipRequest one;
  one.archivePath = "fuzz.zip";
  one.password = "secret";
  one.passwordRequestCount = 0;
  one.useOutputBlock = true;
  one.outputBlock = block.data();
  one.outputSize = block_size;
  one.specs.push_back(u::ListedName(first, converter));
  int32_t written = u::RunUnzip(source, one, converter, Answer);
  if (written < 0 || written > 1) std::abort();
  if (block.back() != 0xA5) std::abort();  // a write past the block's end
  return 0;
}
