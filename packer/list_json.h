// --list --json: the layout --list prints, as one JSON document for build scripts
// (documented in MANIFEST.md).
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace hollin {

bool ListInstallerJson(const std::string& path, uint64_t package_offset, std::FILE* out,
                       std::string* error);

}  // namespace hollin
