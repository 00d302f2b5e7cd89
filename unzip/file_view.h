// A read-only view of part of an open file, mapped instead of copied: large compressed
// entries are decoded straight from the system's file cache.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vellumo::unzip {

class FileView {
 public:
  FileView() = default;
  ~FileView() { Unmap(); }
  FileView(const FileView&) = delete;
  FileView& operator=(const FileView&) = delete;

  // Maps len bytes (len > 0) at offset of the open file, replacing any earlier view;
  // nullptr when the system will not map it (the caller reads instead).
  const uint8_t* Map(std::FILE* file, uint64_t offset, size_t len);
  void Unmap();

 private:
  void* base_ = nullptr;     // start of the mapping (page or granularity aligned)
  size_t length_ = 0;        // of the mapping
  void* mapping_ = nullptr;  // the section object, where the system has one
};

}  // namespace vellumo::unzip
