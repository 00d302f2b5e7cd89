#include "unzip/name_rules.h"

#include <algorithm>

namespace vellumo::unzip {
namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool CharsEqual(char a, char b, const CodePageConverter& converter) {
  if (a == b) return true;
  return converter.EqualIgnoringCase(std::string(1, a), std::string(1, b));
}

}  // namespace

bool IdentityConverter::EqualIgnoringCase(const std::string& a, const std::string& b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(static_cast<unsigned char>(a[i])) != FoldAscii(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool NameIsOem(uint8_t hostSystem, uint8_t versionMadeBy) {
  return hostSystem == 0 || hostSystem == 6 || (hostSystem == 11 && versionMadeBy == 50);
}

std::string ListedName(const CentralEntry& entry, const CodePageConverter& converter) {
  std::string name;
  if (entry.flags & kFlagUtf8) {
    name = converter.Utf8ToAnsi(entry.rawName);
  } else if (NameIsOem(entry.hostSystem, entry.versionMadeBy)) {
    name = entry.rawName;
    for (char& c : name) {
      unsigned char b = static_cast<unsigned char>(c);
      if (b >= 0x80) c = converter.OemByteToAnsi(b);
    }
  } else {
    name = entry.rawName;
  }
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

std::string NormalizedSpec(const std::string& spec) {
  std::string s = spec;
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

bool WildcardMatch(const std::string& pattern, const std::string& name,
                   const CodePageConverter& converter) {
  // Iterative match with one backtrack point: linear in practice, never recursive.
  size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || CharsEqual(pattern[p], name[n], converter))) {
      ++p;
      ++n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace vellumo::unzip
