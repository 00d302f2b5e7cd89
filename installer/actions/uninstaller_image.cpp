#include "installer/actions/uninstaller_image.h"

#include <cstring>

#include "common/byte_reader.h"
#include "installer/package/block.h"
#include "installer/package/file_list.h"
#include "installer/package/package_format.h"

namespace hollin {

bool BuildUninstallerImage(Stream& installer, uint64_t header_end,
                           const std::vector<std::string>& file_list, uint64_t autorun_position,
                           MemoryStream* image) {
  *image = MemoryStream();
  const uint64_t size = installer.Size();
  if (size == UINT64_MAX || header_end > size || autorun_position > size) return false;
  if (header_end < kStubFieldsEnd) return false;
  const uint64_t tail = size - autorun_position;
  const std::string list_text = JoinLines(file_list);
  if (list_text.size() > UINT32_MAX) return false;
  if (!image->Reserve(static_cast<size_t>(header_end + 4 + list_text.size() + tail))) return false;

  if (!installer.Seek(0) || StreamCopy(*image, installer, header_end) != header_end) return false;
  std::string length;
  vellumo::PutU32(length, static_cast<uint32_t>(list_text.size()));
  image->Write(length.data(), length.size());
  image->Write(list_text.data(), list_text.size());
  if (tail > 0 && (!installer.Seek(autorun_position) || StreamCopy(*image, installer, tail) != tail))
    return false;

  uint8_t* bytes = image->bytes().data();
  std::memset(bytes + kTotalUnpackedSizeOffset, kUninstallerTotalSizeByte, 4);
  bytes[kUninstallerFlagOffset] = kUninstallerFlagValue;
  std::memcpy(bytes + kSelfCheckValueOffset, kUninstallerMarker, kSelfCheckValueLength);
  image->Seek(0);
  return true;
}

}  // namespace hollin
