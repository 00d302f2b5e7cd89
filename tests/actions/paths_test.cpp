#include <gtest/gtest.h>

#include "fake_platform.h"
#include "installer/actions/paths.h"

namespace hollin {
namespace {

using testing::FakePlatform;

TEST(ContainedNameTest, RefusesEveryWayOutOfTheFolder) {
  struct Case {
    const char* name;
    bool contained;
  } cases[] = {
      {"Vellumo.exe", true},
      {"sub\\deeper\\x.txt", true},
      {"sub/x.txt", true},
      {"a..b.txt", true},
      {"console\\x", true},        // only the whole base name is a device
      {"con.d\\x", false},          // whatever extension follows
      {"", false},
      {"..\\evil.txt", false},
      {"sub\\..\\..\\evil.txt", false},
      {"sub/../../evil.txt", false},
      {"...\\evil.txt", false},    // the system shortens it to ".."
      {". .\\evil.txt", false},
      {".\\x.txt", false},
      {"\\windows\\evil.txt", false},
      {"/evil.txt", false},
      {"\\\\server\\share\\x", false},
      {"C:\\evil.txt", false},
      {"C:evil.txt", false},
      {"x.txt:stream", false},
      {"sub\\\\x.txt", false},
      {"sub\\", false},
      {"CON", false},
      {"sub\\nul.txt", false},
      {"com1", false},
      {"LPT9.log", false},
      {"a*.txt", false},
      {"a?b", false},
      {"tab\there", false},
      {"del\x7f.txt", false},      // a control byte as well
      {"COM\xB9", false},          // the system takes superscript digits for devices too
      {"lpt\xB2.txt", false},
      {"com\xB4", true},           // but only one, two and three
  };
  for (const Case& c : cases) EXPECT_EQ(IsContainedName(c.name), c.contained) << c.name;
}

TEST(PathPartsTest, SplitsAtTheLastBackslash) {
  EXPECT_EQ(FolderPart("C:\\a\\b.exe"), "C:\\a\\");
  EXPECT_EQ(FileNamePart("C:\\a\\b.exe"), "b.exe");
  EXPECT_EQ(FolderPart("b.exe"), "");
  EXPECT_EQ(FileNamePart("b.exe"), "b.exe");
  EXPECT_EQ(LowerExtension("C:\\x.y\\SET.REG"), ".reg");
  EXPECT_EQ(LowerExtension("C:\\x.y\\noext"), "");
  EXPECT_EQ(WithTrailingBackslash("C:\\a"), "C:\\a\\");
  EXPECT_EQ(WithTrailingBackslash("C:\\a\\"), "C:\\a\\");
}

TEST(CreateFolderLevelsTest, CreatesParentsOneByOneAndNothingForARoot) {
  FakePlatform platform;
  EXPECT_TRUE(CreateFolderLevels(platform, "C:\\"));
  EXPECT_TRUE(platform.created_folders.empty());

  EXPECT_TRUE(CreateFolderLevels(platform, "C:\\one\\two\\three\\"));
  EXPECT_EQ(platform.created_folders,
            (std::vector<std::string>{"C:\\one\\", "C:\\one\\two\\", "C:\\one\\two\\three\\"}));

  platform.created_folders.clear();
  EXPECT_TRUE(CreateFolderLevels(platform, "C:\\one\\four"));  // no trailing "\": the whole text last
  EXPECT_EQ(platform.created_folders, (std::vector<std::string>{"C:\\one\\four"}));

  platform.uncreatable.insert("c:\\locked");
  EXPECT_FALSE(CreateFolderLevels(platform, "C:\\locked\\inner\\"));
}

TEST(RemoveEmptyFoldersTest, RemovesEmptyTreesAndOnlyPlainFolders) {
  FakePlatform platform;
  const std::string root = "C:\\app\\";
  for (const char* f : {"C:\\app", "C:\\app\\empty", "C:\\app\\nest", "C:\\app\\nest\\a", "C:\\app\\nest\\a\\b",
                        "C:\\app\\full", "C:\\app\\hidden", "C:\\app\\readonly", "C:\\app\\archived"})
    platform.folders[testing::Lower(f)] = kDirectoryAttribute;
  platform.folders["c:\\app\\hidden"] = kDirectoryAttribute | testing::kHidden;
  platform.folders["c:\\app\\readonly"] = kDirectoryAttribute | testing::kReadOnly;
  platform.folders["c:\\app\\archived"] = kDirectoryAttribute | testing::kArchive;
  platform.PutFile("C:\\app\\full\\keep.txt", "x");
  platform.PutFile("C:\\app\\uninstall.exe", "x");

  EXPECT_TRUE(RemoveEmptyFolders(platform, root));
  for (const char* gone : {"C:\\app\\empty", "C:\\app\\nest", "C:\\app\\nest\\a", "C:\\app\\nest\\a\\b"})
    EXPECT_FALSE(platform.FolderExists(gone)) << gone;
  for (const char* kept : {"C:\\app", "C:\\app\\full", "C:\\app\\hidden", "C:\\app\\readonly", "C:\\app\\archived"})
    EXPECT_TRUE(platform.FolderExists(kept)) << kept;

  EXPECT_FALSE(RemoveEmptyFolders(platform, "C:\\nowhere\\"));

  // A folder that is empty from the start goes itself.
  platform.folders["c:\\lonely"] = kDirectoryAttribute;
  EXPECT_TRUE(RemoveEmptyFolders(platform, "C:\\lonely"));
  EXPECT_FALSE(platform.FolderExists("C:\\lonely"));
}

}  // namespace
}  // namespace hollin
