#include "packer/file_set.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "common/stored_name.h"
#include "packer/path_pattern.h"

namespace fs = std::filesystem;

namespace hollin {
namespace {

std::string Joined(const std::vector<std::string>& parts, size_t from, size_t to, char separator) {
  std::string out;
  for (size_t i = from; i < to; ++i) out += (i > from ? std::string(1, separator) : "") + parts[i];
  return out;
}

class Walker {
 public:
  explicit Walker(const fs::path& root) : root_(root) {
    std::error_code ec;
    real_root_ = fs::weakly_canonical(root, ec);
  }

  // Every file under `base` (a folder relative to the root), as paths relative to `base`.
  bool Walk(const std::string& base, int line, std::vector<std::string>* out, std::string* error) {
    visited_.clear();
    fs::path start = base.empty() ? root_ : root_ / fs::path(base);
    std::error_code ec;
    if (!fs::is_directory(start, ec)) {
      *error = std::to_string(line) + ": \"" + base + "\" is not a folder under the root";
      return false;
    }
    return Visit(start, "", line, out, error);
  }

 private:
  bool Visit(const fs::path& folder, const std::string& relative, int line,
             std::vector<std::string>* out, std::string* error) {
    std::error_code ec;
    fs::path real = fs::canonical(folder, ec);
    if (ec || !visited_.insert(real.string()).second) return true;  // a loop of links
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
    if (ec) {
      *error = std::to_string(line) + ": cannot read the folder " + folder.string();
      return false;
    }
    for (const fs::directory_entry& entry : entries) {
      std::string name = entry.path().filename().string();
      std::string path = relative.empty() ? name : relative + "/" + name;
      if (entry.is_symlink(ec)) {
        fs::path target = fs::canonical(entry.path(), ec);
        std::string t = target.string(), r = real_root_.string();
        bool inside = !ec && t.compare(0, r.size(), r) == 0 &&
                      (t.size() == r.size() || t[r.size()] == '/' || t[r.size()] == '\\');
        if (!inside) {
          *error = std::to_string(line) + ": the link " + entry.path().string() +
                   " leads out of the root folder (or nowhere)";
          return false;
        }
      }
      if (entry.is_directory(ec)) {
        if (!Visit(entry.path(), path, line, out, error)) return false;
      } else if (entry.is_regular_file(ec)) {
        out->push_back(path);
      }
    }
    return true;
  }

  fs::path root_, real_root_;
  std::set<std::string> visited_;
};

}  // namespace

bool ExpandFiles(const Manifest& manifest, const std::string& root, std::vector<ManifestFile>* out,
                 std::string* error) {
  out->clear();
  std::vector<ManifestFile> found;
  Walker walker(root.empty() ? fs::path(".") : fs::path(root));
  for (const ManifestFile& f : manifest.files) {
    if (f.kind == ManifestFile::Kind::kFile) {
      out->push_back(f);
      continue;
    }
    // The folder to walk: the source itself, or the parts of a pattern before the first
    // wildcard; the rest of a pattern is matched against what is found below it.
    std::vector<std::string> parts = PathParts(f.source);
    size_t fixed = 0;
    if (f.kind == ManifestFile::Kind::kPattern)
      while (fixed < parts.size() && !IsPattern(parts[fixed])) ++fixed;
    else
      fixed = parts.size();
    std::string base = Joined(parts, 0, fixed, '/');
    std::string rest = Joined(parts, fixed, parts.size(), '/');
    std::vector<std::string> files;
    if (!walker.Walk(base, f.line, &files, error)) return false;
    size_t before = found.size();
    for (const std::string& relative : files) {
      if (!rest.empty() && !MatchPath(rest, relative)) continue;
      std::string source = base.empty() ? relative : base + "/" + relative;
      bool excluded = false;
      for (const ManifestExclude& x : manifest.excludes) excluded = excluded || MatchPath(x.pattern, source);
      if (excluded) continue;
      ManifestFile match;
      match.source = source;
      match.stored_name = f.stored_name + relative;
      std::replace(match.stored_name.begin(), match.stored_name.end(), '/', '\\');
      match.line = f.line;
      found.push_back(match);
    }
    if (found.size() == before) {
      *error = std::to_string(f.line) + ": \"" + f.source + (f.kind == ManifestFile::Kind::kFolder ? "/" : "") +
               "\" matches no file";
      return false;
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const ManifestFile& a, const ManifestFile& b) {
    return a.stored_name < b.stored_name;
  });
  const size_t singles = out->size();
  out->insert(out->end(), found.begin(), found.end());
  vellumo::StoredNameSet names;
  for (size_t k = 0; k < out->size(); ++k) {
    const ManifestFile& f = (*out)[k];
    std::string where = "line " + std::to_string(f.line);
    if (k >= singles) where += ", " + f.source;
    std::string problem;
    if (!names.Add(f.stored_name, where, &problem)) {
      *error = std::to_string(f.line) + ": " + problem;
      return false;
    }
  }
  return true;
}

}  // namespace hollin
