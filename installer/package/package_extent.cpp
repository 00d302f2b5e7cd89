#include "installer/package/package_extent.h"

#include <algorithm>

#include "common/byte_reader.h"
#include "installer/package/crc.h"
#include "installer/package/package_format.h"

namespace hollin {
namespace {

// PE layout: the DOS header's pointer to the "PE\0\0" signature, the COFF header after it,
// then the optional header, whose data directory starts at a magic-dependent offset.
constexpr size_t kDosNewHeaderPointer = 0x3C;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kCoffOptionalHeaderSizeField = 16;  // within the COFF header
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr size_t kChecksumField = 64;                 // within the optional header
constexpr size_t kPe32DirectoryCountField = 92;
constexpr size_t kPe32PlusDirectoryCountField = 108;
constexpr uint32_t kSecurityDirectoryIndex = 4;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kChecksumSize = 4;
// WIN_CERTIFICATE revisions; signing tools write 2.0.
constexpr uint16_t kCertificateRevision1 = 0x0100;
constexpr uint16_t kCertificateRevision2 = 0x0200;

// Zeroes the bytes of [field, field + length) that fall into the buffer holding the file's
// bytes [at, at + size).
void ZeroOverlap(uint8_t* buffer, uint64_t at, size_t size, uint64_t field, size_t length) {
  uint64_t from = std::max(at, field);
  uint64_t to = std::min(at + size, field + length);
  for (uint64_t i = from; i < to; ++i) buffer[i - at] = 0;
}

bool ReadFully(Stream& s, uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    size_t r = s.Read(out + got, n - got);
    if (r == 0) return false;
    got += r;
  }
  return true;
}

// A security entry that says anything at all; all zeros is an unsigned file.
bool IsSecurityEntryCandidate(const PeSignatureFields& f) {
  return f.found && (f.certificate_offset != 0 || f.certificate_size != 0);
}

}  // namespace

PeSignatureFields FindPeSignatureFields(const uint8_t* head, size_t size) {
  PeSignatureFields f;
  vellumo::ByteReader r(head, size);
  if (r.u8() != 'M' || r.u8() != 'Z') return f;
  r.seek(kDosNewHeaderPointer);
  uint32_t pe = r.u32();
  if (!r.ok() || pe > size) return f;
  r.seek(pe);
  const uint8_t* signature = r.bytes(4);
  if (!signature || signature[0] != 'P' || signature[1] != 'E' || signature[2] != 0 ||
      signature[3] != 0)
    return f;
  const size_t coff = r.position();
  r.seek(coff + kCoffOptionalHeaderSizeField);
  uint16_t optional_size = r.u16();
  if (!r.ok()) return f;
  const size_t optional = coff + kCoffHeaderSize;
  r.seek(optional);
  uint16_t magic = r.u16();
  size_t count_field;
  if (magic == kPe32Magic)
    count_field = kPe32DirectoryCountField;
  else if (magic == kPe32PlusMagic)
    count_field = kPe32PlusDirectoryCountField;
  else
    return f;
  r.seek(optional + count_field);
  uint32_t directories = r.u32();
  if (!r.ok() || directories <= kSecurityDirectoryIndex) return f;
  const size_t entry_in_optional =
      count_field + 4 + kSecurityDirectoryIndex * kDirectoryEntrySize;
  // The entry must be inside the optional header the COFF header declares, not past it.
  if (optional_size < entry_in_optional + kDirectoryEntrySize) return f;
  r.seek(optional + kChecksumField);
  uint32_t checksum = r.u32();
  r.seek(optional + entry_in_optional);
  uint32_t table_offset = r.u32();
  uint32_t table_size = r.u32();
  if (!r.ok()) return f;
  // Fields inside the stub fields would be Hollin's own bytes, never a PE's.
  if (optional + kChecksumField < kStubFieldsEnd) return f;
  f.found = true;
  f.checksum_offset = optional + kChecksumField;
  f.security_entry_offset = optional + entry_in_optional;
  f.checksum = checksum;
  f.certificate_offset = table_offset;
  f.certificate_size = table_size;
  return f;
}

PackageExtent FindPackageExtent(const uint8_t* head, size_t head_size, uint64_t file_size,
                                uint64_t package_offset, const uint8_t* table_entry) {
  PackageExtent e;
  e.file_size = file_size;
  e.end = file_size;
  if (package_offset < head_size) head_size = static_cast<size_t>(package_offset);
  if (file_size < head_size) head_size = static_cast<size_t>(file_size);
  e.fields = FindPeSignatureFields(head, head_size);
  const PeSignatureFields& f = e.fields;
  if (!IsSecurityEntryCandidate(f)) return e;
  bool table_fits = f.certificate_offset > package_offset &&
                    f.certificate_offset % kCertificateTableAlignment == 0 &&
                    f.certificate_offset <= file_size &&
                    f.certificate_size >= kMinCertificateTableSize &&
                    f.certificate_size == file_size - f.certificate_offset;
  bool entry_header = false;
  if (table_fits && table_entry) {
    vellumo::ByteReader r(table_entry, kMinCertificateTableSize);
    uint32_t length = r.u32();
    uint16_t revision = r.u16();
    entry_header = length >= kMinCertificateTableSize && length <= f.certificate_size &&
                   (revision == kCertificateRevision1 || revision == kCertificateRevision2);
  }
  if (!entry_header) {
    e.bad_security_entry = true;
    return e;
  }
  e.has_signature = true;
  e.end = f.certificate_offset;
  return e;
}

PackageExtent ReadPackageExtent(Stream& file, uint64_t package_offset) {
  uint64_t size = file.Size();
  if (size == UINT64_MAX) {
    PackageExtent e;
    e.file_size = e.end = UINT64_MAX;
    return e;
  }
  size_t span = static_cast<size_t>(std::min<uint64_t>({kPeHeaderSpan, size, package_offset}));
  uint8_t head[kPeHeaderSpan];
  if (!file.Seek(0) || !ReadFully(file, head, span)) span = 0;
  PeSignatureFields f = FindPeSignatureFields(head, std::min<size_t>(span, package_offset));
  uint8_t entry[kMinCertificateTableSize];
  bool have_entry = IsSecurityEntryCandidate(f) &&
                    f.certificate_offset <= size &&
                    kMinCertificateTableSize <= size - f.certificate_offset &&
                    file.Seek(f.certificate_offset) && ReadFully(file, entry, sizeof entry);
  return FindPackageExtent(head, span, size, package_offset, have_entry ? entry : nullptr);
}

SelfCheckResult CheckSelfCheckValue(Stream& file, uint64_t package_offset,
                                    const std::string& expected) {
  SelfCheckResult result;
  result.extent = ReadPackageExtent(file, package_offset);
  const PackageExtent& e = result.extent;
  PackageView view(file, e);
  // Zero bytes just before the table may be signing's padding.
  size_t padding = 0;
  uint8_t tail[kCertificateTableAlignment - 1];
  if (e.has_signature) {
    size_t room = static_cast<size_t>(std::min<uint64_t>(e.end - package_offset, sizeof tail));
    if (view.Seek(e.end - room) && ReadFully(view, tail, room))
      while (padding < room && tail[room - 1 - padding] == 0) ++padding;
  }
  if (e.end == UINT64_MAX || e.end < kSelfCheckStartOffset + padding ||
      !StreamCrcUpdate(view, kSelfCheckStartOffset, e.end - padding, &result.crc))
    return result;
  result.readable = true;
  // Compared as text, exactly: only 8 upper-case hex digits can match.
  uint32_t wanted = 0;
  bool valid = expected.size() == kSelfCheckValueLength;
  for (size_t i = 0; valid && i < kSelfCheckValueLength; ++i) {
    char c = expected[i];
    valid = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    wanted = (wanted << 4) | static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'A' + 10);
  }
  static const uint8_t kZero = 0;
  for (size_t i = 0;; ++i) {
    result.matches = valid && result.crc == wanted;
    if (result.matches || i == padding) return result;
    result.crc = Crc32Update(result.crc, &kZero, 1);
  }
}

bool ClearSignatureFields(uint8_t* image, size_t size) {
  PeSignatureFields f = FindPeSignatureFields(image, std::min(size, kPeHeaderSpan));
  if (!IsSecurityEntryCandidate(f)) return false;
  ZeroOverlap(image, 0, size, f.checksum_offset, kChecksumSize);
  ZeroOverlap(image, 0, size, f.security_entry_offset, kDirectoryEntrySize);
  return true;
}

size_t PackageView::Read(void* buffer, size_t n) {
  uint64_t at = inner_->Position();
  read_failed_ = false;
  if (at >= extent_.end) return 0;
  size_t got = inner_->Read(buffer, static_cast<size_t>(std::min<uint64_t>(n, extent_.end - at)));
  read_failed_ = inner_->ReadFailed();
  if (extent_.has_signature) {
    uint8_t* p = static_cast<uint8_t*>(buffer);
    ZeroOverlap(p, at, got, extent_.fields.checksum_offset, kChecksumSize);
    ZeroOverlap(p, at, got, extent_.fields.security_entry_offset, kDirectoryEntrySize);
  }
  return got;
}

std::unique_ptr<Stream> OpenPackageFile(const std::string& path, uint64_t package_offset,
                                        PackageExtent* extent) {
  std::unique_ptr<Stream> file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) return nullptr;
  PackageExtent e = ReadPackageExtent(*file, package_offset);
  file->Seek(0);
  if (extent) *extent = e;
  return std::unique_ptr<Stream>(new PackageView(std::move(file), e));
}

}  // namespace hollin
