// One entry of each newer method, timed in-process for bench/methods/run.
//   methods_bench block ARCHIVE RUNS NAME [PASSWORD]   the unzip engine, NAME into a block
//   methods_bench bare ARCHIVE RUNS NAME               the method's own library on the
//       entry's compressed bytes, whole buffer to whole buffer (bzip2: BZ2_bzBuffToBuffDecompress,
//       LZMA: liblzma's raw buffer decoder, deflate: libdeflate)
// prints one wall time in ms per run (the first is a warm-up the script drops). The bare
// mode reads the compressed bytes from the file per run, as the engine must.
#include <bzlib.h>
#include <libdeflate.h>
#include <lzma.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "common/byte_reader.h"
#include "unzip/archive_source.h"
#include "unzip/compression_methods.h"
#include "unzip/name_rules.h"
#include "unzip/unzip_engine.h"
#include "unzip/zip_directory.h"

namespace u = vellumo::unzip;

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "methods_bench: %s\n", what.c_str());
  std::exit(1);
}

double Ms(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) Fail("usage: methods_bench block|bare ARCHIVE RUNS NAME [PASSWORD]");
  std::string mode = argv[1], archive = argv[2], name = argv[4];
  int runs = std::atoi(argv[3]);
  std::string password = argc > 5 ? argv[5] : "";

  u::FileSource source;
  if (!source.Open(archive)) Fail("cannot open " + archive);
  u::ZipDirectory dir = u::ReadZipDirectory(source);
  if (dir.status != u::DirectoryStatus::kOk) Fail("not a readable archive");
  u::IdentityConverter converter;
  const u::CentralEntry* entry = nullptr;
  for (const u::CentralEntry& e : dir.entries)
    if (u::ListedName(e, converter) == name) entry = &e;
  if (!entry) Fail("no entry named " + name);
  uint8_t local[u::kLocalHeaderSize];
  uint64_t at = entry->localHeaderOffset + static_cast<uint64_t>(dir.offsetShift);
  if (!source.ReadAt(at, local, sizeof local)) Fail("local header unreadable");
  uint64_t dataAt = at + u::kLocalHeaderSize + vellumo::GetU16(local + 26) + vellumo::GetU16(local + 28);
  size_t plain = static_cast<size_t>(entry->uncompressedSize);
  size_t compressed = static_cast<size_t>(entry->compressedSize);

  std::unique_ptr<uint8_t[]> out(new uint8_t[plain]);
  std::memset(out.get(), 0, plain);
  std::unique_ptr<uint8_t[]> in(new uint8_t[compressed]);
  std::memset(in.get(), 0, compressed);
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();

  for (int run = 0; run < runs + 1; ++run) {
    auto start = std::chrono::steady_clock::now();
    if (mode == "block") {
      u::UnzipRequest request;
      request.archivePath = archive;
      request.password = password;
      request.specs = {name};
      request.useOutputBlock = true;
      request.outputBlock = out.get();
      request.outputSize = plain;
      if (u::RunUnzipFile(request, converter, nullptr) != 1) Fail("the engine failed");
    } else if (mode == "bare") {
      if (!source.ReadAt(dataAt, in.get(), compressed)) Fail("read");
      if (entry->method == u::kMethodBzip2) {
        unsigned int length = static_cast<unsigned int>(plain);
        if (BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(out.get()), &length,
                                       reinterpret_cast<char*>(in.get()),
                                       static_cast<unsigned int>(compressed), 0, 0) != BZ_OK ||
            length != plain)
          Fail("bzip2");
      } else if (entry->method == u::kMethodLzma) {
        // ZIP's framing: version, properties size, then the 5 property bytes.
        lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
        if (lzma_properties_decode(&filters[0], nullptr, in.get() + 4, 5) != LZMA_OK) Fail("props");
        size_t inPos = 9, outPos = 0;
        lzma_ret r = lzma_raw_buffer_decode(filters, nullptr, in.get(), &inPos, compressed, out.get(),
                                            &outPos, plain);
        std::free(filters[0].options);
        if ((r != LZMA_OK && r != LZMA_STREAM_END) || outPos != plain) Fail("lzma");
      } else if (entry->method == 8) {
        if (libdeflate_deflate_decompress(inflater, in.get(), compressed, out.get(), plain, nullptr) !=
            LIBDEFLATE_SUCCESS)
          Fail("libdeflate");
      } else {
        Fail("no bare library for method " + std::to_string(entry->method));
      }
    } else {
      Fail("unknown mode " + mode);
    }
    std::printf("%.3f\n", Ms(start));
    std::fflush(stdout);
  }
  libdeflate_free_decompressor(inflater);
  return 0;
}
