#include "viewer/archive/win/archive.h"

#include "viewer/archive/message_ids.h"
#include "viewer/archive/win/win_platform.h"

namespace vellumo {

namespace detail {
ArchivePlatformHolder::ArchivePlatformHolder()
    : platform_holder_(std::make_unique<WinArchivePlatform>()) {}
ArchivePlatformHolder::~ArchivePlatformHolder() = default;
}  // namespace detail

TArchive::TArchive() : ArchiveCore(*platform_holder_) {}
TArchive::~TArchive() = default;

void TArchive::SetOwnerWindow(HWND window) {
  owner_ = window;
  platform_holder_->SetOwner(window);
}

void TArchive::SetDLLDirectory(const std::string& folder) {
  dll_directory_ = folder;
  if (!dll_directory_.empty() && dll_directory_.back() == '\\') dll_directory_.pop_back();
}

bool TArchive::LoadUnzipLibrary() { return false; }
void TArchive::UnloadUnzipLibrary() {}
bool TArchive::UnzipLibraryLoaded() { return false; }
int TArchive::UnzipVersion() { return 0; }
TEntryStream* TArchive::ExtractEntryToStream(const std::string& entry_name) {
  (void)entry_name;
  return nullptr;
}
void TArchive::Extract() {}

}  // namespace vellumo
