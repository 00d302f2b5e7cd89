#include "unzip/zip_crypto.h"

#include <cstring>

#include <zlib.h>

namespace vellumo::unzip {
namespace {

const z_crc_t* CrcTable() {
  static const z_crc_t* table = get_crc_table();
  return table;
}

inline uint32_t CrcStep(uint32_t crc, uint8_t b) {
  return CrcTable()[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace

TraditionalDecryptor::TraditionalDecryptor(const std::string& password) {
  for (unsigned char c : password) Update(c);
}

void TraditionalDecryptor::Update(uint8_t plain) {
  key0_ = CrcStep(key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = CrcStep(key2_, static_cast<uint8_t>(key1_ >> 24));
}

uint8_t TraditionalDecryptor::StreamByte() const {
  uint32_t t = (key2_ | 2) & 0xFFFF;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void TraditionalDecryptor::Decrypt(uint8_t* data, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    uint8_t plain = data[i] ^ StreamByte();
    Update(plain);
    data[i] = plain;
  }
}

bool TraditionalDecryptor::AcceptHeader(const uint8_t header[kEncryptionHeaderSize],
                                        uint8_t checkByte) {
  uint8_t copy[kEncryptionHeaderSize];
  std::memcpy(copy, header, sizeof copy);
  Decrypt(copy, sizeof copy);
  return copy[kEncryptionHeaderSize - 1] == checkByte;
}

}  // namespace vellumo::unzip
