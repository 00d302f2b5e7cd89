// Turns one entry's stored bytes into its plain bytes: stored or deflated, optionally
// decrypted, written into an output target that never grows past the entry's declared
// size (a deflate bomb stops at the end of the block), with the CRC-32 computed on the way.
// The whole-block target is the case a one-shot decompressor can take over later.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "unzip/archive_source.h"
#include "unzip/zip_crypto.h"

namespace vellumo::unzip {

// Where the plain bytes go, a region at a time.
class OutputTarget {
 public:
  virtual ~OutputTarget() = default;
  // Space for up to `want` bytes (want > 0); nullptr when there is none.
  virtual uint8_t* Region(size_t want, size_t& got) = 0;
  // The first n bytes of the last region are final.
  virtual bool Commit(size_t n) = 0;
};

// The caller's block: bytes land in place, no copy.
class BlockTarget : public OutputTarget {
 public:
  BlockTarget(uint8_t* block, size_t size) : block_(block), size_(size) {}
  uint8_t* Region(size_t want, size_t& got) override;
  bool Commit(size_t n) override;
  size_t written() const { return used_; }

 private:
  uint8_t* block_;
  size_t size_;
  size_t used_ = 0;
};

// A scratch buffer handed to a sink after each region (a file, or nothing when testing).
class ChunkTarget : public OutputTarget {
 public:
  using Sink = std::function<bool(const uint8_t* data, size_t n)>;
  explicit ChunkTarget(Sink sink) : sink_(std::move(sink)) {}
  uint8_t* Region(size_t want, size_t& got) override;
  bool Commit(size_t n) override;

 private:
  Sink sink_;
  std::vector<uint8_t> buffer_;
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
  uint16_t method = 0;           // 0 or 8
};

struct DecodeResult {
  DecodeStatus status = DecodeStatus::kOk;
  uint32_t crc = 0;
  uint64_t written = 0;
};

// Progress: bytes produced since the last call; false stops the decode.
using ProgressFn = std::function<bool(uint32_t bytes)>;

DecodeResult DecodeEntry(ArchiveSource& source, const EntryData& data,
                         TraditionalDecryptor* decryptor, OutputTarget& target,
                         const ProgressFn& progress);

}  // namespace vellumo::unzip
