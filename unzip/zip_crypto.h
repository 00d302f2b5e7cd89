// Traditional PKWARE encryption: three 32-bit keys stepped by every plain byte, and the
// 12-byte header in front of the data whose last byte checks the password.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "unzip/entry_decryptor.h"

namespace vellumo::unzip {

constexpr size_t kEncryptionHeaderSize = 12;

class TraditionalDecryptor : public EntryDecryptor {
 public:
  explicit TraditionalDecryptor(const std::string& password);
  void Decrypt(uint8_t* data, size_t length) override;

  // Decrypts a copy of the 12-byte header and says whether its last byte equals the
  // expected check byte; on success the keys have consumed the header.
  bool AcceptHeader(const uint8_t header[kEncryptionHeaderSize], uint8_t checkByte);

 private:
  void Update(uint8_t plain);
  uint8_t StreamByte() const;
  const uint32_t* table_;  // the CRC-32 byte table
  uint32_t key0_ = 0x12345678;
  uint32_t key1_ = 0x23456789;
  uint32_t key2_ = 0x34567890;
};

// The byte the header's last byte must equal: with a data descriptor the CRC is not known
// when the header is written, so the high byte of the DOS time stands in for it.
inline uint8_t EncryptionCheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime) {
  return (flags & (1 << 3)) ? static_cast<uint8_t>(dosTime >> 8) : static_cast<uint8_t>(crc >> 24);
}

}  // namespace vellumo::unzip
