// package_bench: CRC and block decoding on the same buffers as bare zlib, and packing a
// 200 MB generated file set with every core against one thread.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "installer/package/block.h"
#include "installer/package/crc.h"
#include "installer/package/package_writer.h"
#include "packer/pack.h"

namespace {

// Text-like data with some noise: compresses like program files and documents do.
std::vector<uint8_t> Generate(size_t n, unsigned seed) {
  static const char* const kWords[] = {"package", "block", "the ", "installer", " ", "\r\n",
                                       "Vellumo", "0x3A71", "file", "of ", "list", "viewer"};
  std::mt19937 rng(seed);
  std::vector<uint8_t> out;
  out.reserve(n);
  while (out.size() < n) {
    if (rng() % 8 == 0) {
      out.push_back(static_cast<uint8_t>(rng()));
    } else {
      const char* w = kWords[rng() % 12];
      while (*w && out.size() < n) out.push_back(static_cast<uint8_t>(*w++));
    }
  }
  return out;
}

const std::vector<uint8_t>& Data() {
  static std::vector<uint8_t> data = Generate(64 << 20, 1);
  return data;
}

void BM_CrcZlib(benchmark::State& state) {
  const auto& d = Data();
  for (auto _ : state) {
    uLong crc = crc32(0, d.data(), static_cast<uInt>(d.size()));
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(d.size()));
}
BENCHMARK(BM_CrcZlib)->Unit(benchmark::kMillisecond);

void BM_StreamCrcText(benchmark::State& state) {
  hollin::MemoryStream s(Data());
  for (auto _ : state) {
    std::string text = hollin::StreamCrcText(s);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.Size()));
}
BENCHMARK(BM_StreamCrcText)->Unit(benchmark::kMillisecond);

void BM_FileCrcText(benchmark::State& state) {
  std::string path = "/tmp/hollin_bench_crc.bin";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(Data().data(), 1, Data().size(), f);
  std::fclose(f);
  for (auto _ : state) {
    std::string text = hollin::FileCrcText(path);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Data().size()));
  std::remove(path.c_str());
}
BENCHMARK(BM_FileCrcText)->Unit(benchmark::kMillisecond);

const std::vector<uint8_t>& Block() {
  static std::vector<uint8_t> block = hollin::MakeStoredBlock(Data().data(), Data().size(), 9);
  return block;
}

void BM_InflateZlib(benchmark::State& state) {
  const auto& b = Block();
  std::vector<uint8_t> out(Data().size());
  for (auto _ : state) {
    uLongf n = out.size();
    int rc = uncompress(out.data(), &n, b.data() + 4, b.size() - 4);
    benchmark::DoNotOptimize(rc);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Data().size()));
}
BENCHMARK(BM_InflateZlib)->Unit(benchmark::kMillisecond);

void BM_DecodeBlock(benchmark::State& state) {
  hollin::MemoryStream source(Block());
  hollin::MemoryStream dest;  // reused, as the bare zlib run reuses its buffer
  for (auto _ : state) {
    dest.bytes().clear();
    dest.Seek(0);
    hollin::BlockDecodeResult r = hollin::DecodeBlock(source, dest);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Data().size()));
}
BENCHMARK(BM_DecodeBlock)->Unit(benchmark::kMillisecond);

// 200 MB as 50 files of 4 MB on disk, packed with one thread or with every core.
const std::vector<hollin::ManifestFile>& FileSet() {
  static std::vector<hollin::ManifestFile> files = [] {
    std::vector<hollin::ManifestFile> list;
    mkdir("/tmp/hollin_bench_set", 0755);
    for (int i = 0; i < 50; ++i) {
      std::string name = "f" + std::to_string(i) + ".bin";
      std::vector<uint8_t> d = Generate(4 << 20, 100 + i);
      std::FILE* f = std::fopen(("/tmp/hollin_bench_set/" + name).c_str(), "wb");
      std::fwrite(d.data(), 1, d.size(), f);
      std::fclose(f);
      hollin::ManifestFile entry;
      entry.stored_name = entry.source = name;
      entry.line = i + 1;
      list.push_back(entry);
    }
    return list;
  }();
  return files;
}

void BM_PackFiles(benchmark::State& state) {
  const auto& files = FileSet();
  unsigned jobs = static_cast<unsigned>(state.range(0));
  if (jobs == 0) jobs = std::thread::hardware_concurrency();
  for (auto _ : state) {
    std::vector<hollin::PackedFile> packed;
    std::string error;
    bool ok = hollin::PackFiles(files, "/tmp/hollin_bench_set", jobs, false, &packed, &error);
    if (!ok) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(packed);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(200) << 20);
  state.counters["threads"] = jobs;
}
BENCHMARK(BM_PackFiles)->Arg(1)->Arg(0)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
