// Windows mapping of a file opened with stdio. While a view exists the file cannot be cut
// shorter (the system refuses to truncate a mapped file), so reads from it cannot fault.
#include "unzip/file_view.h"

#include <windows.h>
#include <io.h>

namespace vellumo::unzip {

const uint8_t* FileView::Map(std::FILE* file, uint64_t offset, size_t len) {
  Unmap();
  if (!file || len == 0) return nullptr;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  uint64_t granularity = info.dwAllocationGranularity ? info.dwAllocationGranularity : 65536;
  uint64_t start = offset - offset % granularity;
  size_t lead = static_cast<size_t>(offset - start);
  if (len > SIZE_MAX - lead) return nullptr;
  HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) return nullptr;
  void* base = MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                             static_cast<DWORD>(start), len + lead);
  if (!base) {
    CloseHandle(mapping);
    return nullptr;
  }
  base_ = base;
  length_ = len + lead;
  mapping_ = mapping;
  return static_cast<const uint8_t*>(base) + lead;
}

void FileView::Unmap() {
  if (base_) UnmapViewOfFile(base_);
  if (mapping_) CloseHandle(mapping_);
  base_ = nullptr;
  mapping_ = nullptr;
  length_ = 0;
}

}  // namespace vellumo::unzip
