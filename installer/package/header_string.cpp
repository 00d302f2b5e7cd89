#include "installer/package/header_string.h"

#include "installer/package/package_format.h"
#include "installer/package/scramble.h"

namespace hollin {
namespace {
std::string g_current_header_string;
}

std::string ReadHeaderString(Stream& stream) {
  uint8_t length = 0;
  if (stream.Read(&length, 1) != 1) length = 0;
  char stored[kMaxHeaderString];
  size_t got = 0;
  while (got < length) {
    size_t n = stream.Read(stored + got, length - got);
    if (n == 0) break;
    got += n;
  }
  std::string text = UnscrambleHeaderString(std::string_view(stored, got));
  text.append(length - got, ' ');
  g_current_header_string = text;
  return text;
}

const std::string& CurrentHeaderString() { return g_current_header_string; }

uint8_t ReadFlag(Stream& stream) {
  uint8_t value = 0;
  if (stream.Read(&value, 1) != 1) return 0;
  return value;
}

uint32_t ReadU32(Stream& stream, bool* ok) {
  uint8_t bytes[4];
  size_t got = 0;
  while (got < 4) {
    size_t n = stream.Read(bytes + got, 4 - got);
    if (n == 0) break;
    got += n;
  }
  if (got != 4) {
    if (ok) *ok = false;
    return 0;
  }
  if (ok) *ok = true;
  return uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) | (uint32_t(bytes[2]) << 16) |
         (uint32_t(bytes[3]) << 24);
}

std::string TrimHeaderText(std::string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && static_cast<uint8_t>(text[begin]) <= 32) ++begin;
  while (end > begin && static_cast<uint8_t>(text[end - 1]) <= 32) --end;
  return std::string(text.substr(begin, end - begin));
}

}  // namespace hollin
