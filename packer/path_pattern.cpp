#include "packer/path_pattern.h"

#include <algorithm>

namespace hollin {
namespace {

char Fold(char c, bool fold) { return fold && c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// "*" and "?" within one part; one backtrack point, never recursive.
bool MatchPart(const std::string& pattern, const std::string& name, bool fold) {
  size_t p = 0, n = 0, star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || Fold(pattern[p], fold) == Fold(name[n], fold))) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool IsPattern(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

std::vector<std::string> PathParts(std::string_view path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool MatchPath(std::string_view pattern, std::string_view path, bool fold_case) {
  std::vector<std::string> p = PathParts(pattern), n = PathParts(path);
  // matched[j]: the pattern parts so far can end right before path part j.
  std::vector<char> matched(n.size() + 1, 0), next(n.size() + 1, 0);
  matched[0] = 1;
  for (const std::string& part : p) {
    std::fill(next.begin(), next.end(), 0);
    if (part == "**") {
      bool any = false;
      for (size_t j = 0; j <= n.size(); ++j) {
        any = any || matched[j];
        next[j] = any;
      }
    } else {
      for (size_t j = 0; j < n.size(); ++j)
        if (matched[j] && MatchPart(part, n[j], fold_case)) next[j + 1] = 1;
    }
    matched.swap(next);
  }
  return matched[n.size()] != 0;
}

}  // namespace hollin
