#include "viewer/archive/entry_stream.h"

#include <cstdlib>
#include <cstring>

namespace vellumo {

namespace {
// A block must stay addressable with signed offsets in a 32-bit process; larger requests are
// refused rather than attempted.
constexpr uint64_t kMaxBlockSize = 0x7FFFFFFFu;
}  // namespace

TEntryStream::~TEntryStream() { Release(); }

void TEntryStream::Release() {
  if (owned_) std::free(block_);
  block_ = nullptr;
  owned_ = true;
}

bool TEntryStream::SetSize(uint64_t size) {
  if (held_) return size == size_;
  if (size == size_ && (size > 0 || block_ == nullptr)) return true;
  if (size == 0) {
    Release();
    size_ = 0;
    position_ = 0;
    return true;
  }
  if (size > kMaxBlockSize) return false;
  uint8_t* block = nullptr;
  if (owned_) {
    block = static_cast<uint8_t*>(std::realloc(block_, static_cast<size_t>(size)));
    if (!block) return false;
  } else {
    block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
    if (!block) return false;
    std::memcpy(block, block_, static_cast<size_t>(size < size_ ? size : size_));
  }
  if (size > size_) std::memset(block + size_, 0, static_cast<size_t>(size - size_));
  block_ = block;
  owned_ = true;
  size_ = size;
  if (position_ > size_) position_ = size_;
  return true;
}

bool TEntryStream::SetSizeForOverwrite(uint64_t size) {
  if (held_) return false;
  if (size == 0 || size > kMaxBlockSize) return SetSize(size);
  // malloc, not calloc or realloc: the library writes every byte, so zeroing (or copying)
  // would touch every page of a size that may be a lie.
  auto* block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(size)));
  if (!block) return false;
  Release();
  block_ = block;
  owned_ = true;
  size_ = size;
  position_ = 0;
  return true;
}

void TEntryStream::Clear() {
  if (held_) return;
  Release();
  size_ = 0;
  position_ = 0;
}

size_t TEntryStream::Read(void* buffer, size_t count) {
  if (position_ >= size_ || count == 0) return 0;
  uint64_t available = size_ - position_;
  size_t n = available < count ? static_cast<size_t>(available) : count;
  std::memcpy(buffer, block_ + position_, n);
  position_ += n;
  return n;
}

size_t TEntryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (count > kMaxBlockSize || position_ > kMaxBlockSize - count) return 0;
  uint64_t end = position_ + count;
  if (end > size_ && !SetSize(end)) return 0;
  std::memcpy(block_ + position_, buffer, count);
  position_ = end;
  return count;
}

int64_t TEntryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = static_cast<int64_t>(position_);
  if (origin == SeekOrigin::End) base = static_cast<int64_t>(size_);
  if (offset < -base) return -1;
  if (offset > 0 && offset > INT64_MAX - base) return -1;
  position_ = static_cast<uint64_t>(base + offset);
  return static_cast<int64_t>(position_);
}

void TEntryStream::AdoptBlock(void* block, size_t size) {
  if (held_) return;
  Release();
  block_ = static_cast<uint8_t*>(block);
  size_ = block ? size : 0;
  position_ = 0;
  owned_ = false;
}

}  // namespace vellumo
