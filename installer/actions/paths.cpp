#include "installer/actions/paths.h"

#include <vector>

namespace hollin {

std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path.push_back('\\');
  return path;
}

std::string FolderPart(std::string_view path) {
  size_t slash = path.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string FileNamePart(std::string_view path) {
  size_t slash = path.rfind('\\');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ToLowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string LowerExtension(std::string_view path) {
  std::string name = FileNamePart(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : ToLowerAscii(name.substr(dot));
}

namespace {

bool IsDeviceName(std::string_view component) {
  // The system treats these names as devices whatever extension follows.
  std::string base = ToLowerAscii(component.substr(0, component.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"};
  for (const char* device : kDevices)
    if (base == device) return true;
  if (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
      base[3] >= '0' && base[3] <= '9')
    return true;
  return false;
}

bool IsValidComponent(std::string_view component) {
  if (component.empty()) return false;
  bool only_dots_and_blanks = true;
  for (char c : component) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
    if (c != '.' && c != ' ') only_dots_and_blanks = false;
  }
  // Trailing dots and blanks are dropped by the system, so "..." or ". ." would be "..".
  if (only_dots_and_blanks) return false;
  return !IsDeviceName(component);
}

}  // namespace

bool IsContainedName(std::string_view name) {
  if (name.empty()) return false;
  if (name.find(':') != std::string_view::npos) return false;  // drive, stream or device
  size_t start = 0;
  while (true) {
    size_t end = name.find_first_of("\\/", start);
    std::string_view component =
        name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!IsValidComponent(component)) return false;  // also a leading or doubled separator
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

bool CreateFolderLevels(InstallPlatform& platform, const std::string& folder) {
  for (size_t p = 3; p < folder.size(); ++p) {
    if (folder[p] != '\\') continue;
    std::string prefix = folder.substr(0, p + 1);
    if (!platform.FolderExists(prefix)) platform.CreateOneFolder(prefix);
  }
  if (!platform.FolderExists(folder)) platform.CreateOneFolder(folder);
  return platform.FolderExists(folder);
}

bool RemoveEmptyFolders(InstallPlatform& platform, const std::string& folder) {
  std::vector<FolderEntry> entries;
  if (!platform.ListFolder(folder, &entries)) return false;
  const std::string base = WithTrailingBackslash(folder);
  bool empty = true;
  for (const FolderEntry& entry : entries) {
    if (entry.name == "." || entry.name == "..") continue;
    empty = false;
    // Exactly the directory attribute: hidden, read-only, archived folders and reparse
    // points (links to elsewhere) are left alone.
    if (entry.attributes == kDirectoryAttribute) {
      RemoveEmptyFolders(platform, base + entry.name);
      platform.RemoveFolder(base + entry.name);
    }
  }
  if (empty) platform.RemoveFolder(folder);
  return true;
}

}  // namespace hollin
