// The archive component's end-record finder and directory reader over arbitrary bytes. Every
// path (each volume of a set too) opens the same bytes, so the multi-volume paths are
// reached as well; boxes and prompts are answered at once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fuzz/memory_archive_platform.h"
#include "viewer/archive/archive_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A few volumes reach every path of a set; each one costs a fresh read buffer.
  vellumo::test::MemoryArchivePlatform platform(data, size, 8);
  vellumo::ArchiveCore core(platform);
  core.Unattended = true;
  core.SetZipFileName("C:\\fuzz\\set001.zip");
  // Whatever was listed came from inside the file.
  for (const vellumo::DirEntry& entry : core.EntryList()) {
    if (entry.FileName.size() != entry.FileNameLength) std::abort();
    if (entry.ExtraData.size() != entry.ExtraFieldLength) std::abort();
  }
  if (core.EntryCount() != static_cast<int>(core.EntryList().size())) std::abort();
  return 0;
}
