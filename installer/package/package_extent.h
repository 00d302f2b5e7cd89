// Where an installer's package ends, and the self check over it. Code signing appends a
// certificate table after the package and writes two fields of the PE header (the optional
// header's CheckSum and the security entry of the data directory); the self check, the
// readers and the uninstaller leave all three out, so a signed installer checks and behaves
// like the unsigned one it was made from. Portable: a bounded view of the file's head and
// the file's size in, positions out.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "installer/package/crc.h"
#include "installer/package/package_format.h"
#include "installer/package/stream.h"

namespace hollin {

// The PE header is looked for within this many bytes from the start of the file.
constexpr size_t kPeHeaderSpan = 4096;
// Signing starts the certificate table on a multiple of 8, padding the file with zeros.
constexpr uint64_t kCertificateTableAlignment = 8;
// A certificate table holds at least one entry header (u32 length, u16 revision, u16 type).
constexpr uint32_t kMinCertificateTableSize = 8;

// The two PE header fields that signing writes, as found in the file's head.
struct PeSignatureFields {
  bool found = false;                  // a PE header with a security entry lies in the span
  uint64_t checksum_offset = 0;        // u32 CheckSum of the optional header
  uint64_t security_entry_offset = 0;  // u32 file offset, u32 size of the certificate table
  uint32_t checksum = 0;
  uint32_t certificate_offset = 0;
  uint32_t certificate_size = 0;
};

// Finds the fields in `head` (the file's first bytes). Not found when the span holds no
// PE32 or PE32+ header that has a security entry, or when a field would lie inside the
// stub fields (before kStubFieldsEnd).
PeSignatureFields FindPeSignatureFields(const uint8_t* head, size_t size);

struct PackageExtent {
  uint64_t file_size = 0;
  uint64_t end = 0;             // end of the package: the certificate table, else the file's end
  bool has_signature = false;   // a certificate table follows the package
  bool bad_security_entry = false;  // an entry that names no usable table: no signature
  PeSignatureFields fields;
};

// The package's extent from the file's head, its size and the first bytes of the table the
// security entry names (`table_entry`, kMinCertificateTableSize bytes, or nullptr when they
// could not be read). A security entry is a signature only when its table starts after
// package_offset on a multiple of 8, reaches exactly the end of the file and begins with a
// certificate entry header (length 8 to the table's size, revision 1.0 or 2.0). An entry
// pointing before the package, past the end of the file, or into the package (bytes after
// the table, or a table that does not start like one) counts as no signature: the package
// then runs to the end of the file and the entry stays in the check.
PackageExtent FindPackageExtent(const uint8_t* head, size_t head_size, uint64_t file_size,
                                uint64_t package_offset, const uint8_t* table_entry);

// Same from a stream: reads at most kPeHeaderSpan bytes of its head (never past
// package_offset). A stream whose size cannot be found keeps that unknown size (UINT64_MAX)
// as its end, as readers of it always had.
PackageExtent ReadPackageExtent(Stream& file, uint64_t package_offset);

struct SelfCheckResult {
  bool matches = false;   // the computed value equals the expected text
  bool readable = false;  // every checked byte could be read
  uint32_t crc = 0;       // the value (the one that matched, else over the whole package)
  PackageExtent extent;
  // The value as Hollin compares it: CRC text, or kCrcErrorText when unreadable.
  std::string value() const { return readable ? CrcText(crc) : std::string(kCrcErrorText); }
};

// The self-check value: the CRC-32 of file bytes kSelfCheckStartOffset to the end of the
// package, with a signature's CheckSum and security entry read as zeros. Without a signature
// this is the CRC of bytes 93 to the end of the file, as it has always been. With one, up to
// 7 zero bytes right before the (8-aligned) table may be signing's padding rather than
// package bytes (the value was written before signing): the check matches when the value
// over the package with or without them equals `expected`. Lets window messages through
// between chunks. A file that cannot be read gives kCrcErrorText and never matches.
// (hollin-pack --verify and --list call this with the stub's value at offset 85.)
SelfCheckResult CheckSelfCheckValue(Stream& file, uint64_t package_offset,
                                    const std::string& expected);

// Zeroes the CheckSum and the security entry in an image's PE header when the entry is set,
// so a copy of a signed program is a valid unsigned one. Images without a security entry
// are left as they are. Returns whether anything was cleared.
bool ClearSignatureFields(uint8_t* image, size_t size);

// What readers of a package see of its file: the bytes up to the end of the package, with a
// signature's CheckSum and security entry read as zeros (so a signed installer reads like
// the unsigned one). Reads stop at extent.end; Size() is extent.end.
class PackageView : public Stream {
 public:
  PackageView(Stream& inner, const PackageExtent& extent) : inner_(&inner), extent_(extent) {}
  PackageView(std::unique_ptr<Stream> owned, const PackageExtent& extent)
      : owned_(std::move(owned)), inner_(owned_.get()), extent_(extent) {}

  size_t Read(void* buffer, size_t n) override;
  size_t Write(const void*, size_t) override { return 0; }
  bool Seek(uint64_t position) override { return inner_->Seek(position); }
  uint64_t Position() const override { return inner_->Position(); }
  uint64_t Size() const override { return extent_.end; }

 private:
  std::unique_ptr<Stream> owned_;
  Stream* inner_;
  PackageExtent extent_;
};

// Opens `path` read-only as a PackageView.
std::unique_ptr<Stream> OpenPackageFile(const std::string& path, uint64_t package_offset,
                                        PackageExtent* extent = nullptr);

}  // namespace hollin
