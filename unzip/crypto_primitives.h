// The platform's cryptography as WinZip AES needs it: PBKDF2-HMAC-SHA1, the AES block
// cipher (encryption direction only: CTR mode needs no other) and HMAC-SHA1. Windows CNG
// inside the DLL (win/), a Debian library in the native build; nothing written by hand.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vellumo::unzip {

bool Pbkdf2HmacSha1(const std::string& password, const uint8_t* salt, size_t saltLength,
                    uint32_t iterations, uint8_t* out, size_t outLength);

class AesBlockCipher {
 public:
  AesBlockCipher();
  ~AesBlockCipher();
  AesBlockCipher(const AesBlockCipher&) = delete;
  AesBlockCipher& operator=(const AesBlockCipher&) = delete;
  bool SetKey(const uint8_t* key, size_t length);  // 16, 24 or 32 bytes
  // Encrypts whole 16-byte blocks in place.
  void EncryptBlocks(uint8_t* data, size_t blocks);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

class HmacSha1 {
 public:
  static constexpr size_t kDigestSize = 20;
  HmacSha1();
  ~HmacSha1();
  HmacSha1(const HmacSha1&) = delete;
  HmacSha1& operator=(const HmacSha1&) = delete;
  bool SetKey(const uint8_t* key, size_t length);
  void Update(const uint8_t* data, size_t length);
  bool Final(uint8_t digest[kDigestSize]);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace vellumo::unzip
