#include "common/stored_name.h"

namespace vellumo {
namespace {

unsigned char FoldLetter(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  // Windows-1252 capitals: the file system folds them as well.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;  // S caron
    case 0x8C: return 0x9C;  // OE
    case 0x8E: return 0x9E;  // Z caron
    case 0x9F: return 0xFF;  // Y diaeresis
    default: return c;
  }
}

bool IsDeviceName(std::string_view part) {
  // The system treats these names as devices whatever extension follows.
  std::string base;
  for (char c : part.substr(0, part.find('.'))) base.push_back(static_cast<char>(FoldLetter(c)));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* device : kDevices)
    if (base == device) return true;
  if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0)) {
    unsigned char d = static_cast<unsigned char>(base[3]);
    // Digits, and the superscript one, two and three that the system also takes.
    return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
  }
  return false;
}

const char* PartProblem(std::string_view part) {
  if (part.empty()) return "has an empty part (a leading, trailing or doubled separator)";
  bool only_dots_and_blanks = true;
  for (char c : part) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return "holds a control byte";
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
      return "holds one of < > \" | ? *, which a file name cannot hold";
    if (c != '.' && c != ' ') only_dots_and_blanks = false;
  }
  // Trailing dots and blanks are dropped by the system, so "..." or ". ." would be "..".
  if (only_dots_and_blanks) return "has a part of only dots and blanks, which the system reads as \".\" or \"..\"";
  if (IsDeviceName(part)) return "names a device (CON, PRN, AUX, NUL, COM1, LPT1...)";
  return nullptr;
}

}  // namespace

const char* ContainedNameProblem(std::string_view name) {
  if (name.empty()) return "is empty";
  if (name.find(':') != std::string_view::npos) return "holds \":\" (a drive, stream or device)";
  if (name[0] == '\\' || name[0] == '/') return "is absolute (starts with a separator)";
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("\\/", start);
    const char* problem = PartProblem(name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (problem) return problem;
    if (end == std::string_view::npos) return nullptr;
    start = end + 1;
  }
}

std::string FileSystemKey(std::string_view name) {
  std::string key;
  size_t start = 0;
  for (;;) {
    size_t end = name.find_first_of("\\/", start);
    std::string_view part =
        name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    size_t keep = part.find_last_not_of(". ");
    part = keep == std::string_view::npos ? part.substr(0, 0) : part.substr(0, keep + 1);
    for (char c : part) key.push_back(static_cast<char>(FoldLetter(static_cast<unsigned char>(c))));
    if (end == std::string_view::npos) return key;
    key.push_back('\\');
    start = end + 1;
  }
}

bool StoredNameSet::Add(const std::string& name, const std::string& where, std::string* problem) {
  auto refuse = [&](const std::string& why) {
    *problem = "stored name \"" + name + "\" " + why;
    return false;
  };
  if (const char* why = ContainedNameProblem(name))
    return refuse(std::string(why) + ": it would not be written inside the install folder");
  if (name.size() > kMaxStoredNameLength)
    return refuse("is " + std::to_string(name.size()) + " bytes long; at most " +
                  std::to_string(kMaxStoredNameLength) + " fit");
  const std::string key = FileSystemKey(name);
  const std::string top = key.substr(0, key.find('\\'));
  if (top == kUninstallerName)
    return refuse("takes the name of the uninstaller that the installer writes at the top of "
                  "the install folder");
  auto same = files_.find(key);
  if (same != files_.end()) {
    const Origin& o = same->second;
    if (o.name == name) return refuse("appears twice (" + o.where + " and " + where + ")");
    return refuse("and \"" + o.name + "\" (" + o.where + ") are one file to the system (" +
                  where + "): they differ only in letter case or trailing dots and blanks");
  }
  auto folder = folders_.find(key);
  if (folder != folders_.end())
    return refuse("(" + where + ") is also the folder of \"" + folder->second.name + "\" (" +
                  folder->second.where + ")");
  for (size_t slash = key.find('\\'); slash != std::string::npos; slash = key.find('\\', slash + 1)) {
    auto file = files_.find(key.substr(0, slash));
    if (file != files_.end())
      return refuse("(" + where + ") needs a folder where \"" + file->second.name + "\" (" +
                    file->second.where + ") is a file");
  }
  for (size_t slash = key.find('\\'); slash != std::string::npos; slash = key.find('\\', slash + 1))
    folders_.emplace(key.substr(0, slash), Origin{name, where});
  files_.emplace(key, Origin{name, where});
  return true;
}

}  // namespace vellumo
