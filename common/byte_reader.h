// Little-endian reads from a bounded byte span with a sticky ok flag: read a whole record,
// pull its fields, check ok() once. A read past the end yields zeros and clears ok.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace vellumo {

class ByteReader {
 public:
  ByteReader(const void* data, size_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size) {}

  bool ok() const { return ok_; }
  size_t position() const { return pos_; }
  size_t size() const { return size_; }
  size_t remaining() const { return size_ - pos_; }

  uint8_t u8() {
    if (!Need(1)) return 0;
    return data_[pos_++];
  }
  uint16_t u16() {
    if (!Need(2)) return 0;
    uint16_t v = static_cast<uint16_t>(uint32_t(data_[pos_]) | (uint32_t(data_[pos_ + 1]) << 8));
    pos_ += 2;
    return v;
  }
  uint32_t u32() {
    if (!Need(4)) return 0;
    uint32_t v = uint32_t(data_[pos_]) | (uint32_t(data_[pos_ + 1]) << 8) |
                 (uint32_t(data_[pos_ + 2]) << 16) | (uint32_t(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  uint64_t u64() {
    uint64_t low = u32();
    uint64_t high = u32();
    return low | (high << 32);
  }
  // Returns a pointer to the next n bytes, or nullptr (and ok() false) when fewer remain.
  const uint8_t* bytes(size_t n) {
    if (!Need(n)) return nullptr;
    const uint8_t* p = data_ + pos_;
    pos_ += n;
    return p;
  }
  std::string text(size_t n) {
    const uint8_t* p = bytes(n);
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }
  void skip(size_t n) { bytes(n); }
  void seek(size_t pos) {
    if (pos > size_) {
      ok_ = false;
      pos_ = size_;
    } else {
      pos_ = pos;
    }
  }

 private:
  bool Need(size_t n) {
    if (!ok_ || n > size_ - pos_) {
      ok_ = false;
      return false;
    }
    return true;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

inline void PutU16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
inline void PutU32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 8));
}
inline void SetU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>((v >> (8 * i)) & 0xFF);
}

}  // namespace vellumo
