#include "installer/package/file_list.h"

#include <cstdint>
#include <limits>

#include "installer/package/package_format.h"

namespace hollin {

bool ParseFileListLine(std::string_view line, FileListLine* out) {
  size_t bar = line.find('|');
  if (bar == std::string_view::npos) return false;
  std::string_view rest = line.substr(bar + 1);
  if (rest.size() < 8) return false;
  std::string_view number = rest.substr(8);
  size_t i = 0;
  bool negative = false;
  if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
    negative = number[i] == '-';
    ++i;
  }
  uint64_t value = 0;
  size_t digits = 0;
  for (; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i, ++digits) {
    uint64_t d = static_cast<uint64_t>(number[i] - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - d) / 10) return false;
    value = value * 10 + d;
  }
  if (digits == 0 || (negative && value != 0)) return false;
  out->name = std::string(line.substr(0, bar));
  out->crc_text = std::string(rest.substr(0, 8));
  out->block_length = value;
  return true;
}

std::string FormatFileListLine(const FileListLine& line) {
  return line.name + "|" + line.crc_text + std::to_string(line.block_length);
}

std::vector<std::string> SplitLines(std::string_view text) {
  return SplitLines(text, SIZE_MAX, nullptr);
}

std::vector<std::string> SplitLines(std::string_view text, size_t max_lines, bool* cut) {
  std::vector<std::string> lines;
  if (cut) *cut = false;
  size_t start = 0, i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (lines.size() >= max_lines) {
        if (cut) *cut = true;
        return lines;
      }
      lines.emplace_back(text.substr(start, i - start));
      ++i;
      if (c == '\r' && i < text.size() && text[i] == '\n') ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) {
    if (lines.size() >= max_lines) {
      if (cut) *cut = true;
      return lines;
    }
    lines.emplace_back(text.substr(start));
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::vector<std::string> ReadFileListLines(Stream& package, uint64_t file_list_position,
                                           BlockDecodeResult* decode) {
  BlockDecodeResult result;
  MemoryStream plain;
  if (package.Seek(file_list_position))
    result = ReadLengthPrefixedBlock(package, plain, nullptr, kMaxListTextBytes);
  if (decode) *decode = result;
  const auto& bytes = plain.bytes();
  bool cut = false;
  std::vector<std::string> lines = SplitLines(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), kMaxListLines, &cut);
  if (cut && !result.failed()) ReportDecodeFailure();
  return lines;
}

std::vector<FileBlockLocation> LocateFileBlocks(const std::vector<std::string>& lines,
                                                uint64_t first_block_position, uint64_t* end) {
  std::vector<FileBlockLocation> blocks;
  blocks.reserve(lines.size());
  uint64_t position = first_block_position;
  for (const auto& text : lines) {
    FileBlockLocation block;
    block.parsed = ParseFileListLine(text, &block.line);
    if (!block.parsed) block.line = FileListLine{};
    block.position = position;
    // Saturate: a hostile length must not wrap around to an earlier position.
    uint64_t length = block.line.block_length;
    position = length > UINT64_MAX - position ? UINT64_MAX : position + length;
    blocks.push_back(std::move(block));
  }
  if (end) *end = position;
  return blocks;
}

bool FindFileBlock(const std::vector<std::string>& lines, uint64_t first_block_position,
                   std::string_view name, FileBlockLocation* out) {
  uint64_t position = first_block_position;
  for (const auto& text : lines) {
    FileListLine line;
    bool parsed = ParseFileListLine(text, &line);
    if (parsed && line.name == name) {
      out->line = line;
      out->position = position;
      out->parsed = true;
      return true;
    }
    uint64_t length = parsed ? line.block_length : 0;
    position = length > UINT64_MAX - position ? UINT64_MAX : position + length;
  }
  return false;
}

}  // namespace hollin
