#include "viewer/browser/page_text.h"

namespace vellumo {

std::string TextForDisplay(const char* data, size_t size) {
  std::string out;
  out.reserve(size + size / 16);
  for (size_t i = 0; i < size; ++i) {
    char c = data[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < size && data[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else if (c == '\0') {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace vellumo
