// Turns one entry's stored bytes into its plain bytes: stored or deflated here, Deflate64,
// bzip2 and LZMA in their own files (compression_methods.h), optionally decrypted, written into an output target that never grows past the entry's declared
// size (a deflate bomb stops at the end of the block), with the CRC-32 computed on the way.
// Deflated data that fits in one block (the caller's, or a scratch buffer of moderate size)
// is decompressed in one call (libdeflate), much faster than inflating region by region;
// larger entries bound for files or for testing stream through zlib.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "unzip/archive_source.h"
#include "unzip/entry_decryptor.h"

namespace vellumo::unzip {

// Where the plain bytes go, a region at a time.
class OutputTarget {
 public:
  virtual ~OutputTarget() = default;
  // Space for up to `want` bytes (want > 0); nullptr when there is none.
  virtual uint8_t* Region(size_t want, size_t& got) = 0;
  // The first n bytes of the last region are final.
  virtual bool Commit(size_t n) = 0;
  // Space for exactly `size` bytes in one piece (size > 0), for a decoder that writes the
  // whole entry at once and then commits what it wrote; nullptr when the target cannot
  // give that much, and the decoder streams through regions instead.
  virtual uint8_t* WholeBlock(size_t size) = 0;
};

// The caller's block: bytes land in place, no copy.
class BlockTarget : public OutputTarget {
 public:
  BlockTarget(uint8_t* block, size_t size) : block_(block), size_(size) {}
  uint8_t* Region(size_t want, size_t& got) override;
  bool Commit(size_t n) override;
  uint8_t* WholeBlock(size_t size) override;
  size_t written() const { return used_; }

 private:
  uint8_t* block_;
  size_t size_;
  size_t used_ = 0;
};

// A scratch buffer handed to a sink after each region (a file, or nothing when testing).
// A whole entry up to kWholeScratchLimit also fits in it at once.
class ChunkTarget : public OutputTarget {
 public:
  static constexpr size_t kWholeScratchLimit = 32u << 20;
  using Sink = std::function<bool(const uint8_t* data, size_t n)>;
  explicit ChunkTarget(Sink sink) : sink_(std::move(sink)) {}
  uint8_t* Region(size_t want, size_t& got) override;
  bool Commit(size_t n) override;
  uint8_t* WholeBlock(size_t size) override;

 private:
  bool Reserve(size_t size);
  Sink sink_;
  // Not zero-filled: the pages of a large scratch are touched only as far as data comes.
  std::unique_ptr<uint8_t[]> buffer_;
  size_t capacity_ = 0;
};

enum class DecodeStatus {
  kOk,
  kReadError,      // the source could not be read
  kCorrupt,        // the compressed data is not valid
  kTruncated,      // the data ends before the declared size
  kTooLong,        // the data holds more than the declared size
  kWriteError,     // the target refused bytes
  kStopped,        // the progress callback asked to stop
};

struct EntryData {
  uint64_t offset = 0;           // file position of the (decrypted) data
  uint64_t compressedSize = 0;   // without any encryption header
  uint64_t uncompressedSize = 0;
  uint16_t method = 0;           // 0, 8 or one of the methods in compression_methods.h
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::kOk;
  uint32_t crc = 0;
  uint64_t written = 0;
};

// Progress: bytes produced since the last call; false stops the decode.
using ProgressFn = std::function<bool(uint32_t bytes)>;

DecodeResult DecodeEntry(ArchiveSource& source, const EntryData& data,
                         EntryDecryptor* decryptor, OutputTarget& target,
                         const ProgressFn& progress);

}  // namespace vellumo::unzip
