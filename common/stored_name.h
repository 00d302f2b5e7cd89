// The one rule for names that come from a package or an archive and become paths below a
// folder: used by the installer (install, uninstall, extract), by VUnzip.dll's file mode and
// by the packer, which refuses at packing time what the others would refuse at install time.
#pragma once
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace vellumo {

// Why `name` cannot name something inside the folder it is appended to, or nullptr when it
// can. Separators are "\" or "/". Refused: an empty name or part (so no leading, trailing or
// doubled separator, no absolute path), ":" (drive, stream or device), control bytes, the
// characters < > " | ? * that a file name cannot hold, a part made only of dots and blanks
// ("." and "..", and "..." or ".. " which the system shortens to them), and device names
// (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, CONIN$, CONOUT$, CLOCK$), whatever
// extension follows.
enum class NameFault { kNone, kEmpty, kColon, kAbsolute, kEmptyPart, kControlByte, kBadCharacter,
                       kOnlyDots, kDevice };
NameFault CheckContainedName(std::string_view name);
inline bool IsContainedName(std::string_view name) { return CheckContainedName(name) == NameFault::kNone; }
// The same as a text for messages ("is absolute (...)"), nullptr when the name is fine. (Kept
// apart from the check, so that programs that only need the answer do not carry the texts.)
const char* ContainedNameProblem(std::string_view name);

// A byte of a name as the file system compares it: ASCII and Windows-1252 capitals folded
// to lower case.
unsigned char FoldNameLetter(unsigned char c);

// The name as the system's file system tells names apart: each part without its trailing
// dots and blanks (which the system drops), letters folded to lower case (ASCII and the
// letters of Windows-1252), "/" as "\".
std::string FileSystemKey(std::string_view name);

// The longest stored name a package takes.
constexpr size_t kMaxStoredNameLength = 255;
// The installer writes its own uninstaller under this name at the top of the install folder.
constexpr char kUninstallerName[] = "uninstall.exe";

// The names of one package, checked as a set: each one must be contained (above), fit in
// kMaxStoredNameLength bytes, and be writable as a file of its own beside all the others:
// no name twice, also not in another letter case; no file where another name needs a
// folder, and no folder where another name is a file; nothing at the top called
// uninstall.exe. `where` says where a name came from ("line 12"); messages quote it.
class StoredNameSet {
 public:
  // False with a message that names the clash when `name` cannot join the set.
  bool Add(const std::string& name, const std::string& where, std::string* problem);

 private:
  struct Origin {
    std::string name;
    std::string where;
  };
  std::map<std::string, Origin> files_;    // by FileSystemKey
  std::map<std::string, Origin> folders_;  // every folder a file needs, by key, first user
};

}  // namespace vellumo
