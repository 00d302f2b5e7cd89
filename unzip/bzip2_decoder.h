// bzip2 (method 12) through the bzip2 library's stream decoder.
#pragma once
#include "unzip/entry_decoder.h"

namespace vellumo::unzip {

DecodeResult DecodeBzip2(ArchiveSource& source, const EntryData& data, EntryDecryptor* decryptor,
                         OutputTarget& target, const ProgressFn& progress);

}  // namespace vellumo::unzip
