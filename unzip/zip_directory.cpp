#include "unzip/zip_directory.h"

#include <algorithm>

#include "common/byte_reader.h"

namespace vellumo::unzip {
namespace {

constexpr size_t kEndSearchWindow = kMaxCommentLength + kEndRecordSize;

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
// unadjusted prefix, right before the locator.
DirectoryStatus ApplyZip64(ArchiveSource& source, EndRecord& end) {
  if (end.position < kZip64LocatorSize) return DirectoryStatus::kBadDirectory;
  uint8_t loc[kZip64LocatorSize];
  uint64_t locatorPosition = end.position - kZip64LocatorSize;
  if (!source.ReadAt(locatorPosition, loc, sizeof loc)) return DirectoryStatus::kBadDirectory;
  ByteReader lr(loc, sizeof loc);
  if (lr.u32() != kZip64LocatorSignature) return DirectoryStatus::kBadDirectory;
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

ZipDirectory ReadZipDirectory(ArchiveSource& source) {
  ZipDirectory dir;
  EndRecord end;
  bool readError = false;
  if (!FindEndRecord(source, end, readError)) {
    dir.status = readError ? DirectoryStatus::kReadError : DirectoryStatus::kNotZip;
    return dir;
  }
  if (end.thisVolume != end.directoryVolume) {
    dir.status = DirectoryStatus::kMultiVolume;
    return dir;
  }
  if (end.totalEntries == 0xFFFF || end.directorySize == 0xFFFFFFFF ||
      end.directoryOffset == 0xFFFFFFFF) {
    DirectoryStatus s = ApplyZip64(source, end);
    if (s != DirectoryStatus::kOk) {
      dir.status = s;
      return dir;
    }
  }
  // The directory ends where the end record (or Zip64 record) begins, whatever the stored
  // offset says; the difference is the shift of every stored offset.
  if (end.directorySize > end.directoryEnd) {
    dir.status = DirectoryStatus::kBadDirectory;
    return dir;
  }
  uint64_t position = end.directoryEnd - end.directorySize;
  dir.centralDirectoryPosition = position;
  dir.offsetShift = static_cast<int64_t>(position - end.directoryOffset);
  // Every record takes at least 46 bytes: a count the directory cannot hold is a lie.
  if (end.totalEntries > end.directorySize / kCentralHeaderSize) {
    dir.status = DirectoryStatus::kBadDirectory;
    return dir;
  }
  if (end.directorySize > SIZE_MAX) {
    dir.status = DirectoryStatus::kBadDirectory;
    return dir;
  }
  std::vector<uint8_t> buf(static_cast<size_t>(end.directorySize));
  if (!source.ReadAt(position, buf.data(), buf.size())) {
    dir.status = DirectoryStatus::kReadError;
    return dir;
  }
  dir.entries.reserve(static_cast<size_t>(end.totalEntries));
  ByteReader r(buf.data(), buf.size());
  for (uint64_t n = 0; n < end.totalEntries; ++n) {
    if (r.u32() != kCentralHeaderSignature || !r.ok()) {
      dir.status = DirectoryStatus::kBadDirectory;
      dir.entries.clear();
      return dir;
    }
    CentralEntry e;
    e.versionMadeBy = r.u8();
    e.hostSystem = r.u8();
    e.versionNeeded = r.u16();
    e.flags = r.u16();
    e.method = r.u16();
    e.time = r.u16();
    e.date = r.u16();
    e.crc = r.u32();
    uint32_t compressed = r.u32();
    uint32_t uncompressed = r.u32();
    uint16_t nameLength = r.u16();
    uint16_t extraLength = r.u16();
    uint16_t commentLength = r.u16();
    r.u16();  // start volume
    r.u16();  // internal attributes
    r.u32();  // external attributes
    uint32_t offset = r.u32();
    e.rawName = r.text(nameLength);
    const uint8_t* extra = r.bytes(extraLength);
    r.skip(commentLength);
    if (!r.ok()) {
      dir.status = DirectoryStatus::kBadDirectory;
      dir.entries.clear();
      return dir;
    }
    e.compressedSize = compressed;
    e.uncompressedSize = uncompressed;
    e.localHeaderOffset = offset;
    if (compressed == 0xFFFFFFFF || uncompressed == 0xFFFFFFFF || offset == 0xFFFFFFFF) {
      ApplyZip64Extra(extra, extraLength, e, uncompressed == 0xFFFFFFFF,
                      compressed == 0xFFFFFFFF, offset == 0xFFFFFFFF);
    }
    dir.entries.push_back(std::move(e));
  }
  dir.status = DirectoryStatus::kOk;
  return dir;
}

}  // namespace vellumo::unzip
