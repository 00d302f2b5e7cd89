#include "viewer/archive/win/win_platform.h"

#include <algorithm>
#include <vector>

#include "common/win/handles.h"
#include "viewer/archive/message_ids.h"
#include "viewer/archive/win/archive.h"
#include "viewer/archive/win/password_dialog.h"

namespace vellumo {

namespace {

std::string& TitleStorage() {
  static std::string title = "Vellumo";
  return title;
}

class WinInputFile : public InputFile {
 public:
  explicit WinInputFile(win::UniqueFile file) : file_(std::move(file)) {}
  uint64_t Size() override {
    LARGE_INTEGER size;
    return ::GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
  }
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file_.get(), position, nullptr, FILE_BEGIN)) return 0;
    size_t done = 0;
    while (done < count) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 24));
      DWORD got = 0;
      if (!::ReadFile(file_.get(), static_cast<char*>(buffer) + done, chunk, &got, nullptr) || got == 0)
        break;
      done += got;
    }
    return done;
  }

 private:
  win::UniqueFile file_;
};

class WinOutputFile : public OutputFile {
 public:
  explicit WinOutputFile(win::UniqueFile file) : file_(std::move(file)) {}
  bool Write(const void* data, size_t count) override {
    size_t done = 0;
    while (done < count) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 24));
      DWORD written = 0;
      if (!::WriteFile(file_.get(), static_cast<const char*>(data) + done, chunk, &written, nullptr) ||
          written != chunk)
        return false;
      done += written;
    }
    position_ += count;
    return true;
  }
  uint64_t Position() override { return position_; }
  void CopyTimeFrom(const std::string& source) override {
    win::UniqueFile in(::CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME written;
    if (in && ::GetFileTime(in.get(), nullptr, nullptr, &written))
      ::SetFileTime(file_.get(), nullptr, nullptr, &written);
  }

 private:
  win::UniqueFile file_;
  uint64_t position_ = 0;
};

// Critical-error boxes ("no disk in drive") suppressed for one scope.
class QuietErrors {
 public:
  QuietErrors() : old_(::SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~QuietErrors() { ::SetErrorMode(old_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  UINT old_;
};

}  // namespace

void SetApplicationTitle(const std::string& title) { TitleStorage() = title; }
const std::string& ApplicationTitle() { return TitleStorage(); }

bool LoadMessageText(int id, std::string* text) {
  char buffer[1024];
  int n = ::LoadStringA(::GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer, sizeof buffer);
  if (n <= 0) return false;
  text->assign(buffer, static_cast<size_t>(n));
  return true;
}

bool WinArchivePlatform::FileExists(const std::string& path) {
  if (path.empty()) return false;
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string WinArchivePlatform::FullPath(const std::string& path) {
  char buffer[MAX_PATH * 2];
  DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return path;
  return std::string(buffer, n);
}

uint32_t WinArchivePlatform::LogicalDrives() { return ::GetLogicalDrives(); }

bool WinArchivePlatform::VolumeLabel(const std::string& root, std::string* label) {
  QuietErrors quiet;
  char name[256] = {};
  DWORD serial = 0;
  if (!::GetVolumeInformationA(root.c_str(), name, sizeof name, &serial, nullptr, nullptr, nullptr, 0))
    return false;
  label->assign(name);
  return true;
}

bool WinArchivePlatform::DriveTotalSize(const std::string& root, uint64_t* size) {
  QuietErrors quiet;
  ULARGE_INTEGER total;
  if (!::GetDiskFreeSpaceExA(root.c_str(), nullptr, &total, nullptr)) return false;
  *size = total.QuadPart;
  return true;
}

DriveKind WinArchivePlatform::DriveType(const std::string& root) {
  switch (::GetDriveTypeA(root.c_str())) {
    case DRIVE_REMOVABLE: return DriveKind::Removable;
    case DRIVE_FIXED: return DriveKind::Fixed;
    case DRIVE_REMOTE: return DriveKind::Remote;
    case DRIVE_CDROM: return DriveKind::CdRom;
    case DRIVE_RAMDISK: return DriveKind::RamDisk;
    default: return DriveKind::Unknown;
  }
}

std::unique_ptr<InputFile> WinArchivePlatform::OpenRead(const std::string& path) {
  win::UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return nullptr;
  return std::make_unique<WinInputFile>(std::move(file));
}

uint8_t WinArchivePlatform::OemToAnsi(uint8_t byte) {
  char in[2] = {static_cast<char>(byte), 0};
  char out[2] = {static_cast<char>(byte), 0};
  ::OemToCharBuffA(in, out, 1);
  return static_cast<uint8_t>(out[0]);
}

std::string WinArchivePlatform::Utf8ToAnsi(const std::string& text) {
  if (text.empty()) return text;
  int wide_length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide_length <= 0) return text;
  std::vector<wchar_t> wide(static_cast<size_t>(wide_length));
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), wide_length);
  int length = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  std::string result(static_cast<size_t>(length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, wide.data(), wide_length, &result[0], length, nullptr, nullptr);
  return result;
}

bool WinArchivePlatform::MessageText(int id, std::string* text) { return LoadMessageText(id, text); }

void WinArchivePlatform::ShowMessage(const std::string& text) {
  ::MessageBoxA(owner_, text.c_str(), ApplicationTitle().c_str(), MB_OK);
}

bool WinArchivePlatform::AskForDisk(const std::string& text, bool stop_icon) {
  UINT icon = stop_icon ? MB_ICONSTOP : MB_ICONQUESTION;
  return ::MessageBoxA(owner_, text.c_str(), ApplicationTitle().c_str(), MB_OKCANCEL | icon) == IDOK;
}

std::string WinArchivePlatform::Prompt(const std::string& title, const std::string& prompt_line) {
  std::string ok, cancel;
  if (!LoadMessageText(msg::kOkButton, &ok)) ok = "&Ok";
  if (!LoadMessageText(msg::kCancelButton, &cancel)) cancel = "&Cancel";
  TPasswordDlg dialog(owner_, ok, cancel);
  return dialog.Prompt(title, prompt_line);
}

void WinArchivePlatform::SetBusyCursor(bool busy) {
  if (busy) {
    saved_cursor_ = ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  } else {
    ::SetCursor(saved_cursor_ ? saved_cursor_ : ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    saved_cursor_ = nullptr;
  }
}

void WinArchivePlatform::ProcessMessages() {
  MSG message;
  // Bounded, so a window that keeps posting to itself cannot hold the extraction forever.
  for (int i = 0; i < 1000 && ::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
}

std::unique_ptr<OutputFile> WinArchivePlatform::CreateTempZip(const std::string& folder,
                                                              std::string* path, int* failed_id) {
  char directory[MAX_PATH + 1];
  if (folder.empty()) {
    DWORD n = ::GetTempPathA(sizeof directory, directory);
    if (n == 0 || n >= sizeof directory) {
      *failed_id = msg::kTempFileNotCreated;
      return nullptr;
    }
  } else {
    lstrcpynA(directory, folder.c_str(), sizeof directory);
  }
  char name[MAX_PATH + 16];
  if (::GetTempFileNameA(directory, "zip", 0, name) == 0) {
    *failed_id = msg::kTempFileNotCreated;
    return nullptr;
  }
  ::DeleteFileA(name);  // the name was reserved with ".tmp"; the library wants ".zip"
  std::string zip_name = name;
  size_t dot = zip_name.rfind('.');
  if (dot != std::string::npos) zip_name.erase(dot);
  zip_name += ".zip";
  win::UniqueFile file(::CreateFileA(zip_name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!file) {
    *failed_id = msg::kCreateOutputFailed;
    return nullptr;
  }
  *path = zip_name;
  return std::make_unique<WinOutputFile>(std::move(file));
}

void WinArchivePlatform::RemoveFile(const std::string& path) { ::DeleteFileA(path.c_str()); }

}  // namespace vellumo
