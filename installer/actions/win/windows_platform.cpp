#include "installer/actions/win/windows_platform.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>

#include "common/win/dll_search.h"
#include "common/win/handles.h"
#include "common/win/system_calls.h"
#include "installer/actions/paths.h"
#include "installer/package/crc.h"

namespace late = vellumo::win::late;

namespace hollin {
namespace {

using vellumo::win::late::ComInit;
using vellumo::win::ComPtr;
using vellumo::win::FindHandle;
using vellumo::win::Library;
using vellumo::win::RegKey;

// "Open for writing": read, set value and create subkey; opening never creates.
constexpr REGSAM kWriteAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::kClassesRoot: return HKEY_CLASSES_ROOT;
    case RegistryRoot::kLocalMachine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::kUsers: return HKEY_USERS;
    case RegistryRoot::kCurrentUser: break;
  }
  return HKEY_CURRENT_USER;
}

RegKey OpenKey(RegistryRoot root, const std::string& path, REGSAM access) {
  RegKey key;
  if (RegOpenKeyExA(RootKey(root), path.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.reset();
  return key;
}

std::wstring Wide(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::string FolderText(UINT (WINAPI* get)(LPSTR, UINT)) {
  char buffer[MAX_PATH + 1];
  UINT n = get(buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return WithTrailingBackslash(std::string(buffer, n));
}

struct ShellLink {
  ComPtr<IShellLinkA> link;
  ComPtr<IPersistFile> file;
  bool Create() {
    if (FAILED(late::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkA, link.put_void())))
      return false;
    return SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.put_void()));
  }
};

}  // namespace

bool WindowsPlatform::FolderExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t WindowsPlatform::Attributes(const std::string& path) {
  return GetFileAttributesA(path.c_str());  // INVALID_FILE_ATTRIBUTES is kNoAttributes
}

bool WindowsPlatform::FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WindowsPlatform::CreateOneFolder(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool WindowsPlatform::RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool WindowsPlatform::ListFolder(const std::string& folder, std::vector<FolderEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA((WithTrailingBackslash(folder) + "*.*").c_str(), &data));
  if (!find) return false;
  do {
    entries->push_back({data.cFileName, data.dwFileAttributes});
  } while (FindNextFileA(find.get(), &data));
  return true;
}

std::string WindowsPlatform::FileCrc(const std::string& path) { return FileCrcText(path); }

void WindowsPlatform::ClearReadOnly(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

std::unique_ptr<Stream> WindowsPlatform::CreateFileForWriting(const std::string& path) {
  return FileStream::Open(path, FileStream::Mode::kCreate);
}

bool WindowsPlatform::DeleteOneFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

std::string WindowsPlatform::WindowsFolder() { return FolderText(GetWindowsDirectoryA); }

std::string WindowsPlatform::SystemFolder() { return FolderText(GetSystemDirectoryA); }

std::string WindowsPlatform::LocalDateTimeText() {
  char date[128] = "", time[128] = "";
  if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date) == 0) date[0] = 0;
  if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time) == 0) time[0] = 0;
  return std::string(date) + " " + time;
}

bool WindowsPlatform::KeyOpensForReading(RegistryRoot root, const std::string& path) {
  return static_cast<bool>(OpenKey(root, path, KEY_READ));
}

bool WindowsPlatform::KeyOpensForWriting(RegistryRoot root, const std::string& path) {
  return static_cast<bool>(OpenKey(root, path, kWriteAccess));
}

bool WindowsPlatform::CreateKey(RegistryRoot root, const std::string& path) {
  RegKey key;
  return RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                         nullptr) == ERROR_SUCCESS;
}

bool WindowsPlatform::SetStringValue(RegistryRoot root, const std::string& path, const std::string& name,
                                     const std::string& data) {
  RegKey key = OpenKey(root, path, kWriteAccess);
  if (!key) return false;
  // The stored length counts the terminating zero.
  return RegSetValueExA(key.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()), static_cast<DWORD>(data.size() + 1)) ==
         ERROR_SUCCESS;
}

bool WindowsPlatform::ReadDefaultValue(RegistryRoot root, const std::string& path, std::string* data) {
  data->clear();
  RegKey key = OpenKey(root, path, KEY_READ);
  if (!key) return false;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > 65536)
    return true;
  std::string buffer(size, '\0');
  if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &size) !=
      ERROR_SUCCESS)
    return true;
  buffer.resize(std::min<size_t>(size, buffer.size()));
  size_t zero = buffer.find('\0');
  if (zero != std::string::npos) buffer.resize(zero);
  *data = buffer;
  return true;
}

bool WindowsPlatform::ListSubkeys(RegistryRoot root, const std::string& path, std::vector<std::string>* names) {
  names->clear();
  RegKey key = OpenKey(root, path, kWriteAccess);
  if (!key) return false;
  DWORD count = 0;
  if (RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return true;
  for (DWORD i = 0; i < count; ++i) {
    char name[256];
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) continue;
    names->push_back(std::string(name, length));
  }
  return true;
}

bool WindowsPlatform::DeleteSubkey(RegistryRoot root, const std::string& parent, const std::string& child) {
  RegKey key = OpenKey(root, parent, kWriteAccess);
  return key && RegDeleteKeyA(key.get(), child.c_str()) == ERROR_SUCCESS;
}

bool WindowsPlatform::DeleteValue(RegistryRoot root, const std::string& path, const std::string& name) {
  RegKey key = OpenKey(root, path, kWriteAccess);
  return key && RegDeleteValueA(key.get(), name.c_str()) == ERROR_SUCCESS;
}

std::string WindowsPlatform::ShortPath(const std::string& path) {
  char buffer[MAX_PATH + 1];
  DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  if (n == 0) return std::string();
  if (n < sizeof buffer) return std::string(buffer, n);
  std::string longer(n, '\0');
  DWORD m = GetShortPathNameA(path.c_str(), &longer[0], n);
  if (m == 0 || m >= n) return std::string();
  longer.resize(m);
  return longer;
}

intptr_t WindowsPlatform::ShellOpen(const std::string& file, const std::string& parameters,
                                    const std::string& folder, int show) {
  HINSTANCE result = late::ShellExecuteA(nullptr, "open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                                   folder.empty() ? nullptr : folder.c_str(), show);
  return reinterpret_cast<intptr_t>(result);
}

bool WindowsPlatform::CallDllRegisterServer(const std::string& path) {
  // Hollin searches only the system folder; a listed library's own imports lie beside it in
  // the install folder, which is searched for them (the downloads folder still is not).
  Library library(vellumo::win::LoadLibraryFromItsFolder(path));
  if (!library) return false;
  using Entry = HRESULT(WINAPI*)();
  Entry entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(library.get(), "DllRegisterServer")));
  if (!entry) return false;
  return entry() >= 0;
}

bool WindowsPlatform::StartHiddenAtIdle(const std::string& command_line) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  std::string mutable_line = command_line;  // CreateProcessA may write into it
  if (!CreateProcessA(nullptr, &mutable_line[0], nullptr, nullptr, FALSE, IDLE_PRIORITY_CLASS, nullptr, nullptr,
                      &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::string WindowsPlatform::SpecialFolderPath(int csidl) {
  LPITEMIDLIST items = nullptr;
  if (FAILED(late::SHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items)
    return std::string();
  char buffer[MAX_PATH + 1] = "";
  BOOL ok = late::SHGetPathFromIDListA(items, buffer);
  late::CoTaskMemFree(items);
  if (!ok) return std::string();
  std::string path = buffer;
  if (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

bool WindowsPlatform::WriteLink(const LinkFields& fields, const std::string& icon_file, int icon_index,
                                const std::string& link_path) {
  ComInit com;
  ShellLink shell;
  if (!shell.Create()) return false;
  shell.link->SetArguments(fields.arguments.c_str());
  shell.link->SetPath(fields.target.c_str());
  shell.link->SetWorkingDirectory(fields.working_folder.c_str());
  shell.link->SetDescription(fields.description.c_str());
  shell.link->SetIconLocation(icon_file.c_str(), icon_index);
  std::string folder = FolderPart(link_path);
  if (!folder.empty() && !FolderExists(folder)) CreateDirectoryA(folder.c_str(), nullptr);
  shell.file->Save(Wide(link_path).c_str(), FALSE);  // not looked at: the log line stands anyway
  return true;
}

bool WindowsPlatform::ReadLink(const std::string& link_path, intptr_t owner, LinkFields* fields) {
  *fields = LinkFields();
  ComInit com;
  ShellLink shell;
  if (!shell.Create()) return false;
  // A file that is not a link does not load; resolving the empty object would still
  // answer success, so a failed load is a failed read.
  if (FAILED(shell.file->Load(Wide(link_path).c_str(), STGM_READ))) return false;
  HWND window = owner == -1 ? nullptr : reinterpret_cast<HWND>(owner);
  DWORD flags = owner == -1 ? SLR_NO_UI : SLR_UPDATE;
  if (FAILED(shell.link->Resolve(window, flags))) return false;
  std::vector<char> buffer(4096);
  if (shell.link->GetPath(buffer.data(), static_cast<int>(buffer.size()), nullptr, 0) == S_OK)
    fields->target = buffer.data();
  if (FAILED(shell.link->GetArguments(buffer.data(), static_cast<int>(buffer.size())))) return false;
  fields->arguments = buffer.data();
  if (FAILED(shell.link->GetWorkingDirectory(buffer.data(), static_cast<int>(buffer.size())))) return false;
  fields->working_folder = buffer.data();
  if (FAILED(shell.link->GetDescription(buffer.data(), static_cast<int>(buffer.size())))) return false;
  fields->description = buffer.data();
  // The icons are not used by the install steps, so they are not extracted.
  return true;
}

}  // namespace hollin
