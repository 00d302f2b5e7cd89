// A code-signed installer under Wine: tests/hollin/sign-fixture packs fixtures/signed.ini onto
// the real Hollin.exe and signs it with hollin-pack --sign-cert (osslsigncode, a certificate
// made by openssl at test time). It passes its self check and keeps running although a
// failed check would end it silently; altered copies fail or pass as the package says; "/a"
// installs exactly and writes an uninstaller without the signature that uninstalls and
// deletes itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer/package/package_extent.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_writer.h"
#include "installer/package/win/startup.h"
#include "installer/ui/win/main_window.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/texts.h"
#include "test_support.h"

namespace hollin {
namespace {

constexpr char kFolder[] = "C:\\hollin-signed-fixture";
constexpr char kUninstallKey[] =
    "software\\microsoft\\windows\\currentversion\\uninstall\\HollinSignedFixture";

int g_end_calls = 0;
void RecordEnd(int) { ++g_end_calls; }

std::string EnvPath(const char* name, const std::string& rest) {
  const char* dir = std::getenv(name);
  return test::WindowsPath(std::string(dir ? dir : "") + rest);
}
std::string SignedFixturePath() {
  return EnvPath("VELLUMO_BINARY_DIR", "/tests/hollin/signing/signed-fixture.exe");
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  auto f = FileStream::Open(path, FileStream::Mode::kRead);
  if (!f) return bytes;
  bytes.resize(static_cast<size_t>(f->Size()));
  if (!bytes.empty()) bytes.resize(f->Read(bytes.data(), bytes.size()));
  return bytes;
}
bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
void PutU32(std::vector<uint8_t>& b, uint64_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

class SignedInstaller : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallProgramHooks();
    SetEndProgramHandler(RecordEnd);
  }
  void SetUp() override {
    bytes_ = ReadAll(SignedFixturePath());
    if (bytes_.empty()) GTEST_SKIP() << "no signed fixture (tests/hollin/sign-fixture)";
    std::vector<uint8_t> stub = ReadAll(test::HollinExePath());
    uint32_t offset = 0;
    ASSERT_TRUE(FindStampedPackageOffset(stub.data(), stub.size(), &offset, nullptr));
    offset_ = offset;
    MemoryStream s(bytes_);
    extent_ = ReadPackageExtent(s, offset_);
    ASSERT_TRUE(extent_.has_signature);
    ASSERT_LT(extent_.end, bytes_.size());
    g_end_calls = 0;
    ASSERT_TRUE(BuildMainWindow());
  }
  void TearDown() override { DestroyWindows(); }

  StartupOutcome Start(const std::string& path, const std::string& arg = "") {
    return RunStartup(path, offset_, arg);
  }
  static MainWindow& M() { return Main(); }
  static bool Shown(HWND c) { return M().Visible(c); }

  std::vector<uint8_t> bytes_;
  uint64_t offset_ = 0;
  PackageExtent extent_;
};

TEST_F(SignedInstaller, SelfCheckPassesAndTheInstallerKeepsRunning) {
  ASSERT_EQ(Start(SignedFixturePath()), StartupOutcome::kRunMessageLoop);
  EXPECT_TRUE(Startup().self_check_ran);
  EXPECT_TRUE(Shown(M().crc_good_label));
  EXPECT_FALSE(Shown(M().crc_bad_label));
  EXPECT_EQ(M().Text(M().window), "Signed Fixture 1.0");
  // Every reader sees the package, not the certificate table.
  EXPECT_EQ(Startup().package->Size(), extent_.end);
  // The reading mode lists both files.
  M().Click(M().view_button);
  EXPECT_EQ(SendMessageA(M().file_list, CB_GETCOUNT, 0, 0), 2);
}

// Each copy is started as the program starts itself; record 7 is on, so a failed check ends
// the program before the window is filled.
TEST_F(SignedInstaller, AlteredCopiesPassOrFailAsTheirPackageSays) {
  const uint64_t entry = extent_.fields.security_entry_offset;
  const uint32_t table = static_cast<uint32_t>(extent_.end);
  const uint32_t size = extent_.fields.certificate_size;
  const uint32_t file = static_cast<uint32_t>(bytes_.size());
  struct Case {
    const char* name;
    uint64_t flip_at;  // 0: none
    bool set_entry;
    uint32_t offset, length;
    bool good;
  } cases[] = {
      {"package byte flipped", offset_ + (table - offset_) / 2, false, 0, 0, false},
      {"last package byte flipped", table - 9, false, 0, 0, false},
      {"certificate byte flipped", file - 20, false, 0, 0, true},
      {"CheckSum changed", extent_.fields.checksum_offset, false, 0, 0, true},
      {"entry past the end of the file", 0, true, file + 8, size, false},
      {"entry before the package", 0, true, 1024, file - 1024, false},
      {"entry into the package", 0, true, table - 32, size + 32, false},
      {"bytes after the table", 0, true, table, size - 8, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DestroyWindows();
    ASSERT_TRUE(BuildMainWindow());
    std::vector<uint8_t> b(bytes_);
    if (c.flip_at) b[c.flip_at] ^= 0x10;
    if (c.set_entry) {
      PutU32(b, entry, c.offset);
      PutU32(b, entry + 4, c.length);
    }
    std::string path = test::ScratchFolder() + "\\altered-signed.exe";
    test::WriteBytes(path, b);
    EXPECT_EQ(Start(path), c.good ? StartupOutcome::kRunMessageLoop : StartupOutcome::kEndProgram);
    EXPECT_EQ(Shown(M().crc_good_label), c.good);
    EXPECT_FALSE(Shown(M().crc_bad_label));
  }
}

void RemoveFolder(const std::string& folder) {
  for (const char* f : {"\\licence.txt", "\\docs\\readme.txt", "\\uninstall.exe", "\\del.bat"}) {
    SetFileAttributesA((folder + f).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA((folder + f).c_str());
  }
  RemoveDirectoryA((folder + "\\docs").c_str());
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

TEST_F(SignedInstaller, AutoInstallWritesACleanUninstallerThatRemovesEverything) {
  const std::string folder = kFolder;
  RemoveFolder(folder);
  test::DeleteMachineKey(kUninstallKey);
  {
    test::BoxWatchdog watchdog(IDOK);
    ASSERT_EQ(Start(SignedFixturePath(), "/a"), StartupOutcome::kEndProgram);
    EXPECT_TRUE(watchdog.boxes().empty());
  }
  EXPECT_FALSE(Startup().self_check_ran);
  const std::string fixtures = EnvPath("VELLUMO_SOURCE_DIR", "/tests/hollin/fixtures");
  EXPECT_EQ(ReadAll(folder + "\\licence.txt"), ReadAll(fixtures + "\\licence.txt"));
  EXPECT_EQ(ReadAll(folder + "\\docs\\readme.txt"), ReadAll(fixtures + "\\readme.txt"));
  const std::string log = M().Text(M().log_box);
  EXPECT_NE(log.find(folder + "\\docs\\readme.txt extracted,crc is correctly"), std::string::npos)
      << log;
  EXPECT_NE(log.find(folder + "\\uninstall.exe created"), std::string::npos) << log;

  // uninstall.exe: an unsigned program, no certificate bytes, exactly the image built from
  // the installer's package.
  const std::string uninstaller = folder + "\\uninstall.exe";
  std::vector<uint8_t> un = ReadAll(uninstaller);
  ASSERT_FALSE(un.empty());
  PeSignatureFields fields = FindPeSignatureFields(un.data(), std::min(un.size(), kPeHeaderSpan));
  ASSERT_TRUE(fields.found);
  EXPECT_EQ(fields.checksum, 0u);
  EXPECT_EQ(fields.certificate_offset, 0u);
  EXPECT_EQ(fields.certificate_size, 0u);
  const auto table_begin = bytes_.begin() + static_cast<ptrdiff_t>(extent_.end);
  EXPECT_TRUE(std::search(un.begin(), un.end(), table_begin + 8, table_begin + 72) == un.end())
      << "uninstall.exe holds certificate bytes";
  MemoryStream installer(bytes_);
  std::vector<uint8_t> expected;
  ASSERT_TRUE(BuildUninstallerFromInstaller(installer, offset_, &expected));
  EXPECT_TRUE(un == expected) << "uninstall.exe differs from the installer's package";
  EXPECT_EQ(std::string(un.begin() + kSelfCheckValueOffset,
                        un.begin() + kSelfCheckValueOffset + kSelfCheckValueLength),
            kUninstallerMarker);

  // "/u" in its own process: everything goes, the uninstaller last, by its batch file.
  std::string command = "\"" + uninstaller + "\" /u";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(uninstaller.c_str(), &command[0], nullptr, nullptr, FALSE, 0,
                             nullptr, folder.c_str(), &si, &pi));
  CloseHandle(pi.hThread);
  DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
  CloseHandle(pi.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0) << "the uninstaller did not end";
  EXPECT_FALSE(Exists(folder + "\\licence.txt"));
  EXPECT_FALSE(Exists(folder + "\\docs"));
  bool key_exists = true;
  test::GetMachineString(kUninstallKey, "displayname", &key_exists);
  EXPECT_FALSE(key_exists);
  EXPECT_TRUE(WaitFor([&] { return !Exists(uninstaller); }, 60)) << "uninstall.exe still there";
  EXPECT_TRUE(WaitFor([&] { return !Exists(folder + "\\del.bat"); }, 30)) << "del.bat still there";
  RemoveFolder(folder);
  test::DeleteMachineKey(kUninstallKey);
}

// The real program, as a user starts it: the CRC-good label shows and the window stays.
BOOL CALLBACK FindGoodLabel(HWND child, LPARAM found) {
  char text[128] = {};
  GetWindowTextA(child, text, sizeof text);
  if (std::string(text) == texts::kCrcGood && IsWindowVisible(child))
    *reinterpret_cast<bool*>(found) = true;
  return TRUE;
}
struct FindMain {
  DWORD pid;
  HWND found;
};
BOOL CALLBACK FindMainWindow(HWND wnd, LPARAM param) {
  auto* f = reinterpret_cast<FindMain*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  char cls[64] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  if (pid == f->pid && std::string(cls) == "HollinMainWindow" && IsWindowVisible(wnd)) {
    f->found = wnd;
    return FALSE;
  }
  return TRUE;
}

TEST_F(SignedInstaller, RunAsAProgramItShowsTheGoodLabel) {
  std::string path = SignedFixturePath();
  std::string command = "\"" + path + "\"";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessA(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi));
  CloseHandle(pi.hThread);
  FindMain f{pi.dwProcessId, nullptr};
  for (int waited = 0; waited < 30000 && !f.found; waited += 100) {
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&f));
    if (!f.found && WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) break;
  }
  bool good = false;
  if (f.found) EnumChildWindows(f.found, FindGoodLabel, reinterpret_cast<LPARAM>(&good));
  EXPECT_TRUE(f.found) << "no main window: the self check ended the program";
  EXPECT_TRUE(good);
  if (f.found) PostMessageA(f.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(pi.hProcess, 99);
    ADD_FAILURE() << "the installer did not end on close";
  }
  CloseHandle(pi.hProcess);
}

}  // namespace
}  // namespace hollin
