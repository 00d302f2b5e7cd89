// The three small reads every package record is made of. They never fail loudly: bytes
// missing at the end of the file read as spaces (strings) or 0 (flags), as the format says.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "installer/package/stream.h"

namespace hollin {

// Reads a length byte L and L stored bytes and returns the L unscrambled text bytes.
// Stored bytes missing past the end of the stream come out as spaces; a missing length
// byte reads as 0. The result is also kept as the current header string.
std::string ReadHeaderString(Stream& stream);
// The text of the last ReadHeaderString (start-up's colour and caption code reads it).
const std::string& CurrentHeaderString();

// One flag or value byte; 0 when the stream has no byte left.
uint8_t ReadFlag(Stream& stream);
// True when a flag byte means "present" (exactly 1).
inline bool FlagIsSet(uint8_t flag) { return flag == 1; }

// A little-endian u32; *ok (when given) is false and the result 0 when fewer than 4 bytes come.
uint32_t ReadU32(Stream& stream, bool* ok);

// Removes leading and trailing bytes of value 32 or less.
std::string TrimHeaderText(std::string_view text);

}  // namespace hollin
