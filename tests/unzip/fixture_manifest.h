// Reads the fixture manifest written by make_fixtures.py: one entry per line with its
// archive, listed name, expected bytes (from `unzip -p`) and password.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace vellumo::unzip::test {

inline bool ReadWholeFile(const std::string& path, std::string& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return true;
}

inline std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(char(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

struct FixtureEntry {
  std::string archive;   // file name inside the fixture folder
  std::string name;      // as listed (ANSI, "\" separators)
  std::string expectedFile;
  std::string password;
};

inline std::vector<FixtureEntry> ReadManifest(const std::string& fixtureDir) {
  std::vector<FixtureEntry> rows;
  std::string text;
  if (!ReadWholeFile(fixtureDir + "/manifest.tsv", text)) return rows;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    std::vector<std::string> cols;
    size_t c = 0;
    for (;;) {
      size_t tab = line.find('\t', c);
      cols.push_back(line.substr(c, tab == std::string::npos ? std::string::npos : tab - c));
      if (tab == std::string::npos) break;
      c = tab + 1;
    }
    if (cols.size() != 4) continue;
    rows.push_back({cols[0], FromHex(cols[1]), cols[2], FromHex(cols[3])});
  }
  return rows;
}

}  // namespace vellumo::unzip::test
