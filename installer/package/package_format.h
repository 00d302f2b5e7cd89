// Byte layout of Hollin's appended install package and of the stub fields inside the
// executable's header area. Reader and packer both take every position from here.
#pragma once
#include <cstddef>
#include <cstdint>

namespace hollin {

// Stub fields: absolute file offsets, written by the packer over the DOS stub message.
constexpr uint64_t kStubFieldsOffset = 77;
constexpr uint64_t kTotalUnpackedSizeOffset = 77;  // u32, sum of U over all file blocks
constexpr uint64_t kNoViewOffset = 83;             // u8, 1 = reading mode unavailable
constexpr uint64_t kUninstallerFlagOffset = 84;    // u8, 0 = installer, other = uninstaller
constexpr uint64_t kSelfCheckValueOffset = 85;     // 8 upper-case hex digits
constexpr size_t kSelfCheckValueLength = 8;
constexpr uint64_t kSelfCheckStartOffset = 93;     // first byte covered by the self check
constexpr uint64_t kStubFieldsEnd = 93;

// What the uninstaller carries in the stub fields instead of the installer's values.
constexpr char kUninstallerMarker[] = "vorn2003";  // at kSelfCheckValueOffset, never compared
constexpr uint8_t kUninstallerTotalSizeByte = 1;   // each of the four size bytes
constexpr uint8_t kUninstallerFlagValue = 1;

// Header strings: one length byte, then that many scrambled bytes.
constexpr size_t kMaxHeaderString = 255;

// String scrambling: every header string starts again from the same key.
// key' = ((key + stored byte) * kScrambleMultiplier + kScrambleIncrement) mod 65536
constexpr uint16_t kScrambleStartKey = 0x3A71;
constexpr uint16_t kScrambleMultiplier = 0x9E35;
constexpr uint16_t kScrambleIncrement = 0x4C1B;

// A flag byte means "present" only when it holds exactly this value.
constexpr uint8_t kFlagPresent = 1;

// Program-group record kinds that carry a group (others: no group, nothing follows).
constexpr uint8_t kGroupUnderPrograms = 1;
constexpr uint8_t kGroupUnderStartMenu = 2;

// The reading mode refuses file blocks longer than this.
constexpr uint64_t kReadingSizeLimit = 5242880;

// Bounds on decoded records, far above what a real package holds, so that a crafted size
// field cannot make Hollin build more than it can use: the file list and the register list
// (a million lines, 64 MiB of text), and the licence and a file in the reading mode (the log
// box's character limit). Of those two the log box is given at most 5,000 lines, far above a
// real licence's few hundred: the rich-edit box slows down with every paragraph, and Wine's
// fails with hundreds of thousands of them (see also ShownText).
constexpr size_t kMaxListLines = 1000000;
constexpr uint64_t kMaxListTextBytes = 64u << 20;
constexpr uint64_t kLogTextLimit = 10485760;
constexpr size_t kMaxShownLines = 5000;

// Chunk sizes of the long loops; window messages are let through between chunks.
constexpr size_t kCopyChunkSize = 524288;
constexpr size_t kCrcChunkSize = 1048576;

// Stored blocks hold zlib streams at the maximum level; readers accept any valid stream.
constexpr int kPackCompressionLevel = 9;

// Texts fixed by the format's readers.
constexpr char kCrcErrorText[] = "error000";
constexpr char kDecodeErrorCaption[] = "zlib decompress error";

}  // namespace hollin
