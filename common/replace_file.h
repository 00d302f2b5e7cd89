// Moving a finished file over the one it replaces in one step: readers see the old file or
// the new one, never a half-written one, and when the move fails the old file stays.
#pragma once
#include <cstdio>
#include <string>

namespace vellumo {

// Renames `from` to `to`, replacing an existing `to`. False when that cannot be done; `to`
// is then untouched and `from` is still there.
bool MoveFileOver(const std::string& from, const std::string& to);

// Creates a new, empty file of its own in `folder` ("" for the current folder) and opens it
// for writing; its name goes to `path`. nullptr when no file can be made there.
std::FILE* CreateFileIn(const std::string& folder, std::string* path);

}  // namespace vellumo
