#include "installer/actions/registration.h"

#include <vector>

#include "installer/actions/paths.h"

namespace hollin {

RegistryRoot RegistryRootFromIndex(uint8_t index) {
  switch (index) {
    case 2: return RegistryRoot::kLocalMachine;
    case 3: return RegistryRoot::kClassesRoot;
    case 4: return RegistryRoot::kUsers;
    default: return RegistryRoot::kCurrentUser;
  }
}

void WriteUninstallKey(InstallPlatform& platform, const std::string& key_name,
                       const std::string& display_name, const std::string& uninstall_string) {
  const RegistryRoot root = RegistryRoot::kLocalMachine;
  if (platform.KeyOpensForWriting(root, kUninstallParentKey))
    platform.CreateKey(root, std::string(kUninstallParentKey) + "\\" + key_name);
  const std::string key = kUninstallKeyPrefix + key_name;
  if (!platform.KeyOpensForWriting(root, key)) return;
  platform.SetStringValue(root, key, "displayname", display_name);
  platform.SetStringValue(root, key, "uninstallstring", uninstall_string);
}

std::string AutorunValueData(const std::string& program_path, bool has_parameters,
                             const std::string& parameters) {
  if (!has_parameters) return program_path;
  return program_path + " \"" + parameters + "\"";
}

void WriteAutorunValue(InstallPlatform& platform, const std::string& program_path,
                       bool has_parameters, const std::string& parameters) {
  platform.SetStringValue(RegistryRoot::kLocalMachine, kRunKey, FileNamePart(program_path),
                          AutorunValueData(program_path, has_parameters, parameters));
}

void RemoveAutorunValue(InstallPlatform& platform, const std::string& program_path) {
  platform.DeleteValue(RegistryRoot::kLocalMachine, kRunKey, FileNamePart(program_path));
}

std::string ShellVerbCommand(InstallPlatform& platform, const std::string& program_path,
                             bool has_extra, const std::string& extra) {
  std::string command = platform.ShortPath(program_path);
  // The short form needs the program to exist; without it the long path still works as
  // long as it holds no blank, which beats an empty command.
  if (command.empty()) command = program_path;
  if (has_extra) command += " \"" + extra + "\"";
  return command + kArgumentTail;
}

void RegisterShellVerb(InstallPlatform& platform, const std::string& class_base,
                       const std::string& verb, bool has_extra, const std::string& extra,
                       const std::string& program_path) {
  const RegistryRoot root = RegistryRoot::kClassesRoot;
  const std::string verb_key = class_base + "\\" + verb;
  const std::string command_key = verb_key + "\\command";
  if (platform.KeyOpensForWriting(root, verb_key)) {
    platform.CreateKey(root, command_key);
  } else {
    if (!platform.CreateKey(root, verb_key)) return;
    if (!platform.CreateKey(root, command_key)) return;
  }
  if (!platform.KeyOpensForWriting(root, command_key)) return;
  platform.SetStringValue(root, command_key, "",
                          ShellVerbCommand(platform, program_path, has_extra, extra));
}

std::string TypeNameOf(const std::string& extension) {
  std::string lower = ToLowerAscii(extension);
  if (!lower.empty()) lower.erase(0, 1);
  return lower + "file";
}

namespace {
void CreateAndSetDefault(InstallPlatform& platform, const std::string& key,
                         const std::string& data) {
  const RegistryRoot root = RegistryRoot::kClassesRoot;
  if (platform.CreateKey(root, key)) platform.SetStringValue(root, key, "", data);
}
}  // namespace

void RegisterFileType(InstallPlatform& platform, const std::string& extension,
                      const std::string& description, const std::string& verb,
                      const std::string& program_path, int icon_index, bool make_default,
                      bool write_shell) {
  const RegistryRoot root = RegistryRoot::kClassesRoot;
  const std::string command = program_path + kArgumentTail;
  const std::string application = "Applications\\" + FileNamePart(program_path);
  // An existing Applications entry belongs to whoever made it first.
  if (!platform.KeyOpensForReading(root, application))
    CreateAndSetDefault(platform, application + "\\Shell\\Open\\Command", command);
  const std::string type_name = TypeNameOf(extension);
  CreateAndSetDefault(platform, extension, type_name);
  CreateAndSetDefault(platform, type_name, description);
  // A negative index is a resource number. Formatted through the unsigned to_string: the
  // stub then carries one decimal formatter, not two.
  if (icon_index != -1)
    CreateAndSetDefault(platform, type_name + "\\DefaultIcon",
                        program_path + "," + (icon_index < 0 ? "-" : "") +
                            std::to_string(icon_index < 0 ? 0u - icon_index : 0u + icon_index));
  if (write_shell) {
    CreateAndSetDefault(platform, type_name + "\\Shell", make_default ? verb : std::string());
    platform.CreateKey(root, type_name + "\\Shell\\" + verb);
    CreateAndSetDefault(platform, type_name + "\\Shell\\" + verb + "\\Command", command);
  }
}

std::string LookupTypeName(InstallPlatform& platform, const std::string& extension) {
  std::string value;
  if (!platform.ReadDefaultValue(RegistryRoot::kClassesRoot, extension, &value)) return std::string();
  return value;
}

void DeleteKeyTree(InstallPlatform& platform, uint8_t root_index, const std::string& path) {
  const RegistryRoot root = RegistryRootFromIndex(root_index);
  std::vector<std::string> names;
  if (platform.ListSubkeys(root, path, &names)) {
    // Leaves go at once; what is left has subkeys of its own and is handled by recursion.
    for (size_t i = names.size(); i-- > 0;)
      if (platform.DeleteSubkey(root, path, names[i])) names.erase(names.begin() + i);
    // A path stored with a trailing "\" must not give "\\" (which names no key).
    const std::string base = !path.empty() && path.back() == '\\' ? path : path + "\\";
    for (const std::string& name : names) DeleteKeyTree(platform, root_index, base + name);
  }
  // Split at the last "\" before the final character, so a trailing "\" is not the split.
  std::string parent, child = path;
  for (size_t i = path.size() >= 2 ? path.size() - 1 : 0; i-- > 0;) {
    if (path[i] == '\\') {
      parent = path.substr(0, i + 1);
      child = path.substr(i + 1);
      break;
    }
  }
  if (platform.KeyOpensForWriting(root, parent) && platform.KeyOpensForReading(root, parent + child))
    platform.DeleteSubkey(root, parent, child);
}

bool RegisterExe(InstallPlatform& platform, const std::string& path) {
  return platform.ShellOpen(Quoted(path), "/RegServer", "", kShowNormal) > 32;
}

bool RegisterDll(InstallPlatform& platform, const std::string& path) {
  return platform.CallDllRegisterServer(path);
}

void ImportRegistryFile(InstallPlatform& platform, const std::string& path) {
  platform.ShellOpen("regedit", "/s " + Quoted(path), platform.WindowsFolder(), kShowNormal);
}

}  // namespace hollin
