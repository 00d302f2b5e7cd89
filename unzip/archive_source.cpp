#include "unzip/archive_source.h"

#include <algorithm>
#include <cstring>

namespace vellumo::unzip {
namespace {

bool SeekTo(std::FILE* f, uint64_t offset) {
#if defined(_WIN32)
  return _fseeki64(f, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

bool MemorySource::ReadAt(uint64_t offset, void* buf, size_t len) {
  if (offset > size_ || len > size_ - offset) return false;
  if (len) std::memcpy(buf, data_ + offset, len);
  return true;
}

const uint8_t* MemorySource::View(uint64_t offset, size_t len) {
  if (offset > size_ || len > size_ - offset) return nullptr;
  return data_ + offset;
}

FileSource::~FileSource() {
  view_.Unmap();
  if (file_) std::fclose(file_);
}

bool FileSource::Open(const std::string& path) {
  view_.Unmap();
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) return false;
  // Large reads go straight to the caller's buffer; the few small header reads do not
  // need stdio's buffer either.
  std::setvbuf(file_, nullptr, _IONBF, 0);
#if defined(_WIN32)
  if (_fseeki64(file_, 0, SEEK_END) != 0) return false;
  __int64 end = _ftelli64(file_);
#else
  if (fseeko(file_, 0, SEEK_END) != 0) return false;
  off_t end = ftello(file_);
#endif
  if (end < 0) return false;
  size_ = static_cast<uint64_t>(end);
  position_ = UINT64_MAX;
  windowLength_ = 0;
  return true;
}

bool FileSource::ReadAt(uint64_t offset, void* buf, size_t len) {
  if (!file_ || offset > size_ || len > size_ - offset) return false;
  if (len == 0) return true;
#if defined(VUNZIP_ZLIB_ONLY)
  return ReadFromFile(offset, buf, len);  // the benchmark's build of the engine as it was
#else
  if (len > kWindowSize / 4) return ReadFromFile(offset, buf, len);
  if (offset < windowStart_ || offset + len > windowStart_ + windowLength_) {
    if (!window_) window_.reset(new uint8_t[kWindowSize]);
    size_t n = static_cast<size_t>(std::min<uint64_t>(kWindowSize, size_ - offset));
    windowLength_ = 0;
    if (!ReadFromFile(offset, window_.get(), n)) return false;
    windowStart_ = offset;
    windowLength_ = n;
  }
  std::memcpy(buf, window_.get() + (offset - windowStart_), len);
  return true;
#endif
}

bool FileSource::ReadFromFile(uint64_t offset, void* buf, size_t len) {
  if (offset != position_ && !SeekTo(file_, offset)) {
    position_ = UINT64_MAX;
    return false;
  }
  size_t got = std::fread(buf, 1, len, file_);
  position_ = got == len ? offset + len : UINT64_MAX;
  return got == len;
}

const uint8_t* FileSource::View(uint64_t offset, size_t len) {
  if (!file_ || offset > size_ || len > size_ - offset) return nullptr;
  return view_.Map(file_, offset, len);
}

}  // namespace vellumo::unzip
