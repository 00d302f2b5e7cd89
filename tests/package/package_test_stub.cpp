// A minimal installer stub for the packer's tests: finds its own package at the stamped
// offset, runs the self check and decodes every file against its file-list CRC.
#include <windows.h>

#include <cstdio>

#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"

int main() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  std::printf("package offset: %u\n", hollin::PackageOffset());
  auto file = hollin::FileStream::Open(path, hollin::FileStream::Mode::kRead);
  if (!file) return 3;
  hollin::StubFields stub;
  if (!hollin::ReadStubFields(*file, &stub)) return 4;
  if (file->Size() == hollin::PackageOffset()) {
    std::printf("no package\n");
    return 0;
  }
  hollin::PackageHeader header;
  if (!hollin::ReadPackageHeader(*file, hollin::PackageOffset(), &header)) return 5;
  std::printf("display name: %s\n", header.display_name.text.c_str());
  bool self_ok = hollin::InstallerCrcText(path) == stub.self_check_value;
  std::printf("self check: %s\n", self_ok ? "ok" : "bad");
  auto lines = hollin::ReadFileListLines(*file, header.file_list_position);
  auto blocks = hollin::LocateFileBlocks(lines, file->Position());
  int ok = 0;
  for (const auto& block : blocks) {
    if (!file->Seek(block.position)) continue;
    hollin::MemoryStream out;
    auto r = hollin::ExtractFileBlock(*file, block.line.block_length, out);
    if (r.copied && r.decode.complete && hollin::StreamCrcText(out) == block.line.crc_text) ++ok;
  }
  std::printf("files: %d ok of %zu\n", ok, blocks.size());
  return self_ok && ok == static_cast<int>(blocks.size()) ? 0 : 1;
}
