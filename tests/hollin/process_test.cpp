// Packed installers run as their own processes: the real entry point, the stamped package
// offset, the windows it shows, the silent self-check exit and the close request.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/win/handles.h"
#include "installer/package/block.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"
#include "installer/package/package_writer.h"
#include "installer/ui/shown_text.h"
#include "test_support.h"

namespace hollin {
namespace {

using vellumo::win::UniqueHandle;

struct Running {
  UniqueHandle process;
  DWORD pid = 0;
};

Running Launch(const std::string& exe, const std::string& arg, const char* folder = nullptr) {
  Running r;
  std::string command = "\"" + exe + "\"" + (arg.empty() ? "" : " " + arg);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder,
                      &si, &pi))
    return r;
  CloseHandle(pi.hThread);
  r.process.reset(pi.hProcess);
  r.pid = pi.dwProcessId;
  return r;
}

struct Find {
  DWORD pid;
  const char* class_name;
  HWND found;
};
BOOL CALLBACK FindProc(HWND wnd, LPARAM param) {
  auto* f = reinterpret_cast<Find*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  char cls[64] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  if (pid == f->pid && std::string(cls) == f->class_name) {
    f->found = wnd;
    return FALSE;
  }
  return TRUE;
}
HWND FindWindowOf(DWORD pid, const char* class_name) {
  Find f{pid, class_name, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&f));
  return f.found;
}

// Waits (bounded) until the program's main window is visible.
HWND WaitForMainWindow(const Running& r, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 100) {
    HWND w = FindWindowOf(r.pid, "HollinMainWindow");
    if (w && IsWindowVisible(w)) return w;
    if (WaitForSingleObject(r.process.get(), 100) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

// The backdrop comes after start-up, which may already have shown the main window.
HWND WaitForBackdrop(const Running& r, int timeout_ms) {
  for (int waited = 0; waited < timeout_ms; waited += 50) {
    HWND w = FindWindowOf(r.pid, "HollinBackdrop");
    if (w) {
      Sleep(300);  // let it take its first state
      return w;
    }
    if (WaitForSingleObject(r.process.get(), 50) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

std::string Caption(HWND w) {
  char text[512] = {};
  GetWindowTextA(w, text, sizeof text);
  return text;
}

void Stop(Running& r) {
  if (r.process && WaitForSingleObject(r.process.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(r.process.get(), 99);
    WaitForSingleObject(r.process.get(), 5000);
  }
}

constexpr int kStartTimeout = 30000;

TEST(HollinProcess, InstallerShowsItsWindowsAndEndsOnClose) {
  test::Installer i = test::WriteInstaller("run.exe", test::BasicPlan("Process Product"),
                                           {test::SampleFile("a.txt", 2000)});
  ASSERT_FALSE(i.path.empty());
  Running r = Launch(i.path, "");
  ASSERT_TRUE(r.process);
  HWND main = WaitForMainWindow(r, kStartTimeout);
  ASSERT_TRUE(main);
  EXPECT_EQ(Caption(main), "Process Product");
  HWND backdrop = WaitForBackdrop(r, kStartTimeout);
  ASSERT_TRUE(backdrop);
  EXPECT_TRUE(IsWindowVisible(backdrop));
  EXPECT_TRUE(IsZoomed(backdrop));
  EXPECT_FALSE(IsWindowEnabled(backdrop));
  EXPECT_EQ(Caption(backdrop), "Process Product");
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(r.process.get(), 10000), WAIT_OBJECT_0);
  Stop(r);
}

TEST(HollinProcess, UninstallerHidesTheBackdropAndViewMinimisesIt) {
  struct Case {
    const char* name;
    bool uninstaller;
    const char* arg;
    std::string caption;
    bool backdrop_visible, backdrop_minimised;
  } cases[] = {
      {"uninstaller", true, "", "Proc---uninstall", false, false},
      {"view", false, "/v", "Proc", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Installer i = test::WriteInstaller(
        std::string(c.name) + ".exe", test::BasicPlan("Proc"), {test::SampleFile("a.txt", 300)},
        c.uninstaller ? test::MakeUninstallerStub : nullptr);
    Running r = Launch(i.path, c.arg);
    ASSERT_TRUE(r.process);
    HWND main = WaitForMainWindow(r, kStartTimeout);
    ASSERT_TRUE(main);
    EXPECT_NE(Caption(main).find(c.caption), std::string::npos) << Caption(main);
    HWND backdrop = WaitForBackdrop(r, kStartTimeout);
    ASSERT_TRUE(backdrop);
    EXPECT_EQ(IsWindowVisible(backdrop) != 0, c.backdrop_visible);
    if (c.backdrop_visible) {
      EXPECT_EQ(IsIconic(backdrop) != 0, c.backdrop_minimised);
    }
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(r.process.get(), 10000), WAIT_OBJECT_0);
    Stop(r);
  }
}

TEST(HollinProcess, SilentSelfCheckFailureEndsWithoutAWindow) {
  PackagePlan plan = test::BasicPlan("Silent");
  plan.silent_failure = true;
  test::Installer i = test::WriteInstaller("silent.exe", plan, {test::SampleFile("a.bin", 4000)},
                                           [](std::vector<uint8_t>& b) { b[b.size() / 2 + 200] ^= 1; });
  Running r = Launch(i.path, "");
  ASSERT_TRUE(r.process);
  bool window_seen = false;
  DWORD wait = WAIT_TIMEOUT;
  for (int waited = 0; waited < kStartTimeout && wait == WAIT_TIMEOUT; waited += 50) {
    HWND w = FindWindowOf(r.pid, "HollinMainWindow");
    if (w && IsWindowVisible(w)) window_seen = true;
    wait = WaitForSingleObject(r.process.get(), 50);
  }
  EXPECT_EQ(wait, WAIT_OBJECT_0);
  EXPECT_FALSE(window_seen);
  DWORD code = 99;
  GetExitCodeProcess(r.process.get(), &code);
  EXPECT_EQ(code, 0u);  // an orderly end, not a failure to start
  Stop(r);
}


// Every module the process has loaded, by full path.
std::vector<std::string> LoadedModules(DWORD pid) {
  std::vector<std::string> paths;
  UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return paths;
  MODULEENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Module32First(snapshot.get(), &entry); more;
       more = Module32Next(snapshot.get(), &entry))
    paths.push_back(entry.szExePath);
  return paths;
}

std::string Lower(std::string text) {
  CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
  return text;
}

// An installer started from a downloads folder, as the current folder too, loads none of the
// system-named DLLs that lie beside it: the rich edit, the common controls, and the libraries
// those pull in. The uninstaller starts the same way. (Not planted: imm32.dll and version.dll,
// which Wine's user32 loads itself before any code of the program runs; on Windows imm32 is a
// known DLL and user32 does not load version.dll.)
TEST(HollinProcess, DllsBesideTheInstallerAreNotLoaded) {
  const char* planted_names[] = {"riched20.dll", "riched32.dll", "comctl32.dll", "uxtheme.dll",
                                 "msimg32.dll",  "usp10.dll",    "shlwapi.dll",  "oleaut32.dll",
                                 "comdlg32.dll", "shell32.dll",  "ole32.dll"};
  char system[MAX_PATH] = {};
  ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0u);
  const std::string folder = test::ScratchFolder() + "\\downloads";
  CreateDirectoryA(folder.c_str(), nullptr);
  for (const char* name : planted_names)
    ASSERT_TRUE(CopyFileA((std::string(system) + "\\" + name).c_str(),
                          (folder + "\\" + name).c_str(), FALSE)) << name;

  for (bool uninstaller : {false, true}) {
    SCOPED_TRACE(uninstaller ? "uninstaller" : "installer");
    test::Installer i = test::WriteInstaller(
        uninstaller ? "downloads\\uninstall.exe" : "downloads\\setup.exe",
        test::BasicPlan("Planted"), {test::SampleFile("a.txt", 300)},
        uninstaller ? test::MakeUninstallerStub : nullptr);
    ASSERT_FALSE(i.path.empty());
    Running r = Launch(i.path, "", folder.c_str());
    ASSERT_TRUE(r.process);
    HWND main = WaitForMainWindow(r, kStartTimeout);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitForBackdrop(r, kStartTimeout));  // the rich edit log exists by now
    std::vector<std::string> modules = LoadedModules(r.pid);
    EXPECT_GT(modules.size(), 3u);
    const std::string prefix = Lower(folder + "\\");
    for (const std::string& module : modules) {
      std::string path = Lower(module);
      if (path == Lower(i.path)) continue;
      EXPECT_NE(path.compare(0, prefix.size(), prefix), 0) << "loaded from beside it: " << module;
    }
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(r.process.get(), 10000), WAIT_OBJECT_0);
    Stop(r);
  }
}

// A licence of 12 MB of line ends that claims 4 GB (the rule test has one of zeros), and a file
// list of about 100 MB of line ends (about 100 KB packed): decoding is bounded and so is what
// is built from it and shown. Under
// "/a" the installer installs what the list names, stops at the first bad line and ends
// normally; without a switch it shows its window.
void CraftRecords(std::vector<uint8_t>& bytes) {
  uint32_t offset = 0;
  ASSERT_TRUE(FindStampedPackageOffset(bytes.data(), bytes.size(), &offset, nullptr));
  MemoryStream image(bytes);
  PackageHeader header;
  ReadPackageHeader(image, offset, &header);
  ASSERT_TRUE(header.has_licence);
  // The licence block's U (after its u32 length) claims 4 GB.
  for (size_t k = 0; k < 4; ++k) bytes[static_cast<size_t>(header.licence_block.position) + 4 + k] = 0xFF;
  // The file list: its first line, then 100 MB of CR LF.
  const size_t list_at = static_cast<size_t>(header.file_list_position);
  uint32_t old_length = 0;
  for (int k = 0; k < 4; ++k) old_length |= static_cast<uint32_t>(bytes[list_at + k]) << (8 * k);
  MemoryStream old_block(std::vector<uint8_t>(bytes.begin() + list_at + 4, bytes.begin() + list_at + 4 + old_length));
  MemoryStream old_text;
  DecodeBlock(old_block, old_text);
  std::string first(old_text.bytes().begin(), old_text.bytes().end());
  first = first.substr(0, first.find("\r\n") + 2);
  std::string text = first + std::string(100u << 20, '\n');
  for (size_t k = first.size(); k + 1 < text.size(); k += 2) text[k] = '\r';
  std::vector<uint8_t> block = MakeStoredBlock(text.data(), text.size(), 9);
  ASSERT_FALSE(block.empty());
  std::vector<uint8_t> out(bytes.begin(), bytes.begin() + list_at);
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(block.size() >> (8 * k)));
  out.insert(out.end(), block.begin(), block.end());
  out.insert(out.end(), bytes.begin() + list_at + 4 + old_length, bytes.end());
  bytes.swap(out);
}

TEST(HollinProcess, CraftedRecordSizesEndNormally) {
  PackagePlan plan = test::BasicPlan("Crafted");
  plan.has_licence = true;
  plan.licence_text = std::string(12u << 20, '\n');
  plan.has_default_folder = true;
  plan.default_folder = test::ScratchFolder() + "\\Crafted";
  test::Installer i = test::WriteInstaller("crafted.exe", plan,
                                           {test::SampleFile("first.bin", 1000), test::SampleFile("second.bin", 1000)},
                                           CraftRecords);
  ASSERT_FALSE(i.path.empty());
  Running r = Launch(i.path, "/a");
  ASSERT_TRUE(r.process);
  ASSERT_EQ(WaitForSingleObject(r.process.get(), 120000), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeProcess(r.process.get(), &code);
  EXPECT_EQ(code, 0u);
  EXPECT_NE(GetFileAttributesA((plan.default_folder + "\\first.bin").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((plan.default_folder + "\\uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);

  Running shown = Launch(i.path, "/c");
  ASSERT_TRUE(shown.process);
  HWND main = WaitForMainWindow(shown, 60000);
  ASSERT_TRUE(main);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(shown.process.get(), 10000), WAIT_OBJECT_0);
  Stop(shown);
}

// A licence of 10 MB in lines of 4,000 characters: Wine's rich edit took a minute over it at
// start and then ended the program. The window comes up showing the licence's beginning in
// short lines and a last line saying the rest is not shown.
TEST(HollinProcess, HugeLicenceIsShownCut) {
  PackagePlan plan = test::BasicPlan("Wide Licence");
  plan.has_licence = true;
  std::string line;
  while (line.size() < 4000) line += "licence words ";
  line.resize(4000);
  line += "\r\n";
  while (plan.licence_text.size() + line.size() <= kLogTextLimit) plan.licence_text += line;
  test::Installer i = test::WriteInstaller("wide-licence.exe", plan, {test::SampleFile("a.txt", 100)});
  ASSERT_FALSE(i.path.empty());
  Running r = Launch(i.path, "/c");
  ASSERT_TRUE(r.process);
  struct StopAtEnd {  // also when an assertion ends the test: a crashed program waits
    Running& r;
    ~StopAtEnd() { Stop(r); }
  } stop_at_end{r};
  HWND main = WaitForMainWindow(r, 120000);
  ASSERT_TRUE(main);
  HWND box = FindWindowExA(main, nullptr, "RichEdit20A", nullptr);
  ASSERT_TRUE(box);
  DWORD_PTR length = 0;
  for (int waited = 0; waited < 60000 && length < kMaxShownChars / 2; waited += 200) {
    SendMessageTimeoutA(box, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
    if (length < kMaxShownChars / 2) Sleep(200);
  }
  EXPECT_GT(length, kMaxShownChars / 2);
  EXPECT_LE(length, kMaxShownChars + 64);
  std::string text(length + 1, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(box, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]),
                      SMTO_ABORTIFHUNG, 10000, &got);
  text.resize(got);
  EXPECT_EQ(text.substr(0, 900), line.substr(0, 900));
  const std::string mark = "[... the rest of this text is not shown]";
  EXPECT_NE(text.find(mark), std::string::npos) << text.substr(text.size() > 200 ? text.size() - 200 : 0);
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(r.process.get(), 10000), WAIT_OBJECT_0);
}

// The application manifests in the built files: Hollin and the uninstaller it writes ask for
// administrator rights, Vellumo runs as the user; all name Vista to 11 and change neither
// DPI awareness nor the controls' look. (That the programs start with them under Wine is
// shown by every test above.)
std::string ManifestOf(const std::string& path) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return "<cannot load " + path + ">";
  std::string text = "<no manifest>";
  if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    HGLOBAL loaded = LoadResource(module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    if (data) text.assign(data, SizeofResource(module, found));
  }
  FreeLibrary(module);
  return text;
}

TEST(HollinProcess, ManifestsAskForTheRightsAndNameTheSystems) {
  const char* dir = std::getenv("VELLUMO_BINARY_DIR");
  ASSERT_NE(dir, nullptr);
  test::Installer uninstaller = test::WriteUninstaller("manifest-uninstall.exe", test::BasicPlan("M"),
                                                       {test::SampleFile("a.txt", 10)});
  struct Case {
    std::string path;
    const char* level;
  } cases[] = {
      {test::HollinExePath(), "requireAdministrator"},
      {uninstaller.path, "requireAdministrator"},
      {test::WindowsPath(std::string(dir) + "/viewer/Vellumo.exe"), "asInvoker"},
  };
  const char* systems[] = {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                           "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                           "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string manifest = ManifestOf(c.path);
    EXPECT_NE(manifest.find(std::string("<requestedExecutionLevel level=\"") + c.level + "\" uiAccess=\"false\"/>"),
              std::string::npos) << manifest;
    for (const char* id : systems) EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + id + "}\"/>"), std::string::npos) << id;
    for (const char* absent : {"dpiAware", "dpiAwareness", "Common-Controls"})
      EXPECT_EQ(manifest.find(absent), std::string::npos) << absent;
  }
}

}  // namespace
}  // namespace hollin
