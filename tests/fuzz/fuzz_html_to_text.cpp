// HTML-to-text methods One and Second over arbitrary bytes. Besides the sanitizers, it checks
// what holds for any input: both passes only shorten the text up to its first NUL, and tag
// removal leaves no "<" behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "installer/ui/html_to_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t limit = input.find('\0');
  if (limit == std::string_view::npos) limit = size;

  std::string one = hollin::ConvertMethodOne(input);
  std::string second = hollin::ConvertMethodSecond(input);
  std::string entities = hollin::DecodeEntities(input);
  if (one.size() > limit || second.size() > one.size() || entities.size() > limit) std::abort();
  if (one.find('<') != std::string::npos) std::abort();
  if (second != hollin::DecodeEntities(one)) std::abort();
  return 0;
}
