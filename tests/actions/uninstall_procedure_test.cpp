#include <gtest/gtest.h>

#include "installer/actions/procedures.h"
#include "installer/actions/registration.h"
#include "procedure_fixture.h"

namespace hollin {
namespace {

using namespace hollin::testing;
constexpr RegistryRoot kHkcr = RegistryRoot::kClassesRoot;
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;
std::string UninstallTitle() { return "uninstall logs by Quill install-uninstall app" "12/10/2026 5:30:00 AM"; }

struct Installed : ProcedureRun {
  PackagePlan plan = FullRecords();
  Installed() {
    platform.short_paths[Lower(At("app.exe"))] = "C:\\PROGRA~1\\Demo\\app.exe";
    platform.MakeKey(kHklm, "software\\demo\\a\\b");
    platform.MakeKey(kHkcr, "*\\shell\\Other verb\\command");
    Install(plan);
  }
};

TEST(UninstallProcedureTest, RemovesWhatIsUnchangedAndLogsEveryStep) {
  Installed run;
  run.platform.PutFile(At("good.dll"), "changed by the user");
  run.platform.PutFile(At("notes.txt"), "added by the user");
  run.platform.files[Lower(At("app.exe"))].attributes = kReadOnly;
  run.platform.folders[Lower(At("cache"))] = kDirectoryAttribute | kHidden;
  run.platform.PutFile("C:\\windows\\demo.ini", "[demo]");
  run.platform.PutFile(At("extra.dat"), "left by the program");
  run.Uninstall(run.plan);

  const std::string app = At("app.exe");
  EXPECT_EQ(run.host.log,
            Lines({UninstallTitle(),
                   app + " crc same ,deleted",
                   At("bad.dll") + " crc same ,deleted",
                   At("tool.EXE") + " crc same ,deleted",
                   At("docs\\manual\\index.html") + " crc same ,deleted",
                   At("help.txt") + " crc same ,deleted",
                   std::string("remove ") + kFolder + " possible subfolder",
                   "remove registry uninstall key DemoKey",
                   "remove registry autorun " + app,
                   "remove registry exe shell" + app,
                   "remove registry dll shell" + app,
                   "remove registry anyfile shell " + app,
                   "remove registry folder shell " + app,
                   "remove registery .dmo",
                   "supperkill,remove registry software\\demo",
                   "supperkill,remove registry3   ",
                   "desktop lnk has removed",
                   "delete program group shortcut " + std::string(kGroupFolder) + "\\Demo.lnk",
                   "delete program group shortcut " + std::string(kGroupFolder) + "\\Help.lnk",
                   "delete program group name " + std::string(kGroupFolder),
                   "deleted file C:\\windows\\demo.ini",
                   "deleted file " + At("extra.dat"),
                   "shutdown then delete " + At("uninstall.exe")}));
  EXPECT_TRUE(run.host.questions.empty());  // "/u"

  // Files: changed and user-added ones stay, and so does the uninstaller for its batch.
  for (const char* gone : {"app.exe", "bad.dll", "tool.EXE", "help.txt", "docs\\manual\\index.html"})
    EXPECT_FALSE(run.platform.Has(At(gone))) << gone;
  EXPECT_EQ(run.platform.Content(At("good.dll")), "changed by the user");
  EXPECT_EQ(run.platform.Content(At("notes.txt")), "added by the user");
  EXPECT_FALSE(run.platform.FolderExists(At("docs")));
  EXPECT_TRUE(run.platform.FolderExists(At("cache")));
  EXPECT_FALSE(run.platform.Has("C:\\windows\\demo.ini"));

  // Registry.
  EXPECT_FALSE(run.platform.HasKey(kHklm, "software\\microsoft\\windows\\currentversion\\uninstall\\DemoKey"));
  EXPECT_TRUE(run.platform.HasKey(kHklm, "software\\microsoft\\windows\\currentversion\\uninstall"));
  EXPECT_EQ(run.platform.Value(kHklm, kRunKey, "app.exe"), "<missing>");
  for (const char* key : {"exefile\\shell\\Open with Demo", "dllfile\\shell\\Open with Demo",
                          "*\\shell\\View in Demo", "folder\\shell\\Browse", ".dmo", "dmofile"})
    EXPECT_FALSE(run.platform.HasKey(kHkcr, key)) << key;
  EXPECT_TRUE(run.platform.HasKey(kHkcr, "*\\shell\\Other verb\\command"));
  EXPECT_TRUE(run.platform.HasKey(kHkcr, "exefile\\shell"));
  EXPECT_FALSE(run.platform.HasKey(kHklm, "software\\demo"));

  // Shortcuts.
  EXPECT_FALSE(run.platform.Has(kDesktopLink));
  EXPECT_FALSE(run.platform.Has(std::string(kGroupFolder) + "\\Help.lnk"));
  EXPECT_FALSE(run.platform.FolderExists(kGroupFolder));

  // The batch file, started hidden, and the window.
  EXPECT_EQ(run.platform.Content(At("del.bat")),
            Lines({":try", "del \"" + At("uninstall.exe") + "\"",
                   "if exist \"" + At("uninstall.exe") + "\" goto try", "del %0"}));
  // Quoted: under "C:\Program Files" an unquoted path would first be tried as C:\Program.exe.
  EXPECT_EQ(run.platform.started, (std::vector<std::string>{"\"" + At("del.bat") + "\""}));
  EXPECT_EQ(run.host.package_closed, 1);
  EXPECT_EQ(run.host.window_caption, "finish uninstall");
  EXPECT_EQ(run.host.action_caption, "exit");
  EXPECT_EQ(run.host.enabled_changes, (std::vector<bool>{false, true}));
}

TEST(UninstallProcedureTest, QuestionUnlessTheFirstArgumentIsExactlySlashU) {
  struct Case {
    const char* argument;
    bool answer_yes;
    bool asked;
    bool runs;
  } cases[] = {{"", true, true, true}, {"", false, true, false}, {"/U", false, true, false},
               {"/a", true, true, true}, {"/u", false, false, true}};
  for (const Case& c : cases) {
    Installed run;
    size_t files = run.platform.files.size();
    run.host.answer_yes = c.answer_yes;
    std::string image = run.platform.Content(At("uninstall.exe"));
    InstallContext context = run.Context(std::vector<uint8_t>(image.begin(), image.end()), run.plan);
    context.own_path = At("uninstall.exe");
    context.first_argument = c.argument;
    run.host = FakeHost();
    run.host.answer_yes = c.answer_yes;
    run.host.action_caption = "Uninstall";
    RunUninstallProcedure(run.host, run.platform, context);
    EXPECT_EQ(run.host.questions.size(), c.asked ? 1u : 0u) << c.argument;
    if (c.asked) EXPECT_EQ(run.host.questions[0], "do you realy want to uninstall the app now?");
    EXPECT_EQ(run.host.log.empty(), !c.runs) << c.argument;
    EXPECT_EQ(run.platform.files.size() < files, c.runs) << c.argument;
    EXPECT_EQ(run.host.action_caption, c.runs ? "exit" : "Uninstall") << c.argument;
  }
}

TEST(UninstallProcedureTest, ExitCaptionEndsTheProgram) {
  Installed run;
  std::string image = run.platform.Content(At("uninstall.exe"));
  InstallContext context = run.Context(std::vector<uint8_t>(image.begin(), image.end()), run.plan);
  run.host = FakeHost();
  run.host.action_caption = "exit";
  RunUninstallProcedure(run.host, run.platform, context);
  EXPECT_TRUE(run.host.ended);
  EXPECT_EQ(run.host.log, "");
}

TEST(UninstallProcedureTest, GoneFileTypeKeyAndEmptyNamesDeleteNothingElse) {
  PackagePlan plan;
  plan.files = {{"a.txt", "a"}};
  plan.uninstall_key.clear();
  plan.records_from_3 = Flag(0) + Flag(1) + Str(" ") + Flag(1) + Flag(0) + Str("x.exe") +  // 3, 4 with no verb
                        Flag(0) + Flag(0) +                                               // 5, 6
                        Flag(1) + Str(".gone") + Str("d") + Str("a.txt") +                // 7
                        Flag(1) + Flag(3) + Str("") + Flag(0) + Flag(0) +                 // 8 to 10
                        Flag(0) + Flag(0) +                                               // 11, 12
                        Flag(1) + Flag(0) + Str("   ") + Flag(1) + Flag(3) + Str("..\\win.ini") + Flag(0);
  ProcedureRun run;
  run.Install(plan);
  run.platform.PutFile("C:\\windows\\win.ini", "[windows]");
  DeleteKeyTree(run.platform, 3, ".gone");
  DeleteKeyTree(run.platform, 3, "gonefile");
  run.platform.MakeKey(kHkcr, "exefile\\shell\\open\\command");
  size_t keys = run.platform.KeyCount(kHkcr);
  run.Uninstall(plan);
  EXPECT_EQ(run.host.log, Lines({UninstallTitle(), At("a.txt") + " crc same ,deleted",
                                 std::string("remove ") + kFolder + " possible subfolder",
                                 "remove registry exe shell" + At("x.exe"), "remove registery .gone",
                                 "supperkill,remove registry ", "shutdown then delete " + At("uninstall.exe")}));
  EXPECT_EQ(run.platform.KeyCount(kHkcr), keys);
  EXPECT_TRUE(run.platform.Has("C:\\windows\\win.ini"));
}

TEST(UninstallProcedureTest, FileListNamesLeadingOutOfTheFolderAreNotDeleted) {
  // An uninstaller whose own list names a file outside its folder (written by hand).
  PackagePlan plan;
  plan.files = {{"a.txt", "a"}};
  ProcedureRun run;
  run.Install(plan);
  run.platform.PutFile("C:\\Program Files\\victim.txt", "keep me");
  std::string image = run.platform.Content(At("uninstall.exe"));
  std::string list = "..\\victim.txt|" + ContentCrc("keep me") + "10\r\n";
  std::string forged = image.substr(0, run.package.header_end);
  vellumo::PutU32(forged, static_cast<uint32_t>(list.size()));
  forged += list + NoRecordsFromAutorun();
  run.platform.PutFile(At("uninstall.exe"), forged);
  run.Uninstall(plan);
  EXPECT_EQ(run.platform.Content("C:\\Program Files\\victim.txt"), "keep me");
  EXPECT_EQ(run.host.log.find("victim"), std::string::npos) << run.host.log;
}

// Installed into a drive root (the "c:\" fallback) or into Program Files itself, the
// uninstaller removes only the folders its own names lead through, deepest first, and never
// the user's other empty folders on that drive.
TEST(UninstallProcedureTest, EmptyFolderSweepKeepsFoldersThatWereNeverOurs) {
  for (const std::string folder : {"C:\\", "C:\\Program Files\\"}) {
    SCOPED_TRACE(folder);
    PackagePlan plan;
    plan.files = {{"a.txt", "a"}, {"sub\\deep\\b.txt", "b"}, {"sub\\c.txt", "c"},
                  {"Hidden\\d.txt", "d"}, {"kept\\e.txt", "e"}};
    ProcedureRun run;
    run.host.path_text = folder;
    run.Install(plan);
    ASSERT_EQ(run.host.action_caption, "exit");
    const std::vector<std::string> others = {folder + "empty", folder + "Old App", "C:\\users\\me\\Desktop",
                                             folder + "empty\\inner"};
    for (const std::string& other : others) run.platform.folders[Lower(other)] = kDirectoryAttribute;
    run.platform.folders[Lower(folder + "Hidden")] = kDirectoryAttribute | 0x2;
    run.platform.PutFile(folder + "kept\\mine.txt", "the user's");

    std::string image = run.platform.Content(folder + "uninstall.exe");
    InstallContext context = run.Context(std::vector<uint8_t>(image.begin(), image.end()), plan);
    context.own_path = folder + "uninstall.exe";
    context.first_argument = "/u";
    run.host = FakeHost();
    run.host.action_caption = "Uninstall";
    RunUninstallProcedure(run.host, run.platform, context);

    EXPECT_NE(run.host.log.find("remove " + folder + " possible subfolder"), std::string::npos);
    EXPECT_FALSE(run.platform.FolderExists(folder + "sub\\deep"));
    EXPECT_FALSE(run.platform.FolderExists(folder + "sub"));
    EXPECT_TRUE(run.platform.FolderExists(folder + "Hidden"));  // not a plain folder
    EXPECT_TRUE(run.platform.FolderExists(folder + "kept"));    // still holds the user's file
    for (const std::string& other : others) EXPECT_TRUE(run.platform.FolderExists(other)) << other;
    EXPECT_TRUE(run.platform.FolderExists(folder));
  }
}

// The batch file deletes the uninstaller and itself from a folder with blanks (the command
// line is quoted, see above) and from one whose name holds "%", which a batch file would
// otherwise read as the start of a variable.
TEST(UninstallProcedureTest, BatchLinesKeepPercentSigns) {
  EXPECT_EQ(SelfDeleteBatchText("C:\\100% sure\\uninstall.exe"),
            Lines({":try", "del \"C:\\100%% sure\\uninstall.exe\"",
                   "if exist \"C:\\100%% sure\\uninstall.exe\" goto try", "del %0"}));
}

}  // namespace
}  // namespace hollin
