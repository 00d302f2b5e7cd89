// How entry names become the names the viewer lists and asks for: the code-page rule
// (OEM names from DOS-like hosts, UTF-8 names when flag bit 11 is set), "\" separators,
// and the case-insensitive comparison. The platform's conversions are injected so the
// rule is tested natively; the Windows layer supplies the real ones.
#pragma once
#include <string>

#include "unzip/zip_directory.h"

namespace vellumo::unzip {

class CodePageConverter {
 public:
  virtual ~CodePageConverter() = default;
  // One OEM byte (0x80 or above) to its ANSI byte.
  virtual char OemByteToAnsi(unsigned char oem) const = 0;
  virtual std::string Utf8ToAnsi(const std::string& utf8) const = 0;
  virtual bool EqualIgnoringCase(const std::string& a, const std::string& b) const = 0;
  // True when, for text made only of printable ASCII (0x20 to 0x7E), both conversions
  // leave the bytes alone and EqualIgnoringCase is exactly A-Z folding byte for byte.
  // The engine then compares such names itself, with no call per entry; everything else
  // still goes through the calls above.
  virtual bool AsciiIsPlain() const { return false; }
};

// No conversion, ASCII case folding: the native default.
class IdentityConverter : public CodePageConverter {
 public:
  char OemByteToAnsi(unsigned char oem) const override { return static_cast<char>(oem); }
  std::string Utf8ToAnsi(const std::string& utf8) const override { return utf8; }
  bool EqualIgnoringCase(const std::string& a, const std::string& b) const override;
  bool AsciiIsPlain() const override { return true; }
};

inline bool IsPlainAscii(unsigned char c) { return c >= 0x20 && c <= 0x7E; }
bool IsPlainAscii(const char* text, size_t length);

// Whether the stored name is in the OEM code page: made on MS-DOS (0), OS/2 HPFS (6), or
// NTFS (11) by version 5.0.
bool NameIsOem(uint8_t hostSystem, uint8_t versionMadeBy);

// The entry's name as listed: converted by the rule above and with "/" turned into "\".
std::string ListedName(const CentralEntry& entry, const CodePageConverter& converter);
// The same for a name in place, into out (its storage reused from call to call).
void ListedNameInto(const CentralEntry& fields, const char* raw, size_t length,
                    const CodePageConverter& converter, std::string& out);

// Matches names against one name as the block mode does (the converter's whole-name
// comparison), with the spec looked at once and plain ASCII names compared in place.
class ExactNameMatcher {
 public:
  ExactNameMatcher(const std::string& spec, const CodePageConverter& converter);
  bool Matches(const CentralEntry& fields, const char* raw, size_t length);

 private:
  const std::string& spec_;
  const CodePageConverter& converter_;
  bool plain_;        // the spec is plain ASCII and the converter says folding is exact
  std::string name_;  // reused for names that need the converter
};

// A specification as given by the caller, with "/" turned into "\" as well.
std::string NormalizedSpec(const std::string& spec);

// "*" and "?" wildcards, case folded by the converter's comparison one character at a time.
bool WildcardMatch(const std::string& pattern, const std::string& name,
                   const CodePageConverter& converter);

}  // namespace vellumo::unzip
