// Writer and reader of the whole installer layout: positions of every record, round trips
// of every record kind, the self-check value, the uninstaller image, and damaged packages.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"
#include "installer/package/package_writer.h"
#include "installer/package/scramble.h"

namespace hollin {
namespace {

constexpr size_t kStubSize = 4096;

std::vector<uint8_t> FakeStub() {
  std::vector<uint8_t> stub(kStubSize);
  for (size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<uint8_t>(i * 7);
  uint8_t marker[kPackageOffsetMarkerLength];
  CopyPackageOffsetMarker(marker);
  std::copy(marker, marker + sizeof marker, stub.begin() + 1000);
  StampPackageOffset(stub.data(), stub.size(), kStubSize);
  return stub;
}

std::string Content(size_t n, unsigned seed, bool text) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = text ? static_cast<char>('a' + rng() % 20) : static_cast<char>(rng());
  return s;
}

struct Built {
  std::vector<uint8_t> image;
  InstallerSummary summary;
  std::vector<std::string> contents;
};

// A package shaped like the shipped one: four files, uninstall key, licence, default
// folder, an any-file verb and a desktop shortcut.
PackagePlan ExamplePlan() {
  PackagePlan plan;
  plan.title_colour = "clwhite";
  plan.gradient_r = "999";
  plan.gradient_g = "128";
  plan.gradient_b = "064";
  plan.self_check_on = true;
  plan.has_uninstall_key = true;
  plan.uninstall_key = "Vellumo";
  plan.has_licence = true;
  plan.licence_text = Content(632, 9, true);
  plan.display_name = "Vellumo 1.0 ";  // 12 bytes; trimmed when read
  plan.maker_notice = std::string(35, 'm');
  plan.has_default_folder = true;
  plan.default_folder = "Vellumo";
  plan.actions.any_file_verb.present = true;
  plan.actions.any_file_verb.verb = "Vellumo";
  plan.actions.any_file_verb.program = "Vellumo.exe";
  plan.actions.desktop_shortcut.present = true;
  plan.actions.desktop_shortcut.link_name = "Vellumo";
  plan.actions.desktop_shortcut.program = "Vellumo.exe";
  return plan;
}

Built Build(const PackagePlan& plan, const std::vector<std::pair<std::string, std::string>>& files) {
  Built b;
  std::vector<PackedFile> packed;
  for (const auto& f : files) {
    PackedFile p;
    EXPECT_TRUE(PackFile(f.first, f.second.data(), f.second.size(), 9, &p));
    packed.push_back(std::move(p));
    b.contents.push_back(f.second);
  }
  MemoryStream out;
  std::string error;
  EXPECT_TRUE(WriteInstaller(out, FakeStub(), plan, packed, &b.summary, &error)) << error;
  b.image = out.bytes();
  return b;
}

std::vector<std::pair<std::string, std::string>> ExampleFiles() {
  return {{"VUnzip.dll", Content(122368, 1, false)},
          {"Vellumo.exe", Content(212480, 2, false)},
          {"license.txt", Content(632, 3, true)},
          {"help.txt", Content(1019, 4, true)}};
}

TEST(Layout, ExampleLikePackageParsesToItsPositions) {
  PackagePlan plan = ExamplePlan();
  Built b = Build(plan, ExampleFiles());
  MemoryStream s(b.image);

  StubFields stub;
  ASSERT_TRUE(ReadStubFields(s, &stub));
  EXPECT_EQ(stub.total_unpacked_size, 336499u);
  EXPECT_EQ(stub.uninstaller, 0);
  EXPECT_EQ(stub.no_view, 0);
  // The self-check value is the CRC of bytes 93 to the end.
  EXPECT_EQ(stub.self_check_value, StreamCrcTextFrom(s, kSelfCheckStartOffset));
  EXPECT_EQ(stub.self_check_value, b.summary.self_check_value);
  uint32_t stamped = 0;
  ASSERT_TRUE(FindStampedPackageOffset(b.image.data(), kStubSize, &stamped, nullptr));
  EXPECT_EQ(stamped, kStubSize);

  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(s, kStubSize, &h));
  const uint64_t o = kStubSize;
  // Positions as in the example table; only the licence block's length is our own.
  const uint64_t licence_n = h.licence_block.declared_length;
  const uint64_t shift = 4 + licence_n;  // example: 4 + 376 = 380, record 13 at 416
  struct Pos {
    const char* record;
    uint64_t actual, expected;
  };
  const Pos positions[] = {
      {"1", h.title_colour.position, o + 0},
      {"2", h.gradient_r.position, o + 8},
      {"3", h.gradient_g.position, o + 12},
      {"4", h.gradient_b.position, o + 16},
      {"5-8", h.option_bytes_position, o + 20},
      {"9", h.reserved_flag_position, o + 24},
      {"10", h.registry_import_position, o + 25},
      {"11", h.uninstall_key_flag_position, o + 26},
      {"11a", h.uninstall_key.position, o + 27},
      {"12", h.licence_flag_position, o + 35},
      {"12a", h.licence_block.position, o + 36},
      {"13", h.display_name.position, o + 36 + shift},
      {"14", h.maker_notice.position, o + 49 + shift},
      {"15", h.default_folder_flag_position, o + 85 + shift},
      {"15a", h.default_folder.position, o + 86 + shift},
      {"header end", h.header_end, o + 94 + shift},
      {"16", h.reserved_byte_position, o + 94 + shift},
      {"17", h.file_list_position, o + 95 + shift},
  };
  for (const auto& p : positions) EXPECT_EQ(p.actual, p.expected) << "record " << p.record;
  EXPECT_EQ(h.title_colour.text, "clwhite");
  EXPECT_EQ(h.gradient_r.text, "999");
  EXPECT_TRUE(h.self_check_on);
  EXPECT_FALSE(h.silent_failure);
  EXPECT_EQ(h.uninstall_key.text, "Vellumo");
  EXPECT_EQ(h.licence_text, plan.licence_text);
  EXPECT_TRUE(h.licence_decode.complete);
  EXPECT_EQ(h.display_name.text, "Vellumo 1.0");
  EXPECT_EQ(h.default_folder.text, "Vellumo");
  EXPECT_EQ(h.reserved_byte, 0);

  BlockDecodeResult r;
  auto lines = ReadFileListLines(s, h.file_list_position, &r);
  ASSERT_TRUE(r.complete);
  // Our random contents pack to other lengths than the example's: 101 bytes plus the extra
  // length digits.
  EXPECT_EQ(r.expected, JoinLines(lines).size());
  ASSERT_EQ(lines.size(), 4u);
  uint64_t first = s.Position();
  uint64_t actions = 0;
  auto blocks = LocateFileBlocks(lines, first, &actions);
  for (size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    ASSERT_TRUE(blocks[i].parsed);
    const std::string& content = b.contents[i];
    // The file list CRC is zlib's crc32 of the content.
    char expected_crc[9];
    std::snprintf(expected_crc, sizeof expected_crc, "%08X",
                  static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef*>(content.data()),
                                              static_cast<uInt>(content.size()))));
    EXPECT_EQ(blocks[i].line.crc_text, expected_crc);
    ASSERT_TRUE(s.Seek(blocks[i].position));
    MemoryStream out;
    FileBlockResult fr = ExtractFileBlock(s, blocks[i].line.block_length, out);
    ASSERT_TRUE(fr.copied);
    EXPECT_TRUE(fr.decode.complete);
    EXPECT_EQ(StreamCrcText(out), blocks[i].line.crc_text);
  }
  ASSERT_TRUE(s.Seek(actions));
  ActionRecords a;
  ReadActionRecords(s, &a);
  EXPECT_EQ(a.end_position, b.image.size());  // ends exactly at the end of the file
  EXPECT_EQ(a.end_position - actions, 56u);    // the example's 56 bytes of records
  EXPECT_EQ(a.autorun.position, actions + 2);
  EXPECT_TRUE(a.any_file_verb.present);
  EXPECT_EQ(a.any_file_verb.position, actions + 4);
  EXPECT_EQ(a.any_file_verb.program, "Vellumo.exe");
  EXPECT_TRUE(a.desktop_shortcut.present);
  EXPECT_EQ(a.desktop_shortcut.link_name, "Vellumo");
  EXPECT_FALSE(a.program_group.present());
  EXPECT_FALSE(a.register_list.present);
  EXPECT_FALSE(a.file_removal[2].present);

  // The uninstaller copy: header, plain list, records from A3 on, uninstaller stub values.
  std::vector<uint8_t> un;
  ASSERT_TRUE(BuildUninstallerFromInstaller(s, kStubSize, &un));
  const uint64_t list_length = JoinLines(lines).size();
  ASSERT_EQ(un.size(), h.header_end + 4 + list_length + 54);
  for (uint64_t i = 0; i < h.header_end; ++i) {
    if (i >= kStubFieldsOffset && i < kStubFieldsEnd && i != kNoViewOffset && i != 81 && i != 82)
      continue;
    ASSERT_EQ(un[i], b.image[i]) << "byte " << i;
  }
  EXPECT_EQ(std::vector<uint8_t>(un.begin() + 77, un.begin() + 81),
            (std::vector<uint8_t>{1, 1, 1, 1}));
  EXPECT_EQ(un[kUninstallerFlagOffset], 1);
  EXPECT_EQ(std::string(un.begin() + 85, un.begin() + 93), "vorn2003");
  EXPECT_EQ(un[h.header_end], list_length);
  EXPECT_EQ(std::string(un.begin() + h.header_end + 4, un.begin() + h.header_end + 4 + list_length),
            JoinLines(lines));
  EXPECT_TRUE(std::equal(un.end() - 54, un.end(), b.image.end() - 54));

  // The uninstaller reads the same header and its own uninstall data.
  MemoryStream us(un);
  StubFields ustub;
  ASSERT_TRUE(ReadStubFields(us, &ustub));
  EXPECT_EQ(ustub.uninstaller, 1);
  PackageHeader uh;
  ReadPackageHeader(us, kStubSize, &uh);
  EXPECT_EQ(uh.header_end, h.header_end);
  EXPECT_EQ(uh.display_name.text, h.display_name.text);
  UninstallData data;
  ReadUninstallData(us, uh.header_end, &data);
  EXPECT_EQ(data.file_list, lines);
  EXPECT_TRUE(data.records.any_file_verb.present);
  EXPECT_EQ(data.records.any_file_verb.verb, "Vellumo");
  EXPECT_EQ(data.records.desktop_shortcut.program, "Vellumo.exe");
  EXPECT_EQ(data.records.end_position, un.size());
}

TEST(Layout, AbsentOptionalRecordsCostOnlyTheirFlag) {
  PackagePlan plan = ExamplePlan();
  plan.has_uninstall_key = false;
  plan.has_licence = false;
  plan.has_default_folder = false;
  Built b = Build(plan, {{"a.txt", "alpha"}});
  MemoryStream s(b.image);
  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(s, kStubSize, &h));
  EXPECT_EQ(h.display_name.position, kStubSize + 28);
  EXPECT_EQ(h.header_end, kStubSize + 28 + 13 + 36 + 1);
  EXPECT_EQ(h.uninstall_key.text, "");
  EXPECT_EQ(h.licence_text, "");
  EXPECT_FALSE(h.has_default_folder);
}

TEST(Layout, EveryRecordRoundTrips) {
  PackagePlan plan;
  plan.no_view = true;
  plan.title_colour = "";                    // empty header string
  plan.gradient_r = " 1 ";                   // records 1 to 4 stay untrimmed
  plan.gradient_g = std::string(255, 'g');   // longest header string
  plan.gradient_b = "0";
  plan.option_byte_5 = 7;
  plan.self_check_on = false;
  plan.silent_failure = true;
  plan.option_byte_8 = 9;
  plan.has_reserved_string = true;
  plan.reserved_string = "ignored";
  plan.registry_import = true;
  plan.has_uninstall_key = true;
  plan.uninstall_key = "  Key  ";
  plan.display_name = "Name";
  plan.maker_notice = "";
  plan.has_default_folder = true;
  plan.default_folder = "D:\\App";
  ActionRecords& a = plan.actions;
  a.register_list.present = true;
  a.register_list.names = {"one.dll", "two.exe"};
  a.run_after_install = {0, true, "run.exe", true, "/x"};
  a.autorun = {0, true, "auto.exe", false, ""};
  a.exe_verb = {0, true, "verb4", true, true, "extra4", "prog4.exe"};
  a.any_file_verb = {0, true, "verb5", false, "", "prog5.exe"};
  a.folder_verb = {0, true, "verb6", true, "extra6", "prog6.exe"};
  a.file_type = {0, true, ".vel", "Vellumo file", "prog7.exe"};
  a.registry_removal[0] = {0, true, 2, "software\\a", "software\\a"};
  a.registry_removal[2] = {0, true, 3, "b", "b"};
  a.desktop_shortcut = {0, true, "link", "prog11.exe"};
  a.program_group.kind = 2;
  a.program_group.group_name = "Group";
  a.program_group.links = {{"l1", "p1.exe"}, {"l2", "p2.exe"}};
  a.file_removal[1] = {0, true, 3, "sys.dll", "sys.dll"};

  Built b = Build(plan, {{"empty.bin", ""}, {"sub\\x.txt", "x"}});
  MemoryStream s(b.image);
  StubFields stub;
  ASSERT_TRUE(ReadStubFields(s, &stub));
  EXPECT_EQ(stub.no_view, 1);
  EXPECT_EQ(stub.total_unpacked_size, 1u);
  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(s, kStubSize, &h));
  EXPECT_EQ(h.title_colour.text, "");
  EXPECT_EQ(h.gradient_r.text, " 1 ");
  EXPECT_EQ(h.gradient_g.text, plan.gradient_g);
  EXPECT_EQ(h.option_byte_5, 7);
  EXPECT_FALSE(h.self_check_on);
  EXPECT_TRUE(h.silent_failure);
  EXPECT_EQ(h.option_byte_8, 9);
  EXPECT_TRUE(h.has_reserved_string);
  EXPECT_EQ(h.reserved_string.text, "ignored");
  EXPECT_TRUE(h.registry_import);
  EXPECT_EQ(h.uninstall_key.text, "Key");
  EXPECT_EQ(h.display_name.text, "Name");
  EXPECT_EQ(h.default_folder.text, "D:\\App");

  auto lines = ReadFileListLines(s, h.file_list_position);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 18), "empty.bin|00000000");
  uint64_t actions = 0;
  LocateFileBlocks(lines, s.Position(), &actions);
  ASSERT_TRUE(s.Seek(actions));
  ActionRecords r;
  ReadActionRecords(s, &r);
  EXPECT_EQ(r.end_position, b.image.size());
  EXPECT_EQ(r.register_list.names, a.register_list.names);
  EXPECT_EQ(r.run_after_install.program, "run.exe");
  EXPECT_EQ(r.run_after_install.parameters, "/x");
  EXPECT_TRUE(r.autorun.present);
  EXPECT_FALSE(r.autorun.has_parameters);
  EXPECT_TRUE(r.exe_verb.exe_only);
  EXPECT_EQ(r.exe_verb.extra, "extra4");
  EXPECT_EQ(r.exe_verb.program, "prog4.exe");
  EXPECT_EQ(r.any_file_verb.verb, "verb5");
  EXPECT_FALSE(r.any_file_verb.has_extra);
  EXPECT_EQ(r.folder_verb.extra, "extra6");
  EXPECT_EQ(r.file_type.description, "Vellumo file");
  EXPECT_EQ(r.registry_removal[0].root_index, 2);
  EXPECT_EQ(r.registry_removal[0].key_path, "software\\a");
  EXPECT_FALSE(r.registry_removal[1].present);
  EXPECT_EQ(r.registry_removal[2].key_path, "b");
  EXPECT_EQ(r.desktop_shortcut.program, "prog11.exe");
  EXPECT_EQ(r.program_group.kind, 2);
  EXPECT_EQ(r.program_group.group_name, "Group");
  ASSERT_EQ(r.program_group.links.size(), 2u);
  EXPECT_EQ(r.program_group.links[1].program, "p2.exe");
  EXPECT_FALSE(r.file_removal[0].present);
  EXPECT_EQ(r.file_removal[1].folder_kind, 3);
  EXPECT_EQ(r.file_removal[1].file_name, "sys.dll");
}

TEST(Layout, WriterRefusesTextsThatDoNotFit) {
  struct Case {
    const char* name;
    void (*change)(PackagePlan&, std::vector<PackedFile>&);
    const char* message_part;
  };
  const Case cases[] = {
      {"256-byte display name", [](PackagePlan& s, std::vector<PackedFile>&) {
         s.display_name = std::string(256, 'd'); }, "display name is 256 bytes"},
      {"long shortcut", [](PackagePlan& s, std::vector<PackedFile>&) {
         s.actions.desktop_shortcut.present = true;
         s.actions.desktop_shortcut.program = std::string(300, 'p'); }, "desktop shortcut program"},
      {"bar in a name", [](PackagePlan&, std::vector<PackedFile>& f) { f[0].name = "a|b"; },
       "file name"},
      {"parent folder", [](PackagePlan&, std::vector<PackedFile>& f) { f[0].name = "sub\\..\\..\\x"; },
       "outside the install folder"},
      {"absolute", [](PackagePlan&, std::vector<PackedFile>& f) { f[0].name = "C:\\x.dll"; },
       "outside the install folder"},
      {"rooted", [](PackagePlan&, std::vector<PackedFile>& f) { f[0].name = "\\x.dll"; },
       "outside the install folder"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PackagePlan plan = ExamplePlan();
    std::vector<PackedFile> files(1);
    ASSERT_TRUE(PackFile("a.txt", "a", 1, 9, &files[0]));
    c.change(plan, files);
    MemoryStream out;
    std::string error;
    EXPECT_FALSE(WriteInstaller(out, FakeStub(), plan, files, nullptr, &error));
    EXPECT_NE(error.find(c.message_part), std::string::npos) << error;
  }
}

// Every prefix of a real installer, and single corrupted bytes in its header, read without a
// crash, a hang or an allocation beyond the file.
TEST(Layout, TruncatedAndCorruptPackagesReadSafely) {
  PackagePlan plan = ExamplePlan();
  plan.actions.program_group.kind = 1;
  plan.actions.program_group.group_name = "G";
  plan.actions.program_group.links = {{"a", "b"}};
  Built b = Build(plan, {{"one.txt", Content(5000, 7, true)}, {"two.bin", Content(3000, 8, false)}});
  auto read_all = [](const std::vector<uint8_t>& image) {
    MemoryStream s(image);
    StubFields stub;
    ReadStubFields(s, &stub);
    PackageHeader h;
    bool complete = ReadPackageHeader(s, kStubSize, &h);
    auto lines = ReadFileListLines(s, h.file_list_position);
    uint64_t actions = 0;
    auto blocks = LocateFileBlocks(lines, s.Position(), &actions);
    for (const auto& block : blocks) {
      if (!s.Seek(block.position)) continue;
      MemoryStream out;
      ExtractFileBlock(s, block.line.block_length, out);
    }
    if (s.Seek(actions)) {
      ActionRecords a;
      ReadActionRecords(s, &a);
    }
    std::vector<uint8_t> un;
    BuildUninstallerFromInstaller(s, kStubSize, &un);
    return complete;
  };
  EXPECT_TRUE(read_all(b.image));
  size_t header_bytes = 200;  // well past the licence block start
  for (size_t cut = 0; cut < b.image.size(); cut += (cut < kStubSize + header_bytes ? 1 : 97)) {
    std::vector<uint8_t> image(b.image.begin(), b.image.begin() + cut);
    bool complete = read_all(image);
    if (cut < kStubSize + 30) {
      EXPECT_FALSE(complete) << cut;
    }
  }
  for (size_t at = kStubSize; at < kStubSize + 500 && at < b.image.size(); ++at) {
    for (uint8_t value : {uint8_t(0x00), uint8_t(0x01), uint8_t(0xFF)}) {
      std::vector<uint8_t> image = b.image;
      image[at] = value;
      read_all(image);
    }
  }
  // A header string past the end reads as spaces; flags past the end read as 0.
  std::vector<uint8_t> cut(b.image.begin(), b.image.begin() + kStubSize + 3);
  MemoryStream s(cut);
  PackageHeader h;
  EXPECT_FALSE(ReadPackageHeader(s, kStubSize, &h));
  EXPECT_EQ(h.title_colour.text.substr(2), "     ");
  EXPECT_EQ(h.gradient_r.text, "");
  EXPECT_FALSE(h.self_check_on);
  // A package offset past the end of the file.
  EXPECT_FALSE(ReadPackageHeader(s, 1u << 30, &h));
}

TEST(Layout, LengthFieldThatLiesMisplacesLaterBlocksAndTheirCrcFails) {
  Built b = Build(ExamplePlan(), {{"a.txt", Content(4000, 1, true)},
                                  {"b.txt", Content(4000, 2, true)}});
  MemoryStream s(b.image);
  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(s, kStubSize, &h));
  auto lines = ReadFileListLines(s, h.file_list_position);
  uint64_t first = s.Position();
  FileListLine line0;
  ASSERT_TRUE(ParseFileListLine(lines[0], &line0));
  line0.block_length += 3;
  lines[0] = FormatFileListLine(line0);
  auto blocks = LocateFileBlocks(lines, first);
  ASSERT_TRUE(s.Seek(blocks[1].position));
  MemoryStream out;
  FileBlockResult r = ExtractFileBlock(s, blocks[1].line.block_length, out);
  if (r.copied) {
    EXPECT_NE(StreamCrcText(out), blocks[1].line.crc_text);
  }
}

TEST(PackageOffset, MarkerIsFoundOnceAndStamped) {
  std::vector<uint8_t> stub = FakeStub();
  uint32_t value = 0;
  size_t at = 0;
  ASSERT_TRUE(FindStampedPackageOffset(stub.data(), stub.size(), &value, &at));
  EXPECT_EQ(value, kStubSize);
  EXPECT_EQ(at, 1000u);
  std::vector<uint8_t> twice = stub;
  std::copy(stub.begin() + 1000, stub.begin() + 1016, twice.begin() + 2000);
  EXPECT_FALSE(FindStampedPackageOffset(twice.data(), twice.size(), &value, &at));
  std::vector<uint8_t> none(4096, 0);
  EXPECT_FALSE(FindStampedPackageOffset(none.data(), none.size(), &value, &at));
  EXPECT_FALSE(FindStampedPackageOffset(stub.data(), 1010, &value, &at));  // cut marker
  // The test binary itself links the constant, unstamped natively.
  (void)PackageOffset();
}

}  // namespace
}  // namespace hollin
