// The install package readers over arbitrary bytes, in the order Hollin reads them: stub
// fields, header records 1 to 16, the file list, every file block, the action records, and
// the uninstaller's data; plus block decoding straight from the start of the input, and
// where a code signature would end the package: the self check and the uninstaller image.
// The packer's --verify and --extract then take the input as the package of an installer.
// A second input shape ("HSZ" first) describes decoded records by their sizes: a few bytes
// that unfold into a file list, register list, licence or uninstaller list of millions of
// lines or megabytes, which a raw input could never reach. Everything built from them stays
// within the program's bounds.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "installer/package/block.h"
#include "installer/package/file_list.h"
#include "installer/package/package_format.h"
#include "installer/package/package_extent.h"
#include "installer/package/package_writer.h"
#include "installer/package/package_reader.h"
#include "installer/package/package_offset.h"
#include "installer/package/stream.h"
#include "packer/extract.h"
#include "packer/verify.h"

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

// File blocks decoded per input: enough to reach every path, few enough to stay fast.
constexpr size_t kMaxBlocks = 8;

void CheckDecode(const hollin::BlockDecodeResult& r, const hollin::MemoryStream& dest) {
  // Output is cut at U and what is reported is what is there.
  if (r.produced > r.expected || r.produced != dest.Size()) std::abort();
  if (r.complete && r.produced != r.expected) std::abort();
}

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Decoded records by size. Layout after "HSZ": kind (u8), claimed U (u32, 0 = the real
// size), repeat count (u32), then the unit that is repeated (at most 16 MiB in all, so an
// execution stays fast; the line and licence bounds lie below that).
constexpr size_t kMaxUnfolded = 16u << 20;

int SizedRecords(const uint8_t* data, size_t size) {
  if (size < 12) return 0;
  const uint8_t kind = data[3] % 4;
  const uint32_t claimed = U32(data + 4);
  const uint32_t repeat = U32(data + 8);
  const uint8_t* unit = data + 12;
  const size_t unit_size = size - 12;
  if (unit_size == 0) return 0;
  const size_t count = std::min<size_t>(repeat, kMaxUnfolded / unit_size);
  // Unfolded by doubling: one copy per unit would take seconds under the sanitizers.
  std::vector<uint8_t> plain(count * unit_size);
  if (!plain.empty()) std::memcpy(plain.data(), unit, unit_size);
  for (size_t done = unit_size; done < plain.size(); done *= 2)
    std::memcpy(plain.data() + done, plain.data(), std::min(done, plain.size() - done));
  std::vector<uint8_t> block = hollin::MakeStoredBlock(plain.data(), plain.size(), 1);
  if (block.empty()) return 0;
  if (claimed) for (int i = 0; i < 4; ++i) block[i] = static_cast<uint8_t>(claimed >> (8 * i));
  std::vector<uint8_t> package;
  switch (kind) {
    case 0:  // file list at 0, no blocks
    case 1:  // register list record
      if (kind == 1) package.push_back(1);
      Put32(package, static_cast<uint32_t>(block.size()));
      package.insert(package.end(), block.begin(), block.end());
      package.push_back(0);
      break;
    case 2:  // header with a licence
      package.assign(8, 0);
      package.insert(package.end(), {0, 0, 0, 1});
      Put32(package, static_cast<uint32_t>(block.size()));
      package.insert(package.end(), block.begin(), block.end());
      package.insert(package.end(), {0, 0, 0, 0});
      break;
    default:  // an uninstaller's plain list at 0
      Put32(package, claimed ? claimed : static_cast<uint32_t>(plain.size()));
      package.insert(package.end(), plain.begin(), plain.end());
      package.insert(package.end(), 13, 0);
      break;
  }
  hollin::MemoryStream stream(std::move(package));
  switch (kind) {
    case 0: {
      std::vector<std::string> lines = hollin::ReadFileListLines(stream, 0);
      if (lines.size() > hollin::kMaxListLines) std::abort();
      size_t total = 0;
      for (const std::string& line : lines) total += line.size();
      if (total > hollin::kMaxListTextBytes) std::abort();
      break;
    }
    case 1: {
      hollin::RegisterListRecord r = hollin::ReadRegisterListRecord(stream);
      if (r.names.size() > hollin::kMaxListLines) std::abort();
      break;
    }
    case 2: {
      hollin::PackageHeader header;
      hollin::ReadPackageHeader(stream, 0, &header);
      if (header.licence_text.size() > hollin::kLogTextLimit) std::abort();
      break;
    }
    default: {
      hollin::UninstallData uninstall;
      hollin::ReadUninstallData(stream, 0, &uninstall);
      if (uninstall.file_list.size() > hollin::kMaxListLines) std::abort();
      break;
    }
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 3 && data[0] == 'H' && data[1] == 'S' && data[2] == 'Z') return SizedRecords(data, size);
  std::vector<uint8_t> bytes(data, data + size);
  hollin::SetDecodeFailureHandler(nullptr);

  {
    hollin::MemoryStream source(bytes);
    hollin::MemoryStream dest;
    CheckDecode(hollin::DecodeBlock(source, dest), dest);
  }

  hollin::MemoryStream file(bytes);
  hollin::StubFields stub;
  hollin::ReadStubFields(file, &stub);

  hollin::PackageHeader header;
  hollin::ReadPackageHeader(file, 0, &header);

  hollin::BlockDecodeResult list_decode;
  std::vector<std::string> lines =
      hollin::ReadFileListLines(file, header.file_list_position, &list_decode);
  uint64_t first_block = file.Position();
  uint64_t end = 0;
  std::vector<hollin::FileBlockLocation> blocks =
      hollin::LocateFileBlocks(lines, first_block, &end);
  for (size_t i = 0; i < blocks.size() && i < kMaxBlocks; ++i) {
    if (!blocks[i].parsed || !file.Seek(blocks[i].position)) continue;
    hollin::MemoryStream dest;
    hollin::FileBlockResult r = hollin::ExtractFileBlock(file, blocks[i].line.block_length, dest);
    if (r.copied) CheckDecode(r.decode, dest);
    if (!r.copied && r.decode.produced != 0) std::abort();
  }
  if (!lines.empty()) {
    hollin::FileBlockLocation found;
    hollin::FindFileBlock(lines, first_block, "help.txt", &found);
  }

  if (file.Seek(end)) {
    hollin::ActionRecords actions;
    hollin::ReadActionRecords(file, &actions);
  }
  hollin::UninstallData uninstall;
  hollin::ReadUninstallData(file, header.header_end, &uninstall);

  for (uint64_t offset : {uint64_t{0}, uint64_t{512}}) {
    hollin::SelfCheckResult check = hollin::CheckSelfCheckValue(file, offset, stub.self_check_value);
    const hollin::PackageExtent& e = check.extent;
    // A signature's table lies after the package, 8-aligned, and ends the file.
    if (e.end > size || (e.has_signature && (e.end <= offset || e.end % 8 != 0))) std::abort();
    std::vector<uint8_t> image;
    hollin::BuildUninstallerFromInstaller(file, offset, &image);
  }
  // The input behind a small stamped stub: what --verify and --extract read.
  std::vector<uint8_t> image(256, 0);
  hollin::CopyPackageOffsetMarker(image.data() + 200);
  hollin::StampPackageOffset(image.data(), image.size(), 256);
  image.insert(image.end(), bytes.begin(), bytes.end());
  {
    hollin::MemoryStream installer(image);
    hollin::VerifyReport report;
    hollin::VerifyInstaller(installer, "fuzz", 0, &report);
    if (!report.located) std::abort();  // the stub is always there
  }
  {
    // The same behind a PE stub whose security entry names the input's tail (chosen by its
    // first byte), so the readers also meet signed and badly signed packages.
    std::vector<uint8_t> signed_image(512, 0);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) signed_image[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    signed_image[0] = 'M';
    signed_image[1] = 'Z';
    put32(0x3C, 128);
    signed_image[128] = 'P';
    signed_image[129] = 'E';
    put32(148, 224);          // optional header size
    put32(152, 0x10B);        // PE32
    put32(152 + 92, 16);      // data directories
    const uint32_t total = static_cast<uint32_t>(512 + size);
    const uint32_t tail = size ? 8u * (1u + bytes[0] % 16u) : 8u;
    const uint32_t table = total > tail ? (total - tail) & ~7u : 0;
    put32(152 + 96 + 32, table);
    put32(152 + 96 + 36, total - table);
    hollin::CopyPackageOffsetMarker(signed_image.data() + 440);
    hollin::StampPackageOffset(signed_image.data(), signed_image.size(), 512);
    signed_image.insert(signed_image.end(), bytes.begin(), bytes.end());
    hollin::MemoryStream installer(signed_image);
    hollin::VerifyReport report;
    hollin::VerifyInstaller(installer, "fuzz", 0, &report);
    if (!report.located) std::abort();
    if (report.has_signature && (report.package_end <= 512 || report.package_end % 8 != 0))
      std::abort();
  }
  {
    static const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                                   "/fuzz-extract-" + std::to_string(getpid());
    hollin::MemoryStream installer(image);
    hollin::ExtractOptions options;
    options.to = dir + "/to";
    options.force = true;
    options.with_texts = true;
    hollin::ExtractReport report;
    std::string error;
    hollin::ExtractInstaller(installer, "fuzz", options, nullptr, &report, &error);
    // Nothing may appear beside the folder it was told to write in.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
      if (entry.path().filename() != "to") std::abort();
    std::filesystem::remove_all(dir, ec);
  }
  return 0;
}
