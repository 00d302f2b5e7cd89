// The directory reader's buffered sequential reads over one volume (internal to the component).
#pragma once
#include <algorithm>
#include <cstring>
#include <vector>

#include "viewer/archive/archive_core.h"

namespace vellumo {

// Sequential reads over one volume in large chunks, so a directory of many small records
// costs a few big reads.
class ArchiveCore::VolumeReader {
 public:
  explicit VolumeReader(InputFile& file) : file_(file) {}
  void Seek(uint64_t position) { position_ = position; }
  uint64_t Position() const { return position_; }

  size_t Read(void* destination, size_t count) {
    uint8_t* out = static_cast<uint8_t*>(destination);
    size_t done = 0;
    while (done < count) {
      if (position_ >= buffer_start_ && position_ - buffer_start_ < buffer_length_) {
        size_t offset = static_cast<size_t>(position_ - buffer_start_);
        size_t take = std::min(buffer_length_ - offset, count - done);
        std::memcpy(out + done, buffer_.data() + offset, take);
        done += take;
        position_ += take;
        continue;
      }
      size_t wanted = count - done;
      if (wanted >= kChunkSize) {  // big blocks go straight to the caller
        size_t got = file_.ReadAt(position_, out + done, wanted);
        done += got;
        position_ += got;
        break;
      }
      Fill();
      if (buffer_length_ == 0) break;
    }
    return done;
  }

  // The next `count` bytes where they lie in the buffer, refilling it once if needed, so a
  // record is parsed without being copied; nullptr when the volume holds fewer than `count`
  // more bytes (the position is then unchanged and Read gathers what there is). The pointer
  // is good until the next call.
  const uint8_t* Take(size_t count) {
    if (position_ < buffer_start_ || position_ - buffer_start_ + count > buffer_length_) {
      if (count > kChunkSize) return nullptr;
      Fill();
      if (count > buffer_length_) return nullptr;
    }
    const uint8_t* p = buffer_.data() + (position_ - buffer_start_);
    position_ += count;
    return p;
  }

 private:
  void Fill() {
    buffer_.resize(kChunkSize);
    buffer_start_ = position_;
    buffer_length_ = file_.ReadAt(position_, buffer_.data(), kChunkSize);
  }

  static constexpr size_t kChunkSize = 256 * 1024;
  InputFile& file_;
  std::vector<uint8_t> buffer_;
  uint64_t buffer_start_ = 0;
  size_t buffer_length_ = 0;
  uint64_t position_ = 0;
};

}  // namespace vellumo
