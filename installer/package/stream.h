// The streams every package reader works on: Hollin's own file (read-only, shared by all
// readers, seeked before each use), target files, and memory blocks.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace hollin {

class Stream {
 public:
  virtual ~Stream() = default;
  // Reads up to n bytes; returns the count read (0 at the end or on error).
  virtual size_t Read(void* buffer, size_t n) = 0;
  // Writes n bytes; returns the count written (less than n on error).
  virtual size_t Write(const void* buffer, size_t n) = 0;
  virtual bool Seek(uint64_t position) = 0;
  virtual uint64_t Position() const = 0;
  // Size in bytes, or UINT64_MAX when it cannot be determined.
  virtual uint64_t Size() const = 0;
  // Whether the last read failed (as opposed to finding no more bytes): Read gives 0 for both.
  bool ReadFailed() const { return read_failed_; }

 protected:
  bool read_failed_ = false;  // set by readers that can fail
};

class MemoryStream : public Stream {
 public:
  MemoryStream() = default;
  explicit MemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  bool Seek(uint64_t position) override;
  uint64_t Position() const override { return position_; }
  uint64_t Size() const override { return bytes_.size(); }

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t>& bytes() { return bytes_; }
  // Reserves room for an expected size without changing the content; false when the
  // memory cannot be had (callers report it instead of crashing).
  bool Reserve(size_t n);

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};

// A file opened through the C runtime with 64-bit positions.
class FileStream : public Stream {
 public:
  enum class Mode { kRead, kCreate };  // kCreate truncates or creates for writing
  static std::unique_ptr<FileStream> Open(const std::string& path, Mode mode);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void* buffer, size_t n) override;
  bool Seek(uint64_t position) override;
  uint64_t Position() const override;
  uint64_t Size() const override;
  // Pushes buffered writes to the file; false when any write so far failed.
  bool Flush();

 private:
  explicit FileStream(std::FILE* file) : file_(file) {}
  std::FILE* file_;
};

}  // namespace hollin
