#include "viewer/page/page_links.h"

#include <vector>

namespace vellumo {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "name:" at the start, as in "http:" or "mailto:" (a single letter counts too: "C:" is a
// drive, which is outside the archive as well).
bool HasScheme(const std::string& href) {
  if (href.empty() || !IsLetter(href[0])) return false;
  for (char c : href) {
    if (c == ':') return true;
    if (!(IsLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')) return false;
  }
  return false;
}

}  // namespace

std::string PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && text.size() - i > 2) {
      const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

LinkTarget ResolveLink(const std::string& current, const std::string& raw) {
  LinkTarget target;
  size_t b = 0, e = raw.size();
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; };
  while (b < e && blank(raw[b])) ++b;
  while (e > b && blank(raw[e - 1])) --e;
  std::string href = raw.substr(b, e - b);
  if (HasScheme(href)) return target;
  if (href.size() >= 2 && (href[0] == '/' || href[0] == '\\') && (href[1] == '/' || href[1] == '\\'))
    return target;
  std::string path = href;
  const size_t hash = path.find('#');
  if (hash != std::string::npos) {
    target.fragment = PercentDecode(path.substr(hash + 1));
    path.resize(hash);
  }
  const size_t query = path.find('?');
  if (query != std::string::npos) path.resize(query);
  if (path.empty()) {
    target.kind = LinkKind::SamePage;
    return target;
  }
  path = PercentDecode(path);
  std::vector<std::string> parts;
  auto split_into = [&parts](const std::string& text) {
    std::string part;
    for (size_t i = 0; i <= text.size(); ++i) {
      if (i == text.size() || text[i] == '/' || text[i] == '\\') {
        if (part == "..") {
          if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
          parts.push_back(part);
        }
        part.clear();
      } else {
        part += text[i];
      }
    }
  };
  if (path[0] != '/' && path[0] != '\\') {
    const size_t slash = current.find_last_of("/\\");
    if (slash != std::string::npos) split_into(current.substr(0, slash));
  }
  split_into(path);
  if (parts.empty()) return target;  // "/" or "..": the root is no entry
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) target.path += '\\';
    target.path += parts[i];
  }
  target.kind = LinkKind::Entry;
  return target;
}

}  // namespace vellumo
