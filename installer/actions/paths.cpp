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
