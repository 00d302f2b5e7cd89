#include "viewer/archive/win/archive.h"

#include <new>
#include <vector>

#include "common/win/dll_search.h"
#include "unzip/size_claim.h"
#include "unzip/unzip_interface.h"
#include "viewer/archive/message_ids.h"
#include "viewer/archive/win/win_platform.h"

namespace vellumo {

namespace detail {
ArchivePlatformHolder::ArchivePlatformHolder()
    : platform_holder_(std::make_unique<WinArchivePlatform>()) {}
ArchivePlatformHolder::~ArchivePlatformHolder() = default;
}  // namespace detail

namespace {

// One binding per process, shared by every component.
struct UnzipBinding {
  HMODULE module = nullptr;
  unzip::UnzipExecFn exec = nullptr;
  unzip::GetUnzipVersionFn version = nullptr;
};
UnzipBinding g_binding;

// The library calls back on the caller's thread; nothing may unwind into it.
int32_t VELLUMO_STDCALL UnzipCallback(void* record) {
  auto* bytes = static_cast<uint8_t*>(record);
  if (!bytes) return unzip::kCallbackStop;
  auto* component = static_cast<ArchiveCore*>(unzip::RecordGetAddress(bytes, unzip::kCallbackCaller));
  if (!component) return unzip::kCallbackStop;
  try {
    return component->HandleCallback(bytes);
  } catch (...) {
    return unzip::kCallbackStop;
  }
}

}  // namespace

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

bool TArchive::UnzipLibraryLoaded() { return g_binding.module != nullptr; }

bool TArchive::LoadUnzipLibrary() {
  if (g_binding.module) return true;
  try {
    // By full path, never by bare name: a VUNZIP.DLL in the current folder (beside an archive
    // in a downloads folder) must not be the one that gets loaded.
    std::string path;
    if (!dll_directory_.empty() && platform_.FileExists(dll_directory_ + "\\VUNZIP.DLL")) {
      path = dll_directory_ + "\\VUNZIP.DLL";
    } else {
      std::string own_folder = win::ProgramFolder();
      if (!own_folder.empty()) path = own_folder + "\\VUNZIP.DLL";
    }
    UINT old_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    HMODULE module = path.empty() ? nullptr : win::LoadLibraryFromItsFolder(path);
    ::SetErrorMode(old_mode);
    if (reinterpret_cast<uintptr_t>(module) <= 32) {
      ShowArchiveMessage(msg::kLibraryNotFound);
      return false;
    }
    if (Trace) ShowArchiveMessage(msg::kLibraryLoaded);
    auto exec = reinterpret_cast<unzip::UnzipExecFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, unzip::kUnzipExecName)));
    auto version = reinterpret_cast<unzip::GetUnzipVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, unzip::kGetUnzipVersionName)));
    if (!exec) ShowArchiveMessage(msg::kUnzipExecNotFound);
    if (!version) ShowArchiveMessage(msg::kGetUnzipVersionNotFound);
    if (!exec || !version) {
      // Never call through a missing entry point: the library counts as not loaded.
      ::FreeLibrary(module);
      return false;
    }
    g_binding.module = module;
    g_binding.exec = exec;
    g_binding.version = version;
    return true;
  } catch (...) {
    return false;
  }
}

void TArchive::UnloadUnzipLibrary() {
  if (g_binding.module) ::FreeLibrary(g_binding.module);
  g_binding = UnzipBinding();
}

int TArchive::UnzipVersion() {
  if (g_binding.module) return g_binding.version();
  if (!LoadUnzipLibrary()) return 0;
  int version = g_binding.version();
  UnloadUnzipLibrary();
  return version;
}

bool TArchive::EntrySizeClaimPossible(const DirEntry& entry, const std::string& archive_path) {
  if (!unzip::SizeClaimPossible(entry.CompressionMethod, entry.CompressedSize,
                                entry.UncompressedSize))
    return false;
  // Compressed data cannot be longer than the archive that holds it.
  std::unique_ptr<InputFile> file = platform_.OpenRead(archive_path);
  return !file || entry.CompressedSize <= file->Size();
}

TEntryStream* TArchive::ExtractEntryToStream(const std::string& entry_name) {
  // A second request while the library writes into the block must not free that block.
  if (busy_) return nullptr;
  if (!entry_name.empty()) FSpecArgs.assign(1, entry_name);
  stream_.Clear();
  Extract(stream_);
  if (success_count_ != 1) return nullptr;
  stream_.Seek(0, SeekOrigin::Begin);
  return &stream_;
}

bool TArchive::ExtractEntryQuietly(const std::string& entry_name, TEntryStream& target) {
  if (busy_ || entry_name.empty()) return false;
  const bool unattended = Unattended;
  Unattended = true;
  FSpecArgs.assign(1, entry_name);
  target.Clear();
  Extract(target);
  Unattended = unattended;
  if (success_count_ != 1) return false;
  target.Seek(0, SeekOrigin::Begin);
  return true;
}

void TArchive::Extract(TEntryStream& target) {
  using namespace unzip;
  success_count_ = 0;
  const int saved_request_count = password_req_count_;
  if (!platform_.FileExists(ZipFileName())) {
    ShowArchiveMessage(msg::kNoZipFileSpecified);
    FSpecArgs.clear();
    return;
  }
  if (busy_) return;
  if (Unattended && password_.empty() && !OnPasswordError) {
    password_req_count_ = 0;
    ShowArchiveMessage(msg::kUnattendedExtract);
  }
  busy_ = true;
  cancel_requested_ = false;
  bool loaded_here = false;
  auto finish = [&]() {
    FSpecArgs.clear();
    password_req_count_ = saved_request_count;
    if (loaded_here) UnloadUnzipLibrary();
    cancel_requested_ = false;
    busy_ = false;
  };
  if (!g_binding.module) {
    loaded_here = true;
    if (!LoadUnzipLibrary()) {
      loaded_here = false;
      finish();
      return;
    }
  }
  std::string archive_path = ZipFileName();
  std::string joined_path;
  if (LastVolume() != 0) {
    if (!JoinVolumes(TempDir, &joined_path)) {
      finish();
      return;
    }
    archive_path = joined_path;
  }
  if (!ExtrBaseDir.empty()) {
    DWORD attributes = ::GetFileAttributesA(ExtrBaseDir.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
      ::SetCurrentDirectoryA(ExtrBaseDir.c_str());
  }
  if (g_binding.version() < kMinStreamVersion) {
    if (!joined_path.empty()) platform_.RemoveFile(joined_path);
    finish();
    ShowArchiveMessage(msg::kLibraryCannotStream);
    return;
  }
  try {
    std::vector<uint8_t> params(kUnzipParamsSize, 0);
    std::vector<std::string> specs = FSpecArgs;
    std::vector<uint8_t> spec_array(kFileSpecEntrySize * (specs.empty() ? 1 : specs.size()), 0);
    for (size_t i = 0; i < specs.size(); ++i)
      RecordSetAddress(&spec_array[i * kFileSpecEntrySize], kFileSpecText, specs[i].c_str());
    const std::string password = password_.substr(0, 255);
    RecordSetAddress(params.data(), kParamWindowHandle, Unattended ? nullptr : owner_);
    RecordSetAddress(params.data(), kParamCaller, static_cast<ArchiveCore*>(this));
    RecordSet(params.data(), kParamVersion, kUnzipVersion);
    RecordSetAddress(params.data(), kParamCallback, reinterpret_cast<void*>(&UnzipCallback));
    RecordSetBool(params.data(), kParamTrace, Trace);
    RecordSetAddress(params.data(), kParamPassword, password.c_str());
    RecordSetBool(params.data(), kParamTestOnly, (ExtrOptions & ExtrTest) != 0);
    RecordSetBool(params.data(), kParamUnused40, true);
    RecordSetBool(params.data(), kParamVerbose, Verbose || Trace);
    RecordSetBool(params.data(), kParamUpdate, (ExtrOptions & ExtrUpdate) != 0);
    RecordSetBool(params.data(), kParamFreshen,
                  (ExtrOptions & ExtrFreshen) != 0 && (ExtrOptions & ExtrUpdate) == 0);
    RecordSetBool(params.data(), kParamKeepFolderNames, (ExtrOptions & ExtrDirNames) != 0);
    RecordSetBool(params.data(), kParamOverwrite, (ExtrOptions & ExtrOverWrite) != 0);
    RecordSet(params.data(), kParamSpecCount, static_cast<uint32_t>(specs.size()));
    RecordSetAddress(params.data(), kParamArchivePath, archive_path.c_str());
    RecordSetAddress(params.data(), kParamFileSpecs, spec_array.data());
    RecordSet(params.data(), kParamPasswordRequestCount, static_cast<uint32_t>(password_req_count_));

    const DirEntry* match = nullptr;
    if (!EntryList().empty()) {
      if (specs.empty()) throw EArchive(msg::kFatalLibraryError, MessageText(msg::kFatalLibraryError));
      for (const DirEntry& entry : EntryList()) {
        if (::lstrcmpiA(entry.FileName.c_str(), specs[0].c_str()) == 0) {
          match = &entry;
          break;
        }
      }
    }
    if (match && !EntrySizeClaimPossible(*match, archive_path)) {
      // Refused before the block exists: a 200-byte archive must not commit 512 MiB.
      match = nullptr;
      ShowArchiveMessage(msg::kEntryDamaged, specs[0]);
    }
    if (match) {
      if (!target.SetSizeForOverwrite(match->UncompressedSize)) {
        match = nullptr;
        ShowArchiveMessage(msg::kMemoryNotAvailable);
      } else {
        RecordSetBool(params.data(), kParamUseOutputStream, true);
        RecordSetAddress(params.data(), kParamOutputBlock, target.Memory());
        RecordSet(params.data(), kParamOutputSize, static_cast<uint32_t>(match->UncompressedSize));
        RecordSet(params.data(), kParamSpecCount, 1);
      }
    }
    RecordSet(params.data(), kParamEndMark, kEndMark);
    if (match) {
      const int shown_before = ShownCount();
      library_message_.clear();
      // The library has the block's address until it returns; nobody may move it meanwhile.
      struct HoldBlock {
        TEntryStream& stream;
        ~HoldBlock() { stream.LetGo(); }
      } hold{target};
      target.Hold();
      success_count_ = g_binding.exec(params.data());
      target.LetGo();
      // A failure the user saw nothing of (no box, no prompt, no cancel) is told in the
      // library's own words rather than in silence.
      if (success_count_ != 1 && ShownCount() == shown_before && !cancel_requested_ &&
          !library_message_.empty())
        ShowMessageText(library_message_);
    }
    if (success_count_ != 1) target.Clear();
  } catch (const std::bad_alloc&) {
    success_count_ = 0;
    target.LetGo();
    target.Clear();
    ShowArchiveMessage(msg::kMemoryNotAvailable);
  } catch (...) {
    success_count_ = 0;
    target.LetGo();
    target.Clear();
    ShowArchiveMessage(msg::kFatalLibraryError);
  }
  if (!joined_path.empty()) platform_.RemoveFile(joined_path);
  finish();
}

}  // namespace vellumo
