// The C runtime's rename does not replace on Windows; deleting first would lose both files
// when the rename then fails.
#if defined(_WIN32)
#include "common/replace_file.h"

#include <windows.h>

#include <cstdio>

namespace vellumo {

bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::FILE* CreateFileIn(const std::string& folder, std::string* path) {
  // The system picks a name that is free and creates the file in the same step.
  char name[MAX_PATH];
  if (!GetTempFileNameA(folder.empty() ? "." : folder.c_str(), "~vu", 0, name)) return nullptr;
  std::FILE* f = std::fopen(name, "wb");
  if (!f) {
    DeleteFileA(name);
    return nullptr;
  }
  *path = name;
  return f;
}

}  // namespace vellumo
#endif
