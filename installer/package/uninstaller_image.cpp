// The uninstaller image, built by the install procedure. Kept apart from the package
// writer so that the installer stub does not link the packer's compressor.
#include <cstring>

#include "installer/package/file_list.h"
#include "installer/package/package_extent.h"
#include "installer/package/package_format.h"
#include "installer/package/package_reader.h"
#include "installer/package/package_writer.h"

namespace hollin {
namespace {

bool ReadExactly(Stream& s, uint64_t position, uint64_t count, std::vector<uint8_t>& out) {
  if (!s.Seek(position)) return false;
  size_t old = out.size();
  try {
    out.resize(old + static_cast<size_t>(count));
  } catch (...) {
    return false;
  }
  size_t got = 0;
  while (got < count) {
    size_t n = s.Read(out.data() + old + got, static_cast<size_t>(count) - got);
    if (n == 0) return false;
    got += n;
  }
  return true;
}

}  // namespace

bool BuildUninstallerImage(Stream& installer, uint64_t header_end,
                           const std::vector<std::string>& file_list_lines,
                           uint64_t autorun_record_position, std::vector<uint8_t>* image) {
  image->clear();
  uint64_t size = installer.Size();
  if (size == UINT64_MAX || header_end < kStubFieldsEnd || header_end > size ||
      autorun_record_position > size) {
    return false;
  }
  std::string list = JoinLines(file_list_lines);
  if (list.size() > UINT32_MAX) return false;
  if (!ReadExactly(installer, 0, header_end, *image)) return false;
  for (int i = 0; i < 4; ++i) image->push_back(static_cast<uint8_t>(list.size() >> (8 * i)));
  image->insert(image->end(), list.begin(), list.end());
  if (!ReadExactly(installer, autorun_record_position, size - autorun_record_position, *image))
    return false;
  uint8_t* p = image->data();
  for (int i = 0; i < 4; ++i) p[kTotalUnpackedSizeOffset + i] = kUninstallerTotalSizeByte;
  p[kUninstallerFlagOffset] = kUninstallerFlagValue;
  std::memcpy(p + kSelfCheckValueOffset, kUninstallerMarker, kSelfCheckValueLength);
  // The installer's signature stays with the installer: its table was not copied (the
  // stream ends where the package ends), so its header fields go too.
  ClearSignatureFields(p, static_cast<size_t>(header_end));
  return true;
}

bool BuildUninstallerFromInstaller(Stream& file, uint64_t package_offset,
                                   std::vector<uint8_t>* image) {
  PackageView installer(file, ReadPackageExtent(file, package_offset));
  PackageHeader header;
  if (!ReadPackageHeader(installer, package_offset, &header)) return false;
  std::vector<std::string> lines = ReadFileListLines(installer, header.file_list_position);
  uint64_t actions = 0;
  LocateFileBlocks(lines, installer.Position(), &actions);
  if (actions > installer.Size() || !installer.Seek(actions)) return false;
  ReadRegisterListRecord(installer);
  ReadRunRecord(installer);
  return BuildUninstallerImage(installer, header.header_end, lines, installer.Position(), image);
}

}  // namespace hollin
