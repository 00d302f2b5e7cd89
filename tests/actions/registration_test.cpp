#include <gtest/gtest.h>

#include "fake_platform.h"
#include "installer/actions/paths.h"
#include "installer/actions/registration.h"

namespace hollin {
namespace {

using testing::FakePlatform;
constexpr RegistryRoot kHkcr = RegistryRoot::kClassesRoot;
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;

TEST(RegistryRootTest, MapsTheRootIndex) {
  EXPECT_EQ(RegistryRootFromIndex(2), RegistryRoot::kLocalMachine);
  EXPECT_EQ(RegistryRootFromIndex(3), RegistryRoot::kClassesRoot);
  EXPECT_EQ(RegistryRootFromIndex(4), RegistryRoot::kUsers);
  for (uint8_t other : {0, 1, 5, 255}) EXPECT_EQ(RegistryRootFromIndex(other), RegistryRoot::kCurrentUser);
}

TEST(DeleteKeyTreeTest, RemovesNestedKeysAndOnlyThose) {
  struct Case {
    const char* path;  // as passed
  } cases[] = {{"software\\demo"}, {"software\\demo\\"}, {"SOFTWARE\\Demo"}};
  for (const Case& c : cases) {
    FakePlatform platform;
    for (const char* key : {"software\\demo\\one\\two\\three", "software\\demo\\one\\side", "software\\demo\\leaf",
                            "software\\demo\\one\\two\\other", "software\\demo2\\kept", "software\\kept"})
      platform.MakeKey(RegistryRoot::kCurrentUser, key);
    DeleteKeyTree(platform, 1, c.path);
    EXPECT_FALSE(platform.HasKey(RegistryRoot::kCurrentUser, "software\\demo")) << c.path;
    EXPECT_FALSE(platform.HasKey(RegistryRoot::kCurrentUser, "software\\demo\\one\\two")) << c.path;
    EXPECT_TRUE(platform.HasKey(RegistryRoot::kCurrentUser, "software\\demo2\\kept")) << c.path;
    EXPECT_TRUE(platform.HasKey(RegistryRoot::kCurrentUser, "software\\kept")) << c.path;
    EXPECT_EQ(platform.KeyCount(RegistryRoot::kCurrentUser), 5u) << c.path;  // root, software, demo2, its kept, kept
  }
}

TEST(DeleteKeyTreeTest, KeyDirectlyUnderTheRootAndMissingKeys) {
  FakePlatform platform;
  platform.MakeKey(kHkcr, ".dmo\\ShellNew");
  platform.MakeKey(kHkcr, ".txt");
  DeleteKeyTree(platform, 3, ".dmo");
  EXPECT_FALSE(platform.HasKey(kHkcr, ".dmo"));
  EXPECT_TRUE(platform.HasKey(kHkcr, ".txt"));
  size_t keys = platform.KeyCount(kHkcr);
  DeleteKeyTree(platform, 3, "nothing\\here");
  DeleteKeyTree(platform, 3, "absent");
  EXPECT_EQ(platform.KeyCount(kHkcr), keys);
}

TEST(UninstallKeyTest, WritesBothValuesUnderTheProductKey) {
  FakePlatform platform;
  WriteUninstallKey(platform, "DemoKey", "Demo App", "C:\\Demo\\uninstall.exe");
  const char* key = "software\\microsoft\\windows\\currentversion\\uninstall\\DemoKey";
  EXPECT_EQ(platform.Value(kHklm, key, "displayname"), "Demo App");
  EXPECT_EQ(platform.Value(kHklm, key, "uninstallstring"), "C:\\Demo\\uninstall.exe");

  FakePlatform denied;  // the parent does not open: nothing is created
  denied.write_denied.insert("software\\microsoft\\windows\\currentversion\\uninstall");
  WriteUninstallKey(denied, "DemoKey", "Demo App", "C:\\Demo\\uninstall.exe");
  EXPECT_FALSE(denied.HasKey(kHklm, key));
}

TEST(AutorunTest, QuotesOnlyTheParameters) {
  struct Case {
    const char* path;
    bool has_parameters;
    const char* parameters;
    const char* data;
  } cases[] = {
      {"C:\\Program Files\\Demo\\app.exe", false, "ignored", "C:\\Program Files\\Demo\\app.exe"},
      {"C:\\Program Files\\Demo\\app.exe", true, "-min -x", "C:\\Program Files\\Demo\\app.exe \"-min -x\""},
      {"C:\\Demo\\app.exe", true, "", "C:\\Demo\\app.exe \"\""},
  };
  for (const Case& c : cases) {
    FakePlatform platform;
    WriteAutorunValue(platform, c.path, c.has_parameters, c.parameters);
    EXPECT_EQ(platform.Value(kHklm, kRunKey, FileNamePart(c.path)), c.data);
  }
}

TEST(AutorunTest, RunKeyThatDoesNotOpenGetsNothingAndRemovalTakesTheValue) {
  FakePlatform platform;
  WriteAutorunValue(platform, "C:\\Demo\\app.exe", false, "");
  RemoveAutorunValue(platform, "C:\\Other\\APP.EXE");  // value names ignore letter case
  EXPECT_EQ(platform.Value(kHklm, kRunKey, "app.exe"), "<missing>");
  platform.write_denied.insert(kRunKey);
  WriteAutorunValue(platform, "C:\\Demo\\app.exe", false, "");
  EXPECT_EQ(platform.Value(kHklm, kRunKey, "app.exe"), "<missing>");
}

TEST(ShellVerbTest, CommandUsesTheShortPathAndTheArgumentTail) {
  FakePlatform platform;
  const std::string program = "C:\\Program Files\\Demo\\app.exe";
  platform.short_paths[testing::Lower(program)] = "C:\\PROGRA~1\\Demo\\app.exe";
  struct Case {
    const char* base;
    const char* verb;
    bool has_extra;
    const char* extra;
    const char* command;
  } cases[] = {
      {kAnyFileShellBase, "View in Demo", false, "", "C:\\PROGRA~1\\Demo\\app.exe \"%1\""},
      {kExeShellBase, "Open with Demo", true, "-x y", "C:\\PROGRA~1\\Demo\\app.exe \"-x y\" \"%1\""},
      {kFolderShellBase, "Browse", false, "", "C:\\PROGRA~1\\Demo\\app.exe \"%1\""},
      {kDllShellBase, "Open with Demo", false, "", "C:\\PROGRA~1\\Demo\\app.exe \"%1\""},
  };
  for (const Case& c : cases) {
    RegisterShellVerb(platform, c.base, c.verb, c.has_extra, c.extra, program);
    EXPECT_EQ(platform.Value(kHkcr, std::string(c.base) + "\\" + c.verb + "\\command", ""), c.command) << c.base;
  }
  // The second registration of a verb replaces the first command; one key remains.
  size_t keys = platform.KeyCount(kHkcr);
  RegisterShellVerb(platform, kAnyFileShellBase, "VIEW IN DEMO", true, "2", program);
  EXPECT_EQ(platform.KeyCount(kHkcr), keys);
  EXPECT_EQ(platform.Value(kHkcr, "*\\shell\\View in Demo\\command", ""),
            "C:\\PROGRA~1\\Demo\\app.exe \"2\" \"%1\"");
  // Without a short form (the program is missing) the long path stands in.
  EXPECT_EQ(ShellVerbCommand(platform, "C:\\Gone\\x.exe", false, ""), "C:\\Gone\\x.exe \"%1\"");
}

TEST(FileTypeTest, TypeNameIsTheLowerCaseExtensionPlusFile) {
  EXPECT_EQ(TypeNameOf(".TXT"), "txtfile");
  EXPECT_EQ(TypeNameOf(".rtf"), "rtffile");
  EXPECT_EQ(TypeNameOf("dmo"), "mofile");  // the first character goes whatever it is
  EXPECT_EQ(TypeNameOf(""), "file");
}

TEST(FileTypeTest, WritesEveryKeyAndLeavesAnExistingApplicationsEntry) {
  const std::string program = "C:\\Program Files\\Demo\\app.exe";
  FakePlatform platform;
  RegisterFileType(platform, ".Dmo", "Demo document", "open", program, 0, true, true);
  const std::string command = program + " \"%1\"";
  EXPECT_EQ(platform.Value(kHkcr, "Applications\\app.exe\\Shell\\Open\\Command", ""), command);
  EXPECT_EQ(platform.Value(kHkcr, ".Dmo", ""), "dmofile");
  EXPECT_EQ(platform.Value(kHkcr, "dmofile", ""), "Demo document");
  EXPECT_EQ(platform.Value(kHkcr, "dmofile\\DefaultIcon", ""), program + ",0");
  EXPECT_EQ(platform.Value(kHkcr, "dmofile\\Shell", ""), "open");
  EXPECT_TRUE(platform.HasKey(kHkcr, "dmofile\\Shell\\open"));
  EXPECT_EQ(platform.Value(kHkcr, "dmofile\\Shell\\open\\Command", ""), command);
  EXPECT_EQ(LookupTypeName(platform, ".dmo"), "dmofile");
  EXPECT_EQ(LookupTypeName(platform, ".none"), "");

  FakePlatform taken;
  taken.MakeKey(kHkcr, "Applications\\app.exe");
  taken.SetStringValue(kHkcr, "Applications\\app.exe", "", "theirs");
  RegisterFileType(taken, ".dmo", "d", "edit", program, -1, false, true);
  EXPECT_EQ(taken.Value(kHkcr, "Applications\\app.exe", ""), "theirs");
  EXPECT_FALSE(taken.HasKey(kHkcr, "Applications\\app.exe\\Shell"));
  EXPECT_FALSE(taken.HasKey(kHkcr, "dmofile\\DefaultIcon"));
  EXPECT_EQ(taken.Value(kHkcr, "dmofile\\Shell", ""), "");  // not the default verb
  EXPECT_EQ(taken.Value(kHkcr, "dmofile\\Shell\\edit\\Command", ""), command);

  // A negative index is a resource number.
  FakePlatform by_resource;
  RegisterFileType(by_resource, ".dmo", "d", "open", program, -101, false, false);
  EXPECT_EQ(by_resource.Value(kHkcr, "dmofile\\DefaultIcon", ""), program + ",-101");
}

TEST(SelfRegistrationTest, ProgramsGetRegServerAndLibrariesTheirEntry) {
  FakePlatform platform;
  platform.registrable_dlls.insert("c:\\demo\\good.dll");
  EXPECT_TRUE(RegisterDll(platform, "C:\\Demo\\good.dll"));
  EXPECT_FALSE(RegisterDll(platform, "C:\\Demo\\bad.dll"));
  EXPECT_TRUE(RegisterExe(platform, "C:\\Demo\\tool.exe"));
  platform.shell_result = 32;  // the shell's failure answers are 32 and below
  EXPECT_FALSE(RegisterExe(platform, "C:\\Demo\\tool.exe"));
  ImportRegistryFile(platform, "C:\\Demo\\set.reg");
  EXPECT_EQ(platform.shell_calls,
            (std::vector<testing::ShellCall>{{"\"C:\\Demo\\tool.exe\"", "/RegServer", "", 1},
                                             {"\"C:\\Demo\\tool.exe\"", "/RegServer", "", 1},
                                             {"regedit", "/s \"C:\\Demo\\set.reg\"", "C:\\windows\\", 1}}));
}

}  // namespace
}  // namespace hollin
