#include <gtest/gtest.h>

#include <functional>

#include "installer/package/message_pump.h"

#include "procedure_fixture.h"

namespace hollin {
namespace {

using namespace hollin::testing;

PackagePlan ThreeFiles() {
  PackagePlan plan;
  plan.files = {{"readme.txt", "hello, reader\r\n"},
                {"sub\\deep\\data.bin", std::string("\x00\x01\x02\xff", 4) + std::string(5000, 'z')},
                {"settings.REG", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Demo]\r\n"}};
  plan.registry_import = 1;
  return plan;
}

TEST(InstallProcedureTest, FreshInstallWritesFilesLogAndUninstaller) {
  ProcedureRun run;
  run.host.path_text = "C:\\Program Files\\Demo";  // gets its "\"
  PackagePlan plan = ThreeFiles();
  run.Install(plan);

  EXPECT_EQ(run.host.log,
            Lines({InstallTitle(), "total 3 files to extract...",
                   At("readme.txt") + " extracted,crc is correctly",
                   At("sub\\deep\\data.bin") + " extracted,crc is correctly",
                   At("settings.REG") + " extracted,crc is correctly",
                   "autoimport registry files " + At("settings.REG"),
                   "if install app not worked,please import the registry file manauge",
                   "write registry uninstall key DemoKey", "create uninstall app",
                   At("uninstall.exe") + " created"}));
  EXPECT_EQ(run.host.path_text, kFolder);
  EXPECT_EQ(run.platform.created_folders,
            (std::vector<std::string>{kFolder, At("sub\\"), At("sub\\deep\\")}));
  for (const auto& [name, content] : plan.files) EXPECT_EQ(run.platform.Content(At(name)), content) << name;
  EXPECT_EQ(run.platform.shell_calls,
            (std::vector<ShellCall>{{"regedit", "/s \"" + At("settings.REG") + "\"", "C:\\windows\\", 1}}));
  const char* key = "software\\microsoft\\windows\\currentversion\\uninstall\\DemoKey";
  EXPECT_EQ(run.platform.Value(RegistryRoot::kLocalMachine, key, "displayname"), "Demo App");
  EXPECT_EQ(run.platform.Value(RegistryRoot::kLocalMachine, key, "uninstallstring"), At("uninstall.exe"));
  EXPECT_EQ(run.platform.Content(At("uninstall.exe")), ExpectedUninstaller(run.package));
  EXPECT_TRUE(run.host.progress_shown);
  EXPECT_EQ(run.host.progress_max, 3);
  EXPECT_EQ(run.host.progress, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(run.host.action_caption, "exit");
  EXPECT_EQ(run.host.enabled_changes, (std::vector<bool>{false, true}));
}

TEST(InstallProcedureTest, UninstallerLayoutAndPatches) {
  ProcedureRun run;
  run.Install(ThreeFiles());
  std::string image = run.platform.Content(At("uninstall.exe"));
  ASSERT_GT(image.size(), 93u);
  EXPECT_EQ(image.substr(77, 4), std::string(4, '\x01'));
  EXPECT_EQ(image[84], '\x01');
  EXPECT_EQ(image.substr(85, 8), "vorn2003");
  // The plain file list follows the header; the tail is the records from the autorun on.
  std::string list = Lines({run.package.list_lines[0], run.package.list_lines[1], run.package.list_lines[2]});
  size_t h = run.package.header_end;
  EXPECT_EQ(static_cast<uint8_t>(image[h]) | (static_cast<uint8_t>(image[h + 1]) << 8), static_cast<int>(list.size()));
  EXPECT_EQ(image.substr(h + 4, list.size()), list);
  EXPECT_EQ(image.size(), h + 4 + list.size() + 13);
  // Everything else up to the header end is the installer's own bytes.
  std::string original(run.package.bytes.begin(), run.package.bytes.begin() + static_cast<long>(h));
  EXPECT_EQ(image.substr(0, 77), original.substr(0, 77));
  EXPECT_EQ(image.substr(93, h - 93), original.substr(93, h - 93));
}

TEST(InstallProcedureTest, SecondInstallSkipsEveryFileButRepeatsTheRegistration) {
  ProcedureRun run;
  PackagePlan plan = ThreeFiles();
  run.Install(plan);
  run.platform.files[Lower(At("readme.txt"))].attributes = kHidden;  // must survive
  run.platform.writes.clear();
  run.host = FakeHost();
  run.Install(plan);
  EXPECT_EQ(run.host.log,
            Lines({InstallTitle(), "total 3 files to extract...",
                   At("readme.txt") + " crc is same with the install app included,skip extract",
                   At("sub\\deep\\data.bin") + " crc is same with the install app included,skip extract",
                   At("settings.REG") + " crc is same with the install app included,skip extract",
                   "autoimport registry files " + At("settings.REG"),
                   "if install app not worked,please import the registry file manauge",
                   "write registry uninstall key DemoKey", "create uninstall app",
                   At("uninstall.exe") + " crc is same,skip write"}));
  EXPECT_TRUE(run.platform.writes.empty());
  EXPECT_EQ(run.platform.files[Lower(At("readme.txt"))].attributes, kHidden);
  EXPECT_EQ(run.platform.shell_calls.size(), 2u);  // imported again
}

TEST(InstallProcedureTest, ChangedFilesAreOverwrittenEvenWhenReadOnly) {
  ProcedureRun run;
  PackagePlan plan = ThreeFiles();
  plan.registry_import = 0;  // then a .reg file is only copied
  run.platform.folders[Lower("C:\\Program Files\\Demo")] = kDirectoryAttribute;
  run.platform.PutFile(At("readme.txt"), "changed by the user", kReadOnly);
  run.platform.PutFile(At("uninstall.exe"), "an older uninstaller", kReadOnly);
  run.Install(plan);
  EXPECT_EQ(run.host.log,
            Lines({InstallTitle(), "total 3 files to extract...",
                   At("readme.txt") + "crc not same with install app,now overwrite ",
                   At("sub\\deep\\data.bin") + " extracted,crc is correctly",
                   At("settings.REG") + " extracted,crc is correctly",
                   "write registry uninstall key DemoKey", "create uninstall app",
                   At("uninstall.exe") + " crc is not same,overwrite"}));
  EXPECT_EQ(run.platform.Content(At("readme.txt")), plan.files[0].second);
  EXPECT_EQ(run.platform.Content(At("uninstall.exe")), ExpectedUninstaller(run.package));
  EXPECT_TRUE(run.platform.shell_calls.empty());
}

TEST(InstallProcedureTest, CrcVerdictsOfNewFiles) {
  const std::string content = "payload";
  const std::string block = StoredBlock(content);
  const std::string length = std::to_string(block.size());
  std::string lower_crc = ContentCrc(content);
  for (char& c : lower_crc) c = static_cast<char>(std::tolower(c));
  struct Case {
    const char* label;
    std::string crc;
    bool skip_crc;
    std::string line;
  } cases[] = {
      {"right", ContentCrc(content), false, " extracted,crc is correctly"},
      {"wrong", "DEADBEEF", false, " extracted,but crc not correctly"},
      {"lower case", lower_crc, false, " extracted,but crc not correctly"},
      {"ignored", "DEADBEEF", true, " extracted,crc ignore checked"},
  };
  for (const Case& c : cases) {
    if (c.crc == lower_crc && lower_crc == ContentCrc(content) && c.line != " extracted,crc is correctly")
      continue;  // a CRC without letters has no lower-case form
    ProcedureRun run;
    run.host.skip_crc = c.skip_crc;
    PackagePlan plan;
    plan.files = {{"x.txt", content}};
    plan.list_lines = {"x.txt|" + c.crc + length};
    run.Install(plan);
    EXPECT_NE(run.host.log.find(At("x.txt") + c.line + "\r\n"), std::string::npos) << c.label << run.host.log;
    EXPECT_EQ(run.platform.Content(At("x.txt")), content) << c.label;
  }
}

TEST(InstallProcedureTest, TargetThatCannotBeCreatedFailsItsCheck) {
  ProcedureRun run;
  run.platform.folders[Lower("C:\\Program Files\\Demo")] = kDirectoryAttribute;
  run.platform.folders[Lower(At("x.txt"))] = kDirectoryAttribute;  // a folder in the way
  PackagePlan plan;
  plan.files = {{"x.txt", "one"}, {"y.txt", "two"}};
  run.Install(plan);
  EXPECT_NE(run.host.log.find(At("x.txt") + " extracted,but crc not correctly\r\n" + At("y.txt") +
                              " extracted,crc is correctly\r\n"),
            std::string::npos)
      << run.host.log;
  EXPECT_EQ(run.platform.Content(At("y.txt")), "two");
}

TEST(InstallProcedureTest, CutBlockEndsTheInstallWithWhatWasThere) {
  ProcedureRun run;
  PackagePlan plan;
  std::string big;
  for (int i = 0; i < 20000; ++i) big += std::to_string(i * 7919 % 10007);
  plan.files = {{"a.txt", "first"}, {"b.txt", big}};
  plan.records_1_2.clear();
  plan.records_from_3.clear();
  plan.cut_at_end = 10;
  run.Install(plan);
  EXPECT_EQ(run.host.log, Lines({InstallTitle(), "total 2 files to extract...",
                                 At("a.txt") + " extracted,crc is correctly", At("b.txt") + " is bad"}));
  EXPECT_FALSE(run.platform.Has(At("uninstall.exe")));
  EXPECT_EQ(run.host.action_caption, "Setup");
  EXPECT_EQ(run.host.enabled_changes, (std::vector<bool>{false, true}));
  // The part that was there was decoded into the file.
  std::string partial = run.platform.Content(At("b.txt"));
  EXPECT_GT(partial.size(), 0u);
  EXPECT_LT(partial.size(), big.size());
  EXPECT_EQ(big.compare(0, partial.size(), partial), 0);
}

TEST(InstallProcedureTest, NamesLeadingOutOfTheFolderAreNeverWritten) {
  for (const char* bad : {"..\\evil.txt", "sub\\..\\..\\evil.txt", "C:\\evil.txt", "\\evil.txt",
                          "...\\evil.txt", "nul", "D:evil.txt", "x.txt:hidden"}) {
    ProcedureRun run;
    PackagePlan plan;
    plan.files = {{bad, "evil"}, {"ok.txt", "fine"}};
    run.Install(plan);
    EXPECT_EQ(run.host.log,
              Lines({InstallTitle(), "total 2 files to extract...", At(bad) + " is bad",
                     At("ok.txt") + " extracted,crc is correctly", "write registry uninstall key DemoKey",
                     "create uninstall app", At("uninstall.exe") + " created"}))
        << bad;
    for (const auto& [path, file] : run.platform.files)
      EXPECT_EQ(path.rfind(Lower(kFolder), 0), 0u) << bad << " wrote " << path;
    EXPECT_EQ(run.platform.Content(At("ok.txt")), "fine") << bad;
  }
}

TEST(InstallProcedureTest, MalformedFileListLineEndsTheInstall) {
  ProcedureRun run;
  PackagePlan plan;
  plan.files = {{"a.txt", "x"}};
  plan.list_lines = {"a.txt without separator"};
  run.Install(plan);
  EXPECT_EQ(run.host.log, Lines({InstallTitle(), "total 1 files to extract...", At("a.txt without separator") + " is bad"}));
  EXPECT_EQ(run.host.action_caption, "Setup");
}

TEST(InstallProcedureTest, InstallFolderThatCannotBeCreated) {
  ProcedureRun run;
  run.platform.uncreatable.insert(Lower("C:\\Program Files\\Demo"));
  run.Install(ThreeFiles());
  EXPECT_EQ(run.host.messages, (std::vector<std::string>{std::string(kFolder) + " unable to create"}));
  EXPECT_EQ(run.host.log, Lines({InstallTitle()}));
  EXPECT_TRUE(run.platform.files.empty());
  EXPECT_EQ(run.host.action_caption, "Setup");
}

TEST(InstallProcedureTest, FileFolderThatCannotBeCreatedIsLoggedAndSkipped) {
  ProcedureRun run;
  run.platform.folders[Lower("C:\\Program Files\\Demo")] = kDirectoryAttribute;
  run.platform.PutFile(At("sub"), "a file where the folder should be");
  PackagePlan plan;
  plan.files = {{"sub\\x.txt", "x"}, {"y.txt", "y"}};
  run.Install(plan);
  EXPECT_EQ(run.host.log,
            Lines({InstallTitle(), "total 2 files to extract...", At("sub\\x.txt") + " unable to create",
                   At("y.txt") + " extracted,crc is correctly", "write registry uninstall key DemoKey",
                   "create uninstall app", At("uninstall.exe") + " created"}));
}

TEST(InstallProcedureTest, ExitCaptionEndsTheProgramAndRunsDoNotNest) {
  ProcedureRun run;
  run.host.action_caption = "exit";
  run.Install(ThreeFiles());
  EXPECT_TRUE(run.host.ended);
  EXPECT_EQ(run.host.log, "");

  ProcedureRun nested;
  PackagePlan plan = ThreeFiles();
  int inner_runs = 0;
  nested.host.on_pump = [&] {
    ++inner_runs;
    MemoryStream other(nested.package.bytes);
    InstallContext again;
    again.package = &other;
    again.header_end = nested.package.header_end;
    again.file_list_position = nested.package.file_list_position;
    RunInstallProcedure(nested.host, nested.platform, again);  // a second press of Setup
  };
  nested.Install(plan);
  EXPECT_GT(inner_runs, 0);
  EXPECT_EQ(nested.host.log.find(InstallTitle(), 1), std::string::npos);
  EXPECT_EQ(nested.host.enabled_changes, (std::vector<bool>{false, true}));
  EXPECT_EQ(nested.host.action_caption, "exit");
}

TEST(InstallProcedureTest, PackageEndingBeforeTheRecordsReadsThemAsAbsent) {
  ProcedureRun run;
  PackagePlan plan;
  plan.files = {{"a.txt", "x"}};
  plan.uninstall_key.clear();
  plan.records_1_2.clear();
  plan.records_from_3.clear();
  run.Install(plan);
  EXPECT_EQ(run.host.log, Lines({InstallTitle(), "total 1 files to extract...", At("a.txt") + " extracted,crc is correctly",
                                 "create uninstall app", At("uninstall.exe") + " created"}));
  EXPECT_EQ(run.platform.Content(At("uninstall.exe")), ExpectedUninstaller(run.package));
  std::vector<std::string> product_keys;
  ASSERT_TRUE(run.platform.ListSubkeys(RegistryRoot::kLocalMachine,
                                       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall", &product_keys));
  EXPECT_TRUE(product_keys.empty());
}

}  // namespace
}  // namespace hollin

namespace hollin {
namespace {

using namespace hollin::testing;
constexpr RegistryRoot kHkcr = RegistryRoot::kClassesRoot;
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;

TEST(InstallActionsTest, EveryRecordInStoredOrder) {
  ProcedureRun run;
  PackagePlan plan = FullRecords();
  run.platform.registrable_dlls.insert(Lower(At("good.dll")));
  const std::string app = At("app.exe");
  run.platform.short_paths[Lower(app)] = "C:\\PROGRA~1\\Demo\\app.exe";
  run.platform.MakeKey(kHklm, "software\\demo");  // only the uninstaller removes it
  run.Install(plan);

  std::string expected = Lines({InstallTitle(), "total 6 files to extract..."});
  for (const auto& [name, content] : plan.files) expected += Lines({At(name) + " extracted,crc is correctly"});
  expected += Lines({
      "register " + At("good.dll") + " succeful",
      "register " + At("bad.dll") + " failed",
      "register " + At("tool.EXE") + " succeful",
      At("..\\evil.dll") + " is bad",
      "write registry uninstall key DemoKey",
      "execute " + app,
      "check and confirm write to registry autorun " + app,
      "registry exe shell " + app,
      "registry dll shell Open with Demo",
      "registry anyfile shell " + app,
      "registry folder shell " + app,
      "registry filetype reg .dmo",
      std::string(kDesktopLink) + "  newcreate ",
      "create program group name Demo Group",
      std::string(kGroupFolder) + "\\Demo.lnk new created",
      std::string(kGroupFolder) + "\\Help.lnk new created",
      "create uninstall app",
      At("uninstall.exe") + " created",
  });
  EXPECT_EQ(run.host.log, expected);

  EXPECT_EQ(run.platform.dll_calls, (std::vector<std::string>{At("good.dll"), At("bad.dll")}));
  EXPECT_EQ(run.platform.shell_calls,
            (std::vector<ShellCall>{{"\"" + At("tool.EXE") + "\"", "/RegServer", "", 1},
                                    {"\"app.exe\"", "--first", kFolder, 2}}));
  EXPECT_EQ(run.platform.Value(kHklm, "software\\microsoft\\windows\\currentversion\\run", "app.exe"),
            app + " \"-min\"");
  const std::string short_command = "C:\\PROGRA~1\\Demo\\app.exe";
  EXPECT_EQ(run.platform.Value(kHkcr, "exefile\\shell\\Open with Demo\\command", ""), short_command + " \"-x\" \"%1\"");
  EXPECT_EQ(run.platform.Value(kHkcr, "dllfile\\shell\\Open with Demo\\command", ""), short_command + " \"-x\" \"%1\"");
  EXPECT_EQ(run.platform.Value(kHkcr, "*\\shell\\View in Demo\\command", ""), short_command + " \"%1\"");
  EXPECT_EQ(run.platform.Value(kHkcr, "folder\\shell\\Browse\\command", ""), short_command + " \"%1\"");
  EXPECT_EQ(run.platform.Value(kHkcr, ".dmo", ""), "dmofile");
  EXPECT_EQ(run.platform.Value(kHkcr, "dmofile\\Shell\\open\\Command", ""), app + " \"%1\"");
  EXPECT_EQ(run.platform.Content(kDesktopLink), "LINK:" + app);
  EXPECT_EQ(run.platform.Content(std::string(kGroupFolder) + "\\Help.lnk"), "LINK:" + At("help.txt"));
  EXPECT_TRUE(run.platform.HasKey(kHklm, "software\\demo"));
  EXPECT_EQ(run.platform.Content(At("uninstall.exe")), ExpectedUninstaller(run.package));
  EXPECT_EQ(run.host.action_caption, "exit");
}

TEST(InstallActionsTest, ExistingLinksAreComparedByTargetIgnoringCase) {
  struct Case {
    const char* label;
    std::string existing;  // "" = no link file
    std::string desktop_line;
    std::string group_line;
  } cases[] = {
      {"same", "LINK:" + Lower(At("APP.EXE")), "  link is  same ,skip write ", " link is same,skip write"},
      {"other", "LINK:C:\\elsewhere\\app.exe", "  link is not same ,rewrite ", " link is not same,rewrite"},
      {"not a link", "garbage", "  link is bad,rewrite ", " link is bad,rewrite"},
      {"missing", "", "  newcreate ", " new created"},
  };
  for (const Case& c : cases) {
    ProcedureRun run;
    PackagePlan plan;
    plan.files = {{"app.exe", "MZ"}};
    plan.records_from_3 = std::string(8, '\0') + Flag(1) + Str("Demo") + Str("app.exe") + Flag(1) +
                          Str("Group") + Flag(1) + Str("Demo") + Str("app.exe");
    const std::string group_link = "C:\\users\\me\\Start Menu\\Programs\\Group\\Demo.lnk";
    if (!c.existing.empty()) {
      run.platform.folders[Lower("C:\\users\\me\\Start Menu\\Programs\\Group")] = kDirectoryAttribute;
      run.platform.PutFile(kDesktopLink, c.existing);
      run.platform.PutFile(group_link, c.existing);
    }
    run.Install(plan);
    EXPECT_NE(run.host.log.find(Lines({kDesktopLink + c.desktop_line, "create program group name Group",
                                       group_link + c.group_line})),
              std::string::npos)
        << c.label << "\n" << run.host.log;
    const std::string expected_link = c.label == std::string("same") ? c.existing : "LINK:" + At("app.exe");
    EXPECT_EQ(run.platform.Content(kDesktopLink), expected_link) << c.label;
    EXPECT_EQ(run.platform.Content(group_link), expected_link) << c.label;
  }
}

TEST(InstallActionsTest, ProgramGroupKinds) {
  struct Case {
    const char* label;
    std::string group_record;
    std::string expected;  // log lines between the files and the uninstaller
    const char* folder;    // created group folder, or "" for none
  } cases[] = {
      {"empty group under the start menu", Flag(2) + Str("Empty") + Flag(0),
       Lines({"create program group name Empty"}), "C:\\users\\me\\Start Menu\\Empty"},
      {"twice the same link", Flag(1) + Str("G") + Flag(2) + Str("L") + Str("app.exe") + Str("l") + Str("APP.exe"),
       Lines({"create program group name G", "C:\\users\\me\\Start Menu\\Programs\\G\\L.lnk new created",
              "C:\\users\\me\\Start Menu\\Programs\\G\\l.lnk link is same,skip write"}),
       "C:\\users\\me\\Start Menu\\Programs\\G"},
      // Kind 0 ends the reading; what follows is never looked at.
      {"no group", Flag(0) + Str("ignored") + Flag(9), "", ""},
      {"escaping group name", Flag(1) + Str("..\\..\\Startup") + Flag(1) + Str("L") + Str("app.exe"),
       Lines({"C:\\users\\me\\Start Menu\\Programs\\..\\..\\Startup is bad"}), ""},
  };
  for (const Case& c : cases) {
    ProcedureRun run;
    PackagePlan plan;
    plan.files = {{"app.exe", "MZ"}};
    plan.uninstall_key.clear();
    plan.records_from_3 = std::string(9, '\0') + c.group_record;
    run.Install(plan);
    EXPECT_EQ(run.host.log, Lines({InstallTitle(), "total 1 files to extract...", At("app.exe") + " extracted,crc is correctly"}) +
                                c.expected + Lines({"create uninstall app", At("uninstall.exe") + " created"}))
        << c.label;
    if (*c.folder) EXPECT_TRUE(run.platform.FolderExists(c.folder)) << c.label;
    EXPECT_EQ(run.platform.Content(At("uninstall.exe")), ExpectedUninstaller(run.package)) << c.label;
  }
}

TEST(InstallActionsTest, ProgramStringsLeadingOutOfTheFolderAreRefused) {
  ProcedureRun run;
  PackagePlan plan;
  plan.files = {{"app.exe", "MZ"}};
  plan.uninstall_key.clear();
  plan.records_1_2 = Flag(0) + Flag(1) + Str("..\\..\\windows\\system32\\cmd.exe") + Flag(0);
  plan.records_from_3 = Flag(1) + Str("C:\\evil.exe") + Flag(0) + std::string(3, '\0') +
                        Flag(1) + Str(".x") + Str("desc") + Str("..\\x") + std::string(3, '\0') + Flag(1) +
                        Str("..\\Startup\\Demo") + Str("app.exe") + Flag(0);
  run.Install(plan);
  EXPECT_EQ(run.host.log,
            Lines({InstallTitle(), "total 1 files to extract...", At("app.exe") + " extracted,crc is correctly",
                   At("..\\..\\windows\\system32\\cmd.exe") + " is bad", At("C:\\evil.exe") + " is bad",
                   At("..\\x") + " is bad", "C:\\users\\me\\Desktop\\..\\Startup\\Demo.lnk is bad",
                   "create uninstall app", At("uninstall.exe") + " created"}));
  EXPECT_TRUE(run.platform.shell_calls.empty());
  EXPECT_EQ(run.platform.Value(kHklm, "software\\microsoft\\windows\\currentversion\\run", "evil.exe"), "<missing>");
  EXPECT_FALSE(run.platform.HasKey(kHkcr, ".x"));
}

std::function<void()> g_global_pump;

// Every file (links included) and every registry value, as text.
std::string Dump(const FakePlatform& platform) {
  std::string out;
  for (const auto& [path, file] : platform.files)
    out += path + "=" + std::string(file.bytes.begin(), file.bytes.end()) + "\n";
  for (const auto& [root, keys] : platform.registry)
    for (const auto& [path, key] : keys)
      for (const auto& [name, value] : key.values)
        out += std::to_string(static_cast<int>(root)) + ":" + path + ":" + value.first + "=" + value.second + "\n";
  return out;
}

// Every pump of the install lets commands run that move the one package stream (the
// reading mode's View reads the file list; its loader seeks a block). Each block and the
// action records are still read from their own positions: the same files, registry, links
// and uninstaller as an undisturbed run.
TEST(InstallProcedureTest, StreamMovedWhileMessagesArePumpedChangesNothing) {
  PackagePlan plan = FullRecords();
  plan.files.push_back({"big.bin", std::string(3u << 20, 'b') + "end"});  // pumps inside its copy
  ProcedureRun clean;
  clean.platform.short_paths[Lower(At("app.exe"))] = "C:\\PROGRA~1\\Demo\\app.exe";
  clean.Install(plan);
  ASSERT_EQ(clean.host.action_caption, "exit");

  const struct {
    const char* name;
    uint64_t (*where)(const ProcedureRun&, int);
  } moves[] = {
      {"to the file list", [](const ProcedureRun& r, int) { return r.package.file_list_position; }},
      {"to the start", [](const ProcedureRun&, int) { return uint64_t(0); }},
      {"anywhere", [](const ProcedureRun& r, int n) { return uint64_t(n) * 7919 % r.package.bytes.size(); }},
  };
  for (const auto& move : moves) {
    SCOPED_TRACE(move.name);
    ProcedureRun run;
    run.platform.short_paths[Lower(At("app.exe"))] = "C:\\PROGRA~1\\Demo\\app.exe";
    int pumps = 0;
    run.host.on_pump = [&] { run.stream->Seek(move.where(run, ++pumps)); };
    // The chunked copies and the CRC pump too.
    g_global_pump = run.host.on_pump;
    SetMessagePump([] { g_global_pump(); });
    run.Install(plan);
    SetMessagePump(nullptr);
    g_global_pump = nullptr;
    EXPECT_GT(pumps, 10);
    EXPECT_EQ(run.host.log, clean.host.log);
    for (const auto& [name, content] : plan.files) EXPECT_EQ(run.platform.Content(At(name)), content) << name;
    EXPECT_EQ(run.platform.Content(At("uninstall.exe")), clean.platform.Content(At("uninstall.exe")));
    EXPECT_EQ(run.platform.shell_calls, clean.platform.shell_calls);
    EXPECT_EQ(run.platform.dll_calls, clean.platform.dll_calls);
    EXPECT_EQ(Dump(run.platform), Dump(clean.platform));
  }
}

}  // namespace
}  // namespace hollin
