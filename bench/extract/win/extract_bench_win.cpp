// VUnzip.dll under Wine, timed in-process for bench/extract/run: loads the DLL the way the
// viewer does and calls UnzipExec with a parameter record.
//   extract_bench_win DLL ARCHIVE RUNS block NAME SIZE [PASSWORD]   one entry into a block
//   extract_bench_win DLL ARCHIVE RUNS test COUNT        every entry tested, COUNT expected
// prints one wall time in ms per run (the first is a warm-up the script drops). The block is
// allocated and touched once before the first run.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "unzip/unzip_interface.h"

using namespace vellumo::unzip;

namespace {

int Fail(const char* what) {
  std::fprintf(stderr, "extract_bench_win: %s\n", what);
  return 1;
}

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6) return Fail("usage: DLL ARCHIVE RUNS block NAME SIZE | DLL ARCHIVE RUNS test COUNT");
  HMODULE dll = LoadLibraryA(argv[1]);
  if (!dll) return Fail("LoadLibrary failed");
  auto exec = reinterpret_cast<UnzipExecFn>(reinterpret_cast<void*>(GetProcAddress(dll, kUnzipExecName)));
  if (!exec) return Fail("no UnzipExec");
  std::string archive = argv[2];
  int runs = std::atoi(argv[3]);
  bool block = std::strcmp(argv[4], "block") == 0;
  std::string name = block ? argv[5] : "";
  size_t size = block && argc > 6 ? static_cast<size_t>(std::strtoul(argv[6], nullptr, 10)) : 0;
  int expected = block ? 1 : std::atoi(argv[5]);

  std::vector<uint8_t> memory(size ? size : 1, 0);
  std::vector<uint8_t> params(kUnzipParamsSize, 0);
  std::vector<uint8_t> specs(kFileSpecEntrySize, 0);
  uint8_t* p = params.data();
  RecordSet(p, kParamVersion, kUnzipVersion);
  RecordSet(p, kParamUnused40, static_cast<uint32_t>(kTrue));
  std::string password = block && argc > 7 ? argv[7] : "";
  RecordSetAddress(p, kParamPassword, password.c_str());
  RecordSetAddress(p, kParamArchivePath, archive.c_str());
  if (block) {
    RecordSetAddress(specs.data(), kFileSpecText, name.c_str());
    RecordSet(p, kParamSpecCount, 1);
    RecordSetAddress(p, kParamFileSpecs, specs.data());
    RecordSetBool(p, kParamUseOutputStream, true);
    RecordSetAddress(p, kParamOutputBlock, memory.data());
    RecordSet(p, kParamOutputSize, static_cast<uint32_t>(size));
  } else {
    RecordSetBool(p, kParamTestOnly, true);
  }
  RecordSet(p, kParamEndMark, kEndMark);

  for (int run = 0; run < runs + 1; ++run) {
    double start = Now();
    int32_t done = exec(p);
    double ms = Now() - start;
    if (done != expected) {
      std::fprintf(stderr, "extract_bench_win: %d entries extracted, %d expected\n", done, expected);
      return 1;
    }
    std::printf("%.3f\n", ms);
    std::fflush(stdout);
  }
  FreeLibrary(dll);
  return 0;
}
