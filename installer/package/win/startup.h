// The values start-up reads from Hollin's own file and command line, kept for the life of
// the program: the install, uninstall and reading procedures read the package through them.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "installer/package/package_reader.h"
#include "installer/package/stream.h"

namespace hollin {

struct StartupValues {
  std::unique_ptr<Stream> package;  // read-only stream on the running program's own file
  std::string own_path;             // full path of that file
  std::string first_argument;       // only the first argument selects a switch
  // Stub fields.
  uint32_t total_unpacked = 0;
  uint8_t no_view = 0;      // 1 = reading mode unavailable
  uint8_t uninstaller = 0;  // 0 = installer
  // Package header (records 1 to 16) as read; the fields below are copies others use often.
  PackageHeader header;
  uint8_t registry_import = 0;
  std::string uninstall_key;   // trimmed; empty when the package names none
  std::string display_name;    // trimmed
  uint64_t header_end = 0;          // after record 15 / 15a
  uint64_t file_list_position = 0;  // after record 16
  // Self check: whether it ran and what it found.
  bool self_check_ran = false;
  bool self_check_good = false;
};

// The one program-wide set of start-up values.
StartupValues& Startup();

// Full path of the running executable.
std::string OwnExecutablePath();
// The program's first command-line argument, or empty.
std::string FirstCommandLineArgument();

// Opens `path` as the package stream (a view that ends where the package ends, before any
// code signature) and reads the stub fields and the package header at
// `package_offset` (Hollin passes its stamped PackageOffset())
// into `values` (own_path becomes `path`). False when the file cannot be opened; a short
// or damaged file still fills the values the way the format reads missing bytes.
bool OpenPackage(const std::string& path, uint64_t package_offset, StartupValues* values);

// Registry reads of the default-folder rules. Empty when the key does not open or the
// value is missing or not a string.
std::string ReadProgramFilesFolder();                       // HKLM ...\CurrentVersion "programfilesdir"
std::string ReadUninstallString(const std::string& key_name);  // HKLM ...\uninstall\<key> "uninstallstring"

// The self check over the file at `path`: draws the wait notice on the screen for big
// packages, then compares the self-check value of the package at `package_offset` (a code
// signature left out) with the expected text. True when they match.
bool RunSelfCheck(const std::string& path, uint64_t package_offset, const std::string& expected,
                  uint32_t total_unpacked);

}  // namespace hollin
