// The unzip engine behind VUnzip.dll: selects the requested entries, asks for passwords,
// decodes each entry into the caller's block (or into files, or nowhere when testing) and
// reports through events that map one to one onto the library's callback record.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "unzip/archive_source.h"
#include "unzip/name_rules.h"
#include "unzip/unzip_interface.h"

namespace vellumo::unzip {

// One callback: in, the library's values; out, what the caller answered.
struct UnzipEvent {
  int32_t action = 0;     // UnzipAction
  int32_t errorCode = 0;  // error code in, answer flag out
  int32_t size = 0;       // size or count in, count out
  std::string text;       // name or message in, text answer out
};
// Returns false when the caller wants the library to stop.
using EventFn = std::function<bool(UnzipEvent& event)>;

struct UnzipRequest {
  std::string archivePath;          // for messages, and for RunUnzipFile
  std::string password;             // tried first for encrypted entries
  int32_t passwordRequestCount = 0; // how many times the caller may be asked per entry
  std::vector<std::string> specs;   // names ("\" or "/"); none: every entry (not in block mode)
  bool testOnly = false;            // decode and check, write nothing
  bool keepFolderNames = false;     // file mode: recreate the stored folders
  bool overwrite = false;           // file mode: replace existing files
  bool useOutputBlock = false;      // block mode: the first match goes into the block
  uint8_t* outputBlock = nullptr;
  uint64_t outputSize = 0;
  std::string baseFolder;           // file mode: where files go (empty: current folder)
};

// Returns the number of entries written (or tested) completely.
int32_t RunUnzip(ArchiveSource& source, const UnzipRequest& request,
                 const CodePageConverter& converter, const EventFn& events);

// Opens request.archivePath and runs the above.
int32_t RunUnzipFile(const UnzipRequest& request, const CodePageConverter& converter,
                     const EventFn& events);

// A name is safe to write below the base folder: the stored-name rule that the installer and
// the packer share (common/stored_name.h). Separators are "\" (as listed) or "/".
bool IsSafeRelativeName(const std::string& name);

}  // namespace vellumo::unzip
