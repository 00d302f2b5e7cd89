// LZMA (method 14) through liblzma's raw LZMA1 decoder. In a ZIP entry the stream is
// preceded by a 2-byte version, a 2-byte properties size and the properties (5 bytes);
// general-purpose bit 1 says an end marker follows the data, else the declared size
// ends it.
#pragma once
#include "unzip/entry_decoder.h"

namespace vellumo::unzip {

DecodeResult DecodeLzma(ArchiveSource& source, const EntryData& data, EntryDecryptor* decryptor,
                        OutputTarget& target, const ProgressFn& progress);

}  // namespace vellumo::unzip
