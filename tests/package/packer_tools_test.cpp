// The packer's readers of finished installers, in-process: --verify on every single-byte
// corruption of a small installer and uninstaller.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/package/package_offset.h"
#include "installer/package/package_writer.h"
#include "installer/package/stream.h"
#include "installer/package/file_list.h"
#include "installer/package/package_reader.h"
#include "packer/extract.h"
#include "packer/file_set.h"
#include "packer/manifest.h"
#include "packer/path_pattern.h"
#include "packer/verify.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace hollin {
namespace {

std::vector<uint8_t> SmallStub() {
  std::vector<uint8_t> stub(256);
  for (size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<uint8_t>(i * 7 + 3);
  stub[0] = 'M';
  stub[1] = 'Z';
  CopyPackageOffsetMarker(stub.data() + 200);
  StampPackageOffset(stub.data(), stub.size(), static_cast<uint32_t>(stub.size()));
  return stub;
}

// A small installer with something in every kind of record the format has.
std::vector<uint8_t> SmallInstaller() {
  PackagePlan plan;
  plan.title_colour = "clyellow";
  plan.gradient_r = "999";
  plan.gradient_g = "0";
  plan.gradient_b = "128";
  plan.has_uninstall_key = true;
  plan.uninstall_key = "Small";
  plan.has_licence = true;
  plan.licence_text = "Licence text\r\n";
  plan.display_name = "Small 1.0";
  plan.maker_notice = "m";
  plan.has_default_folder = true;
  plan.default_folder = "Small";
  plan.actions.register_list.present = true;
  plan.actions.register_list.names = {"a.dll"};
  plan.actions.any_file_verb.present = true;
  plan.actions.any_file_verb.verb = "Open";
  plan.actions.any_file_verb.program = "a.exe";
  plan.actions.desktop_shortcut.present = true;
  plan.actions.desktop_shortcut.link_name = "Small";
  plan.actions.desktop_shortcut.program = "a.exe";
  std::vector<PackedFile> files(2);
  std::string one = "first file, first file, first file", two = "second";
  EXPECT_TRUE(PackFile("a.exe", one.data(), one.size(), 9, &files[0]));
  EXPECT_TRUE(PackFile("docs\\b.txt", two.data(), two.size(), 9, &files[1]));
  MemoryStream out;
  InstallerSummary summary;
  std::string error;
  EXPECT_TRUE(WriteInstaller(out, SmallStub(), plan, files, &summary, &error)) << error;
  return out.bytes();
}

VerifyReport Verify(const std::vector<uint8_t>& image) {
  MemoryStream s(image);
  VerifyReport report;
  VerifyInstaller(s, "small.exe", 0, &report);
  return report;
}

// Bytes no reader looks at, or whose every value is a valid choice: the executable's own
// header before the stub fields, the two bytes after the size, and the no-view flag.
bool Harmless(size_t offset) { return offset < 77 || offset == 81 || offset == 82 || offset == 83; }

TEST(Verify, EverySingleByteCorruptionIsReportedOrHarmless) {
  std::vector<uint8_t> installer = SmallInstaller();
  std::vector<uint8_t> uninstaller;
  {
    MemoryStream s(installer);
    ASSERT_TRUE(BuildUninstallerFromInstaller(s, 256, &uninstaller));
  }
  for (const auto* image : {&installer, &uninstaller}) {
    VerifyReport good = Verify(*image);
    ASSERT_TRUE(good.ok()) << (good.faults.empty() ? "" : good.faults[0]);
    EXPECT_EQ(good.uninstaller, image == &uninstaller);
    EXPECT_EQ(good.files, 2u);
    // Cut short anywhere, or with anything appended, it is reported.
    for (size_t size = 0; size < image->size(); ++size) {
      std::vector<uint8_t> cut(image->begin(), image->begin() + size);
      EXPECT_FALSE(Verify(cut).ok()) << size;
    }
    std::vector<uint8_t> longer = *image;
    longer.push_back(0);
    EXPECT_FALSE(Verify(longer).ok());
  }
  // The installer's self-check value covers everything from byte 93 on; the uninstaller
  // carries no check value, so only its structure can be checked (above).
  {
    const std::vector<uint8_t>* image = &installer;
    std::vector<uint8_t> bad = *image;
    size_t missed = 0;
    for (size_t offset = 0; offset < bad.size(); ++offset) {
      uint8_t original = bad[offset];
      for (int delta = 1; delta < 256; ++delta) {
        bad[offset] = static_cast<uint8_t>(original + delta);
        if (!Harmless(offset) && Verify(bad).ok()) {
          if (++missed <= 5) ADD_FAILURE() << "byte " << offset << " = " << int(bad[offset]) << " not reported";
        }
      }
      bad[offset] = original;
    }
    EXPECT_EQ(missed, 0u);
  }
}

// An installer whose file list names the files `names` (each holding its own name as
// content), written past the packer's own checks by replacing a harmless file list.
std::vector<uint8_t> InstallerNaming(const std::vector<std::string>& names) {
  std::vector<PackedFile> files(names.size());
  for (size_t i = 0; i < names.size(); ++i)
    EXPECT_TRUE(PackFile("f" + std::to_string(i), names[i].data(), names[i].size(), 9, &files[i]));
  PackagePlan plan;
  plan.display_name = "Hostile";
  MemoryStream out;
  InstallerSummary summary;
  std::string error;
  EXPECT_TRUE(WriteInstaller(out, SmallStub(), plan, files, &summary, &error)) << error;
  MemoryStream s(out.bytes());
  PackageHeader h;
  EXPECT_TRUE(ReadPackageHeader(s, 256, &h));
  std::vector<std::string> lines = ReadFileListLines(s, h.file_list_position);
  uint64_t first = s.Position();
  for (size_t i = 0; i < lines.size(); ++i) lines[i] = names[i] + lines[i].substr(lines[i].find('|'));
  std::string text = JoinLines(lines);
  std::vector<uint8_t> block = MakeStoredBlock(text.data(), text.size(), 9);
  std::vector<uint8_t> image(out.bytes().begin(), out.bytes().begin() + h.file_list_position);
  for (int i = 0; i < 4; ++i) image.push_back(static_cast<uint8_t>(block.size() >> (8 * i)));
  image.insert(image.end(), block.begin(), block.end());
  image.insert(image.end(), out.bytes().begin() + first, out.bytes().end());
  return image;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

TEST(Extract, HostileNamesWriteNothingOutsideTheFolder) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/packer-extract-" + std::to_string(getpid());
  ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "/to' '" + dir + "/elsewhere'").c_str()), 0);
  // A link inside the folder that leads out of it.
  ASSERT_EQ(symlink((dir + "/elsewhere").c_str(), (dir + "/to/link").c_str()), 0);
  const std::vector<std::string> hostile = {
      "..\\evil.txt", "docs\\..\\..\\up.txt", "\\abs.txt", "/abs2.txt", "C:\\drive.txt",
      "C:drive2.txt", "x.txt:stream", "...\\dots.txt", ".. \\blank.txt", "CON", "docs\\nul.txt",
      "com1.log", "a\x01" "b.txt", "uninstall.exe", "link\\through.txt", "docs\\good.txt",
      "DOCS\\GOOD.TXT"};
  std::vector<uint8_t> image = InstallerNaming(hostile);
  MemoryStream s(image);
  ExtractOptions options;
  options.to = dir + "/to";
  ExtractReport report;
  std::string error;
  ASSERT_TRUE(ExtractInstaller(s, "hostile.exe", options, nullptr, &report, &error)) << error;
  EXPECT_EQ(report.written_names, std::vector<std::string>{"docs\\good.txt"});
  EXPECT_EQ(report.problems.size(), hostile.size() - 1);
  // The only things under the test folder: the one good file, the link and the folders.
  std::string listing = dir + "-listing.txt";
  ASSERT_EQ(std::system(("cd '" + dir + "' && find . | sort > '" + listing + "'").c_str()), 0);
  std::FILE* f = std::fopen(listing.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char buffer[4096];
  std::string found(buffer, std::fread(buffer, 1, sizeof buffer, f));
  std::fclose(f);
  EXPECT_EQ(found, ".\n./elsewhere\n./to\n./to/docs\n./to/docs/good.txt\n./to/link\n");
  EXPECT_FALSE(Exists("/abs.txt"));
  EXPECT_FALSE(Exists("/abs2.txt"));
  std::system(("rm -rf '" + dir + "' '" + listing + "'").c_str());
}

TEST(PathPattern, WildcardsWithinAPartAndDoubleStarAcrossFolders) {
  struct Case {
    const char* pattern;
    const char* path;
    bool match;
  } cases[] = {
      {"*.html", "index.html", true},
      {"*.html", "docs/index.html", false},   // "*" stays within one part
      {"docs/*.html", "docs/index.html", true},
      {"docs/*.html", "docs/sub/index.html", false},
      {"docs/?.txt", "docs/a.txt", true},
      {"docs/?.txt", "docs/ab.txt", false},
      {"assets/**/*.png", "assets/x.png", true},  // "**" may stand for no folder
      {"assets/**/*.png", "assets/a/b/c/x.png", true},
      {"assets/**/*.png", "assets/a/x.jpg", false},
      {"assets/**/*.png", "other/a/x.png", false},
      {"**", "a/b/c", true},
      {"**/.*", "a/.hidden", true},
      {"**/.*", ".hidden", true},
      {"**/.*", "a/visible", false},
      {"a*b*c", "aXbYc", true},
      {"a*b*c", "aXbY", false},
      {"docs\\*.html", "docs/a.html", true},  // either separator
      {"*.HTML", "a.html", false},            // exact case unless folded
  };
  for (const Case& c : cases) EXPECT_EQ(MatchPath(c.pattern, c.path), c.match) << c.pattern << " " << c.path;
  EXPECT_TRUE(MatchPath("*.HTML", "docs\\A.html", false) == false);
  EXPECT_TRUE(MatchPath("DOCS/*.HTML", "docs\\a.html", true));
}

class FileSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    root_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/packer-fileset-" + std::to_string(getpid());
    std::system(("rm -rf '" + root_ + "'").c_str());
    for (const char* f : {"main.exe", "docs/b.html", "docs/a.html", "docs/sub/c.html", "docs/.hidden",
                          "docs/old.bak", "assets/x/y/z.png", "assets/top.png", "assets/note.txt"})
      Write(f);
  }
  void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }
  void Write(const std::string& relative) {
    std::string path = root_ + "/" + relative;
    std::system(("mkdir -p \"$(dirname '" + path + "')\"").c_str());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(relative.c_str(), f);
    std::fclose(f);
  }
  // The stored names, or "LINE: error".
  std::string Expand(const std::string& files) {
    Manifest m;
    std::string error;
    if (!ParseManifest("[files]\n" + files, &m, &error)) return error;
    std::vector<ManifestFile> out;
    if (!ExpandFiles(m, root_, &out, &error)) return error;
    std::string names;
    for (const ManifestFile& f : out) names += f.stored_name + (f.stored_name == f.source ? "" : "=" + f.source) + " ";
    return names;
  }
  std::string root_;
};

TEST_F(FileSetTest, FoldersAndPatternsInADeterministicOrder) {
  struct Case {
    const char* title;
    const char* files;
    std::string expected;
  } cases[] = {
      {"a folder, hidden files too", "docs/\n",
       "docs\\.hidden=docs/.hidden docs\\a.html=docs/a.html docs\\b.html=docs/b.html "
       "docs\\old.bak=docs/old.bak docs\\sub\\c.html=docs/sub/c.html "},
      {"single files first, as written, then the rest by stored name",
       "docs/\nmain.exe\nexclude = **/.*\nexclude = **/*.bak\n",
       "main.exe docs\\a.html=docs/a.html docs\\b.html=docs/b.html docs\\sub\\c.html=docs/sub/c.html "},
      {"a pattern within one folder", "docs/*.html\n", "docs\\a.html=docs/a.html docs\\b.html=docs/b.html "},
      {"across folders", "assets/**/*.png\n", "assets\\top.png=assets/top.png assets\\x\\y\\z.png=assets/x/y/z.png "},
      {"under another folder", "help\\ = docs/*.html\npics\\ = assets/**/*.png\n",
       "help\\a.html=docs/a.html help\\b.html=docs/b.html pics\\top.png=assets/top.png pics\\x\\y\\z.png=assets/x/y/z.png "},
      {"a folder under another folder", "manual\\ = docs/sub/\n", "manual\\c.html=docs/sub/c.html "},
      {"at the top", "\\ = docs/sub/\n", "c.html=docs/sub/c.html "},
      {"a pattern at the root", "*.exe\n", "main.exe "},
      {"matches nothing", "main.exe\ndocs/*.pdf\n", "3: \"docs/*.pdf\" matches no file"},
      {"everything excluded", "docs/sub/\nexclude = **/*.html\n", "2: \"docs/sub/\" matches no file"},
      {"not a folder", "nothere/\n", "2: \"nothere\" is not a folder under the root"},
      {"the same stored name twice", "docs\\a.html = main.exe\ndocs/*.html\n",
       "3: stored name \"docs\\a.html\" appears twice (line 2 and line 3, docs/a.html)"},
      {"case only", "DOCS\\A.HTML = main.exe\ndocs/\n", "3: stored name \"docs\\a.html\" and \"DOCS\\A.HTML\" (line 2)"},
      {"a folder stored as a file name", "help = docs/\n", "2: a folder or pattern is stored under a folder: write \"help\\ = docs/\""},
      {"out of the root", "up\\ = ../x/\n", "2: \"../x/\" reaches out of the root folder"},
      {"a bad stored folder", "..\\ = docs/\n", "2: stored folder \"..\" has a part of only dots"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::string got = Expand(c.files);
    EXPECT_EQ(got.substr(0, c.expected.size()), c.expected) << got;
  }
}

TEST_F(FileSetTest, LinksAreFollowedOnlyInsideTheRoot) {
  ASSERT_EQ(symlink((root_ + "/docs/sub").c_str(), (root_ + "/assets/inner").c_str()), 0);
  EXPECT_EQ(Expand("assets/inner/\n"), "assets\\inner\\c.html=assets/inner/c.html ");
  ASSERT_EQ(symlink("/etc", (root_ + "/docs/out").c_str()), 0);
  std::string got = Expand("docs/\n");
  EXPECT_EQ(got.find("2: the link "), 0u) << got;
  EXPECT_NE(got.find("leads out of the root folder"), std::string::npos) << got;
  // A loop of links ends.
  ASSERT_EQ(std::system(("rm '" + root_ + "/docs/out' && ln -s .. '" + root_ + "/docs/sub/up'").c_str()), 0);
  got = Expand("docs/sub/\n");
  EXPECT_NE(got.find("docs\\sub\\c.html"), std::string::npos) << got;
}

}  // namespace
}  // namespace hollin
