// The native build's cryptography: nettle.
#if !defined(_WIN32)
#include "unzip/crypto_primitives.h"

#include <nettle/aes.h>
#include <nettle/hmac.h>
#include <nettle/pbkdf2.h>

namespace vellumo::unzip {

bool Pbkdf2HmacSha1(const std::string& password, const uint8_t* salt, size_t saltLength,
                    uint32_t iterations, uint8_t* out, size_t outLength) {
  pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const uint8_t*>(password.data()), iterations,
                   saltLength, salt, outLength, out);
  return true;
}

struct AesBlockCipher::State {
  size_t keyLength = 0;
  union {
    aes128_ctx k128;
    aes192_ctx k192;
    aes256_ctx k256;
  };
};

AesBlockCipher::AesBlockCipher() : state_(new State) {}
AesBlockCipher::~AesBlockCipher() = default;

bool AesBlockCipher::SetKey(const uint8_t* key, size_t length) {
  state_->keyLength = length;
  switch (length) {
    case 16: aes128_set_encrypt_key(&state_->k128, key); return true;
    case 24: aes192_set_encrypt_key(&state_->k192, key); return true;
    case 32: aes256_set_encrypt_key(&state_->k256, key); return true;
    default: state_->keyLength = 0; return false;
  }
}

void AesBlockCipher::EncryptBlocks(uint8_t* data, size_t blocks) {
  size_t n = blocks * AES_BLOCK_SIZE;
  switch (state_->keyLength) {
    case 16: aes128_encrypt(&state_->k128, n, data, data); break;
    case 24: aes192_encrypt(&state_->k192, n, data, data); break;
    case 32: aes256_encrypt(&state_->k256, n, data, data); break;
    default: break;
  }
}

struct HmacSha1::State {
  hmac_sha1_ctx ctx;
};

HmacSha1::HmacSha1() : state_(new State) {}
HmacSha1::~HmacSha1() = default;

bool HmacSha1::SetKey(const uint8_t* key, size_t length) {
  hmac_sha1_set_key(&state_->ctx, length, key);
  return true;
}

void HmacSha1::Update(const uint8_t* data, size_t length) {
  hmac_sha1_update(&state_->ctx, length, data);
}

bool HmacSha1::Final(uint8_t digest[kDigestSize]) {
  hmac_sha1_digest(&state_->ctx, kDigestSize, digest);
  return true;
}

}  // namespace vellumo::unzip
#endif
