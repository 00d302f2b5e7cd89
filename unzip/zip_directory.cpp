#include "unzip/zip_directory.h"

#include <algorithm>

#include "common/byte_reader.h"

namespace vellumo::unzip {
namespace {

constexpr size_t kEndSearchWindow = kMaxCommentLength + kEndRecordSize;
// Field offsets in a central header.
constexpr size_t kCentralVersionMadeBy = 4;
constexpr size_t kCentralHostSystem = 5;
constexpr size_t kCentralVersionNeeded = 6;
constexpr size_t kCentralFlags = 8;
constexpr size_t kCentralMethod = 10;
constexpr size_t kCentralTime = 12;
constexpr size_t kCentralDate = 14;
constexpr size_t kCentralCrc = 16;
constexpr size_t kCentralCompressedSize = 20;
constexpr size_t kCentralUncompressedSize = 24;
constexpr size_t kCentralNameLength = 28;
constexpr size_t kCentralExtraLength = 30;
constexpr size_t kCentralCommentLength = 32;
constexpr size_t kCentralLocalHeaderOffset = 42;
// Mapping costs a few system calls; below this size a copy is cheaper.
constexpr size_t kDirectoryViewThreshold = 1u << 20;

struct EndRecord {
  uint64_t position = 0;   // file position of the classic end record
  uint16_t thisVolume = 0;
  uint16_t directoryVolume = 0;
  uint64_t totalEntries = 0;
  uint64_t directorySize = 0;
  uint64_t directoryOffset = 0;
  uint64_t directoryEnd = 0;  // file position where the central directory ends
};

// Finds the classic end record: the last 22 bytes first, then the last signature in the
// final 64 KiB + 22 bytes (a comment may follow the record).
bool FindEndRecord(ArchiveSource& source, EndRecord& end, bool& readError) {
  uint64_t size = source.Size();
  if (size < kEndRecordSize) return false;
  size_t window = static_cast<size_t>(std::min<uint64_t>(size, kEndSearchWindow));
  std::vector<uint8_t> buf(window);
  uint64_t base = size - window;
  if (!source.ReadAt(base, buf.data(), window)) {
    readError = true;
    return false;
  }
  for (size_t i = window - kEndRecordSize + 1; i-- > 0;) {
    if (buf[i] == 0x50 && buf[i + 1] == 0x4B && buf[i + 2] == 0x05 && buf[i + 3] == 0x06) {
      ByteReader r(buf.data() + i, kEndRecordSize);
      r.u32();
      end.position = base + i;
      end.thisVolume = r.u16();
      end.directoryVolume = r.u16();
      r.u16();
      end.totalEntries = r.u16();
      end.directorySize = r.u32();
      end.directoryOffset = r.u32();
      end.directoryEnd = end.position;
      return r.ok();
    }
  }
  return false;
}

// Replaces the all-ones fields of the classic record with the Zip64 record's values.
// The Zip64 record is looked for where the locator says and, for an archive with an
// unadjusted prefix, right before the locator. Without a locator an all-ones field means
// what it says: an archive of exactly 65,535 entries (as Python's zipfile writes one) has
// no Zip64 records at all.
DirectoryStatus ApplyZip64(ArchiveSource& source, EndRecord& end) {
  if (end.position < kZip64LocatorSize) return DirectoryStatus::kOk;
  uint8_t loc[kZip64LocatorSize];
  uint64_t locatorPosition = end.position - kZip64LocatorSize;
  if (!source.ReadAt(locatorPosition, loc, sizeof loc)) return DirectoryStatus::kReadError;
  ByteReader lr(loc, sizeof loc);
  if (lr.u32() != kZip64LocatorSignature) return DirectoryStatus::kOk;
  lr.u32();  // volume holding the Zip64 record
  uint64_t storedRecordOffset = lr.u64();
  uint8_t rec[kZip64EndRecordSize];
  uint64_t candidates[2] = {storedRecordOffset, locatorPosition >= kZip64EndRecordSize
                                                    ? locatorPosition - kZip64EndRecordSize
                                                    : UINT64_MAX};
  for (uint64_t at : candidates) {
    if (at == UINT64_MAX || at > locatorPosition) continue;
    if (!source.ReadAt(at, rec, sizeof rec)) continue;
    ByteReader r(rec, sizeof rec);
    if (r.u32() != kZip64EndRecordSignature) continue;
    r.u64();  // record size
    r.u16();
    r.u16();
    uint32_t thisVolume = r.u32();
    uint32_t directoryVolume = r.u32();
    r.u64();
    uint64_t total = r.u64();
    uint64_t dirSize = r.u64();
    uint64_t dirOffset = r.u64();
    if (!r.ok()) continue;
    if (thisVolume != directoryVolume) return DirectoryStatus::kMultiVolume;
    end.totalEntries = total;
    end.directorySize = dirSize;
    end.directoryOffset = dirOffset;
    end.directoryEnd = at;
    return DirectoryStatus::kOk;
  }
  return DirectoryStatus::kBadDirectory;
}

// Takes the real sizes and offset from a Zip64 extra field: it holds, in this order, only
// the values whose classic field is all ones.
void ApplyZip64Extra(const uint8_t* extra, size_t length, CentralEntry& e, bool needUncompressed,
                     bool needCompressed, bool needOffset) {
  ByteReader r(extra, length);
  while (r.remaining() >= 4) {
    uint16_t id = r.u16();
    uint16_t size = r.u16();
    const uint8_t* data = r.bytes(size);
    if (!data) return;
    if (id != kZip64ExtraId) continue;
    ByteReader z(data, size);
    if (needUncompressed) {
      uint64_t v = z.u64();
      if (z.ok()) e.uncompressedSize = v;
    }
    if (needCompressed) {
      uint64_t v = z.u64();
      if (z.ok()) e.compressedSize = v;
    }
    if (needOffset) {
      uint64_t v = z.u64();
      if (z.ok()) e.localHeaderOffset = v;
    }
    return;
  }
}

}  // namespace

void ReadDirectoryBytes(ArchiveSource& source, DirectoryBytes& dir) {
  EndRecord end;
  bool readError = false;
  if (!FindEndRecord(source, end, readError)) {
    dir.status = readError ? DirectoryStatus::kReadError : DirectoryStatus::kNotZip;
    return;
  }
  if (end.thisVolume != end.directoryVolume) {
    dir.status = DirectoryStatus::kMultiVolume;
    return;
  }
  if (end.totalEntries == 0xFFFF || end.directorySize == 0xFFFFFFFF ||
      end.directoryOffset == 0xFFFFFFFF) {
    DirectoryStatus s = ApplyZip64(source, end);
    if (s != DirectoryStatus::kOk) {
      dir.status = s;
      return;
    }
  }
  // The directory ends where the end record (or Zip64 record) begins, whatever the stored
  // offset says; the difference is the shift of every stored offset.
  if (end.directorySize > end.directoryEnd) {
    dir.status = DirectoryStatus::kBadDirectory;
    return;
  }
  uint64_t position = end.directoryEnd - end.directorySize;
  dir.centralDirectoryPosition = position;
  dir.offsetShift = static_cast<int64_t>(position - end.directoryOffset);
  // Every record takes at least 46 bytes: a count the directory cannot hold is a lie.
  if (end.totalEntries > end.directorySize / kCentralHeaderSize) {
    dir.status = DirectoryStatus::kBadDirectory;
    return;
  }
  if (end.directorySize > SIZE_MAX) {
    dir.status = DirectoryStatus::kBadDirectory;
    return;
  }
  // Bounded by the file: the directory lies before the end record. A large one is
  // walked where the system keeps the file rather than copied.
  size_t size = static_cast<size_t>(end.directorySize);
  dir.data = size >= kDirectoryViewThreshold ? source.View(position, size) : nullptr;
  if (!dir.data) {
    dir.storage.resize(size);
    if (!source.ReadAt(position, dir.storage.data(), size)) {
      dir.status = DirectoryStatus::kReadError;
      dir.storage.clear();
      return;
    }
    dir.data = dir.storage.data();
  }
  dir.size = size;
  dir.count = end.totalEntries;
  dir.status = DirectoryStatus::kOk;
}

CentralEntry CentralRecord::ToEntry() const {
  CentralEntry e = fields;
  e.rawName.assign(name, nameLength);
  return e;
}

bool CentralWalker::Next(CentralRecord& record) {
  if (failed_ || index_ >= dir_.count) return false;
  // Fixed offsets after one bounds check: this runs once per entry of the archive.
  const uint8_t* h = dir_.data + position_;
  size_t left = dir_.size - position_;
  if (left < kCentralHeaderSize || GetU32(h) != kCentralHeaderSignature) {
    failed_ = true;
    return false;
  }
  size_t nameLength = GetU16(h + kCentralNameLength);
  size_t extraLength = GetU16(h + kCentralExtraLength);
  size_t commentLength = GetU16(h + kCentralCommentLength);
  size_t length = kCentralHeaderSize + nameLength + extraLength + commentLength;
  if (length > left) {
    failed_ = true;
    return false;
  }
  CentralEntry& e = record.fields;
  e.versionMadeBy = h[kCentralVersionMadeBy];
  e.hostSystem = h[kCentralHostSystem];
  e.versionNeeded = GetU16(h + kCentralVersionNeeded);
  e.flags = GetU16(h + kCentralFlags);
  e.method = GetU16(h + kCentralMethod);
  e.time = GetU16(h + kCentralTime);
  e.date = GetU16(h + kCentralDate);
  e.crc = GetU32(h + kCentralCrc);
  uint32_t compressed = GetU32(h + kCentralCompressedSize);
  uint32_t uncompressed = GetU32(h + kCentralUncompressedSize);
  uint32_t offset = GetU32(h + kCentralLocalHeaderOffset);
  record.name = reinterpret_cast<const char*>(h + kCentralHeaderSize);
  record.nameLength = nameLength;
  e.compressedSize = compressed;
  e.uncompressedSize = uncompressed;
  e.localHeaderOffset = offset;
  if (compressed == 0xFFFFFFFF || uncompressed == 0xFFFFFFFF || offset == 0xFFFFFFFF) {
    ApplyZip64Extra(h + kCentralHeaderSize + nameLength, extraLength, e,
                    uncompressed == 0xFFFFFFFF, compressed == 0xFFFFFFFF, offset == 0xFFFFFFFF);
  }
  position_ += length;
  ++index_;
  return true;
}

ZipDirectory ReadZipDirectory(ArchiveSource& source) {
  ZipDirectory dir;
  DirectoryBytes bytes;
  ReadDirectoryBytes(source, bytes);
  dir.status = bytes.status;
  dir.offsetShift = bytes.offsetShift;
  dir.centralDirectoryPosition = bytes.centralDirectoryPosition;
  if (bytes.status != DirectoryStatus::kOk) return dir;
  dir.entries.reserve(static_cast<size_t>(bytes.count));
  CentralWalker walker(bytes);
  CentralRecord record;
  while (walker.Next(record)) dir.entries.push_back(record.ToEntry());
  if (walker.Failed()) {
    dir.status = DirectoryStatus::kBadDirectory;
    dir.entries.clear();
  }
  return dir;
}

}  // namespace vellumo::unzip
