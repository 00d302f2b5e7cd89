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
};

// No conversion, ASCII case folding: the native default.
class IdentityConverter : public CodePageConverter {
 public:
  char OemByteToAnsi(unsigned char oem) const override { return static_cast<char>(oem); }
  std::string Utf8ToAnsi(const std::string& utf8) const override { return utf8; }
  bool EqualIgnoringCase(const std::string& a, const std::string& b) const override;
};

// Whether the stored name is in the OEM code page: made on MS-DOS (0), OS/2 HPFS (6), or
// NTFS (11) by version 5.0.
bool NameIsOem(uint8_t hostSystem, uint8_t versionMadeBy);

// The entry's name as listed: converted by the rule above and with "/" turned into "\".
std::string ListedName(const CentralEntry& entry, const CodePageConverter& converter);

// A specification as given by the caller, with "/" turned into "\" as well.
std::string NormalizedSpec(const std::string& spec);

// "*" and "?" wildcards, case folded by the converter's comparison one character at a time.
bool WildcardMatch(const std::string& pattern, const std::string& name,
                   const CodePageConverter& converter);

}  // namespace vellumo::unzip
