// The install platform over the Win32 API: kernel32 files and folders, advapi32 registry,
// shell32 starts and special folders, the shell link object for shortcuts.
#pragma once
#include "installer/actions/install_platform.h"

namespace hollin {

class WindowsPlatform : public InstallPlatform {
 public:
  bool FolderExists(const std::string& path) override;
  bool FileExists(const std::string& path) override;
  uint32_t Attributes(const std::string& path) override;
  bool CreateOneFolder(const std::string& path) override;
  bool RemoveFolder(const std::string& path) override;
  bool ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) override;
  std::string FileCrc(const std::string& path) override;
  void ClearReadOnly(const std::string& path) override;
  std::unique_ptr<Stream> CreateFileForWriting(const std::string& path) override;
  bool DeleteOneFile(const std::string& path) override;
  std::string WindowsFolder() override;
  std::string SystemFolder() override;
  std::string LocalDateTimeText() override;

  bool KeyOpensForReading(RegistryRoot root, const std::string& path) override;
  bool KeyOpensForWriting(RegistryRoot root, const std::string& path) override;
  bool CreateKey(RegistryRoot root, const std::string& path) override;
  bool SetStringValue(RegistryRoot root, const std::string& path, const std::string& name,
                      const std::string& data) override;
  bool ReadDefaultValue(RegistryRoot root, const std::string& path, std::string* data) override;
  bool ListSubkeys(RegistryRoot root, const std::string& path, std::vector<std::string>* names) override;
  bool DeleteSubkey(RegistryRoot root, const std::string& parent, const std::string& child) override;
  bool DeleteValue(RegistryRoot root, const std::string& path, const std::string& name) override;

  std::string ShortPath(const std::string& path) override;
  intptr_t ShellOpen(const std::string& file, const std::string& parameters, const std::string& folder,
                     int show) override;
  bool CallDllRegisterServer(const std::string& path) override;
  bool StartHiddenAtIdle(const std::string& command_line) override;

  std::string SpecialFolderPath(int csidl) override;
  bool WriteLink(const LinkFields& fields, const std::string& icon_file, int icon_index,
                 const std::string& link_path) override;
  bool ReadLink(const std::string& link_path, intptr_t owner, LinkFields* fields) override;
};

}  // namespace hollin
