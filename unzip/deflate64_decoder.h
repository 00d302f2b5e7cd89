// Deflate64 (method 9): deflate with a 64 KiB window, length code 285 carrying 16 extra
// bits and distance codes 30 and 31. No Debian library decodes it, so the engine has its
// own decoder, bounded like the deflate path: it never writes past the declared size and
// stops at the first malformed code.
#pragma once
#include "unzip/entry_decoder.h"

namespace vellumo::unzip {

DecodeResult DecodeDeflate64(ArchiveSource& source, const EntryData& data,
                             EntryDecryptor* decryptor, OutputTarget& target,
                             const ProgressFn& progress);

}  // namespace vellumo::unzip
