// Path text helpers of the install and uninstall procedures, and the rule that keeps a name
// from a package inside the folder it is meant for.
#pragma once
#include <string>
#include <string_view>
#include <vector>

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
// The path in double quotes, as every path in a command line goes: unquoted, a path with
// blanks ("C:\Program Files\...") would first be tried as "C:\Program.exe".
std::string Quoted(std::string_view path);

// True when `name` names something inside the folder it is appended to: not empty, not
// absolute, no drive, stream or device part, no "." or ".." component (nor one that the
// system would shorten to it, such as ". ." or "..."), no empty component, no wildcard or
// other character a file name cannot hold. The rule is shared with VUnzip.dll and the packer.
using vellumo::IsContainedName;

// Creates a folder the way the installer always has: every prefix ending in a "\" from the
// fourth character on, one level at a time, then the whole text. A drive root such as
// "C:\" creates nothing. Answers whether the folder exists afterwards.
bool CreateFolderLevels(InstallPlatform& platform, const std::string& folder);

// The uninstaller's sweep: removes the folders that the file list's names lead through
// (names relative to `folder`, as the install created them), deepest first, each only when
// it is empty and its attribute word is exactly the directory attribute; then `folder`
// itself when empty. Nothing else is looked at, so an install folder such as a drive root or
// Program Files keeps every folder that was never ours.
void RemoveInstalledFolders(InstallPlatform& platform, const std::string& folder,
                            const std::vector<std::string>& names);

}  // namespace hollin
