// Reads a ZIP archive's directory the way the unzip engine needs it: finds the end
// record (with a trailing comment, Zip64 locator and record), works out where the ZIP
// data really starts when a prefix such as a self-extractor stub was added with or
// without adjusting the offsets, and reads every central header in one bulk read.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "unzip/archive_source.h"

namespace vellumo::unzip {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr uint32_t kEndRecordSignature = 0x06054B50;
constexpr uint32_t kZip64EndRecordSignature = 0x06064B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr size_t kLocalHeaderSize = 30;     // + name + extra
constexpr size_t kCentralHeaderSize = 46;   // + name + extra + comment
constexpr size_t kEndRecordSize = 22;       // + comment
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndRecordSize = 56;  // + extensible data
constexpr size_t kMaxCommentLength = 65535;
constexpr uint16_t kZip64ExtraId = 0x0001;

constexpr uint16_t kFlagEncrypted = 1 << 0;
constexpr uint16_t kFlagDataDescriptor = 1 << 3;
constexpr uint16_t kFlagStrongEncryption = 1 << 6;
constexpr uint16_t kFlagUtf8 = 1 << 11;

constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;

struct CentralEntry {
  uint8_t versionMadeBy = 0;
  uint8_t hostSystem = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t time = 0;
  uint16_t date = 0;
  uint32_t crc = 0;
  uint64_t compressedSize = 0;    // real values, Zip64 extra applied
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0; // as stored; add ZipDirectory::offsetShift for the file
  std::string rawName;            // the name's bytes as stored
};

enum class DirectoryStatus {
  kOk,
  kReadError,       // the source could not be read
  kNotZip,          // no end record
  kMultiVolume,     // a set spread over several volumes (join it first)
  kBadDirectory,    // central directory truncated, past the end or malformed
};

struct ZipDirectory {
  DirectoryStatus status = DirectoryStatus::kNotZip;
  std::vector<CentralEntry> entries;
  // Added to every stored offset to get a file position: nonzero when data was put in
  // front of the archive without adjusting its offsets.
  int64_t offsetShift = 0;
  uint64_t centralDirectoryPosition = 0;
};

ZipDirectory ReadZipDirectory(ArchiveSource& source);

// The same directory without a record per entry: its bytes read in one piece, walked in
// place. Finding one name in a large archive then costs a pass over these bytes and no
// allocation per entry.
struct DirectoryBytes {
  DirectoryStatus status = DirectoryStatus::kNotZip;
  // The directory: a view of the source for a large one (valid until the source's next
  // View), else a copy in `storage`.
  const uint8_t* data = nullptr;
  size_t size = 0;
  std::vector<uint8_t> storage;
  uint64_t count = 0;  // entries the end record promises
  int64_t offsetShift = 0;
  uint64_t centralDirectoryPosition = 0;

  DirectoryBytes() = default;
  DirectoryBytes(const DirectoryBytes&) = delete;
  DirectoryBytes& operator=(const DirectoryBytes&) = delete;
};

// Fills dir (a fresh one) from the source.
void ReadDirectoryBytes(ArchiveSource& source, DirectoryBytes& dir);

// One central header as it lies in DirectoryBytes: CentralEntry's fields (Zip64 extra
// applied) with the name left in place.
struct CentralRecord {
  CentralEntry fields;      // rawName stays empty
  const char* name = nullptr;
  size_t nameLength = 0;

  CentralEntry ToEntry() const;
};

// Walks the headers in order. Next() is false at the end and at a malformed header;
// Failed() tells the two apart (ReadZipDirectory's kBadDirectory).
class CentralWalker {
 public:
  explicit CentralWalker(const DirectoryBytes& dir) : dir_(dir) {}
  bool Next(CentralRecord& record);
  bool Failed() const { return failed_; }

 private:
  const DirectoryBytes& dir_;
  size_t position_ = 0;
  uint64_t index_ = 0;
  bool failed_ = false;
};

}  // namespace vellumo::unzip
