#include "common/stored_name.h"

namespace vellumo {

unsigned char FoldNameLetter(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  // Windows-1252 capitals: the file system folds them as well.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<unsigned char>(c + 16);  // S, OE, Z
  if (c == 0x9F) return 0xFF;  // Y diaeresis
  return c;
}

namespace {

bool IsDeviceName(std::string_view part) {
  // The system treats these names as devices whatever extension follows. "#" stands for a
  // digit, or the superscript one, two or three that the system also takes.
  static const char kDevices[] = "con prn aux nul conin$ conout$ clock$ com# lpt# ";
  size_t stem = part.find('.');
  if (stem == std::string_view::npos) stem = part.size();
  while (stem > 0 && part[stem - 1] == ' ') --stem;
  for (const char* d = kDevices; *d; ++d) {
    size_t i = 0;
    for (; i < stem && d[i] != ' '; ++i) {
      unsigned char c = FoldNameLetter(static_cast<unsigned char>(part[i]));
      bool digit = (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
      if (d[i] == '#' ? !digit : c != static_cast<unsigned char>(d[i])) break;
    }
    if (i == stem && d[i] == ' ') return true;
    while (*d != ' ') ++d;
  }
  return false;
}

NameFault PartFault(std::string_view part) {
  if (part.empty()) return NameFault::kEmptyPart;
  bool only_dots_and_blanks = true;
  for (char c : part) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return NameFault::kControlByte;
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return NameFault::kBadCharacter;
    if (c != '.' && c != ' ') only_dots_and_blanks = false;
  }
  // Trailing dots and blanks are dropped by the system, so "..." or ". ." would be "..".
  if (only_dots_and_blanks) return NameFault::kOnlyDots;
  if (IsDeviceName(part)) return NameFault::kDevice;
  return NameFault::kNone;
}

}  // namespace

NameFault CheckContainedName(std::string_view name) {
  if (name.empty()) return NameFault::kEmpty;
  if (name.find(':') != std::string_view::npos) return NameFault::kColon;
  if (name[0] == '\\' || name[0] == '/') return NameFault::kAbsolute;
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    // Built from the bytes, not substr(): no bounds check that throws with a formatted text.
    NameFault fault = PartFault(std::string_view(name.data() + start, end - start));
    if (fault != NameFault::kNone) return fault;
    if (end == name.size()) return NameFault::kNone;
    start = end + 1;
  }
}

}  // namespace vellumo
