// --list: prints an installer's (or uninstaller's) layout with positions relative to its
// package offset, the decoded header strings, the file list and the action records.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace hollin {

// package_offset 0: taken from the stamped constant in the file. Returns false (with a
// message) when the file cannot be read or no package offset can be found.
bool ListInstaller(const std::string& path, uint64_t package_offset, std::FILE* out,
                   std::string* error);

}  // namespace hollin
