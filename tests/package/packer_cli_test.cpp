// Runs the built hollin-pack as a program: a full pack and list of a small product, and
// one clear error line, a non-zero exit and no output file for each kind of bad input.
// In the Windows build the packer and a stamped test stub run under Wine, and the packed
// installer checks itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
#include <windows.h>
#include <direct.h>
#define MKDIR(p) _mkdir(p)
#else
#include <sys/stat.h>
#include <sys/wait.h>
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
  int status = std::system(command.c_str());
#ifdef _WIN32
  r.status = status;
#else
  // The exit code, or 128 + the signal that ended the program (134: an abort).
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
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
  // Progress goes to stderr, so stdout holds only the summary.
  EXPECT_NE(r.err.find("[4/4]"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("[4/4]"), std::string::npos) << r.out;
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

#ifndef HOLLIN_TEST_STUB_PATH
  // The JSON form, read back by python's json, says what the text form says.
  RunResult json = RunPacker("--list --json " + Quote(output));
  ASSERT_EQ(json.status, 0) << json.err;
  WriteFile(Join(p.dir, "list.json"), json.out);
  WriteFile(Join(p.dir, "list.txt"), list.out);
  WriteFile(Join(p.dir, "compare.py"), R"(import json, re, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
text = open(sys.argv[2], encoding="latin-1").read()
rows = {}
for line in text.splitlines():
    m = re.match(r"^ *(\d+) +(\d+)  (.*)$", line)
    if m:
        rows.setdefault(int(m.group(1)), []).append((int(m.group(2)), m.group(3)))
def row(position, length, words):
    if not any(l == length and words in c for l, c in rows.get(position, [])):
        sys.exit("no row %d %d %s" % (position, length, words))
for r in doc["header"]:
    row(r["position"], r["length"], "records 5 to 8" if r["record"] == "5-8" else "record " + r["record"])
    if "value" in r and isinstance(r["value"], str) and r["record"] != "12":
        row(r["position"], r["length"], json.dumps(r["value"]))
row(doc["file_list"]["position"], doc["file_list"]["length"], "record 17")
for f in doc["files"]:
    row(f["position"], f["length"], 'file block "%s": U = %d' % (f["name"], f["unpacked"]))
    if ('"%s|%s%d"' % (f["name"], f["crc"], f["length"])) not in text:
        sys.exit("no file list line for " + f["name"])
a = doc["actions"]
row(a["position"], a["end"] - a["position"], "action records: present " + ", ".join(r["record"] for r in a["records"]))
assert doc["stub"]["self_check_matches"] and ("matches: " + doc["stub"]["self_check_value"]) in text
assert doc["stub"]["total_unpacked_size"] == sum(f["unpacked"] for f in doc["files"])
assert [f["name"] for f in doc["files"]] == ["VUnzip.dll", "Vellumo.exe", "license.txt", "docs\\help.txt"]
)");
  EXPECT_EQ(std::system(("python3 " + Quote(Join(p.dir, "compare.py")) + " " + Quote(Join(p.dir, "list.json")) +
                         " " + Quote(Join(p.dir, "list.txt"))).c_str()), 0) << json.out;
#endif

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

TEST(Packer, AFolderOfHundredsOfFilesPacksVerifiesAndExtractsByteForByte) {
  // 320 files in nested folders, packed with one [files] line, then checked by --verify and
  // given back by --extract exactly as they were.
  std::string dir = Join(WorkDir(), "tree");
  MKDIR(dir.c_str());
  std::string app = Join(dir, "app");
  MKDIR(app.c_str());
  std::vector<std::pair<std::string, std::string>> files;  // path under app ("/"), content
  for (int a = 0; a < 4; ++a) {
    std::string level1 = "d" + std::to_string(a);
    MKDIR(Join(app, level1).c_str());
    for (int b = 0; b < 4; ++b) {
      std::string level2 = level1 + "/s" + std::to_string(b);
      MKDIR(Join(app, level2).c_str());
      for (int c = 0; c < 20; ++c) {
        std::string name = level2 + "/f" + std::to_string(c) + (c % 3 ? ".txt" : ".bin");
        files.emplace_back(name, Content(static_cast<size_t>((a * 80 + b * 20 + c) * 37 % 5000), a * 1000 + b * 100 + c));
      }
    }
  }
  for (const auto& f : files) {
    std::string path = Join(app, f.first);
#ifdef _WIN32
    for (auto& ch : path)
      if (ch == '/') ch = '\\';
#endif
    WriteFile(path, f.second);
  }
  std::string manifest = Join(dir, "tree.ini");
  WriteFile(manifest, "[package]\ndisplay_name = Tree\nmaker_notice = m\n[files]\nprogram\\ = app/\n");
  std::string stub = MakeStub(WorkDir(), 8192, true, true);
  std::string output = Join(dir, "tree-setup.exe");
  RunResult r = RunPacker("--stub " + Quote(stub) + " --manifest " + Quote(manifest) + " --output " +
                          Quote(output) + " --quiet");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "") << "--quiet prints nothing but errors";
  RunResult verify = RunPacker("--verify " + Quote(output));
  EXPECT_EQ(verify.status, 0) << verify.out;
  EXPECT_NE(verify.out.find("installer, 320 files,"), std::string::npos) << verify.out;
  std::string to = Join(dir, "out");
  std::error_code ec;
  std::filesystem::remove_all(to, ec);  // from an earlier run
  RunResult extract = RunPacker("--extract " + Quote(output) + " --to " + Quote(to) + " --quiet");
  ASSERT_EQ(extract.status, 0) << extract.err;
  for (const auto& f : files) {
    std::string path = Join(Join(to, "program"), f.first);
#ifdef _WIN32
    for (auto& ch : path)
      if (ch == '/') ch = '\\';
#endif
    ASSERT_TRUE(ReadFile(path) == f.second) << f.first;
  }
  // A second extraction does not overwrite without --force, and does with it.
  extract = RunPacker("--extract " + Quote(output) + " --to " + Quote(to) + " --quiet");
  EXPECT_EQ(extract.status, 1);
  EXPECT_NE(extract.err.find("exists; give --force"), std::string::npos) << extract.err;
  extract = RunPacker("--extract " + Quote(output) + " --to " + Quote(to) + " --force --only \"**/*.bin\"");
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_NE(extract.out.find("hollin-pack: 112 files written"), std::string::npos) << extract.out;
  // The order is the stored names' byte order: the same on every machine.
  auto file = FileStream::Open(output, FileStream::Mode::kRead);
  ASSERT_TRUE(file);
  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(*file, ReadFile(stub).size(), &h));
  auto lines = ReadFileListLines(*file, h.file_list_position);
  ASSERT_EQ(lines.size(), files.size());
  for (size_t i = 1; i < lines.size(); ++i)
    EXPECT_LT(lines[i - 1].substr(0, lines[i - 1].find('|')), lines[i].substr(0, lines[i].find('|')));
}

TEST(Packer, ListShowsAHostileBlockLengthAsPastTheEnd) {
  // A file list line whose length would wrap the block's end around to a position inside
  // the file.
  Product p = MakeProduct();
  std::string output = Join(p.dir, "wrap-setup.exe");
  ASSERT_EQ(RunPacker("--stub " + Quote(p.stub) + " --manifest " + Quote(p.manifest) +
                      " --output " + Quote(output) + " --quiet").status, 0);
  std::string image = ReadFile(output);
  MemoryStream s(std::vector<uint8_t>(image.begin(), image.end()));
  PackageHeader h;
  ASSERT_TRUE(ReadPackageHeader(s, ReadFile(p.stub).size(), &h));
  auto lines = ReadFileListLines(s, h.file_list_position);
  uint64_t first = s.Position();
  ASSERT_EQ(lines.size(), 4u);
  lines[1] = lines[1].substr(0, lines[1].find('|') + 9) + "18446744073709551000";
  std::string text = JoinLines(lines);
  std::vector<uint8_t> block = MakeStoredBlock(text.data(), text.size(), 9);
  std::string hostile = image.substr(0, static_cast<size_t>(h.file_list_position));
  for (int i = 0; i < 4; ++i) hostile.push_back(static_cast<char>((block.size() >> (8 * i)) & 0xFF));
  hostile.append(block.begin(), block.end());
  hostile += image.substr(static_cast<size_t>(first));
  std::string path = Join(p.dir, "wrap.exe");
  WriteFile(path, hostile);
  RunResult list = RunPacker("--list " + Quote(path));
  EXPECT_EQ(list.status, 0) << list.err;
  size_t row = list.out.find("file block \"Vellumo.exe\"");
  ASSERT_NE(row, std::string::npos) << list.out;
  std::string line = list.out.substr(row, list.out.find('\n', row) - row);
  EXPECT_NE(line.find("(past the end of the file)"), std::string::npos) << line;
}

TEST(Packer, EveryStoredNameIsCheckedWithItsLineBeforeAnythingIsRead) {
  // Line 5 names a file that does not exist: each bad name below it must be reported, with
  // its own line, before any file is looked at. Each name is one the installer could not
  // write as a file of its own inside the install folder.
  Product p = MakeProduct();
  const std::string head =
      "[package]\ndisplay_name = x\nmaker_notice = m\n[files]\nnot-there.bin\nlicense.txt\n";
  struct Case {
    const char* name;
    std::string files;  // lines after the head (which ends on line 6)
    std::string message_part;
  };
  const Case cases[] = {
      {"parent part", "..\\evil.txt = license.txt\n", ":7: stored name \"..\\evil.txt\""},
      {"parent part inside", "docs\\..\\..\\evil.txt = license.txt\n", ":7: stored name"},
      {"absolute", "\\abs.txt = license.txt\n", ":7: stored name \"\\abs.txt\" is absolute"},
      {"drive", "C:\\evil.txt = license.txt\n", ":7: stored name \"C:\\evil.txt\" holds \":\""},
      {"stream", "a.txt:hidden = license.txt\n", ":7:"},
      {"three dots", "docs\\...\\x.txt = license.txt\n", ":7: stored name \"docs\\...\\x.txt\" has a part of only dots"},
      {"two dots and a blank", ".. \\x.txt = license.txt\n", "only dots and blanks"},
      {"empty part", "docs\\\\x.txt = license.txt\n", ":7: stored name \"docs\\\\x.txt\" has an empty part"},
      {"device", "CON = license.txt\n", ":7: stored name \"CON\" names a device"},
      {"device in a folder", "docs\\nul.txt = license.txt\n", "names a device"},
      {"serial device", "COM1.log = license.txt\n", "names a device"},
      {"printer with extension", "lpt2.txt = license.txt\n", "names a device"},
      {"control byte", "a\x01" "b.txt = license.txt\n", ":7: stored name \"a\x01" "b.txt\" holds a control byte"},
      {"bar", "a|b.txt = license.txt\n", ":7: stored name \"a|b.txt\" holds one of"},
      {"the same name twice", "x.txt = license.txt\ny.txt = license.txt\nlicense.txt\n",
       ":9: stored name \"license.txt\" appears twice (line 6 and line 9)"},
      {"case only", "LICENSE.TXT = license.txt\n",
       ":7: stored name \"LICENSE.TXT\" and \"license.txt\" (line 6) are one file"},
      {"trailing dot", "license.txt. = license.txt\n", ":7:"},
      {"file, then a folder of that name", "docs = license.txt\ndocs\\a.txt = license.txt\n",
       ":8: stored name \"docs\\a.txt\" (line 8) needs a folder where \"docs\" (line 7) is a file"},
      {"folder, then a file of that name", "Docs\\a.txt = license.txt\ndocs = license.txt\n",
       ":8: stored name \"docs\" (line 8) is also the folder of \"Docs\\a.txt\" (line 7)"},
      {"the uninstaller's name", "uninstall.exe = license.txt\n", ":7: stored name \"uninstall.exe\" takes the name of the uninstaller"},
      {"the uninstaller's name in capitals", "Uninstall.EXE = license.txt\n", "takes the name of the uninstaller"},
      {"a folder with the uninstaller's name", "uninstall.exe\\a.txt = license.txt\n", "takes the name of the uninstaller"},
      {"over 255 bytes", std::string(256, 'n') + " = license.txt\n", ":7: stored name \"" + std::string(256, 'n') + "\" is 256 bytes long"},
  };
  std::string output = Join(p.dir, "names-setup.exe");
  std::string manifest = Join(p.dir, "product-bad.ini");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(manifest, head + c.files);
    WriteFile(output, "previous");
    RunResult r = RunPacker("--stub " + Quote(p.stub) + " --manifest " + Quote(manifest) +
                            " --output " + Quote(output));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.find("hollin-pack: " + manifest + ":"), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message_part), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(ReadFile(output), "previous");
  }
  // Names that only look close to those are fine.
  WriteFile(manifest, "[package]\ndisplay_name = x\nmaker_notice = m\n[files]\n"
                      "a..b.txt = license.txt\nconsole\\x.txt = license.txt\n"
                      "docs\\uninstall.exe = license.txt\ncom10 = license.txt\n");
  RunResult r = RunPacker("--stub " + Quote(p.stub) + " --manifest " + Quote(manifest) +
                          " --output " + Quote(output) + " --quiet");
  EXPECT_EQ(r.status, 0) << r.err;
}

#ifdef HOLLIN_TEST_STUB_PATH
TEST(Packer, AFailedReplaceKeepsTheEarlierOutput) {
  // Another program holds the earlier output open, allowing deletion but not a rename onto
  // it. Deleting first and renaming then would lose both; the packer must either replace it
  // in one step or leave it exactly as it was.
  Product p = MakeProduct();
  std::string output = Join(p.dir, "held-setup.exe");
  WriteFile(output, "previous");
  HANDLE held = CreateFileA(output.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  RunResult r = RunPacker("--stub " + Quote(p.stub) + " --manifest " + Quote(p.manifest) +
                          " --output " + Quote(output) + " --quiet");
  CloseHandle(held);
  std::string now = ReadFile(output);
  if (r.status == 0) {
    EXPECT_EQ(InstallerCrcText(output).size(), 8u);
    EXPECT_GT(now.size(), 8192u);
  } else {
    EXPECT_EQ(now, "previous") << r.err;
  }
  // Without the other program the output is replaced.
  r = RunPacker("--stub " + Quote(p.stub) + " --manifest " + Quote(p.manifest) + " --output " +
                Quote(output) + " --quiet");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_GT(ReadFile(output).size(), 8192u);
}
#else
// Runs the packer through the shell with a limit on its address space (which a sanitizer
// build, reserving its shadow memory up front, cannot run under).
#if defined(__SANITIZE_ADDRESS__)
#define SKIP_UNDER_A_MEMORY_LIMIT() GTEST_SKIP() << "the sanitizers need more address space"
#else
#define SKIP_UNDER_A_MEMORY_LIMIT() (void)0
#endif
RunResult RunLimited(const std::string& limit_kb, const std::string& args) {
  return RunProgram("/bin/bash", "-c \"ulimit -v " + limit_kb + " && exec '" +
                                     std::string(HOLLIN_PACK_PATH) + "' " + args + "\"");
}

TEST(Packer, ThreadsTheSystemWillNotStartAreDoneWithout) {
  SKIP_UNDER_A_MEMORY_LIMIT();
  // 64 pieces for 256 threads under a 400 MB address-space limit: the system refuses
  // threads long before the 64th (each reserves a stack); the packer goes on with fewer.
  std::string dir = WorkDir();
  std::string stub = MakeStub(dir, 8192, true, true);
  std::string pieces = Join(dir, "pieces.bin");
  std::remove(pieces.c_str());
  ASSERT_EQ(std::system(("truncate -s 64M '" + pieces + "'").c_str()), 0);
  std::string manifest = Join(dir, "pieces.ini");
  WriteFile(manifest, "[package]\ndisplay_name = x\nmaker_notice = m\n[files]\npieces.bin\n");
  std::string one = Join(dir, "jobs-1.exe"), many = Join(dir, "jobs-256.exe");
  std::string args = "--stub '" + stub + "' --manifest '" + manifest + "' --quiet --output ";
  ASSERT_EQ(RunPacker(args + Quote(one) + " --jobs 1").status, 0);
  RunResult r = RunLimited("400000", args + "'" + many + "' --jobs 256");
  std::remove(pieces.c_str());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadFile(one) == ReadFile(many));
}

TEST(Packer, LargeFilesAreRefusedBySizeAndOtherwiseReadInPieces) {
  SKIP_UNDER_A_MEMORY_LIMIT();
  // Sparse files: no disk space used. Under a 200 MB address-space limit a file read whole
  // could not be packed, and one over 4 GiB must be refused before it is read.
  std::string dir = WorkDir();
  std::string stub = MakeStub(dir, 8192, true, true);
  struct Case {
    const char* name;
    uint64_t size;
    bool packs;
  } cases[] = {
      {"300 MiB", 300ull << 20, true},
      {"4.5 GiB", 9ull << 29, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string big = Join(dir, "sparse.bin");
    std::remove(big.c_str());
    ASSERT_EQ(std::system(("truncate -s " + std::to_string(c.size) + " '" + big + "'").c_str()), 0);
    std::string manifest = Join(dir, "sparse.ini");
    WriteFile(manifest, "[package]\ndisplay_name = x\nmaker_notice = m\n[files]\nsparse.bin\n");
    std::string output = Join(dir, "sparse.exe");
    std::remove(output.c_str());
    RunResult r = RunLimited("200000", "--stub '" + stub + "' --manifest '" + manifest +
                                           "' --quiet --jobs 2 --output '" + output + "'");
    std::remove(big.c_str());
    if (c.packs) {
      ASSERT_EQ(r.status, 0) << r.err;
      auto file = FileStream::Open(output, FileStream::Mode::kRead);
      ASSERT_TRUE(file);
      StubFields fields;
      ASSERT_TRUE(ReadStubFields(*file, &fields));
      EXPECT_EQ(fields.total_unpacked_size, c.size);
    } else {
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, "hollin-pack: file " + dir + "/sparse.bin is larger than 4 GiB (manifest line 5)\n");
      EXPECT_FALSE(Exists(output));
    }
  }
}
#endif

}  // namespace
}  // namespace hollin
