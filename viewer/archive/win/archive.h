// TArchive: the viewer's archive component. Reads a ZIP archive's directory itself (the
// portable ArchiveCore) and unpacks one entry into memory through VUNZIP.DLL, answering the
// library's callbacks, password requests included, on the caller's thread.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "viewer/archive/archive_core.h"
#include "viewer/archive/entry_stream.h"

namespace vellumo {

// Caption of every box the component shows ("Vellumo" in the viewer).
void SetApplicationTitle(const std::string& title);
const std::string& ApplicationTitle();

class WinArchivePlatform;

namespace detail {
// Holds the platform so it is built before the ArchiveCore that uses it.
struct ArchivePlatformHolder {
  ArchivePlatformHolder();
  ~ArchivePlatformHolder();
  std::unique_ptr<WinArchivePlatform> platform_holder_;
};
}  // namespace detail

class TArchive : private detail::ArchivePlatformHolder, public ArchiveCore {
 public:
  TArchive();
  ~TArchive() override;

  // Returns the component's stream holding the entry's bytes, or nullptr (reason reported).
  TEntryStream* ExtractEntryToStream(const std::string& entry_name);
  // Extracts an entry into `target` with no message box and no password prompt (the resources
  // of a page); the component's own stream, the page on show, is left as it is. False while
  // Busy and when the entry could not be extracted.
  bool ExtractEntryQuietly(const std::string& entry_name, TEntryStream& target);
  // Number of entries the last library call processed successfully.
  int SuccessCount() const { return success_count_; }

  // The process-wide binding of VUNZIP.DLL.
  bool LoadUnzipLibrary();
  void UnloadUnzipLibrary();
  static bool UnzipLibraryLoaded();
  // GetUnzipVersion's value; loads and frees the library when none is loaded; 0 without one.
  int UnzipVersion();

  // Owner of message boxes and the prompt; the window field of the library's record.
  void SetOwnerWindow(HWND window);
  HWND OwnerWindow() const { return owner_; }

  // Stored without one trailing "\".
  void SetDLLDirectory(const std::string& folder);
  const std::string& DLLDirectory() const { return dll_directory_; }

  TEntryStream& Stream() { return stream_; }

 private:
  void Extract(TEntryStream& target);
  // False when the entry's size fields claim more than its data or the archive can hold.
  bool EntrySizeClaimPossible(const DirEntry& entry, const std::string& archive_path);

  HWND owner_ = nullptr;
  std::string dll_directory_;
  TEntryStream stream_;
  int success_count_ = 0;
};

}  // namespace vellumo
