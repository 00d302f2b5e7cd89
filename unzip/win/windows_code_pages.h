// The platform's conversions for the name rule: OEM to ANSI byte by byte, UTF-8 to ANSI
// through UTF-16, and the ANSI case-insensitive comparison the viewer's list uses.
#pragma once
#include "unzip/name_rules.h"

namespace vellumo::unzip::win {

class WindowsCodePages : public CodePageConverter {
 public:
  WindowsCodePages();
  char OemByteToAnsi(unsigned char oem) const override;
  std::string Utf8ToAnsi(const std::string& utf8) const override;
  bool EqualIgnoringCase(const std::string& a, const std::string& b) const override;
  bool AsciiIsPlain() const override { return asciiIsPlain_; }

 private:
  bool asciiIsPlain_;  // from the user's sort order, looked at once
};

}  // namespace vellumo::unzip::win
