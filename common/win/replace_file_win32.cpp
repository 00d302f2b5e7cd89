// The C runtime's rename does not replace on Windows; deleting first would lose both files
// when the rename then fails.
#if defined(_WIN32)
#include "common/replace_file.h"

#include <windows.h>

namespace vellumo {

bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace vellumo
#endif
