// Where the programs let the system look for DLLs. A program started from a downloads folder
// must never load a DLL that merely lies there under a system or library name: the current
// folder leaves the search, and the installer searches nothing but the system folder.
#pragma once
#include <windows.h>

#include <string>

namespace vellumo::win {

// LoadLibraryEx and SetDefaultDllDirectories flags, named here because older headers only
// declare them for newer Windows versions.
constexpr DWORD kSearchDllLoadFolder = 0x00000100;     // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
constexpr DWORD kSearchApplicationFolder = 0x00000200;  // LOAD_LIBRARY_SEARCH_APPLICATION_DIR
constexpr DWORD kSearchUserFolders = 0x00000400;        // LOAD_LIBRARY_SEARCH_USER_DIRS
constexpr DWORD kSearchSystemFolder = 0x00000800;       // LOAD_LIBRARY_SEARCH_SYSTEM32

enum class DllSearch {
  kSystemFolderOnly,          // the installer and the uninstaller
  kProgramAndSystemFolders,   // an installed program with libraries of its own beside it
};

// What RestrictDllSearch achieved; the fallback still keeps the current folder out.
enum class DllSearchResult {
  kDefaultFoldersSet,       // SetDefaultDllDirectories took the folders
  kCurrentFolderRemoved,    // only SetDllDirectoryA(""): the system lacks the newer call
  kUnchanged,               // neither call exists (systems before XP SP1)
};

// The running program's folder without a trailing "\", or empty.
inline std::wstring ProgramFolderW() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

inline std::string ProgramFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = ::GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0) return std::string();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// Full path of `name` in the system folder; empty when the system folder cannot be named,
// so that a caller never falls back to a bare name that the search would resolve.
inline std::string SystemLibraryPath(const char* name) {
  char folder[MAX_PATH] = {};
  UINT n = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  std::string path(folder, n);
  if (path.back() != '\\') path += '\\';
  return path + name;
}

// Loads a system DLL by its full path (not every system DLL is a known one that the loader
// maps from the system folder whatever the search says).
inline HMODULE LoadSystemLibrary(const char* name) {
  std::string path = SystemLibraryPath(name);
  if (path.empty()) {
    ::SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  return ::LoadLibraryA(path.c_str());
}

// The common controls of the system folder's comctl32.dll, loaded at run time by full path
// and kept for the life of the process (its window classes live in it). `classes` are the
// ICC_ flags of INITCOMMONCONTROLSEX.
inline bool InitSystemCommonControls(DWORD classes) {
  static HMODULE module = LoadSystemLibrary("comctl32.dll");
  if (!module) return false;
  struct {
    DWORD size;
    DWORD classes;
  } init = {sizeof init, classes};
  using InitCommonControlsExFn = BOOL(WINAPI*)(void*);
  auto init_controls = reinterpret_cast<InitCommonControlsExFn>(
      reinterpret_cast<void*>(::GetProcAddress(module, "InitCommonControlsEx")));
  return init_controls && init_controls(&init);
}

// Call first thing at start, before anything loads a DLL. The newer calls are looked up at
// run time: they are missing on systems without the loader update.
inline DllSearchResult RestrictDllSearch(DllSearch which) {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (!kernel) return DllSearchResult::kUnchanged;
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using AddDllDirectoryFn = void*(WINAPI*)(PCWSTR);
  auto set_directory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDllDirectoryA")));
  auto set_defaults = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
  auto add_directory = reinterpret_cast<AddDllDirectoryFn>(
      reinterpret_cast<void*>(::GetProcAddress(kernel, "AddDllDirectory")));

  // An empty text takes the current folder out of LoadLibrary's search order.
  bool removed = set_directory && set_directory("");
  if (set_defaults) {
    DWORD folders = kSearchSystemFolder;
    if (which == DllSearch::kProgramAndSystemFolders) {
      folders |= kSearchApplicationFolder;
      if (add_directory) {
        std::wstring own = ProgramFolderW();
        if (!own.empty() && add_directory(own.c_str())) folders |= kSearchUserFolders;
      }
    }
    if (set_defaults(folders)) return DllSearchResult::kDefaultFoldersSet;
  }
  return removed ? DllSearchResult::kCurrentFolderRemoved : DllSearchResult::kUnchanged;
}

// Whether the process searches only the folders set by RestrictDllSearch: a library loaded
// by full path then needs kSearchDllLoadFolder to find the libraries that lie beside it.
inline bool DefaultDllFoldersAvailable() {
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  return kernel && ::GetProcAddress(kernel, "SetDefaultDllDirectories") != nullptr;
}

// Loads a library by full path, resolving its own imports from its folder and the system
// folder (never the current folder).
inline HMODULE LoadLibraryFromItsFolder(const std::string& full_path) {
  if (DefaultDllFoldersAvailable()) {
    HMODULE module =
        ::LoadLibraryExA(full_path.c_str(), nullptr, kSearchDllLoadFolder | kSearchSystemFolder);
    // Only a system that rejects the flags gets the older form; any other failure stands.
    if (module || ::GetLastError() != ERROR_INVALID_PARAMETER) return module;
  }
  return ::LoadLibraryExA(full_path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace vellumo::win
