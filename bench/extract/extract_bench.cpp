// Extraction into memory, timed in-process for bench/extract/run.
//   extract_bench MODE ARCHIVE RUNS [NAME]
// prints one wall time in ms per run (the first run is a warm-up the script drops):
//   block       the unzip engine: NAME into a block of its size, as VUnzip.dll's block mode
//   test        the unzip engine: every entry decoded and CRC-checked (nothing kept)
//   zlib        bare zlib inflate of every deflated entry into a preallocated buffer
//   libdeflate  bare libdeflate whole-buffer decompression of the same
//   crc-libdeflate, crc-zlib   CRC-32 of the largest entry's plain bytes (decoded once
//               beforehand) by libdeflate_crc32, which the engine uses, and by zlib's crc32
// The engine is whichever this program was linked with (extract_bench: libdeflate,
// extract_bench_zlib: the zlib-only build). The bare modes read each entry's compressed
// bytes from the file per run, as the engine must; buffers are allocated and touched once
// before the first run.
#include <zlib.h>
#include <libdeflate.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "unzip/archive_source.h"
#include "unzip/name_rules.h"
#include "unzip/unzip_engine.h"
#include "unzip/zip_directory.h"

namespace u = vellumo::unzip;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "extract_bench: %s\n", what.c_str());
  std::exit(1);
}

struct Span {
  uint64_t offset;  // of the compressed data in the file
  size_t compressed;
  size_t plain;
};

// Where each deflated entry's data lies, from the engine's own directory reader.
std::vector<Span> DeflatedSpans(u::FileSource& source, const u::ZipDirectory& dir) {
  std::vector<Span> spans;
  for (const u::CentralEntry& e : dir.entries) {
    if (e.method != u::kMethodDeflated) continue;
    uint8_t local[u::kLocalHeaderSize];
    uint64_t at = e.localHeaderOffset + static_cast<uint64_t>(dir.offsetShift);
    if (!source.ReadAt(at, local, sizeof local)) Fail("local header unreadable");
    uint64_t data = at + u::kLocalHeaderSize + vellumo::GetU16(local + 26) + vellumo::GetU16(local + 28);
    spans.push_back({data, static_cast<size_t>(e.compressedSize), static_cast<size_t>(e.uncompressedSize)});
  }
  return spans;
}

double Ms(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) Fail("usage: extract_bench block|test|zlib|libdeflate ARCHIVE RUNS [NAME]");
  std::string mode = argv[1], archive = argv[2];
  int runs = std::atoi(argv[3]);
  std::string name = argc > 4 ? argv[4] : "";

  u::FileSource source;
  if (!source.Open(archive)) Fail("cannot open " + archive);
  u::ZipDirectory dir = u::ReadZipDirectory(source);
  if (dir.status != u::DirectoryStatus::kOk) Fail("not a readable archive");
  u::IdentityConverter converter;
  int32_t files = 0;
  size_t largest = 1, largestInput = 1;
  uint64_t blockSize = 0;
  for (const u::CentralEntry& e : dir.entries) {
    bool folder = !e.rawName.empty() && e.rawName.back() == '/';
    if (!folder) ++files;
    largest = std::max(largest, static_cast<size_t>(e.uncompressedSize));
    largestInput = std::max(largestInput, static_cast<size_t>(e.compressedSize));
    if (!name.empty() && u::ListedName(e, converter) == name) blockSize = e.uncompressedSize;
  }
  std::vector<Span> spans = DeflatedSpans(source, dir);
  if (mode == "block" && blockSize == 0) Fail("no entry named " + name);

  std::unique_ptr<uint8_t[]> out(new uint8_t[largest]);
  std::memset(out.get(), 0, largest);
  std::unique_ptr<uint8_t[]> in(new uint8_t[largestInput]);
  std::memset(in.get(), 0, largestInput);
  libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK || !decompressor) Fail("no decompressor");

  size_t crcBytes = 0;
  if (mode.compare(0, 4, "crc-") == 0) {
    for (const Span& s : spans)
      if (s.plain > crcBytes) {
        if (!source.ReadAt(s.offset, in.get(), s.compressed) ||
            libdeflate_deflate_decompress(decompressor, in.get(), s.compressed, out.get(), s.plain,
                                          nullptr) != LIBDEFLATE_SUCCESS)
          Fail("libdeflate");
        crcBytes = s.plain;
      }
  }

  uint32_t crcs = 0;
  for (int run = 0; run < runs + 1; ++run) {
    auto start = std::chrono::steady_clock::now();
    if (mode == "crc-libdeflate") {
      crcs ^= libdeflate_crc32(0, out.get(), crcBytes);
    } else if (mode == "crc-zlib") {
      for (size_t done = 0; done < crcBytes;) {
        size_t step = std::min<size_t>(crcBytes - done, 1u << 30);
        crcs ^= static_cast<uint32_t>(crc32(0, out.get() + done, static_cast<uInt>(step)));
        done += step;
      }
    } else if (mode == "block" || mode == "test") {
      u::UnzipRequest request;
      request.archivePath = archive;
      if (mode == "block") {
        request.specs = {name};
        request.useOutputBlock = true;
        request.outputBlock = out.get();
        request.outputSize = blockSize;
      } else {
        request.testOnly = true;
      }
      int32_t done = u::RunUnzipFile(request, converter, nullptr);
      if (done != (mode == "block" ? 1 : files)) Fail("the engine extracted " + std::to_string(done));
    } else if (mode == "zlib") {
      for (const Span& s : spans) {
        if (!source.ReadAt(s.offset, in.get(), s.compressed)) Fail("read");
        inflateReset(&z);
        z.next_in = in.get();
        z.avail_in = static_cast<uInt>(s.compressed);
        z.next_out = out.get();
        z.avail_out = static_cast<uInt>(s.plain);
        if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != s.plain) Fail("inflate");
      }
    } else if (mode == "libdeflate") {
      for (const Span& s : spans) {
        if (!source.ReadAt(s.offset, in.get(), s.compressed)) Fail("read");
        if (libdeflate_deflate_decompress(decompressor, in.get(), s.compressed, out.get(), s.plain,
                                          nullptr) != LIBDEFLATE_SUCCESS)
          Fail("libdeflate");
      }
    } else {
      Fail("unknown mode " + mode);
    }
    std::printf("%.3f\n", Ms(start));
    std::fflush(stdout);
  }
  inflateEnd(&z);
  libdeflate_free_decompressor(decompressor);
  if (crcs == 1) std::fprintf(stderr, "\n");  // keeps the sums from being optimised away
  return 0;
}
