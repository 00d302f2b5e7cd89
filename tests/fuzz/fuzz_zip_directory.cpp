// The archive component's end-record finder and directory reader over arbitrary bytes. Every
// path (each volume of a set too) opens the same bytes, so the multi-volume paths are
// reached as well; boxes and prompts are answered at once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/memory_archive_platform.h"
#include "viewer/archive/archive_core.h"

namespace {

void ReadOnce(const uint8_t* data, size_t size, vellumo::DriveKind kind, const char* label,
              bool interactive) {
  // A few volumes reach every path of a set; each one costs a fresh read buffer.
  vellumo::test::MemoryArchivePlatform platform(data, size, 8);
  platform.kind = kind;
  platform.label = label;
  platform.insert_disk = true;  // the same "disk" again: the label decides
  vellumo::ArchiveCore core(platform);
  core.Unattended = !interactive;
  core.SetZipFileName("C:\\fuzz\\set001.zip");
  // Whatever was listed came from inside the file.
  for (const vellumo::DirEntry& entry : core.EntryList()) {
    if (entry.FileName.size() != entry.FileNameLength) std::abort();
    if (entry.ExtraData.size() != entry.ExtraFieldLength) std::abort();
  }
  if (core.EntryCount() != static_cast<int>(core.EntryList().size())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A file on a fixed disk, and the disk of a backup set in a removable drive.
  ReadOnce(data, size, vellumo::DriveKind::Fixed, "", false);
  ReadOnce(data, size, vellumo::DriveKind::Removable, "PKBACK# 002", true);
  return 0;
}
