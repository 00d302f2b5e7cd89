#include "unzip/zip_crypto.h"

#include <cstring>

#include <zlib.h>

namespace vellumo::unzip {
namespace {

// zlib's own table, fetched once per decryptor (a function-local static would pull the
// thread-safe initialisation machinery into the DLL).
inline uint32_t CrcStep(const z_crc_t* table, uint32_t crc, uint8_t b) {
  return table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace

TraditionalDecryptor::TraditionalDecryptor(const std::string& password)
    : table_(get_crc_table()) {
  for (unsigned char c : password) Update(c);
}

void TraditionalDecryptor::Update(uint8_t plain) {
  key0_ = CrcStep(table_, key0_, plain);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = CrcStep(table_, key2_, static_cast<uint8_t>(key1_ >> 24));
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
