#include "unzip/winzip_aes.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/byte_reader.h"

namespace vellumo::unzip {
namespace {
constexpr uint32_t kIterations = 1000;
constexpr size_t kMaxKeySize = 32;
}  // namespace

bool FindWinZipAesField(const uint8_t* extra, size_t length, WinZipAesField& field) {
  size_t at = 0;
  while (length - at >= 4) {
    uint16_t id = static_cast<uint16_t>(extra[at] | (extra[at + 1] << 8));
    size_t size = static_cast<size_t>(extra[at + 2] | (extra[at + 3] << 8));
    at += 4;
    if (size > length - at) return false;
    if (id == kWinZipAesExtraId) {
      if (size < 7) return false;
      ByteReader r(extra + at, size);
      field.version = r.u16();
      uint8_t a = r.u8(), e = r.u8();
      field.strength = r.u8();
      field.method = r.u16();
      return (field.version == 1 || field.version == 2) && a == 'A' && e == 'E' &&
             field.strength >= 1 && field.strength <= 3;
    }
    at += size;
  }
  return false;
}

WinZipAesDecryptor::WinZipAesDecryptor(const std::string& password, const WinZipAesField& field,
                                       const uint8_t* salt,
                                       const uint8_t verifier[kWinZipAesVerifierSize]) {
  size_t keySize = field.KeySize();
  uint8_t keys[2 * kMaxKeySize + kWinZipAesVerifierSize];
  size_t total = 2 * keySize + kWinZipAesVerifierSize;
  if (!Pbkdf2HmacSha1(password, salt, field.SaltSize(), kIterations, keys, total)) return;
  if (std::memcmp(keys + 2 * keySize, verifier, kWinZipAesVerifierSize) != 0) return;
  accepted_ = cipher_.SetKey(keys, keySize) && hmac_.SetKey(keys + keySize, keySize);
}

void WinZipAesDecryptor::Decrypt(uint8_t* data, size_t length) {
  hmac_.Update(data, length);
  seen_ += length;
  while (length > 0) {
    if (keystreamUsed_ == sizeof keystream_) {
      std::memset(keystream_, 0, sizeof keystream_);
      for (size_t b = 0; b < sizeof keystream_ / 16; ++b) {
        uint64_t c = ++counter_;  // little-endian, the first block is 1
        for (int k = 0; k < 8; ++k) keystream_[b * 16 + k] = static_cast<uint8_t>(c >> (8 * k));
      }
      cipher_.EncryptBlocks(keystream_, sizeof keystream_ / 16);
      keystreamUsed_ = 0;
    }
    size_t n = std::min(length, sizeof keystream_ - keystreamUsed_);
    const uint8_t* k = keystream_ + keystreamUsed_;
    for (size_t i = 0; i < n; ++i) data[i] ^= k[i];
    keystreamUsed_ += n;
    data += n;
    length -= n;
  }
}

bool WinZipAesDecryptor::Authentic(ArchiveSource& source, uint64_t offset, uint64_t length) {
  if (!accepted_ || seen_ > length) return false;
  std::vector<uint8_t> piece(static_cast<size_t>(std::min<uint64_t>(length - seen_, 64 * 1024)));
  while (seen_ < length) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(length - seen_, piece.size()));
    if (!source.ReadAt(offset + seen_, piece.data(), n)) return false;
    hmac_.Update(piece.data(), n);
    seen_ += n;
  }
  uint8_t stored[kWinZipAesCodeSize];
  uint8_t digest[HmacSha1::kDigestSize];
  if (!source.ReadAt(offset + length, stored, sizeof stored) || !hmac_.Final(digest)) return false;
  return std::memcmp(digest, stored, kWinZipAesCodeSize) == 0;
}

}  // namespace vellumo::unzip
