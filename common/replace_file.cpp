// POSIX rename replaces atomically; the Windows one is in win/replace_file_win32.cpp.
#if !defined(_WIN32)
#include "common/replace_file.h"

#include <cstdio>

namespace vellumo {

bool MoveFileOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace vellumo
#endif
