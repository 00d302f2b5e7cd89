// crc_bench: CRC-32 of one large file, as the installer's self check computes it, against
// zlib's crc32 on the same buffer and a memcpy of that buffer (the memory bandwidth limit).
//
//   crc_bench make FILE MEGABYTES     write a file of pseudo-random bytes
//   crc_bench FILE RUNS               one warm-up round, then RUNS rounds; each round prints
//                                     one line per measurement: "NAME MS"
//
// Measurements: ours-buffer (Crc32Update over the whole buffer), ours-stream (StreamCrcText
// on the buffer as a memory stream: 1 MiB pieces with the message pump between them),
// ours-file (InstallerCrcText: the self check itself, reading the file from the offset the
// check starts at, through the C runtime), zlib (crc32 on the buffer), memcpy (the buffer in
// 64 MiB pieces into one 64 MiB destination). Portable: the
// same source builds natively and for Windows.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "installer/package/crc.h"
#include "installer/package/package_format.h"
#include "installer/package/stream.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int Make(const char* path, long megabytes) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return 1;
  std::vector<uint32_t> block(1 << 18);  // 1 MiB
  uint32_t x = 2463534242u;
  for (long m = 0; m < megabytes; ++m) {
    for (uint32_t& w : block) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      w = x;
    }
    if (std::fwrite(block.data(), 4, block.size(), f) != block.size()) return 1;
  }
  return std::fclose(f) == 0 ? 0 : 1;
}

uint32_t ZlibCrc(const uint8_t* p, size_t n) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (n > 0) {
    uInt piece = static_cast<uInt>(n < UINT_MAX ? n : UINT_MAX);
    crc = crc32(crc, p, piece);
    p += piece;
    n -= piece;
  }
  return static_cast<uint32_t>(crc);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "make") == 0) return Make(argv[2], std::atol(argv[3]));
  if (argc != 3) {
    std::fprintf(stderr, "usage: crc_bench make FILE MEGABYTES | crc_bench FILE RUNS\n");
    return 2;
  }
  const std::string path = argv[1];
  const int runs = std::atoi(argv[2]);
  std::vector<uint8_t> bytes;
  {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 1;
    // Sized once: a 32-bit process has no room for a growing copy of 512 MB.
    std::fseek(f, 0, SEEK_END);
    long length = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    if (length <= 0) return 1;
    bytes.resize(static_cast<size_t>(length));
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) return 1;
  }
  // The self check covers the file from its check start; every measurement covers those bytes.
  if (bytes.size() <= hollin::kSelfCheckStartOffset) return 1;
  hollin::MemoryStream stream(std::move(bytes));
  const uint8_t* data = stream.bytes().data() + hollin::kSelfCheckStartOffset;
  const size_t size = stream.bytes().size() - hollin::kSelfCheckStartOffset;
  // memcpy's destination: 64 MiB reused, so a 32-bit process has room for it next to the
  // data; far bigger than any cache, so every piece still goes through memory.
  std::vector<uint8_t> copy(std::min<size_t>(size, 64u << 20), 1);

  const std::string expected = hollin::CrcText(ZlibCrc(data, size));
  int status = 0;
  struct Measurement {
    const char* name;
    std::function<std::string()> run;
  };
  const Measurement measurements[] = {
      {"ours-buffer", [&] { return hollin::CrcText(hollin::Crc32Update(0, data, size)); }},
      {"ours-stream", [&] { return hollin::StreamCrcTextFrom(stream, hollin::kSelfCheckStartOffset); }},
      {"ours-file", [&] { return hollin::InstallerCrcText(path); }},
      {"zlib", [&] { return hollin::CrcText(ZlibCrc(data, size)); }},
      {"memcpy",
       [&] {
         for (size_t at = 0; at < size; at += copy.size()) {
           std::memcpy(copy.data(), data + at, std::min(copy.size(), size - at));
         }
         return copy[0] == data[(size - 1) / copy.size() * copy.size()] ? expected : std::string("copy");
       }},
  };
  const int count = static_cast<int>(sizeof measurements / sizeof measurements[0]);
  for (int round = 0; round <= runs; ++round) {
    // Every other round in reverse order, so no measurement always follows the same one.
    for (int i = 0; i < count; ++i) {
      const Measurement& m = measurements[round % 2 ? count - 1 - i : i];
      Clock::time_point start = Clock::now();
      std::string text = m.run();
      double ms = MsSince(start);
      if (round > 0) std::printf("%s %.3f\n", m.name, ms);
      if (text != expected) {
        std::fprintf(stderr, "crc_bench: %s gave %s, zlib %s\n", m.name, text.c_str(), expected.c_str());
        status = 1;
      }
    }
    std::fflush(stdout);
  }
  return status;
}
