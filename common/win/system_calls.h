// The shell, COM and common-dialog calls of the installer, bound at run time from the system
// folder. Importing shell32, ole32 or comdlg32 statically would make the loader resolve their
// own dependencies (comctl32, uxtheme and more) before WinMain runs, while the folder the
// installer was started from still comes first in the search: a DLL planted beside a
// downloaded installer would be loaded. Bound here, they load after RestrictDllSearch.
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "common/win/dll_search.h"

namespace vellumo::win::late {

// The function `name` of the system folder's `dll`, or null. The library stays loaded for the
// life of the process, as a static import would.
template <typename Fn>
Fn Bind(const char* dll, const char* name) {
  HMODULE module = ::GetModuleHandleA(dll);
  if (!module) module = LoadSystemLibrary(dll);
  if (!module) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

#define VELLUMO_LATE_BOUND(dll, name) \
  static const auto fn = Bind<decltype(&::name)>(dll, #name)

inline HRESULT CoInitialize(LPVOID reserved) {
  VELLUMO_LATE_BOUND("ole32.dll", CoInitialize);
  return fn ? fn(reserved) : E_FAIL;
}
inline void CoUninitialize() {
  VELLUMO_LATE_BOUND("ole32.dll", CoUninitialize);
  if (fn) fn();
}
inline HRESULT OleInitialize(LPVOID reserved) {
  VELLUMO_LATE_BOUND("ole32.dll", OleInitialize);
  return fn ? fn(reserved) : E_FAIL;
}
inline HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                LPVOID* object) {
  VELLUMO_LATE_BOUND("ole32.dll", CoCreateInstance);
  if (!fn) {
    *object = nullptr;
    return E_FAIL;
  }
  return fn(clsid, outer, context, iid, object);
}
inline void CoTaskMemFree(LPVOID block) {
  VELLUMO_LATE_BOUND("ole32.dll", CoTaskMemFree);
  if (fn) fn(block);
}

inline HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR folder, INT show) {
  VELLUMO_LATE_BOUND("shell32.dll", ShellExecuteA);
  // The documented "out of memory or resources" result: a failure, as callers test (<= 32).
  return fn ? fn(owner, verb, file, parameters, folder, show) : nullptr;
}
inline PIDLIST_ABSOLUTE SHBrowseForFolderA(LPBROWSEINFOA info) {
  VELLUMO_LATE_BOUND("shell32.dll", SHBrowseForFolderA);
  return fn ? fn(info) : nullptr;
}
inline BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE items, LPSTR path) {
  VELLUMO_LATE_BOUND("shell32.dll", SHGetPathFromIDListA);
  return fn ? fn(items, path) : FALSE;
}
inline HRESULT SHGetSpecialFolderLocation(HWND owner, int csidl, PIDLIST_ABSOLUTE* items) {
  VELLUMO_LATE_BOUND("shell32.dll", SHGetSpecialFolderLocation);
  if (!fn) {
    *items = nullptr;
    return E_FAIL;
  }
  return fn(owner, csidl, items);
}

inline BOOL ChooseColorA(LPCHOOSECOLORA dialog) {
  VELLUMO_LATE_BOUND("comdlg32.dll", ChooseColorA);
  return fn ? fn(dialog) : FALSE;
}

#undef VELLUMO_LATE_BOUND

// COM for the current thread, for the life of a scope.
class ComInit {
 public:
  ComInit() : hr_(late::CoInitialize(nullptr)) {}
  ~ComInit() {
    if (SUCCEEDED(hr_)) late::CoUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace vellumo::win::late
