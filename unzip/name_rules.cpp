#include "unzip/name_rules.h"

#include <algorithm>

namespace vellumo::unzip {
namespace {

unsigned char FoldAscii(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

bool CharsEqual(char a, char b, const CodePageConverter& converter) {
  if (a == b) return true;
  unsigned char ua = static_cast<unsigned char>(a), ub = static_cast<unsigned char>(b);
  if (IsPlainAscii(ua) && IsPlainAscii(ub) && converter.AsciiIsPlain())
    return FoldAscii(ua) == FoldAscii(ub);
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

bool IsPlainAscii(const char* text, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (!IsPlainAscii(static_cast<unsigned char>(text[i]))) return false;
  return true;
}

std::string ListedName(const CentralEntry& entry, const CodePageConverter& converter) {
  std::string name;
  ListedNameInto(entry, entry.rawName.data(), entry.rawName.size(), converter, name);
  return name;
}

void ListedNameInto(const CentralEntry& fields, const char* raw, size_t length,
                    const CodePageConverter& converter, std::string& out) {
  bool utf8 = fields.flags & kFlagUtf8;
  // Plain ASCII reads the same in UTF-8 as in the ANSI page: no conversion then.
  if (utf8 && !(converter.AsciiIsPlain() && IsPlainAscii(raw, length))) {
    out = converter.Utf8ToAnsi(std::string(raw, length));
  } else if (!utf8 && NameIsOem(fields.hostSystem, fields.versionMadeBy)) {
    out.assign(raw, length);
    for (char& c : out) {
      unsigned char b = static_cast<unsigned char>(c);
      if (b >= 0x80) c = converter.OemByteToAnsi(b);
    }
  } else {
    out.assign(raw, length);
  }
  std::replace(out.begin(), out.end(), '/', '\\');
}

ExactNameMatcher::ExactNameMatcher(const std::string& spec, const CodePageConverter& converter)
    : spec_(spec),
      converter_(converter),
      plain_(converter.AsciiIsPlain() && IsPlainAscii(spec.data(), spec.size())) {}

bool ExactNameMatcher::Matches(const CentralEntry& fields, const char* raw, size_t length) {
  if (plain_ && IsPlainAscii(raw, length)) {
    // Listed as stored but for "/" as "\\", so compared in place.
    if (length != spec_.size()) return false;
    for (size_t i = 0; i < length; ++i) {
      unsigned char c = static_cast<unsigned char>(raw[i]);
      if (c == '/') c = '\\';
      if (FoldAscii(c) != FoldAscii(static_cast<unsigned char>(spec_[i]))) return false;
    }
    return true;
  }
  ListedNameInto(fields, raw, length, converter_, name_);
  return converter_.EqualIgnoringCase(name_, spec_);
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
