// Chunked stream copy and block decoding: a stored block (u32 U, then one zlib stream) to
// its U plain bytes. Nothing here throws; a short or corrupt block is reported in the result
// and through the decode-failure handler (the Windows side sets the caption there).
#pragma once
#include <cstdint>

#include "installer/package/stream.h"

namespace hollin {

// Copies `count` bytes from the source's current position (count 0: rewinds the source and
// copies all of it) in chunks of up to kCopyChunkSize, letting window messages through
// between chunks. Stops at the end of the source or on a read or write error; returns the
// number of bytes written to `dest`.
uint64_t StreamCopy(Stream& dest, Stream& src, uint64_t count);

// Copies `count` bytes that start at `position` in `src`, seeking `src` before every chunk:
// whatever runs inside the message pump between chunks and moves the shared package stream
// cannot shift what is read. Returns the number of bytes written to `dest`.
uint64_t StreamCopyFrom(Stream& dest, Stream& src, uint64_t position, uint64_t count);

struct BlockDecodeResult {
  bool has_size = false;   // the 4-byte U could be read (otherwise nothing was decoded)
  bool complete = false;   // exactly U bytes were produced
  bool over_limit = false; // U exceeded the caller's limit; only `limit` bytes were decoded
  uint64_t expected = 0;   // U
  uint64_t produced = 0;   // bytes written to the destination
  // A failure the user is told about: U was read but fewer bytes came out.
  bool failed() const { return has_size && !complete; }
};

// Decodes the stored block at the start of `source` into `dest` at dest's current position
// (a fresh stream: from 0), then rewinds `dest` to 0. Output beyond U is cut; a corrupt or
// truncated stream leaves the partial data in `dest`. Memory for a MemoryStream destination
// is reserved only as far as the source can justify, then grows as data arrives.
// When failed(), the decode-failure handler runs (once per call). A U above `limit` is
// decoded only up to `limit` bytes and counts as a failure: a size field must not make
// Hollin build more than the caller can use.
BlockDecodeResult DecodeBlock(Stream& source, Stream& dest, uint64_t limit = UINT64_MAX);

// Called after a failed decode; Hollin sets the main window caption to
// kDecodeErrorCaption from it. Pass nullptr to remove. Not called when the block is
// shorter than its 4-byte size.
using DecodeFailureHandler = void (*)();
void SetDecodeFailureHandler(DecodeFailureHandler handler);
// Reports a bad block the way a failed decode does (a record cut to its bounds, memory that
// could not be had).
void ReportDecodeFailure();

struct LengthPrefixedBlockInfo {
  uint64_t position = 0;        // where the u32 N stands
  bool has_length = false;      // N could be read
  uint32_t declared_length = 0; // N
  uint64_t stored_length = 0;   // bytes of the block actually present (N cut at the end)
};

// Reads a length-prefixed block at the stream's position (u32 N, then N bytes holding one
// stored block), cuts N to what the stream still holds, and decodes it into `dest`
// (rewound), at most `limit` bytes of it. The stream is left right after the bytes taken.
BlockDecodeResult ReadLengthPrefixedBlock(Stream& stream, Stream& dest,
                                          LengthPrefixedBlockInfo* info = nullptr,
                                          uint64_t limit = UINT64_MAX);

struct FileBlockResult {
  bool copied = false;        // all block_length bytes were present and read
  BlockDecodeResult decode;   // valid when copied
};

// Decodes one packaged file: copies exactly `block_length` bytes from `position` into
// memory and decodes them into `dest` (rewound). When fewer bytes remain than the length
// says, nothing is decoded and copied is false.
FileBlockResult ExtractFileBlock(Stream& package, uint64_t position, uint64_t block_length,
                                 Stream& dest);
// The same from the stream's position; a block that is not all there leaves the stream at
// its start.
FileBlockResult ExtractFileBlock(Stream& package, uint64_t block_length, Stream& dest);

}  // namespace hollin
