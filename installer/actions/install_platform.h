// The operating-system operations the install and uninstall procedures use: files and
// folders, registry keys, shell starts, shortcuts, date and time. The Windows program uses
// WindowsPlatform (installer/actions/win); the procedure tests use an in-memory fake.
// Failures are answers, never exceptions: the procedures skip a step that fails.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "installer/package/stream.h"

namespace hollin {

enum class RegistryRoot { kClassesRoot, kCurrentUser, kLocalMachine, kUsers };

// Root index of the registry-removal records and key tree deletion:
// 2 = local machine, 3 = classes root, 4 = users, anything else = current user.
RegistryRoot RegistryRootFromIndex(uint8_t index);
constexpr uint8_t kRootIndexLocalMachine = 2;
constexpr uint8_t kRootIndexClassesRoot = 3;

constexpr uint32_t kDirectoryAttribute = 0x10;
constexpr uint32_t kNoAttributes = 0xFFFFFFFF;

struct FolderEntry {
  std::string name;
  uint32_t attributes = 0;
};

struct LinkFields {
  std::string target;
  std::string arguments;
  std::string working_folder;
  std::string description;
};

// Special folders by CSIDL number.
constexpr int kCsidlDesktop = 0;
constexpr int kCsidlPrograms = 2;
constexpr int kCsidlStartMenu = 11;

constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;

class InstallPlatform {
 public:
  virtual ~InstallPlatform() = default;

  // Files and folders; paths are ANSI text with "\" separators.
  virtual bool FolderExists(const std::string& path) = 0;
  virtual bool FileExists(const std::string& path) = 0;  // exists and is not a folder
  // The attribute word of a file or folder, kNoAttributes when there is none.
  virtual uint32_t Attributes(const std::string& path) = 0;
  virtual bool CreateOneFolder(const std::string& path) = 0;
  virtual bool RemoveFolder(const std::string& path) = 0;  // only succeeds when empty
  // Every entry of "folder\*.*", "." and ".." included; false when the listing cannot start.
  virtual bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) = 0;
  // CRC text of the whole file, "error000" when it cannot be read.
  virtual std::string FileCrc(const std::string& path) = 0;
  // Clears the attributes of a file that has the read-only attribute.
  virtual void ClearReadOnly(const std::string& path) = 0;
  // Creates or truncates for writing; nullptr when it cannot.
  virtual std::unique_ptr<Stream> CreateFileForWriting(const std::string& path) = 0;
  virtual bool DeleteOneFile(const std::string& path) = 0;
  virtual std::string WindowsFolder() = 0;  // with a trailing "\"
  virtual std::string SystemFolder() = 0;   // with a trailing "\"
  // Local date and time in the user's default short date and time formats, joined by a blank.
  virtual std::string LocalDateTimeText() = 0;

  // Registry. Every call opens (and closes) its own key. "For writing" is read, set value
  // and create subkey access; opening never creates. Values are REG_SZ; "" is the default.
  virtual bool KeyOpensForReading(RegistryRoot root, const std::string& path) = 0;
  virtual bool KeyOpensForWriting(RegistryRoot root, const std::string& path) = 0;
  virtual bool CreateKey(RegistryRoot root, const std::string& path) = 0;  // opens an existing one
  // Opens the key for writing and sets the value; false when the key does not open.
  virtual bool SetStringValue(RegistryRoot root, const std::string& path, const std::string& name,
                              const std::string& data) = 0;
  // Opens the key for reading and reads its default value; false when it does not open.
  virtual bool ReadDefaultValue(RegistryRoot root, const std::string& path, std::string* data) = 0;
  // Opens the key for writing and lists the names of its direct subkeys in index order.
  virtual bool ListSubkeys(RegistryRoot root, const std::string& path,
                           std::vector<std::string>* names) = 0;
  // Opens `parent` for writing and deletes its subkey `child` (which must have no subkeys).
  virtual bool DeleteSubkey(RegistryRoot root, const std::string& parent, const std::string& child) = 0;
  // Opens the key for writing and deletes the named value.
  virtual bool DeleteValue(RegistryRoot root, const std::string& path, const std::string& name) = 0;

  // Shell and processes.
  // Short form of an existing path; empty when it cannot be had.
  virtual std::string ShortPath(const std::string& path) = 0;
  // The shell's "open" verb with no owner window; empty texts mean none. Returns the
  // shell's answer (greater than 32 = started).
  virtual intptr_t ShellOpen(const std::string& file, const std::string& parameters,
                             const std::string& folder, int show) = 0;
  // Loads the library and calls its DllRegisterServer; true when that returns a result >= 0.
  virtual bool CallDllRegisterServer(const std::string& path) = 0;
  // Starts a command line hidden at idle priority without waiting for it.
  virtual bool StartHiddenAtIdle(const std::string& command_line) = 0;

  // Shortcuts.
  // The folder's file-system path without a trailing "\", or "" when the system has none.
  virtual std::string SpecialFolderPath(int csidl) = 0;
  virtual bool WriteLink(const LinkFields& fields, const std::string& icon_file, int icon_index,
                         const std::string& link_path) = 0;
  // Loads and resolves the link (owner -1: no user interface) and reads its fields.
  virtual bool ReadLink(const std::string& link_path, intptr_t owner, LinkFields* fields) = 0;
};

}  // namespace hollin
