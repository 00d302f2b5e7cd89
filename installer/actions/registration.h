// The registry entries Hollin writes and removes, and the ways installed files register
// themselves. Every key path, value name and value text is built here; the platform only
// opens, creates, sets and deletes. No operation reports a failure: a key that does not
// open skips its step.
#pragma once
#include <cstdint>
#include <string>

#include "installer/actions/install_platform.h"

namespace hollin {

constexpr char kUninstallParentKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kUninstallKeyPrefix[] = "software\\microsoft\\windows\\currentversion\\uninstall\\";
constexpr char kRunKey[] = "software\\microsoft\\windows\\currentversion\\run";
constexpr char kExeShellBase[] = "exefile\\shell";
constexpr char kDllShellBase[] = "dllfile\\shell";
constexpr char kAnyFileShellBase[] = "*\\shell";
constexpr char kFolderShellBase[] = "folder\\shell";
// A blank, then "%1" in double quotes: the shell puts the selected file there.
constexpr char kArgumentTail[] = " \"%1\"";

// HKLM uninstall key: "displayname" and "uninstallstring". Call only with a key name.
void WriteUninstallKey(InstallPlatform& platform, const std::string& key_name,
                       const std::string& display_name, const std::string& uninstall_string);

// The Run value named after the program's file name: the bare path, or the path, a blank
// and the parameters in double quotes.
std::string AutorunValueData(const std::string& program_path, bool has_parameters,
                             const std::string& parameters);
void WriteAutorunValue(InstallPlatform& platform, const std::string& program_path,
                       bool has_parameters, const std::string& parameters);
void RemoveAutorunValue(InstallPlatform& platform, const std::string& program_path);

// Command text of a shell verb: the program's short path (the long one when the system
// gives none), the extra argument in double quotes after one blank when there is one, then
// the argument tail.
std::string ShellVerbCommand(InstallPlatform& platform, const std::string& program_path,
                             bool has_extra, const std::string& extra);
void RegisterShellVerb(InstallPlatform& platform, const std::string& class_base,
                       const std::string& verb, bool has_extra, const std::string& extra,
                       const std::string& program_path);

// ".TXT" gives "txtfile": lower case, first character dropped, "file" appended.
std::string TypeNameOf(const std::string& extension);
void RegisterFileType(InstallPlatform& platform, const std::string& extension,
                      const std::string& description, const std::string& verb,
                      const std::string& program_path, int icon_index, bool make_default,
                      bool write_shell);
// The default value of HKCR\extension, or "" when the key does not open.
std::string LookupTypeName(InstallPlatform& platform, const std::string& extension);

// Deletes the key and everything below it (root index as in RegistryRootFromIndex).
void DeleteKeyTree(InstallPlatform& platform, uint8_t root_index, const std::string& path);

// Self-registration: a program is started with "/RegServer", a library's DllRegisterServer
// is called. Both answer whether that worked.
bool RegisterExe(InstallPlatform& platform, const std::string& path);
bool RegisterDll(InstallPlatform& platform, const std::string& path);
// Silent import by the registry editor; neither waited for nor checked.
void ImportRegistryFile(InstallPlatform& platform, const std::string& path);

}  // namespace hollin
