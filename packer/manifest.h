// The packer's manifest: INI-like "key = value" lines in sections, one section per header
// part and per action record (documented in MANIFEST.md).
#pragma once
#include <string>
#include <vector>

#include "installer/package/package_writer.h"

namespace hollin {

struct ManifestFile {
  enum class Kind { kFile, kFolder, kPattern };
  Kind kind = Kind::kFile;
  // kFile: the name in the file list ("\" separators). kFolder, kPattern: the folder the
  // matches are stored under ("" or ending in "\").
  std::string stored_name;
  std::string source;       // path relative to the root folder ("/" separators)
  int line = 0;
};

struct ManifestExclude {
  std::string pattern;      // over paths relative to the root folder
  int line = 0;
};

struct Manifest {
  PackagePlan plan;
  std::string licence_file;  // relative to the root folder; empty: no licence record
  int licence_line = 0;
  std::vector<ManifestFile> files;  // in the order written
  std::vector<ManifestExclude> excludes;
};

// Parses manifest text. On failure returns false and a message "LINE: what is wrong"
// (the caller puts the file name in front).
bool ParseManifest(const std::string& text, Manifest* out, std::string* error);

}  // namespace hollin
