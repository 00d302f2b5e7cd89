// The compression methods the engine knows by number: which it decodes, the name a
// message gives a method it does not, and how much plain data each can make of its
// compressed bytes at most (a claimed size beyond that is impossible, not just unlikely).
#pragma once
#include <cstdint>

namespace vellumo::unzip {

constexpr uint16_t kMethodDeflate64 = 9;
constexpr uint16_t kMethodBzip2 = 12;
constexpr uint16_t kMethodLzma = 14;
constexpr uint16_t kMethodWinZipAes = 99;  // the real method is in the 0x9901 extra field

// Stored, deflate, Deflate64, bzip2, LZMA.
bool IsDecodableMethod(uint16_t method);

// "Deflate64", "PPMd", ...; "method N" for a number without a name.
const char* MethodName(uint16_t method, char (&scratch)[16]);

// The most plain bytes `compressed` bytes of the method can decode to; UINT64_MAX when
// the method is unknown. Stored: the same size. Deflate: 258 bytes per 2 bits after the
// block header (1032x). Deflate64: a length-285 match of 65,538 bytes costs at least 18
// bits (1-bit code, 16 extra bits, 1-bit distance code), 29,128x. LZMA: the range coder's
// least cost per decision (probabilities saturate at 31/2048 from certain, about 0.022
// bits) over the dozen decisions of a 273-byte repeated match gives under 70,000x (its
// encoder reaches 7,000x on zeros); 2^17 leaves room. bzip2: a block of 900,000 run
// symbols, each 4 bytes and a count up to 255, gives 46.6 MB, and such a block costs about
// 40 bytes (headers, tables, a few run-length symbols): about 1.2 million x (1.05 million
// measured on zeros); 2^23 leaves room.
uint64_t MaxPlainSize(uint16_t method, uint64_t compressed);

}  // namespace vellumo::unzip
