#include "viewer/form_logic.h"

#include "viewer/texts.h"

namespace vellumo {

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = line.size();
  auto is_blank = [](char c) { return c == ' ' || c == '\t'; };
  while (i < n) {
    while (i < n && is_blank(line[i])) ++i;
    if (i >= n) break;
    std::string arg;
    bool quoted = false;
    while (i < n && (quoted || !is_blank(line[i]))) {
      if (line[i] == '"') {
        quoted = !quoted;
      } else {
        arg += line[i];
      }
      ++i;
    }
    args.push_back(arg);
  }
  return args;
}

std::string FileExtension(const std::string& path) {
  size_t component = path.find_last_of("\\/:");
  size_t start = component == std::string::npos ? 0 : component + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < start) return std::string();
  return path.substr(dot);
}

bool IsArchiveArgument(const std::string& path) {
  std::string ext = FileExtension(path);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext == ".zip" || ext == ".exe";
}

int PreviousIndex(int selected, int count) {
  if (count <= 0) return -1;
  int index = selected - 1;
  if (index < 0 || index >= count) index = count - 1;
  return index;
}

int NextIndex(int selected, int count) {
  if (count <= 0) return -1;
  int index = selected < 0 ? 0 : selected + 1;
  if (index >= count) index = 0;
  return index;
}

std::string CutPassword(const std::string& text) {
  return text.size() > kMaxPasswordLength ? text.substr(0, kMaxPasswordLength) : text;
}

std::string ListedCaption(const std::string& zip_file_name, bool encrypted) {
  return encrypted ? zip_file_name + texts::kEncryptedSuffix : zip_file_name;
}

}  // namespace vellumo
