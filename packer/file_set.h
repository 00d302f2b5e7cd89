// The [files] lines turned into the list of files to pack: folders and patterns expanded
// under the root folder, excludes applied, every stored name checked as one set.
#pragma once
#include <string>
#include <vector>

#include "packer/manifest.h"

namespace hollin {

// Single files first, in the order written, then every file that a folder or pattern line
// found, sorted by stored name (byte order), so the same tree gives the same installer on
// any machine. Symbolic links are followed only when they stay inside the root; hidden
// files are found like any other. On failure returns false and "LINE: what is wrong".
bool ExpandFiles(const Manifest& manifest, const std::string& root, std::vector<ManifestFile>* out,
                 std::string* error);

}  // namespace hollin
