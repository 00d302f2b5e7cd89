// The uninstaller is a copy of the installer with another tail: the installer's bytes up to
// the header end, the plain file list, the action records from the autorun record on, and
// the stub fields set to the uninstaller's values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "installer/package/stream.h"

namespace hollin {

// Builds the image from the installer's own file. `autorun_position` is where action record
// 3 starts. False (image incomplete) when the installer's bytes cannot all be read or the
// image is too short to hold the stub fields.
bool BuildUninstallerImage(Stream& installer, uint64_t header_end,
                           const std::vector<std::string>& file_list, uint64_t autorun_position,
                           MemoryStream* image);

}  // namespace hollin
