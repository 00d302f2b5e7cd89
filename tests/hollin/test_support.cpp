#include "test_support.h"

#include <cstdio>
#include <cstdlib>

#include "common/win/handles.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/stream.h"

namespace hollin::test {

std::string WindowsPath(const std::string& unix_path) {
  std::string p = "Z:" + unix_path;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string HollinExePath() {
  const char* dir = std::getenv("VELLUMO_BINARY_DIR");
  return WindowsPath(std::string(dir ? dir : "/work/build/hollin-win") + "/installer/Hollin.exe");
}

std::string ScratchFolder() {
  static std::string folder;
  if (folder.empty()) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    folder = std::string(temp) + "hollin-window-tests-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  return folder;
}

static std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> bytes;
  auto f = FileStream::Open(path, FileStream::Mode::kRead);
  if (!f) return bytes;
  bytes.resize(static_cast<size_t>(f->Size()));
  if (!bytes.empty()) bytes.resize(f->Read(bytes.data(), bytes.size()));
  return bytes;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  auto f = FileStream::Open(path, FileStream::Mode::kCreate);
  if (f && !bytes.empty()) f->Write(bytes.data(), bytes.size());
}

PackagePlan BasicPlan(const std::string& display_name) {
  PackagePlan plan;
  plan.title_colour = "clwhite";
  plan.gradient_r = "0";
  plan.gradient_g = "0";
  plan.gradient_b = "999";
  plan.self_check_on = true;
  plan.display_name = display_name;
  plan.maker_notice = "made by the test";
  return plan;
}

PackedFile SampleFile(const std::string& name, size_t size) {
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 251);
  PackedFile file;
  PackFile(name, data.data(), data.size(), kPackCompressionLevel, &file);
  return file;
}

Installer WriteInstaller(const std::string& file_name, const PackagePlan& plan,
                         const std::vector<PackedFile>& files,
                         void (*patch)(std::vector<uint8_t>&)) {
  Installer out;
  std::vector<uint8_t> stub = ReadAll(HollinExePath());
  uint32_t offset = 0;
  FindStampedPackageOffset(stub.data(), stub.size(), &offset, nullptr);
  out.package_offset = offset;
  MemoryStream image;
  std::string error;
  InstallerSummary summary;
  if (!hollin::WriteInstaller(image, stub, plan, files, &summary, &error)) {
    std::fprintf(stderr, "packing failed: %s\n", error.c_str());
    return out;
  }
  out.bytes = image.bytes();
  if (patch) patch(out.bytes);
  out.path = ScratchFolder() + "\\" + file_name;
  WriteBytes(out.path, out.bytes);
  return out;
}

Installer WriteUninstaller(const std::string& file_name, const PackagePlan& plan,
                           const std::vector<PackedFile>& files) {
  Installer installer =
      WriteInstaller("from-" + file_name.substr(file_name.find_last_of("\\") + 1), plan, files);
  Installer out = installer;
  MemoryStream image(installer.bytes);
  out.bytes.clear();
  if (!BuildUninstallerFromInstaller(image, installer.package_offset, &out.bytes)) {
    std::fprintf(stderr, "uninstaller image failed\n");
    return out;
  }
  out.path = ScratchFolder() + "\\" + file_name;
  WriteBytes(out.path, out.bytes);
  return out;
}

void MakeUninstallerStub(std::vector<uint8_t>& bytes) {
  for (int i = 0; i < 4; ++i) bytes[kTotalUnpackedSizeOffset + i] = kUninstallerTotalSizeByte;
  bytes[kUninstallerFlagOffset] = kUninstallerFlagValue;
  for (size_t i = 0; i < kSelfCheckValueLength; ++i)
    bytes[kSelfCheckValueOffset + i] = static_cast<uint8_t>(kUninstallerMarker[i]);
}

BoxWatchdog::BoxWatchdog(int button) : button_(button) {
  InitializeCriticalSection(&lock_);
  stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

BoxWatchdog::~BoxWatchdog() {
  SetEvent(stop_);
  WaitForSingleObject(thread_, 10000);
  CloseHandle(thread_);
  CloseHandle(stop_);
  DeleteCriticalSection(&lock_);
}

std::vector<BoxWatchdog::Box> BoxWatchdog::boxes() {
  EnterCriticalSection(&lock_);
  std::vector<Box> copy = boxes_;
  LeaveCriticalSection(&lock_);
  return copy;
}

namespace {
struct FindBox {
  DWORD pid;
  HWND found;
};
BOOL CALLBACK FindBoxProc(HWND wnd, LPARAM param) {
  auto* f = reinterpret_cast<FindBox*>(param);
  char cls[32] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid == f->pid && std::string(cls) == "#32770" && IsWindowVisible(wnd)) {
    f->found = wnd;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

DWORD WINAPI BoxWatchdog::Run(void* param) {
  auto* self = static_cast<BoxWatchdog*>(param);
  while (WaitForSingleObject(self->stop_, 50) == WAIT_TIMEOUT) {
    FindBox f{GetCurrentProcessId(), nullptr};
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&f));
    if (!f.found) continue;
    Box box;
    char text[4096] = {};
    GetWindowTextA(f.found, text, sizeof text);
    box.caption = text;
    text[0] = 0;
    GetDlgItemTextA(f.found, 0xFFFF, text, sizeof text);  // a message box's text control
    box.text = text;
    EnterCriticalSection(&self->lock_);
    self->boxes_.push_back(box);
    LeaveCriticalSection(&self->lock_);
    HWND button = GetDlgItem(f.found, self->button_);
    if (button)
      PostMessageA(f.found, WM_COMMAND, MAKEWPARAM(self->button_, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    else
      PostMessageA(f.found, WM_COMMAND, IDCANCEL, 0);
    // Wait (bounded) for the box to go before looking again.
    for (int i = 0; i < 100 && IsWindow(f.found) && IsWindowVisible(f.found); ++i) Sleep(20);
  }
  return 0;
}

void Pump(int ms) {
  DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  } while (static_cast<int>(end - GetTickCount()) > 0);
}

bool SetMachineString(const std::string& key, const char* name, const std::string& value) {
  vellumo::win::RegKey k;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, k.put(),
                      nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

std::string GetMachineString(const std::string& key, const char* name, bool* exists) {
  *exists = false;
  vellumo::win::RegKey k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS)
    return std::string();
  char buffer[1024] = {};
  DWORD size = sizeof buffer - 1, type = 0;
  if (RegQueryValueExA(k.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return std::string();
  *exists = true;
  return buffer;
}

void DeleteMachineValue(const std::string& key, const char* name) {
  vellumo::win::RegKey k;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WRITE, k.put()) == ERROR_SUCCESS)
    RegDeleteValueA(k.get(), name);
}

void DeleteMachineKey(const std::string& key) { RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()); }

}  // namespace hollin::test
