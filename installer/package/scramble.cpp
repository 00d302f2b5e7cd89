#include "installer/package/scramble.h"

#include <cstdint>

#include "installer/package/package_format.h"

namespace hollin {
namespace {

uint16_t NextKey(uint16_t key, uint8_t stored) {
  uint32_t next = (uint32_t(key) + stored) * kScrambleMultiplier + kScrambleIncrement;
  return static_cast<uint16_t>(next & 0xFFFF);
}

}  // namespace

std::string UnscrambleHeaderString(std::string_view stored) {
  std::string text(stored.size(), '\0');
  uint16_t key = kScrambleStartKey;
  for (size_t i = 0; i < stored.size(); ++i) {
    uint8_t c = static_cast<uint8_t>(stored[i]);
    text[i] = static_cast<char>(c ^ (key >> 8));
    key = NextKey(key, c);
  }
  return text;
}

std::string ScrambleHeaderString(std::string_view text) {
  std::string stored(text.size(), '\0');
  uint16_t key = kScrambleStartKey;
  for (size_t i = 0; i < text.size(); ++i) {
    uint8_t c = static_cast<uint8_t>(static_cast<uint8_t>(text[i]) ^ (key >> 8));
    stored[i] = static_cast<char>(c);
    key = NextKey(key, c);
  }
  return stored;
}

}  // namespace hollin
