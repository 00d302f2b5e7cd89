// Path text helpers of the install and uninstall procedures, and the rule that keeps a name
// from a package inside the folder it is meant for.
#pragma once
#include <string>
#include <string_view>

#include "common/stored_name.h"
#include "installer/actions/install_platform.h"

namespace hollin {

// Appends "\" unless the text already ends with one.
std::string WithTrailingBackslash(std::string path);
// Everything up to and including the last "\" ("" when there is none).
std::string FolderPart(std::string_view path);
// Everything after the last "\" (the whole text when there is none).
std::string FileNamePart(std::string_view path);
// The extension from the last "." of the file-name part, lower-cased ("" when none).
std::string LowerExtension(std::string_view path);
std::string ToLowerAscii(std::string_view text);

// True when `name` names something inside the folder it is appended to: not empty, not
// absolute, no drive, stream or device part, no "." or ".." component (nor one that the
// system would shorten to it, such as ". ." or "..."), no empty component, no wildcard or
// other character a file name cannot hold. The rule is shared with VUnzip.dll and the packer.
using vellumo::IsContainedName;

// Creates a folder the way the installer always has: every prefix ending in a "\" from the
// fourth character on, one level at a time, then the whole text. A drive root such as
// "C:\" creates nothing. Answers whether the folder exists afterwards.
bool CreateFolderLevels(InstallPlatform& platform, const std::string& folder);

// Removes the empty folders below `folder`, innermost first, and `folder` itself when it was
// empty to begin with. Only entries whose attribute word is exactly the directory attribute
// are entered. False when the folder cannot be listed.
bool RemoveEmptyFolders(InstallPlatform& platform, const std::string& folder);

}  // namespace hollin
