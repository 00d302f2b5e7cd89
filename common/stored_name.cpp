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

// Whether a part of a name is a device: the system treats these names as devices whatever
// extension follows. In the table "#" stands for a digit, or the superscript one, two or
// three that the system also takes; device names are ASCII, so only ASCII is folded.
bool IsDeviceName(const char* part, size_t size) {
  static const char kDevices[] = "con prn aux nul conin$ conout$ clock$ com# lpt# ";
  size_t stem = 0;
  while (stem < size && part[stem] != '.') ++stem;
  while (stem > 0 && part[stem - 1] == ' ') --stem;
  for (const char* d = kDevices; *d; ++d) {
    size_t i = 0;
    for (; i < stem && d[i] != ' '; ++i) {
      unsigned char c = static_cast<unsigned char>(part[i]) | (part[i] >= 'A' && part[i] <= 'Z' ? 0x20 : 0);
      bool digit = (c >= '0' && c <= '9') || c == 0xB9 || c == 0xB2 || c == 0xB3;
      if (d[i] == '#' ? !digit : c != static_cast<unsigned char>(d[i])) break;
    }
    if (i == stem && d[i] == ' ') return true;
    while (*d != ' ') ++d;
  }
  return false;
}

}  // namespace

NameFault CheckContainedName(std::string_view name) {
  // One pass: each part ends at a separator or at the end of the name.
  const char* text = name.data();
  const size_t size = name.size();
  if (size == 0) return NameFault::kEmpty;
  if (text[0] == '\\' || text[0] == '/') return NameFault::kAbsolute;
  size_t start = 0;
  bool only_dots_and_blanks = true;
  NameFault fault = NameFault::kNone;
  for (size_t i = 0; i <= size; ++i) {
    char c = i < size ? text[i] : '\\';
    unsigned char u = static_cast<unsigned char>(c);
    if (c == ':') return NameFault::kColon;  // a drive, stream or device, wherever it stands
    if (c == '\\' || c == '/') {
      if (fault != NameFault::kNone) continue;  // reported once ':' is ruled out
      if (i == start) fault = NameFault::kEmptyPart;
      // Trailing dots and blanks are dropped by the system, so "..." or ". ." would be "..".
      else if (only_dots_and_blanks) fault = NameFault::kOnlyDots;
      else if (IsDeviceName(text + start, i - start)) fault = NameFault::kDevice;
      start = i + 1;
      only_dots_and_blanks = true;
      continue;
    }
    if (fault != NameFault::kNone) continue;
    if (u < 32 || u == 127) fault = NameFault::kControlByte;
    else if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') fault = NameFault::kBadCharacter;
    else if (c != '.' && c != ' ') only_dots_and_blanks = false;
  }
  return fault;
}

}  // namespace vellumo
