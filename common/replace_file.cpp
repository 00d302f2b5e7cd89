// POSIX rename replaces atomically; the Windows one is in win/replace_file_win32.cpp.
#if !defined(_WIN32)
#include "common/replace_file.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace vellumo {

bool MoveFileOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

std::FILE* CreateFileIn(const std::string& folder, std::string* path) {
  std::string name = folder + (folder.empty() || folder.back() == '/' ? "" : "/") + "~vuXXXXXX";
  int fd = mkstemp(&name[0]);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    std::remove(name.c_str());
    return nullptr;
  }
  *path = name;
  return f;
}

}  // namespace vellumo
#endif
