// Helpers of Hollin's window tests: installers packed from a plan onto the real Hollin.exe,
// a watchdog that closes message boxes and records their texts, and small file helpers.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "installer/package/package_writer.h"

namespace hollin::test {

// "Z:\..." for a Unix path (Wine maps / to Z:).
std::string WindowsPath(const std::string& unix_path);
// The built Hollin.exe (Windows path) and a scratch folder of the test run.
std::string HollinExePath();
std::string ScratchFolder();

struct Installer {
  std::string path;             // Windows path of the written installer
  uint64_t package_offset = 0;  // the stub's stamped offset
  std::vector<uint8_t> bytes;
};

// A small plan that passes the self check: display name, maker, licence off.
PackagePlan BasicPlan(const std::string& display_name);
// One file of `size` bytes (repeating pattern) named `name`.
PackedFile SampleFile(const std::string& name, size_t size);

// Packs `plan` and `files` onto Hollin.exe and writes it to ScratchFolder()\file_name.
// `patch` (optional) changes the bytes before they are written.
Installer WriteInstaller(const std::string& file_name, const PackagePlan& plan,
                         const std::vector<PackedFile>& files,
                         void (*patch)(std::vector<uint8_t>&) = nullptr);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
// The uninstaller the install procedure would write for that installer.
Installer WriteUninstaller(const std::string& file_name, const PackagePlan& plan,
                           const std::vector<PackedFile>& files);

// Turns an installer image into what an uninstaller's stub fields say.
void MakeUninstallerStub(std::vector<uint8_t>& bytes);

// Closes every message box of this process (class "#32770") while it runs, recording
// caption and text; presses the given button (IDOK, IDCANCEL, IDYES, IDNO).
class BoxWatchdog {
 public:
  explicit BoxWatchdog(int button = IDOK);
  ~BoxWatchdog();
  struct Box {
    std::string caption, text;
  };
  std::vector<Box> boxes();

 private:
  static DWORD WINAPI Run(void* self);
  HANDLE thread_ = nullptr;
  HANDLE stop_ = nullptr;
  CRITICAL_SECTION lock_;
  std::vector<Box> boxes_;
  int button_;
};

// Lets the window messages through for `ms` milliseconds.
void Pump(int ms);

// Registry helpers for the default-folder cases (HKLM).
bool SetMachineString(const std::string& key, const char* name, const std::string& value);
std::string GetMachineString(const std::string& key, const char* name, bool* exists);
void DeleteMachineValue(const std::string& key, const char* name);
void DeleteMachineKey(const std::string& key);

}  // namespace hollin::test
