// --extract: writes the files of an installer under a folder, each checked against its CRC,
// never outside that folder and never over an existing file unless asked to.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/package/stream.h"

namespace hollin {

// Names of the texts that --with-texts writes beside the files.
constexpr char kLicenceTextName[] = "hollin-licence.txt";
constexpr char kRegisterListName[] = "hollin-register.txt";

struct ExtractOptions {
  std::string to;                   // the folder (created when missing)
  bool force = false;               // replace existing files
  std::vector<std::string> only;    // patterns over stored names; empty: every file
  bool with_texts = false;          // also the licence text and the register list
  uint64_t package_offset = 0;      // 0: the stamped one
};

struct ExtractReport {
  size_t written = 0;
  std::vector<std::string> written_names;
  std::vector<std::string> problems;  // files refused or not written, one line each
};

// False with `error` when nothing can be extracted (not an installer, damaged file list,
// an existing file without `force`, an --only pattern that picks nothing); then nothing was
// written. Otherwise every file is tried; `report` says which were refused and why. `log`
// (when given) gets one line per file written.
bool ExtractInstaller(Stream& file, const std::string& name, const ExtractOptions& options,
                      std::FILE* log, ExtractReport* report, std::string* error);

}  // namespace hollin
