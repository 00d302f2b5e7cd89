// Random-access byte sources the unzip engine reads an archive from: a file opened by
// path, or bytes already in memory (tests, fuzzing). Reads are bounded by Size().
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "unzip/file_view.h"

namespace vellumo::unzip {

class ArchiveSource {
 public:
  virtual ~ArchiveSource() = default;
  virtual uint64_t Size() const = 0;
  // Reads exactly len bytes at offset; false (and nothing promised about buf) otherwise.
  virtual bool ReadAt(uint64_t offset, void* buf, size_t len) = 0;
  // The len bytes at offset in place, valid until the next View or the source's end;
  // nullptr when the source cannot show them without a copy (then ReadAt them).
  virtual const uint8_t* View(uint64_t offset, size_t len) = 0;
};

class MemorySource : public ArchiveSource {
 public:
  MemorySource(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buf, size_t len) override;
  const uint8_t* View(uint64_t offset, size_t len) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// A read-only file by its path (ANSI on Windows, the path as given elsewhere).
class FileSource : public ArchiveSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool Open(const std::string& path);
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buf, size_t len) override;
  const uint8_t* View(uint64_t offset, size_t len) override;

 private:
  FileView view_;
  std::FILE* file_ = nullptr;
  uint64_t size_ = 0;
  uint64_t position_ = UINT64_MAX;  // where the next fread starts, to skip needless seeks
  bool ReadFromFile(uint64_t offset, void* buf, size_t len);
  // Small reads (local headers, small entries) come from one larger read of what follows:
  // an archive of many small entries then costs a system call per window, not several per
  // entry.
  static constexpr size_t kWindowSize = 64 * 1024;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;
};

}  // namespace vellumo::unzip
