// The archive component's portable core against a fake platform: directory listings of real
// archives compared with unzip, every error and warning of the reader with its text, the
// code-page rule, Zip64, volume sets on fixed and removable drives, the callback protocol and
// the password requests.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "common/byte_reader.h"
#include "tests/archive/expected_messages.h"
#include "tests/archive/fake_platform.h"
#include "unzip/unzip_interface.h"
#include "viewer/archive/archive_core.h"

namespace vellumo::test {
namespace {

std::string Text(int id) {
  for (const ExpectedMessage& m : kExpectedMessages)
    if (m.id == id) return m.text;
  ADD_FAILURE() << "no expected text for " << id;
  return std::string();
}

struct ManifestArchive {
  std::string file, password;
  std::vector<std::string> entries;  // unzip -Z1 names, folders left out
  std::vector<std::string> expected_files;
};

std::vector<ManifestArchive> ReadManifest() {
  std::vector<ManifestArchive> result;
  std::ifstream in(FixtureDir() + "/manifest.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream s(line);
    std::string part;
    while (std::getline(s, part, '\t')) f.push_back(part);
    if (f.empty()) continue;
    if (f[0] == "archive") result.push_back({f[1], f.size() > 2 ? f[2] : "", {}, {}});
    if (f[0] == "entry") {
      result.back().entries.push_back(f[1]);
      result.back().expected_files.push_back(f[2]);
    }
  }
  return result;
}

// How the component lists a name that unzip prints: "\" separators, ANSI text.
std::string AsListed(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  return FakeUtf8ToAnsi(name);
}

std::vector<std::string> Names(const ArchiveCore& core) {
  std::vector<std::string> names;
  for (const DirEntry& e : core.EntryList()) names.push_back(e.FileName);
  return names;
}

TEST(ArchiveMessages, TableHoldsEveryTextAndMissingIdsAreNamed) {
  FakePlatform platform;
  ArchiveCore core(platform);
  for (const ExpectedMessage& m : kExpectedMessages) EXPECT_EQ(core.MessageText(m.id), m.text) << m.id;
  EXPECT_EQ(core.MessageText(12345),
            "Messages.res is probably not linked to the executable\nMissing String ID is: 12345");
  // A missing table still shows the failure, with the id.
  platform.missing_table = true;
  core.ShowArchiveMessage(11036);
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0],
            "Messages.res is probably not linked to the executable\nMissing String ID is: 11036");
  EXPECT_EQ(core.ErrorCode(), 11036);
}

TEST(ArchiveMessages, ShowRecordsAndUnattendedOnlyRecords) {
  FakePlatform platform;
  ArchiveCore core(platform);
  std::vector<std::pair<int, std::string>> events;
  core.OnMessage = [&](int code, const std::string& text) { events.emplace_back(code, text); };
  core.ShowArchiveMessage(10202, "disk on fire");
  EXPECT_EQ(platform.boxes, std::vector<std::string>{"Unknown error in List() function\ndisk on fire"});
  EXPECT_EQ(core.LastMessage(), "Unknown error in List() function\ndisk on fire");
  EXPECT_EQ(core.ErrorCode(), 10202);
  core.Unattended = true;
  core.ShowArchiveMessage(10704);
  EXPECT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(core.LastMessage(), "VUNZIP.DLL not found!");
  EXPECT_EQ(core.ErrorCode(), 10704);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1], std::make_pair(0, std::string("VUNZIP.DLL not found!")));
}

// Every fixture made by the real tools lists exactly what unzip -Z1 lists, folders left out.
TEST(ArchiveListing, MatchesUnzipForEveryFixture) {
  struct Expectation {
    std::vector<std::string> boxes;
    uint64_t archive_start;
    bool encrypted;
  };
  const std::map<std::string, Expectation> special = {
      {"sfx_unadjusted.exe", {{Text(10203)}, 4096, false}},
      {"sfx_adjusted.exe", {{}, 4096, false}},
      {"garbage.zip", {{Text(10204)}, 0, false}},
      {"pass.zip", {{}, 0, true}},
      {"aes.zip", {{}, 0, true}},
      {"span003.zip", {{}, 4, false}},  // after the set's signature on volume 0
  };
  auto manifest = ReadManifest();
  ASSERT_GE(manifest.size(), 12u) << "fixtures missing in " << FixtureDir();
  for (const ManifestArchive& a : manifest) {
    SCOPED_TRACE(a.file);
    FakePlatform platform;
    ArchiveCore core(platform);
    std::string path = FixtureDir() + "/" + a.file;
    core.SetZipFileName(path);
    Expectation expect{{}, 0, false};
    if (special.count(a.file)) expect = special.at(a.file);
    EXPECT_EQ(platform.boxes, expect.boxes);
    std::vector<std::string> wanted;
    for (const std::string& n : a.entries) wanted.push_back(AsListed(n));
    EXPECT_EQ(Names(core), wanted);
    EXPECT_EQ(core.EntryCount(), static_cast<int>(wanted.size()));
    EXPECT_EQ(core.ZipFileName(), path);
    EXPECT_EQ(core.ArchiveStart(), expect.archive_start);
    for (const DirEntry& e : core.EntryList()) EXPECT_EQ(e.Encrypted, expect.encrypted) << e.FileName;
  }
}

TEST(ArchiveListing, FieldsCommentsAndFolders) {
  FakePlatform platform;
  ArchiveCore core(platform);
  int updates = 0;
  std::vector<int> sequence;
  core.OnDirUpdate = [&] { ++updates; };
  core.OnNewName = [&](int n, const DirEntry&) { sequence.push_back(n); };
  core.SetZipFileName(FixtureDir() + "/plain.zip");
  EXPECT_EQ(updates, 1);
  // Records 2, 4 and 9 are folders: skipped but counted in the sequence.
  EXPECT_EQ(sequence, (std::vector<int>{1, 3, 5, 6, 7, 8}));
  EXPECT_EQ(core.SkippedDirectoryEntries(), 3);
  const DirEntry& page = core.EntryList()[2];
  EXPECT_EQ(page.FileName, "docs\\sub\\page.htm");
  EXPECT_EQ(page.UncompressedSize, 5000u);
  EXPECT_EQ(page.CompressionMethod, 8);
  EXPECT_EQ(page.HostSystem, 3);  // made on Unix
  EXPECT_LT(page.CompressedSize, 5000u);
  EXPECT_EQ(page.FileNameLength, 17);
  EXPECT_EQ(page.ExtraData.size(), page.ExtraFieldLength);

  core.UseDirOnlyEntries = true;
  core.SetZipFileName(FixtureDir() + "/plain.zip");
  EXPECT_EQ(core.EntryCount(), 9);
  EXPECT_EQ(core.EntryList()[1].FileName, "docs\\");

  // WinZip AES: listed as encrypted, with the method of its data from the 0x9901 field
  // (7-Zip stores the smallest files, compresses the others with LZMA).
  core.UseDirOnlyEntries = false;
  core.SetZipFileName(FixtureDir() + "/aes.zip");
  ASSERT_GT(core.EntryCount(), 0);
  int lzma = 0;
  for (const DirEntry& e : core.EntryList()) {
    EXPECT_TRUE(e.CompressionMethod == 14 || e.CompressionMethod == 0) << e.FileName;
    EXPECT_TRUE(e.Encrypted) << e.FileName;
    lzma += e.CompressionMethod == 14;
  }
  EXPECT_GT(lzma, 0);

  core.SetZipFileName(FixtureDir() + "/python.zip");
  EXPECT_EQ(core.ArchiveComment(), "archive comment from zipfile");
  core.SetZipFileName(FixtureDir() + "/comment64k.zip");
  EXPECT_EQ(core.ArchiveComment(), std::string(65535, 'C'));
  EXPECT_TRUE(platform.boxes.empty());
}

// The directory is read in a few large reads, not several per record.
TEST(ArchiveListing, ReadsInBulk) {
  struct Row {
    const char* file;
    int max_reads;
  } rows[] = {{"plain.zip", 3}, {"comment64k.zip", 4}, {"many.zip", 60}};
  for (const Row& row : rows) {
    FakePlatform platform;
    ArchiveCore core(platform);
    core.SetZipFileName(FixtureDir() + "/" + row.file);
    EXPECT_GT(core.EntryCount(), 0);
    EXPECT_LE(platform.reads, row.max_reads) << row.file;
  }
}

TEST(ArchiveListing, Zip64HundredThousandEntriesFromInfoZip) {
  FakePlatform platform;
  ArchiveCore core(platform);
  auto start = std::chrono::steady_clock::now();
  core.SetZipFileName(FixtureDir() + "/many.zip");
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("listing 100,000 entries: %lld ms\n", static_cast<long long>(ms.count()));
  std::ifstream list(FixtureDir() + "/many.list");
  std::vector<std::string> wanted;
  std::string line;
  while (std::getline(list, line)) wanted.push_back(line);
  ASSERT_EQ(wanted.size(), 100000u);
  EXPECT_EQ(Names(core), wanted);
  EXPECT_TRUE(platform.boxes.empty());
}

TEST(ArchiveListing, Zip64ExtraFieldGivesRealSizes) {
  std::string dir = TempFolder("zip64extra");
  TestEntry e{"huge.bin", "abc"};
  e.compressed_size_field = 0xFFFFFFFFu;
  e.uncompressed_size_field = 0xFFFFFFFFu;
  std::string extra;
  PutU16(extra, 0x5455);  // another field first
  PutU16(extra, 1);
  extra.push_back('x');
  PutU16(extra, 0x0001);
  PutU16(extra, 16);
  PutU32(extra, 0x40000000);  // 5 GiB uncompressed
  PutU32(extra, 1);
  PutU32(extra, 0x00001000);  // 4 GiB + 4 KiB compressed
  PutU32(extra, 1);
  e.extra = extra;
  WriteFileBytes(dir + "/z.zip", BuildZip({e}).bytes);
  FakePlatform platform;
  ArchiveCore core(platform);
  core.SetZipFileName(dir + "/z.zip");
  ASSERT_EQ(core.EntryCount(), 1);
  EXPECT_EQ(core.EntryList()[0].UncompressedSize, 0x140000000ull);
  EXPECT_EQ(core.EntryList()[0].CompressedSize, 0x100001000ull);
  EXPECT_EQ(core.EntryList()[0].RelativeOffset, 0u);
}

TEST(ArchiveListing, PaddingIsNotGarbage) {
  std::string dir = TempFolder("padding");
  std::string zip = BuildZip({{"a.txt", "a"}}).bytes;
  struct Row {
    const char* name;
    std::string tail;
    bool garbage;
  } rows[] = {
      {"zeros to a 512 multiple", std::string(512 - zip.size() % 512, '\0'), false},
      {"zeros past the multiple", std::string(512 - zip.size() % 512 + 1, '\0'), true},
      {"zeros then a byte", std::string(511 - zip.size() % 512, '\0') + "x", true},
      {"text", "garbage", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteFileBytes(dir + "/p.zip", zip + row.tail);
    FakePlatform platform;
    ArchiveCore core(platform);
    core.SetZipFileName(dir + "/p.zip");
    EXPECT_EQ(core.EntryCount(), 1);
    EXPECT_EQ(platform.boxes, row.garbage ? std::vector<std::string>{Text(10204)}
                                          : std::vector<std::string>{});
  }
}

// Every failure of a read: its box, its id and text, and the empty list and name it leaves.
TEST(ArchiveListing, ErrorsLeaveAnEmptyList) {
  BuiltZip good = BuildZip({{"a.txt", "alpha"}, {"b.txt", "beta"}});
  std::string central = CentralHeader({"a.txt", "alpha"}, 0);
  auto truncated_central = [&](size_t keep) {
    return good.bytes.substr(0, good.central_offset + keep) +
           EndRecord(0, 0, 2, static_cast<uint32_t>(keep), static_cast<uint32_t>(good.central_offset), 0);
  };
  auto one_header = [&](TestEntry e, uint16_t name_len, uint16_t extra_len, uint16_t comment_len) {
    std::string h = CentralHeader(e, 0).substr(0, 46);
    h[28] = static_cast<char>(name_len);
    h[29] = static_cast<char>(name_len >> 8);
    h[30] = static_cast<char>(extra_len);
    h[32] = static_cast<char>(comment_len);
    std::string rest = e.name;
    return h + rest + EndRecord(0, 0, 1, static_cast<uint32_t>(h.size() + rest.size()), 0, 0);
  };
  std::string span_start;
  PutU32(span_start, 0x08074B50);
  PutU32(span_start, 0x04034B50);
  span_start += std::string(40, 'x');
  struct Row {
    const char* name;
    std::string bytes;
    std::function<void(FakePlatform&)> setup;
    int id;
    std::string text;
  } rows[] = {
      {"text file", std::string(300, 't'), nullptr, 11036, Text(11036)},
      {"shorter than an end record", "PK\5\6", nullptr, 11036, Text(11036)},
      {"empty file", "", nullptr, 11036, Text(11036)},
      {"nth disk of a backup set", std::string(300, 't'),
       [](FakePlatform& p) { p.label = "PKBACK# 003"; }, 11038,
       "This is the 3th disk in a backup set,\nplease insert the last disk of this set"},
      {"label with no number", std::string(300, 't'), [](FakePlatform& p) { p.label = "PKBACK# abc"; },
       11036, Text(11036)},
      {"first disk of a backup set", span_start, [](FakePlatform& p) { p.label = "PKBACK# 001"; }, 11037,
       Text(11037)},
      {"first file of a set", span_start, nullptr, 11045, Text(11045)},
      {"central directory cut short", truncated_central(central.size() + 10), nullptr, 11013, Text(11013)},
      {"count beyond the records", good.bytes.substr(0, good.bytes.size() - 22) +
                                       EndRecord(0, 0, 3, static_cast<uint32_t>(good.central_size),
                                                 static_cast<uint32_t>(good.central_offset), 0),
       nullptr, 11013, Text(11013)},
      {"wrong central signature", std::string(46, 'j') + EndRecord(0, 0, 1, 46, 0, 0), nullptr, 11015,
       Text(11015)},
      {"name past the end", one_header({"abc", ""}, 400, 0, 0), nullptr, 11017, Text(11017)},
      {"extra field past the end", one_header({"abc", ""}, 3, 300, 0), nullptr, 10201, Text(10201)},
      {"comment past the end", one_header({"abc", ""}, 3, 0, 300), nullptr, 11022, Text(11022)},
      {"directory larger than the file", EndRecord(0, 0, 1, 5000, 0, 0), nullptr, 10201, Text(10201)},
      {"not a drive letter", good.bytes, [](FakePlatform& p) { p.drive_prefix = "1:"; }, 11003, ""},
      {"drive not in the mask", good.bytes, [](FakePlatform& p) { p.drive_prefix = "Q:"; }, 11004, ""},
      {"volume not readable", good.bytes, [](FakePlatform& p) { p.volume_readable = false; }, 11004, ""},
      {"size unknown on a local drive", good.bytes, [](FakePlatform& p) { p.size_known = false; }, 11004, ""},
  };
  std::string dir = TempFolder("errors");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::string path = dir + "/x.zip";
    WriteFileBytes(path, row.bytes);
    FakePlatform platform;
    if (row.setup) row.setup(platform);
    ArchiveCore core(platform);
    core.SetZipFileName(path);
    std::string text = row.text;
    if (text.empty()) {  // drive errors name the root
      std::string root = platform.FullPath(path).substr(0, 2) + "\\";
      text = row.id == 11003 ? "Not a valid drive: " + root : "Drive " + root + " is NOT defined";
    }
    ASSERT_FALSE(platform.boxes.empty());
    EXPECT_EQ(platform.boxes.back(), text);
    EXPECT_EQ(core.ErrorCode(), row.id);
    EXPECT_EQ(core.LastMessage(), text);
    EXPECT_EQ(core.EntryCount(), 0);
    EXPECT_TRUE(core.EntryList().empty());
    EXPECT_EQ(core.ZipFileName(), "");
    EXPECT_EQ(core.ArchiveStart(), 0u);
  }
}

TEST(ArchiveListing, QuietCases) {
  std::string dir = TempFolder("quiet");
  FakePlatform platform;
  ArchiveCore core(platform);
  int updates = 0;
  core.OnDirUpdate = [&] { ++updates; };
  // A missing file is no error: nothing shown, the name kept, nothing listed.
  core.SetZipFileName(dir + "/absent.zip");
  EXPECT_EQ(core.ZipFileName(), dir + "/absent.zip");
  EXPECT_EQ(core.EntryCount(), 0);
  EXPECT_EQ(updates, 1);
  // Only an end record: no entries, start 0, no message.
  WriteFileBytes(dir + "/empty.zip", EndRecord(0, 0, 0, 0, 0, 0));
  core.SetZipFileName(dir + "/empty.zip");
  EXPECT_EQ(core.ZipFileName(), dir + "/empty.zip");
  EXPECT_EQ(core.EntryCount(), 0);
  EXPECT_EQ(core.ArchiveStart(), 0u);
  // Unattended failures are recorded, not shown.
  core.Unattended = true;
  WriteFileBytes(dir + "/text.zip", "plain text");
  core.SetZipFileName(dir + "/text.zip");
  EXPECT_EQ(core.ErrorCode(), 11036);
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(updates, 3);
}

TEST(ArchiveListing, CodePageRule) {
  const std::string oem_name = "m\x81nchen/\x94l.txt";  // CP437 bytes
  const std::string converted = "m\xFCnchen\\\xF6l.txt";
  const std::string raw = "m\x81nchen\\\x94l.txt";
  struct Row {
    uint8_t host, made_by;
    uint16_t flags;
    TCodePage page;
    std::string name, listed;
  } rows[] = {
      {0, 20, 0, cpAuto, oem_name, converted},       // DOS
      {6, 20, 0, cpAuto, oem_name, converted},       // OS/2 HPFS
      {11, 50, 0, cpAuto, oem_name, converted},      // NTFS made by 5.0
      {11, 20, 0, cpAuto, oem_name, raw},            // NTFS otherwise
      {3, 30, 0, cpAuto, oem_name, raw},             // Unix
      {3, 30, 0, cpOEM, oem_name, converted},
      {0, 20, 0, cpNone, oem_name, raw},
      {0, 20, 0x800, cpAuto, "caf\xC3\xA9/\xE6\x97\xA5.txt", "caf\xE9\\?.txt"},  // UTF-8 flag
  };
  std::string dir = TempFolder("codepage");
  for (const Row& row : rows) {
    TestEntry e{row.name, "x"};
    e.host = row.host;
    e.made_by = row.made_by;
    e.flags = row.flags;
    e.comment = "c\x84";
    WriteFileBytes(dir + "/c.zip", BuildZip({e}).bytes);
    FakePlatform platform;
    ArchiveCore core(platform);
    core.CodePage = row.page;
    core.SetZipFileName(dir + "/c.zip");
    ASSERT_EQ(core.EntryCount(), 1);
    EXPECT_EQ(core.EntryList()[0].FileName, row.listed) << int(row.host) << " " << int(row.made_by);
    bool converts = row.listed == converted;
    if (!(row.flags & 0x800)) {
      EXPECT_EQ(core.EntryList()[0].FileComment, converts ? "c\xE4" : "c\x84");
    }
  }
}

TEST(ArchiveListing, NamesDifferingInCaseAreBothListedInOrder) {
  FakePlatform platform;
  ArchiveCore core(platform);
  core.SetZipFileName(FixtureDir() + "/case.zip");
  EXPECT_EQ(Names(core), (std::vector<std::string>{"Readme.TXT", "readme.txt"}));
}

std::string LastSpan() {
  std::ifstream in(FixtureDir() + "/span_last.txt");
  std::string name;
  std::getline(in, name);
  return name;
}

TEST(ArchiveVolumes, NumberedFilesOnAFixedDrive) {
  FakePlatform platform;
  ArchiveCore core(platform);
  core.SetZipFileName(FixtureDir() + "/" + LastSpan());
  EXPECT_TRUE(platform.boxes.empty());
  EXPECT_EQ(core.EntryCount(), 61);
  EXPECT_EQ(core.EntryList().back().FileName, "item_59_" + std::string(50, 'x') + ".txt");
  EXPECT_TRUE(core.MultiVolume());
  EXPECT_EQ(core.LastVolume(), 2);
  EXPECT_TRUE(platform.disk_questions.empty());
  EXPECT_EQ(VolumeFileName("C:\\sets\\span003.zip", 0), "C:\\sets\\span001.zip");
  EXPECT_EQ(VolumeFileName("C:\\sets\\a.b\\x12.zip", 11), "C:\\sets\\a.b\\012.zip");
  EXPECT_EQ(VolumeFileName("C:\\sets\\ab", 0), "C:\\sets\\ab");
}

// A directory split between two volumes at any byte, even inside a record's header, name,
// extra field or comment, lists the same as the directory in one piece.
TEST(ArchiveVolumes, DirectorySplitAtAnyByteListsTheSame) {
  std::vector<TestEntry> entries = {{"a/first.txt", "1"},
                                    {"second-with-a-longer-name.dat", "22"},
                                    {"folder/", ""},
                                    {"caf\xC3\xA9.txt", "4444"},
                                    {"oem\x84.txt", "55555"}};
  entries[1].extra = std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
  entries[1].comment = "a comment";
  entries[3].flags = 0x0800;  // UTF-8
  entries[3].comment = "\xC3\xBC";
  entries[4].extra = std::string("\x01\x00\x08\x00\x00\x00\x00\x00\x01\x00\x00\x00", 12);
  entries[4].uncompressed_size_field = 0xFFFFFFFFu;  // the real size is in the Zip64 field
  BuiltZip zip = BuildZip(entries);
  const std::string directory_end = zip.bytes.substr(0, zip.central_offset + zip.central_size);
  const std::string end = EndRecord(1, 0, static_cast<uint16_t>(entries.size()),
                                    static_cast<uint32_t>(zip.central_size),
                                    static_cast<uint32_t>(zip.central_offset), 0);
  struct Listed {
    std::string name, comment;
    std::vector<uint8_t> extra;
    uint64_t size;
    bool operator==(const Listed& o) const {
      return name == o.name && comment == o.comment && extra == o.extra && size == o.size;
    }
  };
  auto listing = [](const ArchiveCore& core) {
    std::vector<Listed> out;
    for (const DirEntry& e : core.EntryList())
      out.push_back({e.FileName, e.FileComment, e.ExtraData, e.UncompressedSize});
    return out;
  };
  const std::vector<Listed> wanted = {{"a\\first.txt", "", {}, 1},
                                      {"second-with-a-longer-name.dat", "a comment",
                                       {0x55, 0x54, 0x05, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05}, 2},
                                      {"caf\xE9.txt", "\xFC", {}, 4},
                                      {"oem\xE4.txt", "",
                                       {0x01, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
                                       uint64_t(1) << 32}};
  std::string dir = TempFolder("split-anywhere");
  for (uint64_t cut = zip.central_offset; cut <= zip.central_offset + zip.central_size; ++cut) {
    SCOPED_TRACE("volume 1 ends at byte " + std::to_string(cut));
    WriteFileBytes(dir + "/cut001.zip", directory_end.substr(0, cut));
    WriteFileBytes(dir + "/cut002.zip", directory_end.substr(cut) + end);
    FakePlatform platform;
    ArchiveCore core(platform);
    core.SetZipFileName(dir + "/cut002.zip");
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(listing(core) == wanted);
    EXPECT_EQ(core.SkippedDirectoryEntries(), 1);
  }
}

TEST(ArchiveVolumes, MissingNumberedVolumeFailsInsteadOfAskingForever) {
  std::string dir = TempFolder("missing-volume");
  std::string last = LastSpan();
  WriteFileBytes(dir + "/" + last, ReadFileBytes(FixtureDir() + "/" + last));
  FakePlatform platform;
  ArchiveCore core(platform);
  core.SetZipFileName(dir + "/" + last);
  // The central directory starts on an earlier volume that is not there.
  EXPECT_EQ(platform.boxes, std::vector<std::string>{Text(11001)});
  EXPECT_EQ(core.EntryCount(), 0);
}

// A set on removable disks: the same file name on each disk, labelled "PKBACK# 00n".
TEST(ArchiveVolumes, RemovableDisksAreAskedFor) {
  std::string last = LastSpan();
  int volumes = std::stoi(last.substr(4, 3));
  ASSERT_EQ(volumes, 3);
  struct Row {
    const char* name;
    std::deque<std::string> script;
    bool unattended;
    int error;  // 0: listed
    size_t questions;
  } rows[] = {
      {"right disks", {"PKBACK# 002", "PKBACK# 003"}, false, 0, 2},
      {"a wrong disk is asked again", {"PKBACK# 001", "PKBACK# 002", "PKBACK# 003"}, false, 0, 3},
      {"cancel", {"<cancel>"}, false, 11007, 1},
      {"unattended", {}, true, 11025, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    platform.kind = DriveKind::Removable;
    platform.drive_prefix = "A:";
    platform.drives = 1;
    for (int v = 1; v <= volumes; ++v) {
      char label[24];
      std::snprintf(label, sizeof label, "PKBACK# %03d", v);
      char file[32];
      std::snprintf(file, sizeof file, "/span%03d.zip", v);
      platform.disk_files[label] = FixtureDir() + file;
    }
    platform.inserted = "PKBACK# 003";
    platform.disk_script = row.script;
    ArchiveCore core(platform);
    core.Unattended = row.unattended;
    core.SetZipFileName("/floppy/span.zip");
    EXPECT_EQ(platform.disk_questions.size(), row.questions);
    if (!platform.disk_questions.empty()) {
      EXPECT_EQ(platform.disk_questions[0].substr(0, 32), "Please insert disk volume 2 of 3");
    }
    if (row.error == 0) {
      EXPECT_EQ(core.EntryCount(), 61);
      EXPECT_TRUE(platform.boxes.empty());
      ASSERT_FALSE(platform.disk_questions.empty());
      EXPECT_EQ(platform.disk_questions[0], "Please insert disk volume 2 of 3\nin drive: A:\\");
    } else {
      EXPECT_EQ(core.ErrorCode(), row.error);
      EXPECT_EQ(core.LastMessage(), Text(row.error));
      EXPECT_EQ(core.EntryCount(), 0);
    }
  }
}

// --- the library's callback ---

struct Record {
  uint8_t bytes[unzip::kCallbackRecordSize] = {};
  Record(int action, int code, int size, const std::string& text) {
    unzip::RecordSet(bytes, unzip::kCallbackAction, static_cast<uint32_t>(action));
    unzip::RecordSet(bytes, unzip::kCallbackErrorCode, static_cast<uint32_t>(code));
    unzip::RecordSet(bytes, unzip::kCallbackSize, static_cast<uint32_t>(size));
    std::memcpy(bytes + unzip::kCallbackText, text.data(), std::min<size_t>(text.size(), 511));
  }
  int32_t Field(size_t offset) const { return static_cast<int32_t>(unzip::RecordGet(bytes, offset)); }
  std::string Text() const { return reinterpret_cast<const char*>(bytes + unzip::kCallbackText); }
};

TEST(ArchiveCallback, PasswordRequests) {
  struct Row {
    const char* name;
    int confirm_bit, count_in;
    std::deque<std::string> answers;
    int flag_out, count_out;
    std::string password_out;
    size_t prompts;
    std::vector<std::string> boxes;
  } rows[] = {
      {"one prompt", 0, 3, {"secret"}, 1, 3, "secret", 1, {}},
      {"cancelled", 0, 3, {}, 0, 0, "", 1, {}},
      {"count capped", 0, 40, {"pw"}, 1, 15, "pw", 1, {}},
      {"negative count", 0, -5, {"pw"}, 1, 0, "pw", 1, {}},
      {"answer cut to 80", 0, 1, {std::string(100, 'p')}, 1, 1, std::string(80, 'p'), 1, {}},
      {"confirmed", 1, 2, {"abc", "abc"}, 1, 2, "abc", 2, {}},
      {"mismatch in case", 1, 2, {"abc", "ABC"}, 0, 0, "", 2, {Text(10104)}},
      {"second cancelled", 1, 2, {"abc"}, 0, 0, "", 2, {}},
      {"first empty", 1, 2, {""}, 0, 0, "", 1, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    platform.prompt_answers = row.answers;
    ArchiveCore core(platform);
    core.SetPassword("kept");
    Record r(unzip::kActionPassword, row.confirm_bit, row.count_in, "dir/file.txt  \r\n");
    EXPECT_EQ(core.HandleCallback(r.bytes), 0);
    EXPECT_EQ(r.Field(unzip::kCallbackErrorCode), row.flag_out);
    EXPECT_EQ(r.Field(unzip::kCallbackSize), row.count_out);
    if (row.flag_out) {
      EXPECT_EQ(r.Text(), row.password_out);
    }
    ASSERT_EQ(platform.prompts.size(), row.prompts);
    EXPECT_EQ(platform.prompts[0], std::make_pair(std::string("Password"), std::string("Enter Password ")));
    if (row.prompts > 1) {
      EXPECT_EQ(platform.prompts[1].second, "Confirm Password ");
    }
    EXPECT_EQ(platform.boxes, row.boxes);
    EXPECT_EQ(core.Password(), "kept");  // an answer is for this request only
  }
}

TEST(ArchiveCallback, PasswordHandlerAndUnattended) {
  FakePlatform platform;
  ArchiveCore core(platform);
  std::string seen_name;
  core.OnPasswordError = [&](std::string& password, const std::string& name, int& count) {
    seen_name = name;
    password = "fromhandler";
    count = 99;
  };
  Record r(unzip::kActionPassword, 0, 2, "a/b.txt");
  core.HandleCallback(r.bytes);
  EXPECT_EQ(seen_name, "a\\b.txt");
  EXPECT_EQ(r.Text(), "fromhandler");
  EXPECT_EQ(r.Field(unzip::kCallbackSize), 15);
  EXPECT_TRUE(platform.prompts.empty());

  core.OnPasswordError = nullptr;
  core.Unattended = true;
  for (int confirm : {0, 1}) {
    Record u(unzip::kActionPassword, confirm, 3, "x");
    core.HandleCallback(u.bytes);
    EXPECT_EQ(u.Field(unzip::kCallbackErrorCode), 0);
    EXPECT_EQ(u.Field(unzip::kCallbackSize), 0);
    EXPECT_EQ(core.ErrorCode(), confirm ? 10150 : 10151);
    EXPECT_EQ(core.LastMessage(), Text(confirm ? 10150 : 10151));
  }
  EXPECT_TRUE(platform.prompts.empty());
  EXPECT_TRUE(platform.boxes.empty());
}

TEST(ArchiveCallback, OtherActionsMessagesAndCancel) {
  FakePlatform platform;
  ArchiveCore core(platform);
  std::vector<std::string> progress;
  core.OnProgress = [&](TProgressType t, const std::string& name, int64_t size) {
    progress.push_back(std::to_string(t) + ":" + name + ":" + std::to_string(size));
  };
  Record newfile(unzip::kActionNewFile, 0, 1234, "docs/a.htm \t");
  EXPECT_EQ(core.HandleCallback(newfile.bytes), 0);
  Record message(unzip::kActionMessage, 0x1209, 0, "bad CRC in a.htm\r\n");
  core.HandleCallback(message.bytes);
  EXPECT_EQ(core.LastMessage(), "bad CRC in a.htm");
  EXPECT_EQ(core.ErrorCode(), 0x09);
  EXPECT_EQ(core.FullErrorCode(), 0x1209);
  Record crc(unzip::kActionCrcError, 1, 2, "a.htm");
  core.HandleCallback(crc.bytes);
  EXPECT_EQ(crc.Field(unzip::kCallbackErrorCode), 2);
  Record total(unzip::kActionTotalFiles, 0, 7, "");
  core.HandleCallback(total.bytes);
  EXPECT_EQ(progress, (std::vector<std::string>{"0:docs\\a.htm:1234", "3::7"}));
  EXPECT_TRUE(platform.boxes.empty());
  // A full text field without terminator stays inside its 512 bytes.
  Record full(unzip::kActionMessage, 0, 0, "");
  std::memset(full.bytes + unzip::kCallbackText, 'z', unzip::kCallbackTextSize);
  core.HandleCallback(full.bytes);
  EXPECT_EQ(core.LastMessage(), std::string(512, 'z'));
  // Cancel: the pending request is answered with stop; messages are let through each time.
  int pumps = platform.pumps;
  core.Cancel();
  Record progress_record(unzip::kActionProgress, 0, 10, "");
  EXPECT_EQ(core.HandleCallback(progress_record.bytes), -1);
  EXPECT_EQ(platform.pumps, pumps + 1);
}

TEST(ArchiveComponent, PasswordRequestCountIsCapped) {
  FakePlatform platform;
  ArchiveCore core(platform);
  EXPECT_EQ(core.PasswordReqCount(), 1);
  core.SetPasswordReqCount(40);
  EXPECT_EQ(core.PasswordReqCount(), 15);
  core.SetPasswordReqCount(3);
  EXPECT_EQ(core.PasswordReqCount(), 3);
  core.SetPassword(std::string(300, 'k'));
  EXPECT_EQ(core.Password().size(), 255u);
}

// While the library has the block's address the stream neither frees nor moves it, whoever
// asks; a block sized for overwriting is fresh, not a copy.
TEST(EntryStream, HeldBlockStaysWhereItIs) {
  TEntryStream s;
  ASSERT_TRUE(s.SetSizeForOverwrite(64));
  EXPECT_EQ(s.Size(), 64u);
  EXPECT_EQ(s.Position(), 0u);
  EXPECT_TRUE(s.OwnsBlock());
  std::memset(s.Memory(), 'b', 64);
  void* block = s.Memory();
  s.Hold();
  char outside[4] = {};
  s.Clear();
  EXPECT_FALSE(s.SetSize(128));
  EXPECT_TRUE(s.SetSize(64));  // the size it has
  EXPECT_FALSE(s.SetSizeForOverwrite(32));
  s.AdoptBlock(outside, sizeof outside);
  s.Seek(62, SeekOrigin::Begin);
  EXPECT_EQ(s.Write("xyz", 3), 0u);  // would grow
  s.Seek(0, SeekOrigin::Begin);
  EXPECT_EQ(s.Write("a", 1), 1u);    // in place
  EXPECT_EQ(s.Memory(), block);
  EXPECT_EQ(s.Size(), 64u);
  EXPECT_EQ(static_cast<const char*>(s.Memory())[1], 'b');
  s.LetGo();
  EXPECT_FALSE(s.SetSizeForOverwrite(0x80000000ull));
  EXPECT_EQ(s.Size(), 64u);
  s.Clear();
  EXPECT_EQ(s.Memory(), nullptr);
}

TEST(EntryStream, BlockSizeReadSeekAdopt) {
  TEntryStream s;
  EXPECT_EQ(s.Size(), 0u);
  EXPECT_EQ(s.Memory(), nullptr);
  ASSERT_TRUE(s.SetSize(10));
  std::memcpy(s.Memory(), "0123456789", 10);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(s.Seek(-2, SeekOrigin::End), 8);
  EXPECT_EQ(s.Read(buf, 8), 2u);
  EXPECT_EQ(s.Seek(-1, SeekOrigin::Begin), -1);
  EXPECT_EQ(s.Position(), 10u);
  EXPECT_EQ(s.Seek(INT64_MAX, SeekOrigin::Current), -1);
  // Sizes that cannot be held are refused and leave the stream as it was.
  EXPECT_FALSE(s.SetSize(0x140000000ull));
  EXPECT_FALSE(s.SetSize(0x80000000ull));
  EXPECT_EQ(s.Size(), 10u);
  EXPECT_EQ(std::memcmp(s.Memory(), "0123456789", 10), 0);
  s.Seek(0, SeekOrigin::End);
  EXPECT_EQ(s.Write("ab", 2), 2u);
  EXPECT_EQ(s.Size(), 12u);
  s.Clear();
  EXPECT_EQ(s.Size(), 0u);
  EXPECT_EQ(s.Memory(), nullptr);
  char outside[5] = {'h', 'e', 'l', 'l', 'o'};
  s.AdoptBlock(outside, 5);
  EXPECT_FALSE(s.OwnsBlock());
  EXPECT_EQ(s.Memory(), outside);
  EXPECT_EQ(s.Read(buf, 8), 5u);
  ASSERT_TRUE(s.SetSize(6));  // growing copies into an owned block; the outside one is untouched
  EXPECT_TRUE(s.OwnsBlock());
  EXPECT_NE(s.Memory(), outside);
  EXPECT_EQ(std::memcmp(s.Memory(), "hello\0", 6), 0);
  s.AdoptBlock(outside, 5);
  s.Clear();  // does not free what it does not own (ASan would report it)
  EXPECT_EQ(outside[0], 'h');
}

}  // namespace
}  // namespace vellumo::test

namespace vellumo::test {
namespace {

std::string RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int status = ::pclose(pipe);
  return status == 0 ? output : "exit " + std::to_string(status) + ": " + output;
}

// The joined set is one ordinary archive: unzip lists it like the unsplit original and finds
// every entry's CRC right.
TEST(ArchiveVolumes, JoinedSetIsAValidArchive) {
  struct Row {
    const char* name;
    DriveKind kind;
    std::deque<std::string> script;
  } rows[] = {
      {"numbered files", DriveKind::Fixed, {}},
      {"removable disks", DriveKind::Removable,
       // Listing: the directory's two volumes. Joining: the last disk, the directory again,
       // then the volumes with entries from the first on.
       {"PKBACK# 002", "PKBACK# 003", "PKBACK# 003", "PKBACK# 002", "PKBACK# 003", "PKBACK# 001",
        "PKBACK# 002"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    FakePlatform platform;
    platform.kind = row.kind;
    std::string name = FixtureDir() + "/" + LastSpan();
    if (row.kind == DriveKind::Removable) {
      platform.drive_prefix = "A:";
      platform.drives = 1;
      for (int v = 1; v <= 3; ++v) {
        char label[24], file[32];
        std::snprintf(label, sizeof label, "PKBACK# %03d", v);
        std::snprintf(file, sizeof file, "/span%03d.zip", v);
        platform.disk_files[label] = FixtureDir() + file;
      }
      platform.inserted = "PKBACK# 003";
      platform.disk_script = row.script;
      name = "/floppy/span.zip";
    }
    ArchiveCore core(platform);
    core.SetZipFileName(name);
    ASSERT_EQ(core.EntryCount(), 61);
    std::string folder = TempFolder("join");
    std::string joined;
    ASSERT_TRUE(core.JoinVolumes(folder, &joined));
    EXPECT_TRUE(platform.boxes.empty());
    EXPECT_TRUE(platform.disk_script.empty());
    if (row.kind == DriveKind::Removable) {
      EXPECT_EQ(platform.disk_questions[2], "Please insert last disk\nin drive: A:\\ [stop]");
    }
    EXPECT_EQ(RunCommand("unzip -Z1 '" + joined + "'"), RunCommand("unzip -Z1 '" + FixtureDir() + "/span_whole.zip'"));
    std::string test = RunCommand("unzip -tq '" + joined + "' 2>&1");
    EXPECT_NE(test.find("No errors detected"), std::string::npos) << test;
    // The joined file is read back as a one-volume archive at offset 0.
    FakePlatform plain;
    ArchiveCore again(plain);
    again.SetZipFileName(joined);
    EXPECT_EQ(again.EntryCount(), 61);
    EXPECT_EQ(again.ArchiveStart(), 0u);
    EXPECT_TRUE(plain.boxes.empty());
  }
}

TEST(ArchiveVolumes, JoinFailuresAreReported) {
  std::string dir = TempFolder("join-fail");
  std::string last = LastSpan();
  for (int v = 2; v <= 3; ++v) {
    char file[32];
    std::snprintf(file, sizeof file, "/span%03d.zip", v);
    WriteFileBytes(dir + file, ReadFileBytes(FixtureDir() + file));
  }
  // Volume 0 is not the start of a set.
  WriteFileBytes(dir + "/span001.zip", std::string(65536, 'n'));
  FakePlatform platform;
  ArchiveCore core(platform);
  core.SetZipFileName(dir + "/" + last);
  ASSERT_EQ(core.EntryCount(), 61);
  std::string joined;
  EXPECT_FALSE(core.JoinVolumes(dir, &joined));
  EXPECT_EQ(platform.boxes, std::vector<std::string>{Text(11031)});
  EXPECT_EQ(RunCommand("ls '" + dir + "' | grep -c '^zip' || true"), "0\n");  // the output was removed
}

}  // namespace
}  // namespace vellumo::test

namespace vellumo::test {
namespace {

// A disk handler that keeps answering "go on" with the wrong disk in the drive ends as a
// cancel instead of asking forever.
TEST(ArchiveVolumes, EndlessDiskHandlerEndsAsCancel) {
  FakePlatform platform;
  platform.kind = DriveKind::Removable;
  platform.drive_prefix = "A:";
  platform.drives = 1;
  platform.disk_files["PKBACK# 003"] = FixtureDir() + "/span003.zip";
  platform.inserted = "PKBACK# 003";
  ArchiveCore core(platform);
  int asked = 0;
  core.OnGetNextDisk = [&](int wanted, int last, const std::string& drive) {
    EXPECT_EQ(wanted, 2);
    EXPECT_EQ(last, 3);
    EXPECT_EQ(drive, "A:\\");
    ++asked;
    return true;
  };
  core.SetZipFileName("/floppy/span.zip");
  EXPECT_EQ(asked, 100);
  EXPECT_EQ(core.ErrorCode(), 11007);
  EXPECT_EQ(platform.boxes, std::vector<std::string>{"User canceled operation"});
  EXPECT_TRUE(platform.disk_questions.empty());
}

// Hostile Zip64 end records: counts, sizes and offsets far beyond the file.
TEST(ArchiveListing, HostileZip64EndRecords) {
  auto zip64 = [](uint64_t total, uint64_t size, uint64_t offset) {
    std::string end;
    PutU32(end, 0x06064B50);
    PutU32(end, 44);
    PutU32(end, 0);
    PutU32(end, 0x002D002D);
    PutU32(end, 0);
    PutU32(end, 0);
    for (uint64_t v : {total, total, size, offset}) {
      PutU32(end, static_cast<uint32_t>(v));
      PutU32(end, static_cast<uint32_t>(v >> 32));
    }
    std::string locator;
    PutU32(locator, 0x07064B50);
    PutU32(locator, 0);
    PutU32(locator, 0);
    PutU32(locator, 0);
    PutU32(locator, 1);
    return end + locator + EndRecord(0xFFFF, 0xFFFF, 0xFFFF, 0xFFFFFFFFu, 0xFFFFFFFFu, 0);
  };
  struct Row {
    const char* name;
    std::string bytes;
    std::vector<std::string> boxes;
  } rows[] = {
      {"count of 2^60", zip64(1ull << 60, 0, 0), {Text(11015)}},
      {"size of 2^63", zip64(1, 1ull << 63, 0), {Text(10203), Text(10201)}},
      {"size of all ones", zip64(1, UINT64_MAX, 0), {Text(10203), Text(10201)}},
      {"offset of all ones", zip64(1, 0, UINT64_MAX), {Text(10203), Text(11015)}},
  };
  std::string dir = TempFolder("zip64-hostile");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteFileBytes(dir + "/h.zip", row.bytes);
    FakePlatform platform;
    ArchiveCore core(platform);
    core.SetZipFileName(dir + "/h.zip");
    EXPECT_EQ(platform.boxes, row.boxes);
    EXPECT_EQ(core.EntryCount(), 0);
  }
}

}  // namespace
}  // namespace vellumo::test

namespace vellumo::test {
namespace {

// Every single-byte corruption of a small archive either lists it or fails with one of the
// reader's own messages, leaving an empty list; never a crash (the sanitizer build runs this).
TEST(ArchiveListing, EveryCorruptedByteIsHandled) {
  const std::string original = ReadFileBytes(FixtureDir() + "/case.zip");
  ASSERT_GT(original.size(), 100u);
  std::set<std::string> known;
  for (const ExpectedMessage& m : kExpectedMessages) known.insert(m.text);
  std::string dir = TempFolder("corrupt");
  int listed = 0, failed = 0;
  for (size_t at = 0; at < original.size(); ++at) {
    for (uint8_t value : {uint8_t(0x00), uint8_t(0xFF), uint8_t(original[at] ^ 0x80)}) {
      std::string bytes = original;
      bytes[at] = static_cast<char>(value);
      WriteFileBytes(dir + "/c.zip", bytes);
      FakePlatform platform;
      ArchiveCore core(platform);
      core.SetZipFileName(dir + "/c.zip");
      for (const std::string& box : platform.boxes)
        EXPECT_TRUE(known.count(box)) << "offset " << at << ": " << box;
      EXPECT_LE(platform.boxes.size(), 3u);
      if (core.ZipFileName().empty()) {
        EXPECT_EQ(core.EntryCount(), 0);
        EXPECT_TRUE(core.EntryList().empty());
        ++failed;
      } else {
        ++listed;
      }
    }
  }
  EXPECT_GT(listed, 0);
  EXPECT_GT(failed, 0);
}

}  // namespace
}  // namespace vellumo::test

namespace vellumo::test {
namespace {

TEST(ArchiveListing, DriveRoots) {
  EXPECT_EQ(DriveRootOf("C:\\data\\a.zip"), "C:\\");
  EXPECT_EQ(DriveRootOf("\\\\server\\share\\dir\\a.zip"), "\\\\server\\share\\");
  EXPECT_EQ(DriveRootOf("\\\\server"), "\\\\server\\");
  EXPECT_EQ(DriveRootOf("relative\\a.zip"), "");
  // A network share needs a readable volume but no known size.
  FakePlatform platform;
  platform.full_path = "\\\\server\\share\\plain.zip";
  platform.size_known = false;
  platform.drives = 0;
  ArchiveCore core(platform);
  core.SetZipFileName(FixtureDir() + "/plain.zip");
  EXPECT_EQ(core.EntryCount(), 6);
  EXPECT_EQ(core.DriveRoot(), "\\\\server\\share\\");
  EXPECT_TRUE(platform.boxes.empty());
  platform.volume_readable = false;
  core.SetZipFileName(FixtureDir() + "/plain.zip");
  EXPECT_EQ(platform.boxes, std::vector<std::string>{"Drive \\\\server\\share\\ is NOT defined"});
}

}  // namespace
}  // namespace vellumo::test
