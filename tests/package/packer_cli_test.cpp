// Runs the built hollin-pack as a program: a full pack and list of a small product, and
// one clear error line, a non-zero exit and no output file for each kind of bad input.
// In the Windows build the packer and a stamped test stub run under Wine, and the packed
// installer checks itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"
#include "installer/package/package_writer.h"
#include "installer/package/stream.h"

#ifdef _WIN32
#include <direct.h>
#define MKDIR(p) _mkdir(p)
#else
#include <sys/stat.h>
#define MKDIR(p) mkdir(p, 0755)
#endif

namespace hollin {
namespace {

// Paths from CMake are Unix paths; under Wine the same file is on drive Z:.
std::string HostPath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (auto& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

std::string WorkDir() {
  const char* bin = std::getenv("VELLUMO_BINARY_DIR");
  std::string dir = HostPath(std::string(bin ? bin : ".") + "/tests/package/packer_cli_work");
  MKDIR(dir.c_str());
  return dir;
}

std::string Join(const std::string& a, const std::string& b) {
#ifdef _WIN32
  return a + "\\" + b;
#else
  return a + "/" + b;
#endif
}

void WriteFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

std::string ReadFile(const std::string& path) {
  std::string s;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return s;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

bool Exists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

struct RunResult {
  int status;
  std::string out, err;
};

RunResult RunProgram(const std::string& program, const std::string& args) {
  std::string dir = WorkDir();
  std::string out = Join(dir, "stdout.txt"), err = Join(dir, "stderr.txt");
  std::string command = "\"" + program + "\" " + args + " > \"" + out + "\" 2> \"" + err + "\"";
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd /c strips one pair of outer quotes
#endif
  RunResult r;
  r.status = std::system(command.c_str());
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

RunResult RunPacker(const std::string& args) { return RunProgram(HostPath(HOLLIN_PACK_PATH), args); }

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

std::string Content(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng() % 7 == 0 ? rng() : 'a' + rng() % 5);
  return s;
}

// A stub the packer accepts: the real test stub in the Windows build, a fake image with a
// stamped marker natively.
std::string MakeStub(const std::string& dir, size_t size, bool stamp_right, bool marker) {
#ifdef HOLLIN_TEST_STUB_PATH
  if (stamp_right && marker) return HostPath(HOLLIN_TEST_STUB_PATH);
#endif
  std::vector<uint8_t> stub(size);
  for (size_t i = 0; i < size; ++i) stub[i] = static_cast<uint8_t>(i * 13 + 1);
  if (marker) {
    CopyPackageOffsetMarker(stub.data() + 200);
    StampPackageOffset(stub.data(), stub.size(), static_cast<uint32_t>(stamp_right ? size : size + 1));
  }
  std::string name = std::string("stub") + (stamp_right ? "" : "-wrong") + (marker ? "" : "-none") + ".exe";
  std::string path = Join(dir, name);
  WriteFile(path, std::string(stub.begin(), stub.end()));
  return path;
}

const char kManifest[] =
    "# a product like the shipped one\n"
    "[package]\n"
    "title_colour = clyellow\n"
    "gradient_red = 999\n"
    "gradient_green = \" 12\"\n"
    "gradient_blue = 128\n"
    "uninstall_key = Vellumo\n"
    "licence_file = license.txt\n"
    "display_name = Vellumo 1.0\n"
    "maker_notice = made by the Vellumo team\n"
    "default_folder = Vellumo\n"
    "\n"
    "[files]\n"
    "VUnzip.dll\n"
    "Vellumo.exe\n"
    "license.txt\n"
    "docs\\help.txt = help.txt\n"
    "\n"
    "[anyfile_verb]\n"
    "verb = Vellumo\n"
    "program = Vellumo.exe\n"
    "\n"
    "[desktop_shortcut]\n"
    "link = Vellumo\n"
    "program = Vellumo.exe\n"
    "[file_removal]\n"
    "folder = system\n"
    "name = old.dll\n";

struct Product {
  std::string dir, manifest, stub;
  std::vector<std::pair<std::string, std::string>> files;  // stored name, content
};

Product MakeProduct() {
  Product p;
  p.dir = WorkDir();
  p.files = {{"VUnzip.dll", Content(122368, 1)},
             {"Vellumo.exe", Content(212480, 2)},
             {"license.txt", std::string(632, 'l')},
             {"docs\\help.txt", Content(1019, 4)}};
  WriteFile(Join(p.dir, "VUnzip.dll"), p.files[0].second);
  WriteFile(Join(p.dir, "Vellumo.exe"), p.files[1].second);
  WriteFile(Join(p.dir, "license.txt"), p.files[2].second);
  WriteFile(Join(p.dir, "help.txt"), p.files[3].second);
  p.manifest = Join(p.dir, "product.ini");
  WriteFile(p.manifest, kManifest);
  p.stub = MakeStub(p.dir, 8192, true, true);
  return p;
}

TEST(Packer, PacksAProductThatReadsBackAndLists) {
  Product p = MakeProduct();
  std::string output = Join(p.dir, "setup.exe");
  std::remove(output.c_str());
  RunResult r = RunPacker("--stub " + Quote(p.stub) + " --manifest " + Quote(p.manifest) +
                    " --output " + Quote(output) + " --jobs 2 --progress");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("[4/4]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("4 files, 336499 bytes unpacked"), std::string::npos) << r.out;
  EXPECT_FALSE(Exists(output + ".tmp"));

  auto file = FileStream::Open(output, FileStream::Mode::kRead);
  ASSERT_TRUE(file);
  std::string stub = ReadFile(p.stub);
  StubFields fields;
  ASSERT_TRUE(ReadStubFields(*file, &fields));
  EXPECT_EQ(fields.total_unpacked_size, 336499u);
  EXPECT_EQ(fields.self_check_value, InstallerCrcText(output));
  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(*file, stub.size(), &h));
  EXPECT_EQ(h.title_colour.text, "clyellow");
  EXPECT_EQ(h.gradient_g.text, " 12");
  EXPECT_EQ(h.licence_text, p.files[2].second);
  EXPECT_EQ(h.display_name.text, "Vellumo 1.0");
  EXPECT_EQ(h.default_folder.text, "Vellumo");
  auto lines = ReadFileListLines(*file, h.file_list_position);
  ASSERT_EQ(lines.size(), 4u);
  uint64_t actions = 0;
  auto blocks = LocateFileBlocks(lines, file->Position(), &actions);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(blocks[i].line.name, p.files[i].first);
    MemoryStream content(std::vector<uint8_t>(p.files[i].second.begin(), p.files[i].second.end()));
    EXPECT_EQ(blocks[i].line.crc_text, StreamCrcText(content));
    ASSERT_TRUE(file->Seek(blocks[i].position));
    MemoryStream out;
    ASSERT_TRUE(ExtractFileBlock(*file, blocks[i].line.block_length, out).decode.complete);
    EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), p.files[i].second);
  }
  ASSERT_TRUE(file->Seek(actions));
  ActionRecords a;
  ReadActionRecords(*file, &a);
  EXPECT_EQ(a.end_position, file->Size());
  EXPECT_EQ(a.any_file_verb.program, "Vellumo.exe");
  EXPECT_EQ(a.desktop_shortcut.link_name, "Vellumo");
  EXPECT_EQ(a.file_removal[0].folder_kind, 3);
  EXPECT_EQ(a.file_removal[0].file_name, "old.dll");

  // The listing shows the same positions, relative to the package offset.
  RunResult list = RunPacker("--list " + Quote(output));
  ASSERT_EQ(list.status, 0) << list.err;
  auto row = [&](uint64_t position, const std::string& content) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%10llu", static_cast<unsigned long long>(position));
    std::string needle = std::string(prefix);
    size_t at = list.out.find(needle);
    bool found = false;
    while (at != std::string::npos && !found) {
      size_t end = list.out.find('\n', at);
      found = list.out.substr(at, end - at).find(content) != std::string::npos;
      at = list.out.find(needle, at + 1);
    }
    EXPECT_TRUE(found) << position << " " << content << "\n" << list.out;
  };
  row(0, "record 1 title colour \"clyellow\"");
  row(9, "record 2 gradient R \"999\"");  // one more than the example: L = 8
  row(h.uninstall_key_flag_position - stub.size(), "record 11a uninstall key \"Vellumo\"");
  row(h.licence_flag_position - stub.size(), "record 12 = 1; record 12a");
  row(h.display_name.position - stub.size(), "record 13 display name \"Vellumo 1.0\"");
  row(h.file_list_position - stub.size(), "record 17");
  row(blocks[1].position - stub.size(), "file block \"Vellumo.exe\": U = 212480");
  row(actions - stub.size(), "action records: present A5, A11, A13");
  EXPECT_NE(list.out.find("(matches: " + fields.self_check_value + ")"), std::string::npos);

  // An uninstaller written from this installer lists its own uninstall data.
  std::vector<uint8_t> uninstaller;
  ASSERT_TRUE(BuildUninstallerFromInstaller(*file, stub.size(), &uninstaller));
  std::string uninstaller_path = Join(p.dir, "uninstall.exe");
  WriteFile(uninstaller_path, std::string(uninstaller.begin(), uninstaller.end()));
  RunResult ulist = RunPacker("--list " + Quote(uninstaller_path));
  ASSERT_EQ(ulist.status, 0) << ulist.err;
  EXPECT_NE(ulist.out.find(": uninstaller, "), std::string::npos) << ulist.out;
  EXPECT_NE(ulist.out.find("self-check value \"vorn2003\""), std::string::npos) << ulist.out;
  EXPECT_NE(ulist.out.find("uninstall data: L = " + std::to_string(JoinLines(lines).size()) +
                           ", plain file list of 4 lines"),
            std::string::npos)
      << ulist.out;
  EXPECT_NE(ulist.out.find("action records A3 to A15: present A5, A11, A13"), std::string::npos)
      << ulist.out;

#ifdef HOLLIN_TEST_STUB_PATH
  // The packed stub finds its own package at its stamped offset and checks every file.
  RunResult self = RunProgram(output, "");
  EXPECT_EQ(self.status, 0) << self.out << self.err;
  EXPECT_NE(self.out.find("display name: Vellumo 1.0"), std::string::npos) << self.out;
  EXPECT_NE(self.out.find("self check: ok"), std::string::npos) << self.out;
  EXPECT_NE(self.out.find("files: 4 ok"), std::string::npos) << self.out;
#endif
}

TEST(Packer, LargeFilePacksToTheSameBytesOnAnyThreadCount) {
  // Several compression pieces in one file between small ones: the installer must not
  // depend on how many threads packed it, and the readers decode the pieced stream.
  std::string dir = WorkDir();
  std::string big = Content(2 * 1024 * 1024 + 300000, 7);
  WriteFile(Join(dir, "big.dat"), big);
  WriteFile(Join(dir, "a.txt"), "alpha");
  WriteFile(Join(dir, "b.txt"), Content(5000, 8));
  std::string manifest = Join(dir, "large.ini");
  WriteFile(manifest, "[package]\ndisplay_name = Large\nmaker_notice = m\n"
                      "[files]\na.txt\nbig.dat\nb.txt\n");
  std::string stub = MakeStub(dir, 8192, true, true);
  std::string outputs[2];
  const char* jobs[2] = {"1", "3"};
  for (int k = 0; k < 2; ++k) {
    std::string output = Join(dir, std::string("large-") + jobs[k] + ".exe");
    RunResult r = RunPacker("--stub " + Quote(stub) + " --manifest " + Quote(manifest) +
                            " --output " + Quote(output) + " --quiet --jobs " + jobs[k]);
    ASSERT_EQ(r.status, 0) << r.err;
    outputs[k] = ReadFile(output);
  }
  ASSERT_FALSE(outputs[0].empty());
  EXPECT_TRUE(outputs[0] == outputs[1]) << "--jobs 1 and --jobs 3 differ";

  std::string output = Join(dir, "large-3.exe");
  auto file = FileStream::Open(output, FileStream::Mode::kRead);
  ASSERT_TRUE(file);
  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(*file, ReadFile(stub).size(), &h));
  auto lines = ReadFileListLines(*file, h.file_list_position);
  ASSERT_EQ(lines.size(), 3u);
  auto blocks = LocateFileBlocks(lines, file->Position());
  ASSERT_TRUE(file->Seek(blocks[1].position));
  MemoryStream out;
  ASSERT_TRUE(ExtractFileBlock(*file, blocks[1].line.block_length, out).decode.complete);
  EXPECT_TRUE(std::string(out.bytes().begin(), out.bytes().end()) == big);
  EXPECT_EQ(blocks[1].line.crc_text, StreamCrcText(out));
#ifdef HOLLIN_TEST_STUB_PATH
  RunResult self = RunProgram(output, "");
  EXPECT_EQ(self.status, 0) << self.out << self.err;
  EXPECT_NE(self.out.find("files: 3 ok"), std::string::npos) << self.out;
#else
  // Python's zlib reads the block's stream (after its u32 U) to the same bytes and to its end.
  std::string stream = outputs[1].substr(static_cast<size_t>(blocks[1].position) + 4,
                                         static_cast<size_t>(blocks[1].line.block_length) - 4);
  WriteFile(Join(dir, "big.z"), stream);
  std::string command = "timeout 60 python3 -c \"import sys, zlib; o = zlib.decompressobj(); "
                        "d = o.decompress(open(sys.argv[1], 'rb').read()); "
                        "sys.exit(0 if o.eof and not o.unused_data and d == open(sys.argv[2], 'rb').read() else 1)\" " +
                        Quote(Join(dir, "big.z")) + " " + Quote(Join(dir, "big.dat"));
  EXPECT_EQ(std::system(command.c_str()), 0);
#endif
}

TEST(Packer, BadInputGivesOneLineAndNoOutput) {
  Product p = MakeProduct();
  std::string good = kManifest;
  struct Case {
    const char* name;
    std::string manifest;      // empty: the product's manifest
    std::string stub;          // empty: the good stub
    std::string message_part;
  };
  const std::string wrong_size = MakeStub(p.dir, 8192, false, true);
  const std::string no_marker = MakeStub(p.dir, 8192, true, false);
  const Case cases[] = {
      {"section twice", good + "[files]\n", "", "section [files] appears twice"},
      {"missing packaged file",
       std::string(kManifest).replace(good.find("VUnzip.dll"), 10, "Missing.dll"), "",
       "missing or unreadable file"},
      {"missing licence", std::string(kManifest).replace(good.find("license.txt"), 11, "nolicence"),
       "", "missing or unreadable licence file"},
      {"unknown key with its line", "[package]\ndisplay_name = x\ncolour = red\n", "",
       "product-bad.ini:3: unknown key \"colour\" in [package]"},
      {"unknown section", "[pakage]\n", "", "product-bad.ini:1: unknown section [pakage]"},
      {"key before a section", "display_name = x\n", "", "product-bad.ini:1:"},
      {"bad boolean", "[package]\nself_check = maybe\n", "", ":2: \"self_check\" must be yes or no"},
      {"text longer than 255 bytes", "[package]\nmaker_notice = " + std::string(256, 'n') + "\n", "",
       ":2: \"maker_notice\" is 256 bytes long; at most 255 fit"},
      {"stub of the wrong size", "", wrong_size, "bytes long but its package offset is 8193"},
      {"stub without marker", "", no_marker, "has no package-offset marker"},
      {"missing stub", "", Join(p.dir, "nostub.exe"), "cannot read stub"},
  };
  std::string output = Join(p.dir, "bad-setup.exe");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string manifest = p.manifest;
    if (!c.manifest.empty()) {
      manifest = Join(p.dir, "product-bad.ini");
      WriteFile(manifest, c.manifest);
    }
    // An earlier output stays untouched by a failed run.
    WriteFile(output, "previous");
    RunResult r = RunPacker("--stub " + Quote(c.stub.empty() ? p.stub : c.stub) + " --manifest " +
                      Quote(manifest) + " --output " + Quote(output));
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(r.err.find("hollin-pack: "), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message_part), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(ReadFile(output), "previous");
  }
  RunResult usage = RunPacker("--stub");
  EXPECT_NE(usage.status, 0);
  RunResult list = RunPacker("--list " + Quote(Join(p.dir, "VUnzip.dll")));
  EXPECT_NE(list.status, 0);
  EXPECT_NE(list.err.find("no stamped package offset"), std::string::npos) << list.err;
}

}  // namespace
}  // namespace hollin
