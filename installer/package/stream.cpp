#include "installer/package/stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace hollin {

size_t MemoryStream::Read(void* buffer, size_t n) {
  if (position_ >= bytes_.size()) return 0;
  size_t count = std::min(n, bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, count);
  position_ += count;
  return count;
}

size_t MemoryStream::Write(const void* buffer, size_t n) {
  if (n == 0) return 0;
  try {
    if (n > SIZE_MAX - position_) return 0;
    if (position_ + n > bytes_.size()) bytes_.resize(position_ + n);
  } catch (...) {  // memory that cannot be had, or more than a vector can hold
    return 0;
  }
  std::memcpy(bytes_.data() + position_, buffer, n);
  position_ += n;
  return n;
}

bool MemoryStream::Seek(uint64_t position) {
  if (position > SIZE_MAX) return false;
  position_ = static_cast<size_t>(position);
  return true;
}

bool MemoryStream::Reserve(size_t n) {
  try {
    bytes_.reserve(n);
  } catch (...) {  // memory that cannot be had, or more than a vector can hold
    return false;
  }
  return true;
}

#ifdef _WIN32
#define HOLLIN_FSEEK _fseeki64
#define HOLLIN_FTELL _ftelli64
#else
#define HOLLIN_FSEEK fseeko
#define HOLLIN_FTELL ftello
#endif

std::unique_ptr<FileStream> FileStream::Open(const std::string& path, Mode mode) {
  std::FILE* file = std::fopen(path.c_str(), mode == Mode::kRead ? "rb" : "wb");
  if (!file) return nullptr;
  return std::unique_ptr<FileStream>(new FileStream(file));
}

FileStream::~FileStream() { std::fclose(file_); }

size_t FileStream::Read(void* buffer, size_t n) {
  // ferror would also remember earlier failures (and writes): judge this read alone.
  size_t got = std::fread(buffer, 1, n, file_);
  read_failed_ = got < n && !std::feof(file_);
  return got;
}

size_t FileStream::Write(const void* buffer, size_t n) { return std::fwrite(buffer, 1, n, file_); }

bool FileStream::Flush() { return std::fflush(file_) == 0 && !std::ferror(file_); }

bool FileStream::Seek(uint64_t position) {
  return HOLLIN_FSEEK(file_, static_cast<int64_t>(position), SEEK_SET) == 0;
}

uint64_t FileStream::Position() const {
  int64_t p = HOLLIN_FTELL(file_);
  return p < 0 ? 0 : static_cast<uint64_t>(p);
}

uint64_t FileStream::Size() const {
  int64_t here = HOLLIN_FTELL(file_);
  if (here < 0 || HOLLIN_FSEEK(file_, 0, SEEK_END) != 0) return UINT64_MAX;
  int64_t end = HOLLIN_FTELL(file_);
  HOLLIN_FSEEK(file_, here, SEEK_SET);
  return end < 0 ? UINT64_MAX : static_cast<uint64_t>(end);
}

}  // namespace hollin
