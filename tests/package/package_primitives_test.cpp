// CRC texts, header string scrambling and reading, block decoding and the file list, checked
// against zlib and against hostile inputs (short, corrupt, oversized fields).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>
#ifdef _WIN32
#include <direct.h>
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "installer/package/block.h"
#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/header_string.h"
#include "installer/package/message_pump.h"
#include "installer/package/package_format.h"
#include "installer/package/package_writer.h"
#include "installer/package/scramble.h"

namespace hollin {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string RandomText(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

std::string TempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
#ifdef _WIN32
  if (!dir) dir = std::getenv("TEMP");
#endif
  std::string base = dir ? dir : "/tmp";
  return base + "/hollin_pkg_" + name;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

std::string ZlibCrcText(const std::string& s) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X",
                static_cast<unsigned>(crc32(0, reinterpret_cast<const Bytef*>(s.data()),
                                            static_cast<uInt>(s.size()))));
  return text;
}

TEST(Crc, TextsMatchZlibForFilesStreamsAndInstallerTail) {
  struct Case {
    const char* name;
    std::string content;
  };
  const Case cases[] = {
      {"empty", ""},
      {"one byte", "a"},
      {"check string", "123456789"},
      {"several chunks", RandomText(kCrcChunkSize * 2 + 17, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = TempPath("crc.bin");
    WriteFile(path, c.content);
    EXPECT_EQ(FileCrcText(path), ZlibCrcText(c.content));
    MemoryStream stream(Bytes(c.content));
    stream.Seek(c.content.size());  // the stream CRC rewinds first
    EXPECT_EQ(StreamCrcText(stream), ZlibCrcText(c.content));
    if (c.content.size() >= kSelfCheckStartOffset) {
      EXPECT_EQ(InstallerCrcText(path), ZlibCrcText(c.content.substr(kSelfCheckStartOffset)));
    } else {
      EXPECT_EQ(InstallerCrcText(path), kCrcErrorText);
    }
    std::remove(path.c_str());
  }
  EXPECT_EQ(CrcText(0xCBF43926u), "CBF43926");
  EXPECT_EQ(CrcText(0x0000ABCDu), "0000ABCD");
  EXPECT_EQ(FileCrcText(TempPath("no-such-file")), "error000");
  EXPECT_EQ(InstallerCrcText(TempPath("no-such-file")), "error000");
}

// A stream whose reads stop early although its size says more is there: a file that got
// shorter while it was read.
class ShortStream : public MemoryStream {
 public:
  using MemoryStream::MemoryStream;
  uint64_t Size() const override { return MemoryStream::Size() + 100; }
};

// A stream whose reads fail, like a file on a vanished network share.
class FailingStream : public Stream {
 public:
  size_t Read(void*, size_t) override {
    read_failed_ = true;
    return 0;
  }
  size_t Write(const void*, size_t) override { return 0; }
  bool Seek(uint64_t) override { return true; }
  uint64_t Position() const override { return 0; }
  uint64_t Size() const override { return 3; }
};

std::string g_truncate_path;
uint64_t g_truncate_to = 0;
int g_truncate_pumps = 0;
// Cuts the file short once the first chunk has been read.
void TruncateOnSecondPump() {
  if (++g_truncate_pumps != 2) return;
  std::FILE* f = std::fopen(g_truncate_path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
#ifdef _WIN32
  ASSERT_EQ(_chsize_s(_fileno(f), static_cast<__int64>(g_truncate_to)), 0);
#else
  ASSERT_EQ(ftruncate(fileno(f), static_cast<off_t>(g_truncate_to)), 0);
#endif
  std::fclose(f);
}

TEST(Crc, ReadThatEndsEarlyGivesTheCrcOfTheBytesRead) {
  ShortStream short_stream(Bytes("abc"));
  EXPECT_EQ(StreamCrcText(short_stream), ZlibCrcText("abc"));
  uint32_t crc = 0;
  EXPECT_TRUE(StreamCrcUpdate(short_stream, 1, short_stream.Size(), &crc));
  EXPECT_EQ(CrcText(crc), ZlibCrcText("bc"));

  FailingStream failing;
  EXPECT_EQ(StreamCrcText(failing), kCrcErrorText);
  // A folder opens on some systems but cannot be read: a failure, not the CRC of nothing.
  std::string folder = TempPath("crc-folder");
#ifdef _WIN32
  _mkdir(folder.c_str());
#else
  mkdir(folder.c_str(), 0700);
#endif
  EXPECT_EQ(FileCrcText(folder), kCrcErrorText);
  EXPECT_EQ(InstallerCrcText(folder), kCrcErrorText);
  rmdir(folder.c_str());

  // A real file cut short between chunks, read through a file stream.
  std::string content = RandomText(kCrcChunkSize * 3, 3);
  for (bool installer : {false, true}) {
    SCOPED_TRACE(installer ? "installer CRC" : "file CRC");
    g_truncate_path = TempPath("shrinking.bin");
    WriteFile(g_truncate_path, content);
    g_truncate_pumps = 0;
    uint64_t start = installer ? kSelfCheckStartOffset : 0;
    g_truncate_to = start + kCrcChunkSize;
    SetMessagePump(TruncateOnSecondPump);
    std::string text = installer ? InstallerCrcText(g_truncate_path) : FileCrcText(g_truncate_path);
    SetMessagePump(nullptr);
    EXPECT_EQ(text, ZlibCrcText(content.substr(start, kCrcChunkSize)));
    std::remove(g_truncate_path.c_str());
  }
}

int g_pumps = 0;
void CountPump() { ++g_pumps; }

TEST(Crc, LetsMessagesThroughBetweenChunks) {
  g_pumps = 0;
  SetMessagePump(CountPump);
  MemoryStream s(Bytes(RandomText(kCrcChunkSize * 3, 2)));
  StreamCrcText(s);
  SetMessagePump(nullptr);
  EXPECT_GE(g_pumps, 3);
}

TEST(Scramble, RoundTripsAndHidesText) {
  const std::string texts[] = {"", "a", "Vellumo", std::string(255, 'x'), RandomText(255, 3),
                               std::string("\0\x01\xff", 3)};
  for (const auto& t : texts) {
    std::string stored = ScrambleHeaderString(t);
    EXPECT_EQ(stored.size(), t.size());
    EXPECT_EQ(UnscrambleHeaderString(stored), t);
    if (t.size() > 3) {
      EXPECT_NE(stored, t);
    }
  }
  // Every string starts from the same key: equal texts, equal stored bytes; the key runs
  // on, so a repeated letter is not stored the same way twice.
  EXPECT_EQ(ScrambleHeaderString("program"), ScrambleHeaderString("program"));
  std::string stored = ScrambleHeaderString("aaaa");
  EXPECT_FALSE(stored[0] == stored[1] && stored[1] == stored[2] && stored[2] == stored[3]);
}

std::string HeaderStringBytes(const std::string& text) {
  std::string out(1, static_cast<char>(text.size()));
  return out + ScrambleHeaderString(text);
}

TEST(HeaderString, ReadsLengthAndTextAndPadsMissingBytesWithSpaces) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
    uint64_t end_position;
  };
  std::string longest(255, 'L');
  const Case cases[] = {
      {"empty", HeaderStringBytes(""), "", 1},
      {"short", HeaderStringBytes("clWhite"), "clWhite", 8},
      {"longest", HeaderStringBytes(longest), longest, 256},
      {"no length byte", "", "", 0},
      {"cut after 2 of 5", HeaderStringBytes("abcde").substr(0, 3), "ab   ", 3},
      {"only the length", HeaderStringBytes("abcde").substr(0, 1), "     ", 1},
      {"followed by more", HeaderStringBytes("ab") + "zz", "ab", 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStream s(Bytes(c.bytes));
    EXPECT_EQ(ReadHeaderString(s), c.text);
    EXPECT_EQ(CurrentHeaderString(), c.text);
    EXPECT_EQ(s.Position(), c.end_position);
  }
}

TEST(HeaderString, FlagsU32AndTrim) {
  MemoryStream s(Bytes(std::string("\x01\x02", 2)));
  EXPECT_EQ(ReadFlag(s), 1);
  EXPECT_EQ(ReadFlag(s), 2);
  EXPECT_EQ(ReadFlag(s), 0);  // missing byte
  EXPECT_TRUE(FlagIsSet(1));
  EXPECT_FALSE(FlagIsSet(2));
  EXPECT_FALSE(FlagIsSet(0xFF));

  bool ok = false;
  MemoryStream u(Bytes(std::string("\x78\x56\x34\x12\x01\x02", 6)));
  EXPECT_EQ(ReadU32(u, &ok), 0x12345678u);
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadU32(u, &ok), 0u);
  EXPECT_FALSE(ok);

  const std::pair<std::string, std::string> trims[] = {
      {"", ""}, {"   ", ""}, {" a b ", "a b"}, {"\t\r\nApp\x01", "App"},
      {std::string("\0x\0", 3), "x"}, {"\x80z\xff", "\x80z\xff"}};
  for (const auto& t : trims) EXPECT_EQ(TrimHeaderText(t.first), t.second);
}

std::string ZlibStream(const std::string& data, int level = 9) {
  uLongf n = compressBound(static_cast<uLong>(data.size()));
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(&out[0]), &n, reinterpret_cast<const Bytef*>(data.data()),
            static_cast<uLong>(data.size()), level);
  out.resize(n);
  return out;
}

std::string U32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

int g_failures = 0;
void CountFailure() { ++g_failures; }

TEST(BlockDecoding, ExactShortLongCorruptAndTruncatedBlocks) {
  const std::string plain = RandomText(3000, 4) + std::string(200000, 'z');
  const std::string stream = ZlibStream(plain);
  std::string corrupt = stream;
  corrupt[corrupt.size() / 2] ^= 0x55;
  struct Case {
    const char* name;
    std::string block;
    bool has_size;
    bool complete;
    std::string output;
    int failures;  // decode-failure handler calls
  };
  const Case cases[] = {
      {"exact", U32(plain.size()) + stream, true, true, plain, 0},
      {"inflates to more than U: cut, no message", U32(1000) + stream, true, true,
       plain.substr(0, 1000), 0},
      {"U larger than the data", U32(plain.size() + 5) + stream, true, false, plain, 1},
      {"U zero", U32(0) + stream, true, true, "", 0},
      {"empty content", U32(0) + ZlibStream(""), true, true, "", 0},
      {"truncated stream", U32(plain.size()) + stream.substr(0, stream.size() / 3), true, false,
       "", 1},
      {"corrupt stream", U32(plain.size()) + corrupt, true, false, "", 1},
      {"not zlib at all", U32(10) + "hello world", true, false, "", 1},
      {"only the size", U32(10), true, false, "", 1},
      {"shorter than the size", "\x05\x00", false, false, "", 0},
      {"nothing", "", false, false, "", 0},
      {"huge U from a tiny block", U32(0xFFFFFFFFu) + ZlibStream("tiny"), true, false, "tiny", 1},
  };
  SetDecodeFailureHandler(CountFailure);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_failures = 0;
    MemoryStream source(Bytes(c.block));
    MemoryStream dest;
    BlockDecodeResult r = DecodeBlock(source, dest);
    EXPECT_EQ(r.has_size, c.has_size);
    EXPECT_EQ(r.complete, c.complete);
    EXPECT_EQ(dest.Position(), 0u);
    EXPECT_EQ(r.produced, dest.Size());
    EXPECT_EQ(g_failures, c.failures);
    if (c.complete || c.output.size() > 0) {
      std::string out(dest.bytes().begin(), dest.bytes().end());
      if (c.complete) EXPECT_EQ(out, c.output);
      else EXPECT_EQ(out.substr(0, c.output.size()), c.output);  // partial data stays
    }
    // Memory is reserved by what the block can hold, not by U.
    EXPECT_LE(dest.bytes().capacity(), std::max<size_t>(plain.size(), c.block.size() * 1100) + 64);
  }
  SetDecodeFailureHandler(nullptr);
}

TEST(BlockDecoding, DecodesIntoAFileAndAnyValidZlibLevel) {
  const std::string plain = RandomText(700000, 5);
  std::string path = TempPath("decoded.bin");
  for (int level : {0, 1, 6, 9}) {
    MemoryStream source(Bytes(U32(plain.size()) + ZlibStream(plain, level)));
    {
      auto file = FileStream::Open(path, FileStream::Mode::kCreate);
      ASSERT_TRUE(file);
      EXPECT_TRUE(DecodeBlock(source, *file).complete);
    }
    EXPECT_EQ(FileCrcText(path), ZlibCrcText(plain));
  }
  // And from a file source, both into memory and into a file.
  std::string block_path = TempPath("block.bin");
  WriteFile(block_path, U32(plain.size()) + ZlibStream(plain));
  {
    auto source = FileStream::Open(block_path, FileStream::Mode::kRead);
    ASSERT_TRUE(source);
    MemoryStream memory;
    EXPECT_TRUE(DecodeBlock(*source, memory).complete);
    EXPECT_EQ(StreamCrcText(memory), ZlibCrcText(plain));
    auto file = FileStream::Open(path, FileStream::Mode::kCreate);
    ASSERT_TRUE(file);
    EXPECT_TRUE(DecodeBlock(*source, *file).complete);
  }
  EXPECT_EQ(FileCrcText(path), ZlibCrcText(plain));
  std::remove(block_path.c_str());
  std::remove(path.c_str());
}

TEST(StreamCopy, CountsChunksAndStopsAtTheEnd) {
  const std::string data = RandomText(kCopyChunkSize * 2 + 3, 6);
  struct Case {
    const char* name;
    uint64_t start, count, expected;
  };
  const Case cases[] = {
      {"whole source from its start", 100, 0, data.size()},
      {"part", 10, 1000, 1000},
      {"more than is left", data.size() - 5, 100, 5},
      {"several chunks", 0, kCopyChunkSize * 2 + 1, kCopyChunkSize * 2 + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryStream src(Bytes(data));
    src.Seek(c.start);
    MemoryStream dest;
    EXPECT_EQ(StreamCopy(dest, src, c.count), c.expected);
    uint64_t from = c.count == 0 ? 0 : c.start;
    EXPECT_EQ(std::string(dest.bytes().begin(), dest.bytes().end()), data.substr(from, c.expected));
  }
}

TEST(FileList, ParsesLinesLikeTheReaders) {
  struct Case {
    std::string line;
    bool ok;
    std::string name, crc;
    uint64_t length;
  };
  const Case cases[] = {
      {"VUnzip.dll|9E4AEC2962164", true, "VUnzip.dll", "9E4AEC29", 62164},
      {"help.txt|54119EF7496", true, "help.txt", "54119EF7", 496},
      {"sub\\x.txt|0000000012", true, "sub\\x.txt", "00000000", 12},
      {"a|b|CDEF01234", true, "a", "b|CDEF01", 234},  // split at the first "|"
      {"|ABCDEF0112", true, "", "ABCDEF01", 12},
      {"x|ABCDEF01+7", true, "x", "ABCDEF01", 7},
      {"x|ABCDEF0112abc", true, "x", "ABCDEF01", 12},  // digits up to the first non-digit
      {"x|abcdef0112", true, "x", "abcdef01", 12},      // kept as is: it just never matches
      {"no bar here", false, "", "", 0},
      {"x|ABCDEF0", false, "", "", 0},
      {"x|ABCDEF01", false, "", "", 0},
      {"x|ABCDEF01-5", false, "", "", 0},
      {"x|ABCDEF01 5", false, "", "", 0},
      {"x|ABCDEF0199999999999999999999999", false, "", "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    FileListLine line;
    ASSERT_EQ(ParseFileListLine(c.line, &line), c.ok);
    if (!c.ok) continue;
    EXPECT_EQ(line.name, c.name);
    EXPECT_EQ(line.crc_text, c.crc);
    EXPECT_EQ(line.block_length, c.length);
    if (c.crc.find('|') == std::string::npos && c.line.find('+') == std::string::npos &&
        c.line.find("abc") == std::string::npos) {
      EXPECT_EQ(FormatFileListLine(line), c.line);
    }
  }
  // CRC texts are compared as text: lower-case hex never equals the computed text.
  FileListLine lower;
  ASSERT_TRUE(ParseFileListLine("x|cbf4392612", &lower));
  EXPECT_NE(lower.crc_text, ZlibCrcText("123456789"));
}

TEST(FileList, SplitsLinesAtCrLfCrAndLf) {
  using Lines = std::vector<std::string>;
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"a\nb\rc\r\n", {"a", "b", "c"}},
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\n\r", {"", ""}},
      {"\r\n", {""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLines(c.first), c.second) << c.first;
  }
  EXPECT_EQ(JoinLines({"a", "b"}), "a\r\nb\r\n");
}

TEST(FileList, ReadsTheBlockAndLocatesFileBlocks) {
  const std::string text = "VUnzip.dll|9E4AEC2962164\r\nVellumo.exe|8CAA8807205983\r\n"
                           "license.txt|3C1ACE9A376\r\nhelp.txt|54119EF7496\r\n";
  ASSERT_EQ(text.size(), 101u);
  std::string block = U32(text.size()) + ZlibStream(text);
  std::string package = "xyz" + U32(block.size()) + block + "FILEBLOCKS";
  MemoryStream s(Bytes(package));
  BlockDecodeResult r;
  auto lines = ReadFileListLines(s, 3, &r);
  EXPECT_TRUE(r.complete);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "Vellumo.exe|8CAA8807205983");
  EXPECT_EQ(s.Position(), 3 + 4 + block.size());

  // Block positions as in the example layout: first block at 583.
  uint64_t end = 0;
  auto blocks = LocateFileBlocks(lines, 583, &end);
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[0].position, 583u);
  EXPECT_EQ(blocks[1].position, 62747u);
  EXPECT_EQ(blocks[2].position, 268730u);
  EXPECT_EQ(blocks[3].position, 269106u);
  EXPECT_EQ(end, 269602u);
  FileBlockLocation found;
  ASSERT_TRUE(FindFileBlock(lines, 583, "license.txt", &found));
  EXPECT_EQ(found.position, 268730u);
  EXPECT_EQ(found.line.block_length, 376u);
  EXPECT_FALSE(FindFileBlock(lines, 583, "LICENSE.TXT", &found));  // case counts

  // A length-prefixed block longer than the rest of the file is cut to what is there.
  std::string cut = "xyz" + U32(0x7FFFFFFF) + block.substr(0, block.size() / 2);
  MemoryStream c(Bytes(cut));
  auto partial = ReadFileListLines(c, 3, &r);
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(c.Position(), cut.size());
  // Past the end of the file: no lines, no crash.
  MemoryStream e(Bytes("ab"));
  EXPECT_TRUE(ReadFileListLines(e, 100, &r).empty());
  EXPECT_FALSE(r.has_size);
}

TEST(FileList, HostileLengthsDoNotWrapPositions) {
  auto blocks = LocateFileBlocks({"a|ABCDEF0118446744073709551615", "b|ABCDEF0110"}, 500);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].position, UINT64_MAX);
}

TEST(FileBlock, ExtractsExactlyTheBlockOrRefusesAShortOne) {
  const std::string plain = "hello, packaged world";
  PackedFile f;
  ASSERT_TRUE(PackFile("x", plain.data(), plain.size(), 9, &f));
  std::string block(f.block.begin(), f.block.end());
  EXPECT_EQ(block.substr(0, 4), U32(plain.size()));
  EXPECT_EQ(static_cast<uint8_t>(block[4]), 0x78);
  EXPECT_EQ(static_cast<uint8_t>(block[5]), 0xDA);  // maximum level
  MemoryStream package(Bytes("ab" + block + "NEXT"));
  package.Seek(2);
  MemoryStream out;
  FileBlockResult r = ExtractFileBlock(package, block.size(), out);
  EXPECT_TRUE(r.copied);
  EXPECT_TRUE(r.decode.complete);
  EXPECT_EQ(std::string(out.bytes().begin(), out.bytes().end()), plain);
  EXPECT_EQ(package.Position(), 2 + block.size());

  package.Seek(2);
  MemoryStream none;
  r = ExtractFileBlock(package, block.size() + 5, none);
  EXPECT_FALSE(r.copied);
  EXPECT_EQ(package.Position(), 2u);
  EXPECT_EQ(none.Size(), 0u);
}

}  // namespace
}  // namespace hollin
