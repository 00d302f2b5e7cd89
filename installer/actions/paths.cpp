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

std::string Quoted(std::string_view path) { return "\"" + std::string(path) + "\""; }

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

void RemoveInstalledFolders(InstallPlatform& platform, const std::string& folder,
                            const std::vector<std::string>& names) {
  const std::string base = WithTrailingBackslash(folder);
  std::string previous;
  for (const std::string& name : names) {
    if (!IsContainedName(name)) continue;
    std::string path = base + name;
    for (char& c : path)
      if (c == '/') c = '\\';
    // Names of one folder stand together in the list: its chain is walked once for them.
    std::string chain = FolderPart(path);
    if (ToLowerAscii(chain) == previous) continue;
    previous = ToLowerAscii(chain);
    // Up the name's chain, deepest first. A folder that still holds something stays, and is
    // tried again after the last name below it. Hidden, read-only or archived folders and
    // reparse points (links to elsewhere) stay, as they always have.
    for (size_t at = path.rfind('\\'); at != std::string::npos && at >= base.size(); at = path.rfind('\\', at - 1)) {
      std::string level = path.substr(0, at);
      if (platform.Attributes(level) == kDirectoryAttribute) platform.RemoveFolder(level);  // fails unless empty
      if (at == 0) break;
    }
  }
  platform.RemoveFolder(base);
}

}  // namespace hollin
