// HTML-to-text methods One and Second over arbitrary bytes, and what the log box is then
// given of the text. Besides the sanitizers, it checks what holds for any input: both passes
// only shorten the text up to its first NUL, tag removal leaves no "<" behind, and the shown
// text has short lines and is the text's beginning with line ends added, in a single-byte
// and in a two-byte code page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "installer/ui/html_to_text.h"
#include "installer/ui/shown_text.h"

namespace {

std::string WithoutLineEnds(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

void CheckShown(std::string_view text, const uint8_t* lead_bytes) {
  const std::string_view mark = "<cut>";
  std::string shown = hollin::ShownText(text, lead_bytes, mark);
  if (shown.size() >= mark.size() && shown.compare(shown.size() - mark.size(), mark.size(), mark) == 0)
    shown.resize(shown.size() - mark.size());
  if (shown.size() > hollin::kMaxShownChars) std::abort();
  size_t line = 0;
  for (char c : shown) {
    line = (c == '\r' || c == '\n') ? 0 : line + 1;
    if (line > hollin::kMaxShownLineChars) std::abort();
  }
  const std::string kept = WithoutLineEnds(shown), all = WithoutLineEnds(text);
  if (all.compare(0, kept.size(), kept) != 0) std::abort();
}

}  // namespace

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

  static uint8_t lead_bytes[256];
  for (int b = 0x81; b <= 0xFE; ++b) lead_bytes[b] = 1;
  CheckShown(input, nullptr);
  CheckShown(input, lead_bytes);
  CheckShown(one, nullptr);
  return 0;
}
