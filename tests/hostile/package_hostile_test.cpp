// Hostile install packages: lengths and sizes that exceed the file, a header string cut off
// at the end, a stored block claiming 4 GB. Each read stays inside the file, reports what is
// missing and reserves memory only as far as the file can justify.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/package/block.h"
#include "installer/package/file_list.h"
#include "installer/package/header_string.h"
#include "installer/package/package_format.h"
#include "installer/package/package_reader.h"
#include "installer/package/scramble.h"
#include "installer/package/stream.h"
#include "installer/ui/reading_rules.h"
#include "tests/hostile/allocation_guard.h"
#include "tests/hostile/hostile_zip.h"

namespace {

using namespace hostile;
using hollin::MemoryStream;

MemoryStream StreamOf(const std::string& bytes) {
  return MemoryStream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

// u32 U, then the zlib stream of `plain`; U is the real size unless given.
std::string StoredBlock(const std::string& plain, uint32_t claimed = kReal) {
  std::string o;
  Put32(o, claimed == kReal ? static_cast<uint32_t>(plain.size()) : claimed);
  return o + ZlibCompress(plain);
}

TEST(HostilePackage, StoredBlockClaimingFourGigabytes) {
  struct Case {
    const char* name;
    std::string plain;       // what the zlib stream really holds
    size_t max_allocation;
  };
  const Case cases[] = {
      {"five bytes inside", "hello", 1 << 20},
      {"8 MiB of zeros inside", std::string(8u << 20, '\0'), 16u << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string block = StoredBlock(c.plain, 0xFFFFFFFFu);
    // The reading mode takes a block this small; only its U is hostile.
    EXPECT_FALSE(hollin::ReadingBlockTooBig(block.size()));
    ResetAllocationWatch();
    MemoryStream source = StreamOf(block);
    MemoryStream dest;
    hollin::BlockDecodeResult r = hollin::DecodeBlock(source, dest);
    EXPECT_TRUE(r.has_size);
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.expected, 0xFFFFFFFFu);
    EXPECT_EQ(r.produced, c.plain.size());
    EXPECT_EQ(dest.Size(), c.plain.size());
    EXPECT_LT(LargestAllocationRequest(), c.max_allocation);
    EXPECT_EQ(RefusedAllocations(), 0);
  }
  EXPECT_TRUE(hollin::ReadingBlockTooBig(hollin::kReadingBlockLimit + 1));
  EXPECT_FALSE(hollin::ReadingBlockTooBig(hollin::kReadingBlockLimit));
}

TEST(HostilePackage, FileListLengthPastTheEnd) {
  std::string list = "a.txt|1234ABCD20\r\nb.txt|00000000" "30\r\n";
  struct Case {
    const char* name;
    uint32_t declared;
    std::string after;  // the bytes after the length
    size_t max_lines;  // a cut stream gives at most a partial line
    bool complete;
  };
  const Case cases[] = {
      {"length 0xFFFFFFF0 before a whole block", 0xFFFFFFF0u, StoredBlock(list), 2, true},
      {"length 0xFFFFFFFF and nothing after it", 0xFFFFFFFFu, "", 0, false},
      {"length past a block cut short", 0x7FFFFFFFu, StoredBlock(list).substr(0, 12), 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string bytes;
    Put32(bytes, c.declared);
    bytes += c.after;
    ResetAllocationWatch();
    MemoryStream package = StreamOf(bytes);
    hollin::BlockDecodeResult decode;
    std::vector<std::string> lines = hollin::ReadFileListLines(package, 0, &decode);
    if (c.complete) {
      EXPECT_EQ(lines.size(), c.max_lines);
    } else {
      EXPECT_LE(lines.size(), c.max_lines);
    }
    EXPECT_EQ(decode.complete, c.complete);
    EXPECT_EQ(package.Position(), bytes.size());  // everything there was taken, no more
    EXPECT_LT(LargestAllocationRequest(), size_t(1) << 20);
  }
}

TEST(HostilePackage, FileBlockLengthsPastTheEnd) {
  std::string block = StoredBlock("file content");
  std::string bytes = "xx" + block;
  for (uint64_t length : {uint64_t(block.size() + 1), uint64_t(0xFFFFFFFF), uint64_t(1) << 40,
                          UINT64_MAX}) {
    SCOPED_TRACE(length);
    ResetAllocationWatch();
    MemoryStream package = StreamOf(bytes);
    ASSERT_TRUE(package.Seek(2));
    MemoryStream dest;
    hollin::FileBlockResult r = hollin::ExtractFileBlock(package, length, dest);
    EXPECT_FALSE(r.copied);
    EXPECT_EQ(dest.Size(), 0u);
    EXPECT_EQ(package.Position(), 2u);  // left at the block for the caller's next step
    EXPECT_LT(LargestAllocationRequest(), size_t(1) << 20);
  }
  // Lengths that add up past 2^64 do not wrap round to an earlier block.
  std::vector<hollin::FileBlockLocation> blocks = hollin::LocateFileBlocks(
      {"a|00000000" "18446744073709551615", "b|00000000" "100", "c|00000000" "1"}, 1000);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[1].position, UINT64_MAX);
  EXPECT_EQ(blocks[2].position, UINT64_MAX);
}

TEST(HostilePackage, FileListLinesThatLie) {
  struct Case {
    const char* line;
    bool ok;
    uint64_t length;
  };
  const Case cases[] = {
      {"a.txt|1234ABCD42", true, 42},
      {"a.txt|1234ABCD+42", true, 42},
      {"a.txt|1234ABCD-42", false, 0},
      {"a.txt|1234ABCD18446744073709551616", false, 0},  // 2^64
      {"a.txt|1234ABCD", false, 0},
      {"a.txt|1234ABC", false, 0},
      {"a.txt 1234ABCD42", false, 0},
      {"|1234ABCD7", true, 7},  // an empty name parses; the install rule refuses it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    hollin::FileListLine line;
    EXPECT_EQ(hollin::ParseFileListLine(c.line, &line), c.ok);
    if (c.ok) {
      EXPECT_EQ(line.block_length, c.length);
    }
  }
}

TEST(HostilePackage, HeaderStringCutOffAtTheEnd) {
  std::string stored = hollin::ScrambleHeaderString("abc");
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"length 255 and nothing else", "\xFF", std::string(255, ' ')},
      {"length 255 and three bytes", "\xFF" + stored, "abc" + std::string(252, ' ')},
      {"no length byte", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStream stream = StreamOf(c.bytes);
    EXPECT_EQ(hollin::ReadHeaderString(stream), c.text);
    EXPECT_EQ(stream.Position(), c.bytes.size());
  }
  // A whole header that stops in its first string: filled the way missing bytes read.
  MemoryStream package = StreamOf("\xFF");
  hollin::PackageHeader header;
  EXPECT_FALSE(hollin::ReadPackageHeader(package, 0, &header));
  EXPECT_EQ(header.title_colour.text, std::string(255, ' '));
  EXPECT_FALSE(header.has_licence);
  MemoryStream past = StreamOf("abc");
  EXPECT_FALSE(hollin::ReadPackageHeader(past, 1000, &header));
}

TEST(HostilePackage, LicenceBlockPastTheEnd) {
  // Records 1 to 11 as the smallest valid bytes, then a licence flag whose block length
  // claims 2 GB over a 4 GB U.
  std::string bytes(4, '\0');       // records 1-4: empty strings
  bytes += std::string(4, '\0');    // records 5-8
  bytes += '\0';                    // 9: no reserved string
  bytes += '\0';                    // 10
  bytes += '\0';                    // 11: no uninstall key
  bytes += '\x01';                  // 12: licence present
  Put32(bytes, 0x7FFFFFFFu);
  bytes += StoredBlock("licence", 0xFFFFFFFFu);
  ResetAllocationWatch();
  MemoryStream package = StreamOf(bytes);
  hollin::PackageHeader header;
  EXPECT_FALSE(hollin::ReadPackageHeader(package, 0, &header));
  EXPECT_TRUE(header.has_licence);
  EXPECT_EQ(header.licence_text, "licence");
  EXPECT_TRUE(header.licence_decode.failed());
  EXPECT_LT(LargestAllocationRequest(), size_t(1) << 20);
}

// A length-prefixed block: u32 N, then the stored block.
std::string PrefixedBlock(const std::string& plain, uint32_t claimed = kReal) {
  std::string block = StoredBlock(plain, claimed);
  std::string o;
  Put32(o, static_cast<uint32_t>(block.size()));
  return o + block;
}

int g_reported_failures = 0;
void CountFailure() { ++g_reported_failures; }

// Decoding is bounded, and so is everything built from the decoded records: a file list or
// register list of a few kilobytes packed that would unfold into millions of lines, and a
// licence of zeros that claims 4 GB, stop at what the program can use and are reported like
// a bad block.
TEST(HostilePackage, DecodedRecordsAreBoundedByWhatTheProgramCanUse) {
  hollin::SetDecodeFailureHandler(CountFailure);
  const std::string many_lines(3u << 20, '\n');  // 3 million empty lines
  struct Case {
    const char* name;
    std::string plain;
    uint32_t claimed;
    size_t lines;
  };
  const Case lists[] = {
      {"line ends only", many_lines, kReal, hollin::kMaxListLines},
      {"one line longer than the bound", std::string(hollin::kMaxListTextBytes + 100, 'a'), kReal, 1},
      {"a real list", "a.txt|0000000012\r\nb.txt|0000000012\r\n", kReal, 2},
  };
  for (const Case& c : lists) {
    SCOPED_TRACE(c.name);
    const bool bounded = c.lines == hollin::kMaxListLines || c.plain.size() > hollin::kMaxListTextBytes;
    // As the installer's file list.
    g_reported_failures = 0;
    MemoryStream package = StreamOf("xx" + PrefixedBlock(c.plain, c.claimed));
    hollin::BlockDecodeResult decode;
    std::vector<std::string> lines = hollin::ReadFileListLines(package, 2, &decode);
    EXPECT_EQ(lines.size(), c.lines);
    if (!lines.empty()) EXPECT_LE(lines[0].size(), hollin::kMaxListTextBytes);
    EXPECT_EQ(g_reported_failures, bounded ? 1 : 0);
    EXPECT_EQ(package.Position(), package.Size());  // at the first file block
    // As the register list (record A1).
    g_reported_failures = 0;
    MemoryStream records = StreamOf("\x01" + PrefixedBlock(c.plain, c.claimed) + std::string(1, '\0'));
    hollin::RegisterListRecord list = hollin::ReadRegisterListRecord(records);
    EXPECT_EQ(list.names.size(), c.lines);
    EXPECT_EQ(g_reported_failures, bounded ? 1 : 0);
    EXPECT_EQ(records.Position(), records.Size() - 1);  // the next record is read in step
  }
  // The uninstaller's plain list.
  g_reported_failures = 0;
  std::string uninstaller = "hdr";
  Put32(uninstaller, static_cast<uint32_t>(many_lines.size()));
  uninstaller += many_lines + std::string(13, '\0');
  MemoryStream uninstall = StreamOf(uninstaller);
  hollin::UninstallData data;
  hollin::ReadUninstallData(uninstall, 3, &data);
  EXPECT_EQ(data.file_list.size(), hollin::kMaxListLines);
  EXPECT_EQ(g_reported_failures, 1);
  EXPECT_FALSE(data.records.autorun.present);

  // A licence of 12 MiB of zeros that claims 4 GB: no more than the log box shows.
  std::string header(4, '\0');
  header += std::string(4, '\0') + '\0' + '\0' + '\0' + '\x01';
  header += PrefixedBlock(std::string(12u << 20, '\0'), 0xFFFFFFFFu);
  header += std::string(4, '\0');  // records 13 to 16
  g_reported_failures = 0;
  MemoryStream package = StreamOf(header);
  hollin::PackageHeader h;
  EXPECT_TRUE(hollin::ReadPackageHeader(package, 0, &h));
  EXPECT_EQ(h.licence_text.size(), hollin::kLogTextLimit);
  EXPECT_TRUE(h.licence_decode.failed());
  EXPECT_TRUE(h.licence_decode.over_limit);
  EXPECT_EQ(g_reported_failures, 1);
  hollin::SetDecodeFailureHandler(nullptr);
}

}  // namespace
