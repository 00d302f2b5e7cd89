// Non-copyable, movable owners for the Win32 resources the programs hold: kernel handles,
// registry keys, modules, find handles, GDI objects, COM pointers and COM initialisation.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <utility>

namespace vellumo::win {

// Generic owner: Traits::Invalid() is the empty value, Traits::Close(h) frees.
template <typename Traits>
class Owner {
 public:
  using Handle = typename Traits::Handle;
  Owner() = default;
  explicit Owner(Handle h) : h_(h) {}
  ~Owner() { reset(); }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  Owner(Owner&& o) noexcept : h_(o.release()) {}
  Owner& operator=(Owner&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  Handle get() const { return h_; }
  explicit operator bool() const { return h_ != Traits::Invalid(); }
  Handle release() {
    Handle h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void reset(Handle h = Traits::Invalid()) {
    if (h_ != Traits::Invalid()) Traits::Close(h_);
    h_ = h;
  }
  // For out-parameters: frees the current value and hands out the slot.
  Handle* put() {
    reset();
    return &h_;
  }

 private:
  Handle h_ = Traits::Invalid();
};

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct KernelHandleTraits {  // process, thread, event: empty is nullptr
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct LibraryTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
struct FindTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct GdiTraits {
  using Handle = HGDIOBJ;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};

using UniqueFile = Owner<FileHandleTraits>;
using UniqueHandle = Owner<KernelHandleTraits>;
using RegKey = Owner<RegKeyTraits>;
using Library = Owner<LibraryTraits>;
using FindHandle = Owner<FindTraits>;
using GdiObject = Owner<GdiTraits>;

// A window's device context, released with the window it came from.
class WindowDC {
 public:
  explicit WindowDC(HWND wnd) : wnd_(wnd), dc_(::GetDC(wnd)) {}
  ~WindowDC() {
    if (dc_) ::ReleaseDC(wnd_, dc_);
  }
  WindowDC(const WindowDC&) = delete;
  WindowDC& operator=(const WindowDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND wnd_;
  HDC dc_;
};

// Selects an object into a DC for one scope and puts the previous one back.
class SelectInDC {
 public:
  SelectInDC(HDC dc, HGDIOBJ obj) : dc_(dc), old_(::SelectObject(dc, obj)) {}
  ~SelectInDC() { ::SelectObject(dc_, old_); }
  SelectInDC(const SelectInDC&) = delete;
  SelectInDC& operator=(const SelectInDC&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr& o) : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr& operator=(const ComPtr& o) {
    if (this != &o) {
      if (o.p_) o.p_->AddRef();
      reset();
      p_ = o.p_;
    }
    return *this;
  }
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(ComPtr&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  void reset() {
    if (p_) p_->Release();
    p_ = nullptr;
  }
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // Takes over a reference the caller already holds.
  void attach(T* p) {
    reset();
    p_ = p;
  }

 private:
  T* p_ = nullptr;
};

class ComInit {
 public:
  ComInit() : hr_(::CoInitialize(nullptr)) {}
  ~ComInit() {
    if (SUCCEEDED(hr_)) ::CoUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace vellumo::win
