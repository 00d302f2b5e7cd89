// The DLL's cryptography: Windows CNG (bcrypt).
#include <windows.h>

#include <bcrypt.h>


#include "unzip/crypto_primitives.h"

namespace vellumo::unzip {
namespace {

struct Algorithm {
  BCRYPT_ALG_HANDLE handle = nullptr;
  Algorithm(const wchar_t* id, ULONG flags) {
    if (BCryptOpenAlgorithmProvider(&handle, id, nullptr, flags) < 0) handle = nullptr;
  }
  ~Algorithm() {
    if (handle) BCryptCloseAlgorithmProvider(handle, 0);
  }
  Algorithm(const Algorithm&) = delete;
  Algorithm& operator=(const Algorithm&) = delete;
};

}  // namespace

bool Pbkdf2HmacSha1(const std::string& password, const uint8_t* salt, size_t saltLength,
                    uint32_t iterations, uint8_t* out, size_t outLength) {
  Algorithm hmac(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
  if (!hmac.handle) return false;
  return BCryptDeriveKeyPBKDF2(hmac.handle,
                               reinterpret_cast<PUCHAR>(const_cast<char*>(password.data())),
                               static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt),
                               static_cast<ULONG>(saltLength), iterations, out,
                               static_cast<ULONG>(outLength), 0) >= 0;
}

struct AesBlockCipher::State {
  Algorithm aes{BCRYPT_AES_ALGORITHM, 0};
  BCRYPT_KEY_HANDLE key = nullptr;
  ~State() {
    if (key) BCryptDestroyKey(key);
  }
};

AesBlockCipher::AesBlockCipher() : state_(new State) {}
AesBlockCipher::~AesBlockCipher() = default;

bool AesBlockCipher::SetKey(const uint8_t* key, size_t length) {
  if (!state_->aes.handle) return false;
  // Electronic code book: the counter blocks are made here, one cipher call per batch.
  const wchar_t* mode = BCRYPT_CHAIN_MODE_ECB;
  if (BCryptSetProperty(state_->aes.handle, BCRYPT_CHAINING_MODE,
                        reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(mode)),
                        static_cast<ULONG>(sizeof(BCRYPT_CHAIN_MODE_ECB)), 0) < 0)
    return false;
  return BCryptGenerateSymmetricKey(state_->aes.handle, &state_->key, nullptr, 0,
                                    const_cast<PUCHAR>(key), static_cast<ULONG>(length), 0) >= 0;
}

void AesBlockCipher::EncryptBlocks(uint8_t* data, size_t blocks) {
  if (!state_->key) return;
  ULONG done = 0;
  ULONG n = static_cast<ULONG>(blocks * 16);
  BCryptEncrypt(state_->key, data, n, nullptr, nullptr, 0, data, n, &done, 0);
}

struct HmacSha1::State {
  Algorithm sha1{BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG};
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
  }
};

HmacSha1::HmacSha1() : state_(new State) {}
HmacSha1::~HmacSha1() = default;

bool HmacSha1::SetKey(const uint8_t* key, size_t length) {
  if (!state_->sha1.handle) return false;
  return BCryptCreateHash(state_->sha1.handle, &state_->hash, nullptr, 0, const_cast<PUCHAR>(key),
                          static_cast<ULONG>(length), 0) >= 0;
}

void HmacSha1::Update(const uint8_t* data, size_t length) {
  if (state_->hash)
    BCryptHashData(state_->hash, const_cast<PUCHAR>(data), static_cast<ULONG>(length), 0);
}

bool HmacSha1::Final(uint8_t digest[kDigestSize]) {
  return state_->hash && BCryptFinishHash(state_->hash, digest, kDigestSize, 0) >= 0;
}

}  // namespace vellumo::unzip
