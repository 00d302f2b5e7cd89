// The file list: CR LF text lines "name|CRC8length", one per file block, in block order.
// It is the only index of the file blocks.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "installer/package/block.h"
#include "installer/package/stream.h"

namespace hollin {

struct FileListLine {
  std::string name;      // path to create under the install folder ("\" separators)
  std::string crc_text;  // exactly the 8 characters after "|", compared as text
  uint64_t block_length = 0;  // 4 + length of the zlib stream
};

// Splits at the first "|"; takes the next 8 characters as the CRC text and the decimal
// number after them (optional sign, digits up to the first non-digit) as the block length.
// False for a line without "|", with fewer than 8 CRC characters, without digits, with a
// negative length or one that does not fit in 64 bits.
bool ParseFileListLine(std::string_view line, FileListLine* out);

// "name|CRC8length" as the packer writes it (no line end).
std::string FormatFileListLine(const FileListLine& line);

// Splits text into lines the way a text-list loader does: CR LF, a bare CR or a bare LF
// each end a line; a last line without an ending still counts; no line after a final end.
std::vector<std::string> SplitLines(std::string_view text);
// The same, keeping at most `max_lines` lines; `cut` (when given) tells whether more followed.
std::vector<std::string> SplitLines(std::string_view text, size_t max_lines, bool* cut);
// Lines joined, each followed by CR LF (the last one too).
std::string JoinLines(const std::vector<std::string>& lines);

// Reads the file list block at `file_list_position` (u32 N, then N bytes holding a stored
// block, cut to what the file holds) and returns its lines. The stream is left at the first
// file block. `decode` (when given) receives the block decoding result. The text is
// bounded by kMaxListTextBytes and kMaxListLines; a list cut to them is reported like a
// failed decode.
std::vector<std::string> ReadFileListLines(Stream& package, uint64_t file_list_position,
                                           BlockDecodeResult* decode = nullptr);

struct FileBlockLocation {
  FileListLine line;
  uint64_t position = 0;  // absolute position of the block in the package stream
  bool parsed = false;    // false: the line is malformed; its length counts as 0
};

// Positions of every block: block i starts at first_block_position plus the lengths of
// lines 0..i-1. `end` (when given) receives the position after the last block, where the
// action records start.
std::vector<FileBlockLocation> LocateFileBlocks(const std::vector<std::string>& lines,
                                                uint64_t first_block_position,
                                                uint64_t* end = nullptr);

// Finds a file by exact, case-sensitive name; false when no line names it.
bool FindFileBlock(const std::vector<std::string>& lines, uint64_t first_block_position,
                   std::string_view name, FileBlockLocation* out);

}  // namespace hollin
