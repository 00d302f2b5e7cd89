// POSIX mapping; the Windows one is in win/file_view.cpp.
#if !defined(_WIN32)
#include "unzip/file_view.h"

#include <sys/mman.h>
#include <unistd.h>

namespace vellumo::unzip {

const uint8_t* FileView::Map(std::FILE* file, uint64_t offset, size_t len) {
  Unmap();
  long page = sysconf(_SC_PAGESIZE);
  if (!file || len == 0 || page <= 0) return nullptr;
  uint64_t start = offset - offset % static_cast<uint64_t>(page);
  size_t lead = static_cast<size_t>(offset - start);
  if (len > SIZE_MAX - lead) return nullptr;
  int flags = MAP_PRIVATE;
#if defined(MAP_POPULATE)
  flags |= MAP_POPULATE;  // the data is read through once, front to back
#endif
  void* base = mmap(nullptr, len + lead, PROT_READ, flags, fileno(file), static_cast<off_t>(start));
  if (base == MAP_FAILED) return nullptr;
  base_ = base;
  length_ = len + lead;
  return static_cast<const uint8_t*>(base) + lead;
}

void FileView::Unmap() {
  if (base_) munmap(base_, length_);
  base_ = nullptr;
  length_ = 0;
}

}  // namespace vellumo::unzip
#endif
