#include "installer/package/win/startup.h"

#include <windows.h>

#include <cstdlib>

#include "common/win/handles.h"
#include "installer/package/crc.h"
#include "installer/package/package_extent.h"
#include "installer/package/win/startup_rules.h"
#include "installer/ui/win/texts.h"

namespace hollin {

StartupValues& Startup() {
  static StartupValues values;
  return values;
}

std::string OwnExecutablePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
}

std::string FirstCommandLineArgument() {
  if (__argc < 2 || !__argv || !__argv[1]) return std::string();
  return __argv[1];
}

bool OpenPackage(const std::string& path, uint64_t package_offset, StartupValues* values) {
  std::unique_ptr<Stream> file = OpenPackageFile(path, package_offset);
  if (!file) return false;
  values->own_path = path;
  StubFields stub;
  ReadStubFields(*file, &stub);
  values->total_unpacked = stub.total_unpacked_size;
  values->no_view = stub.no_view;
  values->uninstaller = stub.uninstaller;
  ReadPackageHeader(*file, package_offset, &values->header);
  const PackageHeader& h = values->header;
  values->registry_import = h.registry_import ? 1 : 0;
  values->uninstall_key = h.has_uninstall_key ? h.uninstall_key.text : std::string();
  values->display_name = h.display_name.text;
  values->header_end = h.header_end;
  values->file_list_position = h.file_list_position;
  values->package = std::move(file);
  return true;
}

namespace {

std::string ReadStringValue(HKEY root, const std::string& key_path, const char* name) {
  vellumo::win::RegKey key;
  if (RegOpenKeyExA(root, key_path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
    return std::string();
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > 65536)
    return std::string();
  std::string value(size, '\0');
  if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]),
                       &size) != ERROR_SUCCESS)
    return std::string();
  value.resize(size < value.size() ? size : value.size());
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return value;
}

}  // namespace

std::string ReadProgramFilesFolder() {
  return ReadStringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                         "programfilesdir");
}

std::string ReadUninstallString(const std::string& key_name) {
  return ReadStringValue(HKEY_LOCAL_MACHINE,
                         "software\\microsoft\\windows\\currentversion\\uninstall\\" + key_name,
                         "uninstallstring");
}

bool RunSelfCheck(const std::string& path, uint64_t package_offset, const std::string& expected,
                  uint32_t total_unpacked) {
  if (SelfCheckNoticeApplies(total_unpacked)) {
    // No window is shown yet: the notice goes straight onto the screen.
    vellumo::win::WindowDC screen(nullptr);
    if (screen.get())
      TextOutA(screen.get(), 200, 200, texts::kSelfCheckNotice,
               static_cast<int>(sizeof texts::kSelfCheckNotice - 1));
  }
  auto file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) return false;
  SelfCheckResult check = CheckSelfCheckValue(*file, package_offset, expected);
  // A file that cannot be read never passes, even against a stub that holds the error text.
  return check.matches;
}

}  // namespace hollin
