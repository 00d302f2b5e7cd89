#include "installer/ui/html_to_text.h"

#include <cstring>

namespace hollin {
namespace {

std::string_view UpToNul(std::string_view text) {
  size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the `length` characters at `at` equal `name` (lower case) after ASCII
// lower-casing.
bool NameIs(std::string_view text, size_t at, const char* name) {
  size_t length = std::strlen(name);
  for (size_t k = 0; k < length; ++k) {
    if (Lower(text[at + k]) != name[k]) return false;
  }
  return true;
}

}  // namespace

std::string ConvertMethodOne(std::string_view input) {
  std::string_view text = UpToNul(input);
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '<') {
      out += text[i++];
      continue;
    }
    size_t close = text.find('>', i + 1);
    out += '\r';
    if (close == std::string_view::npos) break;
    i = close + 1;
  }
  return out;
}

std::string DecodeEntities(std::string_view input) {
  std::string_view text = UpToNul(input);
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    // The characters after "&" are taken one step at a time; running out of text while
    // taking them drops the "&" and what was taken, and ends the pass.
    size_t left = n - i - 1;
    if (left < 1) break;
    if (std::strchr("clgqan", Lower(text[i + 1])) == nullptr) {
      out.append(text.substr(i, 2));
      i += 2;
      continue;
    }
    if (left < 3) break;
    if (NameIs(text, i + 1, "lt;")) { out += '<'; i += 4; continue; }
    if (NameIs(text, i + 1, "gt;")) { out += '>'; i += 4; continue; }
    if (left < 4) break;
    if (NameIs(text, i + 1, "amp;")) { out += '&'; i += 5; continue; }
    if (left < 5) break;
    if (NameIs(text, i + 1, "copy;")) {
      out += '@';
    } else if (NameIs(text, i + 1, "quot;")) {
      out += "''";
    } else if (NameIs(text, i + 1, "nbsp;")) {
      out += ' ';
    } else {
      out.append(text.substr(i, 6));
    }
    i += 6;
  }
  return out;
}

std::string ConvertMethodSecond(std::string_view text) {
  return DecodeEntities(ConvertMethodOne(text));
}

}  // namespace hollin
