#include "unzip/zip_crypto.h"

#include <array>
#include <cstring>

namespace vellumo::unzip {
namespace {

// The CRC-32 byte table, built at compile time: the engine's bulk CRC comes from a library
// that keeps its tables to itself, and the DLL should not carry zlib's as well.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

inline uint32_t CrcStep(const uint32_t* table, uint32_t crc, uint8_t b) {
  return table[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

}  // namespace

TraditionalDecryptor::TraditionalDecryptor(const std::string& password)
    : table_(kCrcTable.data()) {
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
