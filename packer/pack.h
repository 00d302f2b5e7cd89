// Packing: reads and compresses the manifest's files on all cores, then writes the installer
// through a temporary file that is renamed into place only when everything succeeded.
// A file larger than one chunk is cut into chunks compressed on all cores into one ordinary
// zlib stream, so one big file packs as fast as many small ones.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "installer/package/stream.h"
#include "packer/manifest.h"

namespace hollin {

struct PackOptions {
  std::string stub_path;
  std::string manifest_path;
  std::string root;         // folder the manifest's file paths are relative to
  std::string output_path;
  unsigned jobs = 0;        // 0: every core
  bool progress = false;    // one line per file
};

struct PackReport {
  size_t files = 0;
  uint64_t unpacked = 0;
  uint64_t packed = 0;
  InstallerSummary installer;
};

// Files are cut into pieces of this size for compression. The piece boundaries depend only
// on the file's size, so the output is the same whatever the number of threads.
constexpr size_t kPackChunkSize = 1u << 20;
// Each piece after the first is primed with this much of the input before it (deflate's
// whole window), so matches reach across the boundary as in a single stream.
constexpr size_t kPackDictionarySize = 32768;

// One piece of a file's zlib stream: raw deflate of data[begin, end) primed with the input
// before `begin`, ended with a sync flush (byte aligned, stream open) or, for the last piece,
// finished. Also the piece's Adler-32 and CRC-32 for combining.
struct DeflatePiece {
  std::vector<uint8_t> bytes;
  uint32_t adler = 1;
  uint32_t crc = 0;
  size_t length = 0;
};
bool DeflateChunk(const uint8_t* data, size_t begin, size_t end, bool last, int level,
                  DeflatePiece* out);

// The number of pieces a file of `size` bytes is cut into (at least one).
size_t ChunkCount(uint64_t size, size_t chunk_size);

// Joins a file's pieces into a stored block: u32 size, the zlib header for `level`, the
// pieces, the combined Adler-32 (big-endian). Also sets the file's CRC. False when the
// block does not fit in memory.
bool AssemblePackedFile(const std::string& name, const std::vector<DeflatePiece>& pieces,
                        int level, PackedFile* out);

// The whole chunked stored block of one file on the calling thread (what PackFiles writes).
bool PackFileChunked(const std::string& name, const uint8_t* data, size_t size, int level,
                     size_t chunk_size, PackedFile* out);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out);
// Reads exactly `length` bytes at `offset`; false on a short read.
bool ReadRange(Stream& file, uint64_t offset, uint8_t* out, size_t length);

// Checks that the stub carries exactly one package-offset marker stamped with its own length.
bool CheckStub(const std::vector<uint8_t>& stub, const std::string& path, std::string* error);

// Compresses `files` (paths under root) with `jobs` threads; results in manifest order.
// Every file's size is checked before anything is read. Then the pieces of all files are
// handed out in order; a thread reads one piece (with the window before it), compresses it
// and takes the next, so input in memory is bounded by the pieces in flight. The thread
// that compresses a file's last piece joins the pieces. When the system refuses to start
// all threads, the ones that started do the work.
// `observe` (for tests) is told, on the thread concerned, when it is about to read a piece
// of file `index` and when it is about to compress it.
enum class PackEvent { kRead, kPiece };
bool PackFiles(const std::vector<ManifestFile>& files, const std::string& root, unsigned jobs,
               bool progress, std::vector<PackedFile>* out, std::string* error,
               size_t chunk_size = kPackChunkSize,
               const std::function<void(PackEvent, size_t index)>& observe = nullptr);

bool Pack(const PackOptions& options, PackReport* report, std::string* error);

}  // namespace hollin
