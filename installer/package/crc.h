// CRC-32 (zlib's polynomial) over files, installer files from the self-check start, and
// streams, as the 8-character texts that Hollin compares. Failures give kCrcErrorText.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "installer/package/package_format.h"
#include "installer/package/stream.h"

namespace hollin {

// zlib convention: start with state 0; the state after the last update is the CRC itself.
uint32_t Crc32Update(uint32_t state, const void* data, size_t size);

// 8 upper-case hex digits, most significant first, zero-padded ("9E4AEC29").
std::string CrcText(uint32_t crc);

// CRC text of a whole file; kCrcErrorText when it cannot be opened or read.
std::string FileCrcText(const std::string& path);
// CRC text of a file from kSelfCheckStartOffset to its end; kCrcErrorText when it cannot be
// read or is too short to hold the stub fields. This is an unsigned installer's self-check
// value; the self check itself (which leaves a code signature out) is CheckSelfCheckValue in
// package_extent.h.
std::string InstallerCrcText(const std::string& path);
// CRC text of a whole stream (rewound first); kCrcErrorText when a read fails. Reads that
// end before the size said (the file got shorter meanwhile) give the CRC of the bytes read.
std::string StreamCrcText(Stream& stream);
// CRC text of the stream's bytes from `start` to its end (the stream is left at its end).
std::string StreamCrcTextFrom(Stream& stream, uint64_t start);
// Advances `crc` over the stream's bytes [start, end), letting window messages through
// between chunks; stops early when the stream ends before `end`. False when a seek or a
// read fails.
bool StreamCrcUpdate(Stream& stream, uint64_t start, uint64_t end, uint32_t* crc);

}  // namespace hollin
