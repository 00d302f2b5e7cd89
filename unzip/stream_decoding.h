// Pieces shared by the decoders of the methods beyond stored and deflate: the compressed
// bytes read in bounded chunks (decrypted as they come), the plain bytes handed out in
// regions of the output target that never pass the declared size, and a loop that drives
// a library's stream decoder between the two.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "unzip/entry_decoder.h"

namespace vellumo::unzip {

// CRC-32 over any length (the engine's fast one).
uint32_t UpdateCrc(uint32_t crc, const uint8_t* data, size_t n);

class InputPump {
 public:
  static constexpr size_t kChunk = 256 * 1024;
  InputPump(ArchiveSource& source, const EntryData& data, EntryDecryptor* decryptor);
  // The next chunk; false when nothing is left or the source failed (ReadFailed()).
  bool Next(const uint8_t*& chunk, size_t& n);
  bool Exhausted() const { return left_ == 0; }
  bool ReadFailed() const { return readFailed_; }

 private:
  ArchiveSource& source_;
  EntryDecryptor* decryptor_;
  uint64_t offset_;
  uint64_t left_;  // never past the end of the file: what is missing shows up as truncation
  std::unique_ptr<uint8_t[]> buffer_;
  bool readFailed_ = false;
};

class OutputPump {
 public:
  OutputPump(OutputTarget& target, uint64_t declaredSize, const ProgressFn& progress,
             DecodeResult& result);
  // Space to write into. Past the declared size it is one probe byte: writing it means the
  // data holds more than declared. False (result.status set) when the target has none.
  bool Space(uint8_t*& out, size_t& n);
  // The first n bytes of the last space are written: CRC, commit, progress. False
  // (result.status set) on a refused write, a stop, or bytes past the declared size.
  bool Produced(size_t n);
  uint64_t Left() const { return left_; }

 private:
  OutputTarget& target_;
  const ProgressFn& progress_;
  DecodeResult& result_;
  uint64_t left_;
  uint8_t* region_ = nullptr;
  uint8_t probe_ = 0;
};

// One library stream decoder, stepped over the input and output the driver hands it.
class StreamCodec {
 public:
  enum Step { kGoingOn, kEnd, kCorrupt };
  virtual ~StreamCodec() = default;
  // Decodes what it can, advancing in/out and reducing their lengths; inputDone: no more
  // input follows what is given.
  virtual Step Decode(const uint8_t*& in, size_t& inLength, uint8_t*& out, size_t& outLength,
                      bool inputDone) = 0;
};

DecodeResult DecodeWithCodec(ArchiveSource& source, const EntryData& data,
                             EntryDecryptor* decryptor, OutputTarget& target,
                             const ProgressFn& progress, StreamCodec& codec);

}  // namespace vellumo::unzip
