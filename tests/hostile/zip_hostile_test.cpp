// Hostile ZIP archives that fuzzers rarely build by chance, against both directory readers
// (the viewer's archive component and VUnzip's engine) and the engine's extraction: each
// gives a clear error, stays inside its buffers and allocates only what the file justifies.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "installer/actions/paths.h"
#include "installer/ui/reading_rules.h"
#include "tests/fuzz/memory_archive_platform.h"
#include "tests/hostile/allocation_guard.h"
#include "tests/hostile/hostile_zip.h"
#include "unzip/archive_source.h"
#include "unzip/name_rules.h"
#include "unzip/unzip_engine.h"
#include "unzip/unzip_interface.h"
#include "unzip/zip_directory.h"
#include "viewer/archive/entry_stream.h"
#include "viewer/archive/message_ids.h"

namespace {

using namespace hostile;
namespace u = vellumo::unzip;

// Bytes the allocation watch allows a reader per byte of input (its buffers, names, list).
constexpr size_t kAllowedAllocation = size_t(1) << 20;

std::string Zip64Locator(uint64_t zip64_end_position) {
  std::string o;
  Put32(o, 0x07064B50);
  Put32(o, 0);
  Put64(o, zip64_end_position);
  Put32(o, 1);
  return o;
}
std::string Zip64EndRecord(uint64_t entries, uint64_t size, uint64_t offset) {
  std::string o;
  Put32(o, 0x06064B50);
  Put64(o, 44);
  Put16(o, 45);
  Put16(o, 45);
  Put32(o, 0);
  Put32(o, 0);
  Put64(o, entries);
  Put64(o, entries);
  Put64(o, size);
  Put64(o, offset);
  return o;
}
std::string SaturatedEndRecord() {
  std::string o;
  Put32(o, 0x06054B50);
  Put32(o, 0);
  Put32(o, 0xFFFFFFFF);
  Put32(o, 0xFFFFFFFF);
  Put32(o, 0xFFFFFFFF);
  Put16(o, 0);
  return o;
}

// One good entry whose central header's name length is then patched to 0xFFFF.
std::string NameRunsPastEnd() {
  BuiltZip zip = BuildEntries({Stored("a.txt", "hello")});
  std::string bytes = zip.bytes + EndRecord(1, zip.central_size, zip.central_offset);
  bytes[zip.central_offset + 28] = '\xFF';
  bytes[zip.central_offset + 29] = '\xFF';
  return bytes;
}

struct DirectoryCase {
  const char* name;
  std::string bytes;
  int core_error;  // the archive component's message id
};

std::vector<DirectoryCase> DirectoryCases() {
  std::string zip64_many =  // a Zip64 record claiming 2^64 - 1 entries in no bytes
      Zip64EndRecord(UINT64_MAX, 0, 0) + Zip64Locator(0) + SaturatedEndRecord();
  return {
      {"65535 entries in 22 bytes", EndRecord(0xFFFF, 0, 0), vellumo::msg::kReadCentralHeader},
      {"65535 entries of 46 bytes claimed in 22", EndRecord(0xFFFF, 0xFFFF * 46, 0),
       vellumo::msg::kSeekErrorReadingZip},
      {"directory larger than the file", EndRecord(1, 0xFFFFFF00u, 0),
       vellumo::msg::kSeekErrorReadingZip},
      {"Zip64 record claiming 2^64 - 1 entries", zip64_many, vellumo::msg::kCentralSignatureWrong},
      {"central name length past the end", NameRunsPastEnd(), vellumo::msg::kReadCentralName},
  };
}

TEST(HostileZipDirectory, BothReadersRefuseLyingDirectories) {
  for (const DirectoryCase& c : DirectoryCases()) {
    SCOPED_TRACE(c.name);
    ResetAllocationWatch();
    u::MemorySource source(c.bytes.data(), c.bytes.size());
    u::ZipDirectory dir = u::ReadZipDirectory(source);
    EXPECT_EQ(dir.status, u::DirectoryStatus::kBadDirectory);
    EXPECT_TRUE(dir.entries.empty());

    const auto* data = reinterpret_cast<const uint8_t*>(c.bytes.data());
    vellumo::test::MemoryArchivePlatform platform(data, c.bytes.size());
    vellumo::ArchiveCore core(platform);
    core.Unattended = true;
    core.SetZipFileName("C:\\hostile.zip");
    EXPECT_EQ(core.EntryCount(), 0);
    EXPECT_EQ(core.ErrorCode(), c.core_error) << core.LastMessage();
    EXPECT_EQ(core.ZipFileName(), "");  // a failed read forgets the archive
    EXPECT_LT(LargestAllocationRequest(), kAllowedAllocation);
    EXPECT_EQ(RefusedAllocations(), 0);
  }
}

// ---- extraction by the engine ----

struct Outcome {
  int32_t written = 0;
  std::vector<int32_t> errors;   // the codes of every message event
  uint64_t progress_bytes = 0;   // what the engine reported as produced
};

Outcome Extract(const std::string& archive, const u::UnzipRequest& request) {
  u::IdentityConverter converter;
  u::MemorySource source(archive.data(), archive.size());
  Outcome out;
  out.written = u::RunUnzip(source, request, converter, [&](u::UnzipEvent& e) {
    if (e.action == u::kActionMessage) out.errors.push_back(e.errorCode);
    if (e.action == u::kActionProgress) out.progress_bytes += static_cast<uint32_t>(e.size);
    return true;
  });
  return out;
}

std::string Zip64Extra(uint64_t value) {
  std::string o;
  Put16(o, 0x0001);
  Put16(o, 8);
  Put64(o, value);
  return o;
}

struct EntryCase {
  const char* name;
  std::string archive;
  uint64_t block;          // 0: test mode over every entry; else block mode with this size
  int32_t written;
  std::vector<int32_t> errors;
  uint64_t max_progress;   // the most the engine may produce
};

std::vector<EntryCase> EntryCases() {
  std::vector<EntryCase> cases;
  ZipItem huge = Stored("huge.txt", "tiny");
  huge.compressed = 0xFFFFFFFF;
  huge.uncompressed = 0xFFFFFFFF;
  cases.push_back({"sizes 0xFFFFFFFF, test", BuildZip({huge}), 0, 0, {u::kErrorTruncatedData}, 0});
  cases.push_back({"sizes 0xFFFFFFFF, block", BuildZip({huge}), 4096, 0, {u::kErrorBlockTooSmall}, 0});

  ZipItem far = Stored("far.txt", "data");
  far.local_offset = 0x7FFFFFF0;
  cases.push_back({"local header past the end", BuildZip({far}), 64, 0, {u::kErrorBadLocalHeader}, 0});
  ZipItem wrap = Stored("wrap.txt", "data");
  wrap.local_offset = 0xFFFFFFFF;
  wrap.central_extra = Zip64Extra(UINT64_MAX);
  cases.push_back({"Zip64 local offset 2^64 - 1", BuildZip({wrap}), 64, 0, {u::kErrorBadLocalHeader}, 0});

  // 8 MiB of zeros deflate to a few KiB; the entry claims 1 KiB.
  ZipItem bomb = Deflated("bomb.txt", std::string(8u << 20, '\0'));
  bomb.uncompressed = 1024;
  cases.push_back({"deflate bomb, block", BuildZip({bomb}), 1024, 0, {u::kErrorBlockTooSmall}, 1024});
  cases.push_back({"deflate bomb, test", BuildZip({bomb}), 0, 0, {u::kErrorBlockTooSmall}, 1024});

  ZipItem short_crypt = Stored("secret.txt", "abc");
  short_crypt.flags = 1;
  cases.push_back({"encrypted data shorter than its header", BuildZip({short_crypt}), 0, 0,
                   {u::kErrorTruncatedData}, 0});
  ZipItem method = Stored("odd.txt", "abc");
  method.method = 99;
  cases.push_back({"unknown method", BuildZip({method}), 0, 0, {u::kErrorUnsupportedMethod}, 0});

  // Two central entries sharing one local header and its data: each is decoded within its
  // own sizes, so the output stays bounded by what the directory declares.
  ZipItem first = Stored("one.txt", "shared bytes");
  ZipItem second = first;
  second.name = "two.txt";
  second.write_local = false;
  second.local_offset = 0;
  cases.push_back({"overlapping entries", BuildZip({first, second}), 0, 2, {}, 24});
  // An entry whose data runs on over the central directory.
  ZipItem over = Stored("over.txt", "x");
  over.compressed = 60;
  over.uncompressed = 60;
  cases.push_back({"data overlapping the directory", BuildZip({over}), 0, 0, {u::kErrorBadCrc}, 60});
  return cases;
}

TEST(HostileZipEntries, EngineStopsAtDeclaredSizesAndReportsWhy) {
  for (const EntryCase& c : EntryCases()) {
    SCOPED_TRACE(c.name);
    ResetAllocationWatch();
    std::vector<uint8_t> block(c.block + 16, 0xA5);
    u::UnzipRequest request;
    request.archivePath = "hostile.zip";
    if (c.block == 0) {
      request.testOnly = true;
    } else {
      u::ZipDirectory dir;
      u::MemorySource source(c.archive.data(), c.archive.size());
      dir = u::ReadZipDirectory(source);
      ASSERT_EQ(dir.status, u::DirectoryStatus::kOk);
      request.useOutputBlock = true;
      request.outputBlock = block.data();
      request.outputSize = c.block;
      request.specs.push_back(dir.entries[0].rawName);
    }
    Outcome out = Extract(c.archive, request);
    EXPECT_EQ(out.written, c.written);
    EXPECT_EQ(out.errors, c.errors);
    EXPECT_LE(out.progress_bytes, c.max_progress);
    for (size_t i = c.block; i < block.size(); ++i) ASSERT_EQ(block[i], 0xA5) << "past the block at " << i;
    EXPECT_LT(LargestAllocationRequest(), kAllowedAllocation);
  }
}

// ---- names that would leave the folder ----

struct NameCase {
  const char* name;
  bool safe;  // every rule (unzip engine, install procedure, reading-mode extract) agrees
};

const NameCase kNames[] = {
    {"..\\evil.txt", false},
    {"a\\..\\..\\evil.txt", false},
    {"../evil.txt", false},
    {"..", false},
    {"a\\..", false},
    {".. \\evil.txt", false},  // the system drops the blank: ".."
    {"...\\evil.txt", false},  // and the dots
    {"\\abs.txt", false},
    {"/abs.txt", false},
    {"\\\\server\\share\\x.txt", false},
    {"C:\\drive.txt", false},
    {"C:drive.txt", false},
    {"file.txt:stream", false},
    {"", false},
    {"docs\\help.txt", true},
    {"Startup\\evil.lnk", true},  // a link is a file like any other inside the folder
    {"settings.reg", true},
};

TEST(HostileNames, EveryPathRuleKeepsNamesInsideTheFolder) {
  for (const NameCase& c : kNames) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(u::IsSafeRelativeName(c.name), c.safe) << "unzip engine";
    EXPECT_EQ(hollin::IsContainedName(c.name), c.safe) << "install procedure";
  }
}

TEST(HostileNames, InstallRuleRefusesWhatTheSystemWouldRename) {
  const char* refused[] = {"con.txt", "docs\\NUL", "com1.log", "a\\\\b.txt", "a|b.txt",
                           "a?.txt", ". .", "x\\", "tab\there.txt"};
  for (const char* name : refused) EXPECT_FALSE(hollin::IsContainedName(name)) << name;
  // Registry import is chosen by the extension alone, in any letter case.
  EXPECT_EQ(hollin::LowerExtension("tools\\SETUP.REG"), ".reg");
  EXPECT_EQ(hollin::LowerExtension("reg.d\\setup"), "");
  EXPECT_EQ(hollin::LowerExtension("Desktop.LNK"), ".lnk");
}

std::string FreshFolder(const std::string& name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/hostile-" + name + "-" +
                    std::to_string(::getpid());
  std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "/base'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  return dir;
}

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

TEST(HostileNames, EngineWritesOnlyInsideTheBaseFolder) {
  std::vector<ZipItem> items;
  for (const NameCase& c : kNames) {
    std::string stored = c.name;
    if (stored.empty()) continue;
    for (char& ch : stored)
      if (ch == '\\') ch = '/';
    items.push_back(Stored(stored, std::string("content of ") + c.name));
  }
  std::string archive = BuildZip(items);
  std::string dir = FreshFolder("names");
  u::UnzipRequest request;
  request.archivePath = "names.zip";
  request.keepFolderNames = true;
  request.baseFolder = dir + "/base";
  Outcome out = Extract(archive, request);

  int safe = 0, unsafe = 0;
  for (const NameCase& c : kNames) {
    if (*c.name) ++(c.safe ? safe : unsafe);
  }
  EXPECT_EQ(out.written, safe);
  EXPECT_EQ(out.errors, std::vector<int32_t>(unsafe, u::kErrorUnsafeName));
  EXPECT_TRUE(Exists(dir + "/base/Startup/evil.lnk"));
  EXPECT_TRUE(Exists(dir + "/base/settings.reg"));
  EXPECT_TRUE(Exists(dir + "/base/docs/help.txt"));
  for (const char* outside : {"/evil.txt", "/abs.txt", "/drive.txt", "/x.txt"})
    EXPECT_FALSE(Exists(dir + outside)) << outside;
  EXPECT_FALSE(Exists("/abs.txt"));
  std::system(("rm -rf '" + dir + "'").c_str());
}

// ---- the viewer's entry block ----

TEST(HostileEntryStream, RefusesBlocksThatCannotExist) {
  vellumo::TEntryStream stream;
  ASSERT_TRUE(stream.SetSize(16));
  for (uint64_t size : {uint64_t(0xFFFFFFFF), uint64_t(1) << 40, UINT64_MAX}) {
    SCOPED_TRACE(size);
    ResetAllocationWatch();
    EXPECT_FALSE(stream.SetSize(size));
    EXPECT_EQ(stream.Size(), 16u);  // unchanged
    EXPECT_NE(stream.Memory(), nullptr);
  }
}

}  // namespace
