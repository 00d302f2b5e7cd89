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
