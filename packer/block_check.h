// Decodes one stored block (u32 U, then a zlib stream) straight from the package, a chunk
// at a time, and says exactly how it differs from a sound one. For --verify and --extract:
// nothing of the size of a file is held in memory.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "installer/package/stream.h"

namespace hollin {

struct BlockCheck {
  bool has_size = false;      // the 4-byte U was there
  uint32_t unpacked = 0;      // U
  uint64_t produced = 0;      // plain bytes the stream gave (at most U are passed on)
  uint32_t crc = 0;           // CRC-32 of the bytes passed on
  bool stream_end = false;    // the zlib stream ended, its check value matching
  bool data_error = false;    // the stream is not valid zlib data
  uint64_t left_over = 0;     // block bytes after the end of the stream
  bool sink_failed = false;   // the receiver refused the data (a write error)
  bool ok() const {
    return has_size && stream_end && !data_error && produced == unpacked && left_over == 0 &&
           !sink_failed;
  }
  // What is wrong, for one line of a report ("" when ok()).
  std::string Problem() const;
};

// Checks the stored block of `length` bytes at `position` (which the caller has found to lie
// inside the stream). `sink`, when given, receives the first U plain bytes in order; it
// returns false to stop.
BlockCheck CheckStoredBlock(Stream& s, uint64_t position, uint64_t length,
                            const std::function<bool(const uint8_t*, size_t)>& sink = nullptr);

}  // namespace hollin
