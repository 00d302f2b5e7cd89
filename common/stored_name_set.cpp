// The set-level part of the stored-name rule and the texts of its faults, apart from the
// per-name check so that programs that only check single names (Hollin, VUnzip.dll) do not
// link them.
#include "common/stored_name.h"

namespace vellumo {

const char* ContainedNameProblem(std::string_view name) {
  switch (CheckContainedName(name)) {
    case NameFault::kNone: return nullptr;
    case NameFault::kEmpty: return "is empty";
    case NameFault::kColon: return "holds \":\" (a drive, stream or device)";
    case NameFault::kAbsolute: return "is absolute (starts with a separator)";
    case NameFault::kEmptyPart: return "has an empty part (a leading, trailing or doubled separator)";
    case NameFault::kControlByte: return "holds a control byte";
    case NameFault::kBadCharacter: return "holds one of < > \" | ? *, which a file name cannot hold";
    case NameFault::kOnlyDots:
      return "has a part of only dots and blanks, which the system reads as \".\" or \"..\"";
    case NameFault::kDevice: return "names a device (CON, PRN, AUX, NUL, COM1, LPT1...)";
  }
  return "is refused";
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
    for (char c : part) key.push_back(static_cast<char>(FoldNameLetter(static_cast<unsigned char>(c))));
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
