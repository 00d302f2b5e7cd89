// WinZip AES encryption (method 99): the 0x9901 extra field names the key size and the
// real method; the data starts with a salt and a 2-byte password verifier and ends with
// the first 10 bytes of an HMAC-SHA1 over the encrypted data. Keys come from the password
// by PBKDF2-HMAC-SHA1; the cipher is AES in CTR mode with a little-endian counter from 1.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "unzip/archive_source.h"
#include "unzip/crypto_primitives.h"
#include "unzip/entry_decryptor.h"

namespace vellumo::unzip {

constexpr uint16_t kWinZipAesExtraId = 0x9901;
constexpr size_t kWinZipAesVerifierSize = 2;
constexpr size_t kWinZipAesCodeSize = 10;

struct WinZipAesField {
  uint16_t version = 0;   // 1 (AE-1: CRC kept) or 2 (AE-2: CRC 0, not checked)
  uint8_t strength = 0;   // 1, 2, 3: AES-128, -192, -256
  uint16_t method = 0;    // the real compression method
  size_t KeySize() const { return 8u * (strength + 1); }
  size_t SaltSize() const { return 4u * (strength + 1); }
};

// Finds and checks the 0x9901 field in an extra field; false when absent or malformed.
bool FindWinZipAesField(const uint8_t* extra, size_t length, WinZipAesField& field);

class WinZipAesDecryptor : public EntryDecryptor {
 public:
  // Derives the keys; Accepted() says whether the verifier matched.
  WinZipAesDecryptor(const std::string& password, const WinZipAesField& field, const uint8_t* salt,
                     const uint8_t verifier[kWinZipAesVerifierSize]);
  bool Accepted() const { return accepted_; }
  // Authenticates, then decrypts in place.
  void Decrypt(uint8_t* data, size_t length) override;
  // Authenticates the rest of the encrypted data that decoding did not read (it starts at
  // `offset`, `length` bytes in all) and compares the code stored after it.
  bool Authentic(ArchiveSource& source, uint64_t offset, uint64_t length);

 private:
  AesBlockCipher cipher_;
  HmacSha1 hmac_;
  bool accepted_ = false;
  uint64_t counter_ = 0;
  uint64_t seen_ = 0;  // bytes authenticated so far
  // Counter blocks are enciphered a batch per call: a call into the platform's cipher
  // costs far more than a block (under Wine, a trip to the host's library).
  uint8_t keystream_[16 * 2048];
  size_t keystreamUsed_ = sizeof keystream_;
};

}  // namespace vellumo::unzip
