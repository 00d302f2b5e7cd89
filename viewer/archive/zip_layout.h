// ZIP layout constants the directory reader and the volume joiner share.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vellumo::zip {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kSpanSignature = 0x08074B50;  // first file of a volume set; data descriptor
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;

constexpr size_t kLocalHeaderSize = 30;    // + name + extra + data
constexpr size_t kCentralHeaderSize = 46;  // + name + extra + comment
constexpr size_t kEndRecordSize = 22;      // + comment
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndSize = 56;       // without extensible data
constexpr size_t kDataDescriptorSize = 16;  // signature, CRC, sizes
constexpr size_t kMaxEndSearch = 65535 + kEndRecordSize;

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kMethodWinZipAes = 99;     // the real method is in the extra field below
constexpr uint16_t kWinZipAesExtraId = 0x9901;

constexpr char kBackupLabelPrefix[] = "PKBACK# ";

}  // namespace vellumo::zip
