// The procedures against the real system under Wine: registry values read back through the
// registry API, shortcuts through the shell link object, a .reg file imported by regedit, a
// library's DllRegisterServer really called, and the uninstaller deleted by its batch file.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "common/win/dll_search.h"
#include "common/win/handles.h"
#include "fake_platform.h"
#include "installer/actions/paths.h"
#include "installer/actions/procedures.h"
#include "installer/actions/registration.h"
#include "installer/actions/win/question_box.h"
#include "installer/actions/win/windows_platform.h"
#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_reader.h"
#include "package_builder.h"

namespace hollin {
namespace {

using testing::FakeHost;
using vellumo::win::RegKey;

constexpr char kTestKey[] = "Software\\HollinActionsTest";

// REG_SZ value with its stored length; "<missing>" when absent.
struct RegValue {
  std::string data = "<missing>";
  DWORD type = 0;
  DWORD length = 0;
};
RegValue Query(HKEY root, const std::string& path, const char* name) {
  RegValue value;
  RegKey key;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return value;
  char buffer[2048];
  DWORD size = sizeof buffer;
  if (RegQueryValueExA(key.get(), name, nullptr, &value.type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return value;
  value.length = size;
  value.data.assign(buffer, size > 0 && buffer[size - 1] == 0 ? size - 1 : size);
  return value;
}
bool KeyExists(HKEY root, const std::string& path) {
  RegKey key;
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}
void ExpectString(HKEY root, const std::string& path, const char* name, const std::string& data) {
  RegValue value = Query(root, path, name);
  EXPECT_EQ(value.data, data) << path << " " << (name ? name : "(default)");
  if (value.data == "<missing>") return;
  EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ)) << path;
  EXPECT_EQ(value.length, data.size() + 1) << path;  // the terminator counts
}

std::string ReadAll(const std::string& path) {
  std::unique_ptr<FileStream> file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) return "<missing>";
  std::string out(static_cast<size_t>(file->Size()), '\0');
  if (!out.empty()) file->Read(&out[0], out.size());
  return out;
}
void WriteAll(const std::string& path, const std::string& bytes) {
  std::unique_ptr<FileStream> file = FileStream::Open(path, FileStream::Mode::kCreate);
  ASSERT_TRUE(file) << path;
  file->Write(bytes.data(), bytes.size());
}
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  vellumo::win::FindHandle find(FindFirstFileA((folder + "\\*").c_str(), &data));
  if (find) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find.get(), &data));
  }
  find.reset();
  RemoveDirectoryA(folder.c_str());
}

// Waits up to `seconds` for the condition.
template <typename Condition>
bool WaitFor(Condition condition, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (condition()) return true;
    Sleep(100);
  }
  return condition();
}

std::string BinaryDir() {
  const char* dir = std::getenv("VELLUMO_BINARY_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "");
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

TEST(WindowsRegistryTest, ValuesAreStringsWithTheirTerminator) {
  WindowsPlatform platform;
  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
  const std::string key = std::string(kTestKey) + "\\Values";
  EXPECT_FALSE(platform.SetStringValue(RegistryRoot::kCurrentUser, key, "x", "y"));  // opening never creates
  ASSERT_TRUE(platform.CreateKey(RegistryRoot::kCurrentUser, key));
  EXPECT_TRUE(platform.SetStringValue(RegistryRoot::kCurrentUser, key, "", "default text"));
  EXPECT_TRUE(platform.SetStringValue(RegistryRoot::kCurrentUser, key, "named", ""));
  ExpectString(HKEY_CURRENT_USER, key, nullptr, "default text");
  ExpectString(HKEY_CURRENT_USER, key, "named", "");
  std::string read;
  EXPECT_TRUE(platform.ReadDefaultValue(RegistryRoot::kCurrentUser, key, &read));
  EXPECT_EQ(read, "default text");
  EXPECT_FALSE(platform.ReadDefaultValue(RegistryRoot::kCurrentUser, key + "\\none", &read));
  EXPECT_TRUE(platform.DeleteValue(RegistryRoot::kCurrentUser, key, "named"));
  EXPECT_EQ(Query(HKEY_CURRENT_USER, key, "named").data, "<missing>");
  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
}

TEST(WindowsRegistryTest, KeyTreeDeletionThreeLevelsDeep) {
  WindowsPlatform platform;
  const std::string tree = std::string(kTestKey) + "\\Tree";
  for (const char* sub : {"\\one\\two\\three", "\\one\\two\\other", "\\one\\side", "\\leaf"})
    ASSERT_TRUE(platform.CreateKey(RegistryRoot::kCurrentUser, tree + sub));
  platform.SetStringValue(RegistryRoot::kCurrentUser, tree + "\\one\\two\\three", "v", "deep");
  ASSERT_TRUE(platform.CreateKey(RegistryRoot::kCurrentUser, std::string(kTestKey) + "\\Kept"));
  std::vector<std::string> names;
  ASSERT_TRUE(platform.ListSubkeys(RegistryRoot::kCurrentUser, tree, &names));
  EXPECT_EQ(names.size(), 2u);
  DeleteKeyTree(platform, 1, tree);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Kept"));
  DeleteKeyTree(platform, 1, tree);  // gone already: nothing happens
  DeleteKeyTree(platform, 1, kTestKey);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTestKey));
}

TEST(WindowsShortcutTest, LinksWrittenReadBackAndNonLinksAreBad) {
  WindowsPlatform platform;
  const std::string desktop = platform.SpecialFolderPath(kCsidlDesktop);
  ASSERT_FALSE(desktop.empty());
  EXPECT_TRUE(platform.FolderExists(desktop)) << desktop;
  EXPECT_FALSE(platform.SpecialFolderPath(kCsidlPrograms).empty());
  EXPECT_FALSE(platform.SpecialFolderPath(kCsidlStartMenu).empty());

  const std::string folder = "C:\\hollin-links";
  RemoveTree(folder);
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string target = folder + "\\Target App.exe";
  WriteAll(target, "MZ");
  LinkFields fields;
  fields.target = target;
  const std::string link = folder + "\\new group\\Target.lnk";  // the writer makes one folder level
  EXPECT_TRUE(platform.WriteLink(fields, "", 1, link));
  LinkFields read;
  ASSERT_TRUE(platform.ReadLink(link, 1, &read));
  EXPECT_EQ(testing::Lower(read.target), testing::Lower(target));

  const std::string fake = folder + "\\NotALink.lnk";
  WriteAll(fake, "this is not a shell link");
  EXPECT_FALSE(platform.ReadLink(fake, 1, &read));
  EXPECT_FALSE(platform.ReadLink(folder + "\\missing.lnk", -1, &read));
  RemoveTree(folder);
}

TEST(WindowsFoldersTest, FolderSweepKeepsFoldersWithOtherAttributesAndOthersFolders) {
  WindowsPlatform platform;
  const std::string root = "C:\\hollin-folders";
  RemoveTree(root);
  for (const char* f : {"", "\\a", "\\a\\b", "\\a\\b\\c", "\\hidden", "\\full", "\\users empty"})
    ASSERT_TRUE(CreateDirectoryA((root + f).c_str(), nullptr)) << f;
  SetFileAttributesA((root + "\\hidden").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
  WriteAll(root + "\\full\\keep.txt", "x");
  WriteAll(root + "\\uninstall.exe", "x");
  RemoveInstalledFolders(platform, root + "\\", {"a\\b\\c\\x.txt", "hidden\\y.txt", "full\\z.txt"});
  EXPECT_FALSE(Exists(root + "\\a"));
  EXPECT_TRUE(Exists(root + "\\hidden"));
  EXPECT_TRUE(Exists(root + "\\full\\keep.txt"));
  EXPECT_TRUE(Exists(root + "\\users empty"));  // not named by the list: never ours
  EXPECT_TRUE(Exists(root + "\\uninstall.exe"));
  RemoveTree(root);
}

// A listed library that imports another one lying beside it in the install folder
// registers; the program's own (download) folder is still not searched for its imports.
TEST(WindowsRegistrationTest, ListedLibraryFindsItsImportsBesideItOnly) {
  // As Hollin does first thing at start.
  vellumo::win::RestrictDllSearch(vellumo::win::DllSearch::kSystemFolderOnly);
  WindowsPlatform platform;
  const std::string built = BinaryDir() + "\\tests\\actions\\";
  const std::string regdep = ReadAll(built + "regdep.dll");
  const std::string depbase = ReadAll(built + "depbase.dll");
  ASSERT_NE(regdep, "<missing>");
  ASSERT_NE(depbase, "<missing>");
  const std::string root = "C:\\hollin dll search";
  RemoveTree(root);
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));
  for (const char* sub : {"\\installed", "\\alone"}) ASSERT_TRUE(CreateDirectoryA((root + sub).c_str(), nullptr));
  WriteAll(root + "\\installed\\regdep.dll", regdep);
  WriteAll(root + "\\installed\\depbase.dll", depbase);
  WriteAll(root + "\\alone\\regdep.dll", regdep);  // depbase.dll lies only beside the test program
  EXPECT_TRUE(platform.CallDllRegisterServer(root + "\\installed\\regdep.dll"));
  EXPECT_FALSE(platform.CallDllRegisterServer(root + "\\alone\\regdep.dll"));
  RemoveTree(root);
}

// The batch file's own lines and its quoted start under the real command interpreter, in
// folders whose names hold a blank and a "%": it deletes the program, then itself. (Wine's
// command interpreter expands a "%" inside the text that "%0" stands for once more, so there
// "del %0" misses a folder with "%"; Windows does not.)
TEST(WindowsSelfDeletionTest, BatchFileWorksInFoldersWithBlanksAndPercentSigns) {
  WindowsPlatform platform;
  for (const char* name : {"C:\\hollin del test", "C:\\hollin 100% sure"}) {
    SCOPED_TRACE(name);
    const bool percent = std::string(name).find('%') != std::string::npos;
    const std::string folder = name;
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string program = folder + "\\uninstall.exe", batch = folder + "\\del.bat";
    WriteAll(program, "not really a program");
    WriteAll(folder + "\\keep.txt", "stays");
    WriteAll(batch, SelfDeleteBatchText(program));
    ASSERT_TRUE(platform.StartHiddenAtIdle(Quoted(batch)));
    EXPECT_TRUE(WaitFor([&] { return !Exists(program); }, 60)) << "the program is still there";
    if (!percent) EXPECT_TRUE(WaitFor([&] { return !Exists(batch); }, 30)) << "del.bat is still there";
    EXPECT_TRUE(Exists(folder + "\\keep.txt"));
    RemoveTree(folder);
  }
}

// Finds the question box on this process's windows, records its texts and presses a button.
struct BoxPresser {
  std::atomic<bool> done{false};
  std::string text, yes, no;
  void Press(int button) {
    for (int i = 0; i < 100 && !done; ++i) {
      HWND box = FindWindowA("#32770", "Hollin test");
      if (box && GetDlgItem(box, IDYES)) {
        char buffer[256];
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
        text = buffer;
        GetDlgItemTextA(box, IDYES, buffer, sizeof buffer);
        yes = buffer;
        GetDlgItemTextA(box, IDNO, buffer, sizeof buffer);
        no = buffer;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
        done = true;
        return;
      }
      Sleep(100);
    }
  }
};

TEST(QuestionBoxTest, ButtonsReadYAndN) {
  for (int button : {IDNO, IDYES}) {
    BoxPresser presser;
    std::thread watchdog([&] { presser.Press(button); });
    bool answer = AskYesNoBox(nullptr, "do you realy want to uninstall the app now?", "Hollin test");
    watchdog.join();
    ASSERT_TRUE(presser.done);
    EXPECT_EQ(presser.text, "do you realy want to uninstall the app now?");
    EXPECT_EQ(presser.yes, "y");
    EXPECT_EQ(presser.no, "n");
    EXPECT_EQ(answer, button == IDYES);
  }
}

// The window stand-in for a run from a file: closing the package closes the file.
class FileHost : public FakeHost {
 public:
  std::unique_ptr<FileStream>* file = nullptr;
  void ClosePackage() override {
    FakeHost::ClosePackage();
    if (file) file->reset();
  }
};

std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    lines.push_back(log.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}
bool HasLine(const std::string& log, const std::string& line) {
  return log.find(line + "\r\n") != std::string::npos;
}

TEST(EndToEndTest, InstallRepairAndUninstallOnTheRealSystem) {
  using testing::Flag;
  using testing::Str;
  const std::string root = "C:\\hollin-e2e";
  const std::string folder = root + "\\Demo App\\";
  RemoveTree(root);
  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
  ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr));

  const std::string regtest = ReadAll(BinaryDir() + "\\tests\\actions\\regtest.dll");
  const std::string noentry = ReadAll(BinaryDir() + "\\tests\\actions\\noentry.dll");
  ASSERT_NE(regtest, "<missing>");
  ASSERT_NE(noentry, "<missing>");
  testing::PackagePlan plan;
  plan.files = {{"Demo.exe", "MZ pretend program"},
                {"regtest.dll", regtest},
                {"noentry.dll", noentry},
                {"settings.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\HollinActionsTest\\Imported]\r\n"
                                 "\"value\"=\"imported\"\r\n\r\n"},
                {"readme.txt", "read me\r\n"},
                {"sub\\deeper\\doc.txt", std::string(100000, 'd')}};
  plan.registry_import = 1;
  plan.uninstall_key = "HollinActionsTest";
  plan.display_name = "Hollin Actions Test";
  plan.records_1_2 = Flag(1) + testing::PrefixedBlock("regtest.dll\r\nnoentry.dll\r\n") + Flag(0);
  plan.records_from_3 = Flag(1) + Str("Demo.exe") + Flag(1) + Str("-tray") +
                        Flag(1) + Str("HollinTestExeVerb") + Flag(0) + Flag(1) + Str("-x") + Str("Demo.exe") +
                        Flag(1) + Str("HollinTestAnyVerb") + Flag(0) + Str("Demo.exe") +
                        Flag(1) + Str("HollinTestFolderVerb") + Flag(0) + Str("Demo.exe") +
                        Flag(1) + Str(".hollintest") + Str("Hollin test document") + Str("Demo.exe") +
                        Flag(1) + Flag(1) + Str("Software\\HollinActionsTest\\Supper") + Flag(0) + Flag(0) +
                        Flag(1) + Str("Hollin Test Demo") + Str("Demo.exe") +
                        Flag(1) + Str("Hollin Test Group") + Flag(1) + Str("Read me") + Str("sub\\deeper\\doc.txt") +
                        Flag(1) + Flag(0) + Str("cache.dat") + Flag(0) + Flag(0);
  testing::TestPackage package = testing::BuildPackage(plan);
  const std::string setup = root + "\\setup.exe";
  WriteAll(setup, std::string(package.bytes.begin(), package.bytes.end()));

  auto install = [&](FileHost& host) {
    std::unique_ptr<FileStream> file = FileStream::Open(setup, FileStream::Mode::kRead);
    ASSERT_TRUE(file);
    InstallContext context;
    context.package = file.get();
    context.own_path = setup;
    context.registry_import = plan.registry_import;
    context.uninstall_key = plan.uninstall_key;
    context.display_name = plan.display_name;
    context.header_end = package.header_end;
    context.file_list_position = package.file_list_position;
    host.path_text = root + "\\Demo App";
    RunInstall(host, context);
  };

  // First install.
  FileHost first;
  install(first);
  std::vector<std::string> lines = LogLines(first.log);
  ASSERT_FALSE(lines.empty());
  WindowsPlatform platform;
  // The title carries the user's short date, a blank and the time (which may have moved on).
  char date[128];
  ASSERT_GT(GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date), 0);
  const std::string title = std::string("install logs by Quill installer -12.2") + date + " ";
  EXPECT_EQ(lines[0].substr(0, title.size()), title);
  EXPECT_GT(lines[0].size(), title.size() + 3);
  for (const auto& [name, content] : plan.files) {
    EXPECT_TRUE(HasLine(first.log, folder + name + " extracted,crc is correctly")) << name;
    EXPECT_EQ(ReadAll(folder + name), content) << name;
    EXPECT_EQ(FileCrcText(folder + name), testing::ContentCrc(content)) << name;
  }
  const std::string demo = folder + "Demo.exe";
  const std::string short_demo = platform.ShortPath(demo);
  ASSERT_FALSE(short_demo.empty());
  const std::string desktop_link = platform.SpecialFolderPath(kCsidlDesktop) + "\\Hollin Test Demo.lnk";
  const std::string group = platform.SpecialFolderPath(kCsidlPrograms) + "\\Hollin Test Group";
  for (const std::string& line : std::vector<std::string>{"register " + folder + "regtest.dll succeful", "register " + folder + "noentry.dll failed",
        "autoimport registry files " + folder + "settings.reg", "write registry uninstall key HollinActionsTest",
        "check and confirm write to registry autorun " + demo, "registry exe shell " + demo,
        "registry dll shell HollinTestExeVerb", "registry anyfile shell " + demo, "registry folder shell " + demo,
        "registry filetype reg .hollintest", desktop_link + "  newcreate ",
        "create program group name Hollin Test Group", group + "\\Read me.lnk new created", "create uninstall app",
        folder + "uninstall.exe created"})
    EXPECT_TRUE(HasLine(first.log, line)) << line << "\n" << first.log;
  EXPECT_EQ(first.action_caption, "exit");

  const std::string uninstall_key = "software\\microsoft\\windows\\currentversion\\uninstall\\HollinActionsTest";
  ExpectString(HKEY_LOCAL_MACHINE, uninstall_key, "displayname", "Hollin Actions Test");
  ExpectString(HKEY_LOCAL_MACHINE, uninstall_key, "uninstallstring", folder + "uninstall.exe");
  ExpectString(HKEY_LOCAL_MACHINE, kRunKey, "Demo.exe", demo + " \"-tray\"");
  ExpectString(HKEY_CLASSES_ROOT, "exefile\\shell\\HollinTestExeVerb\\command", nullptr,
               short_demo + " \"-x\" \"%1\"");
  ExpectString(HKEY_CLASSES_ROOT, "dllfile\\shell\\HollinTestExeVerb\\command", nullptr,
               short_demo + " \"-x\" \"%1\"");
  ExpectString(HKEY_CLASSES_ROOT, "*\\shell\\HollinTestAnyVerb\\command", nullptr, short_demo + " \"%1\"");
  ExpectString(HKEY_CLASSES_ROOT, "folder\\shell\\HollinTestFolderVerb\\command", nullptr, short_demo + " \"%1\"");
  ExpectString(HKEY_CLASSES_ROOT, ".hollintest", nullptr, "hollintestfile");
  ExpectString(HKEY_CLASSES_ROOT, "hollintestfile", nullptr, "Hollin test document");
  ExpectString(HKEY_CLASSES_ROOT, "hollintestfile\\DefaultIcon", nullptr, demo + ",0");
  ExpectString(HKEY_CLASSES_ROOT, "hollintestfile\\Shell", nullptr, "open");
  ExpectString(HKEY_CLASSES_ROOT, "hollintestfile\\Shell\\open\\Command", nullptr, demo + " \"%1\"");
  ExpectString(HKEY_CLASSES_ROOT, "Applications\\Demo.exe\\Shell\\Open\\Command", nullptr, demo + " \"%1\"");
  ExpectString(HKEY_CURRENT_USER, kTestKey, "dll_registered", "yes");
  EXPECT_TRUE(WaitFor([&] { return Query(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Imported", "value").data == "imported"; }, 60))
      << "regedit did not import the .reg file";
  LinkFields link;
  ASSERT_TRUE(platform.ReadLink(desktop_link, -1, &link));
  EXPECT_EQ(testing::Lower(link.target), testing::Lower(demo));
  ASSERT_TRUE(platform.ReadLink(group + "\\Read me.lnk", -1, &link));
  EXPECT_EQ(testing::Lower(link.target), testing::Lower(folder + "sub\\deeper\\doc.txt"));
  const std::string expected_uninstaller = testing::ExpectedUninstaller(package);
  EXPECT_TRUE(ReadAll(folder + "uninstall.exe") == expected_uninstaller) << "uninstall.exe differs";

  // Second install over the unchanged one: nothing is written.
  FileHost second;
  install(second);
  for (const auto& [name, content] : plan.files)
    EXPECT_TRUE(HasLine(second.log, folder + name + " crc is same with the install app included,skip extract")) << name;
  EXPECT_TRUE(HasLine(second.log, folder + "uninstall.exe crc is same,skip write")) << second.log;
  EXPECT_TRUE(HasLine(second.log, desktop_link + "  link is  same ,skip write ")) << second.log;
  EXPECT_TRUE(HasLine(second.log, group + "\\Read me.lnk link is same,skip write")) << second.log;

  // The user changes one file and adds another; the program leaves a file to remove.
  WriteAll(folder + "readme.txt", "my own notes");
  WriteAll(folder + "mine.txt", "added");
  WriteAll(folder + "cache.dat", "cache");
  SetFileAttributesA((folder + "Demo.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(platform.CreateKey(RegistryRoot::kCurrentUser, std::string(kTestKey) + "\\Supper\\a\\b\\c"));

  // Uninstall from the uninstaller's own file, as "uninstall.exe /u" would.
  FileHost remover;
  std::unique_ptr<FileStream> own = FileStream::Open(folder + "uninstall.exe", FileStream::Mode::kRead);
  ASSERT_TRUE(own);
  remover.file = &own;
  remover.action_caption = "Uninstall";
  InstallContext context;
  context.package = own.get();
  context.own_path = folder + "uninstall.exe";
  context.first_argument = "/u";
  context.uninstall_key = plan.uninstall_key;
  context.display_name = plan.display_name;
  context.header_end = package.header_end;
  RunUninstall(remover, context);
  EXPECT_EQ(remover.package_closed, 1);
  EXPECT_EQ(remover.window_caption, "finish uninstall");
  for (const char* name : {"Demo.exe", "regtest.dll", "noentry.dll", "settings.reg", "sub\\deeper\\doc.txt", "cache.dat"})
    EXPECT_FALSE(Exists(folder + name)) << name;
  EXPECT_EQ(ReadAll(folder + "readme.txt"), "my own notes");
  EXPECT_EQ(ReadAll(folder + "mine.txt"), "added");
  EXPECT_FALSE(Exists(folder + "sub"));
  for (const std::string& line : std::vector<std::string>{folder + "Demo.exe crc same ,deleted", "remove " + folder + " possible subfolder",
        "remove registry uninstall key HollinActionsTest", "remove registry autorun " + demo,
        "remove registry exe shell" + demo, "remove registry dll shell" + demo,
        "remove registry anyfile shell " + demo, "remove registry folder shell " + demo,
        std::string("remove registery .hollintest"), std::string("supperkill,remove registry Software\\HollinActionsTest\\Supper"),
        std::string("desktop lnk has removed"), "delete program group shortcut " + group + "\\Read me.lnk",
        "delete program group name " + group, "deleted file " + folder + "cache.dat",
        "shutdown then delete " + folder + "uninstall.exe"})
    EXPECT_TRUE(HasLine(remover.log, line)) << line << "\n" << remover.log;
  EXPECT_EQ(remover.log.find("readme.txt"), std::string::npos);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, uninstall_key));
  EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kRunKey, "Demo.exe").data, "<missing>");
  for (const char* key : {"exefile\\shell\\HollinTestExeVerb", "dllfile\\shell\\HollinTestExeVerb",
                          "*\\shell\\HollinTestAnyVerb", "folder\\shell\\HollinTestFolderVerb", ".hollintest",
                          "hollintestfile"})
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << key;
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "exefile\\shell"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Supper"));
  EXPECT_FALSE(Exists(desktop_link));
  EXPECT_FALSE(Exists(group));

  // del.bat, run hidden by Wine's cmd, removes the uninstaller and then itself.
  EXPECT_TRUE(WaitFor([&] { return !Exists(folder + "uninstall.exe"); }, 60)) << "uninstall.exe still there";
  EXPECT_TRUE(WaitFor([&] { return !Exists(folder + "del.bat"); }, 30)) << "del.bat still there: " << ReadAll(folder + "del.bat");

  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "Applications\\Demo.exe");
  RemoveTree(root);
}

}  // namespace
}  // namespace hollin

namespace hollin {
namespace {

// Runs a command line and waits for it (bounded); the exit code, or -1 when it did not
// start or end in time.
int RunAndWait(const std::string& command_line, int seconds) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string line = command_line;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  vellumo::win::UniqueHandle process_handle(process.hProcess), thread_handle(process.hThread);
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(seconds) * 1000) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 99);
    return -1;
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

// hollin-pack packs a fixture folder onto the stand-in stub; the packed installer installs
// with "/a", and the uninstaller it writes, run as its own process with "/u", removes the
// installation and is then deleted by its batch file once it has ended.
TEST(PackedInstallerTest, PackInstallAndSelfRemovingUninstall) {
  const std::string bin = BinaryDir();
  const std::string packer = bin + "\\packer\\hollin-pack.exe";
  const std::string driver = bin + "\\tests\\actions\\actions_driver.exe";
  if (!Exists(packer)) GTEST_SKIP() << "hollin-pack is not built";
  const std::string root = "C:\\hollin-pack-e2e";
  RemoveTree(root);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\HollinPackTest");
  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
  for (const char* f : {"", "\\src", "\\src\\docs"}) ASSERT_TRUE(CreateDirectoryA((root + f).c_str(), nullptr));
  const std::string regtest = ReadAll(bin + "\\tests\\actions\\regtest.dll");
  struct Source {
    const char* name;
    std::string content;
  } sources[] = {{"Demo.exe", "MZ packed pretend program"},
                 {"regtest.dll", regtest},
                 {"settings.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\HollinPackTest\\Imported]\r\n"
                                  "\"value\"=\"imported\"\r\n\r\n"},
                 {"docs\\guide.txt", std::string(70000, 'g') + "end"}};
  for (const Source& s : sources) WriteAll(root + "\\src\\" + s.name, s.content);
  WriteAll(root + "\\product.ini",
           "[package]\r\ntitle_colour = clwhite\r\ngradient_red = 999\r\ngradient_green = 999\r\n"
           "gradient_blue = 999\r\nregistry_import = yes\r\nuninstall_key = HollinPackTest\r\n"
           "display_name = Hollin Pack Test\r\nmaker_notice = tests\r\ndefault_folder = HollinPackTest\r\n\r\n"
           "[files]\r\nDemo.exe\r\nregtest.dll\r\nsettings.reg\r\ndocs/guide.txt\r\n\r\n"
           "[register]\r\nfile = regtest.dll\r\n\r\n[autorun]\r\nprogram = Demo.exe\r\n\r\n"
           "[anyfile_verb]\r\nverb = HollinPackVerb\r\nprogram = Demo.exe\r\n\r\n"
           "[desktop_shortcut]\r\nlink = Hollin Pack Demo\r\nprogram = Demo.exe\r\n\r\n"
           "[program_group]\r\nkind = programs\r\nname = Hollin Pack Group\r\nlink = Guide | docs\\guide.txt\r\n");
  const std::string setup = root + "\\setup.exe";
  ASSERT_EQ(RunAndWait("\"" + packer + "\" --stub \"" + driver + "\" --manifest " + root + "\\product.ini --root " +
                           root + "\\src --output " + setup + " --quiet --jobs 1",
                       180),
            0);

  const std::string folder = root + "\\Packed App\\";
  ASSERT_EQ(RunAndWait("\"" + setup + "\" /a \"" + root + "\\Packed App\" " + root + "\\install.log", 180), 0);
  const std::string log = ReadAll(root + "\\install.log");
  for (const Source& s : sources) {
    EXPECT_EQ(ReadAll(folder + s.name), s.content) << s.name;
    EXPECT_TRUE(HasLine(log, folder + s.name + " extracted,crc is correctly")) << s.name << "\n" << log;
  }
  WindowsPlatform platform;
  const std::string demo = folder + "Demo.exe";
  const std::string desktop_link = platform.SpecialFolderPath(kCsidlDesktop) + "\\Hollin Pack Demo.lnk";
  for (const std::string& line : std::vector<std::string>{
           "register " + folder + "regtest.dll succeful", "autoimport registry files " + folder + "settings.reg",
           "write registry uninstall key HollinPackTest", "check and confirm write to registry autorun " + demo,
           "registry anyfile shell " + demo, desktop_link + "  newcreate ",
           "create program group name Hollin Pack Group", folder + "uninstall.exe created"})
    EXPECT_TRUE(HasLine(log, line)) << line << "\n" << log;
  ExpectString(HKEY_CURRENT_USER, kTestKey, "dll_registered", "yes");
  ExpectString(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\uninstall\\HollinPackTest",
               "displayname", "Hollin Pack Test");
  ExpectString(HKEY_LOCAL_MACHINE, kRunKey, "Demo.exe", demo);
  ExpectString(HKEY_CLASSES_ROOT, "*\\shell\\HollinPackVerb\\command", nullptr, platform.ShortPath(demo) + " \"%1\"");
  EXPECT_TRUE(WaitFor([&] { return Query(HKEY_CURRENT_USER, "Software\\HollinPackTest\\Imported", "value").data == "imported"; }, 60));
  LinkFields link;
  ASSERT_TRUE(platform.ReadLink(desktop_link, -1, &link));
  EXPECT_EQ(testing::Lower(link.target), testing::Lower(demo));

  // The uninstaller, byte for byte, from the installer's own layout.
  {
    std::unique_ptr<FileStream> installer = FileStream::Open(setup, FileStream::Mode::kRead);
    ASSERT_TRUE(installer);
    std::string driver_image = ReadAll(driver);
    PackageHeader header;
    ASSERT_TRUE(ReadPackageHeader(*installer, driver_image.size(), &header));
    std::vector<std::string> lines = ReadFileListLines(*installer, header.file_list_position);
    uint64_t actions = 0;
    LocateFileBlocks(lines, installer->Position(), &actions);
    ASSERT_TRUE(installer->Seek(actions));
    ReadRegisterListRecord(*installer);
    ReadRunRecord(*installer);
    std::string expected = testing::ExpectedUninstallerImage(ReadAll(setup), header.header_end, installer->Position(), lines);
    EXPECT_TRUE(ReadAll(folder + "uninstall.exe") == expected) << "uninstall.exe differs";
  }

  WriteAll(folder + "mine.txt", "added by the user");
  ASSERT_EQ(RunAndWait("\"" + folder + "uninstall.exe\" /u " + root + "\\uninstall.log", 180), 0);
  const std::string removal = ReadAll(root + "\\uninstall.log");
  EXPECT_TRUE(HasLine(removal, "shutdown then delete " + folder + "uninstall.exe")) << removal;
  for (const Source& s : sources) EXPECT_FALSE(Exists(folder + s.name)) << s.name;
  EXPECT_FALSE(Exists(folder + "docs"));
  EXPECT_EQ(ReadAll(folder + "mine.txt"), "added by the user");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "software\\microsoft\\windows\\currentversion\\uninstall\\HollinPackTest"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\HollinPackVerb"));
  EXPECT_FALSE(Exists(desktop_link));
  // The batch waited for the uninstaller's process to end, then removed it and itself.
  EXPECT_TRUE(WaitFor([&] { return !Exists(folder + "uninstall.exe"); }, 60)) << "uninstall.exe still there";
  EXPECT_TRUE(WaitFor([&] { return !Exists(folder + "del.bat"); }, 30)) << "del.bat still there";

  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\HollinPackTest");
  RegDeleteTreeA(HKEY_CURRENT_USER, kTestKey);
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "Applications\\Demo.exe");
  RemoveTree(root);
}

}  // namespace
}  // namespace hollin
