// What the entry decoder needs of a decryption: the next bytes of the entry's stored data,
// decrypted in place, in order.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vellumo::unzip {

class EntryDecryptor {
 public:
  virtual ~EntryDecryptor() = default;
  virtual void Decrypt(uint8_t* data, size_t length) = 0;
};

}  // namespace vellumo::unzip
