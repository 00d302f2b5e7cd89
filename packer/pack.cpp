#include "packer/pack.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "common/replace_file.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/stream.h"
#include "packer/file_set.h"

#ifdef _WIN32
#include <process.h>
#define HOLLIN_GETPID _getpid
#else
#include <unistd.h>
#define HOLLIN_GETPID getpid
#endif

namespace hollin {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* out) {
  auto file = FileStream::Open(path, FileStream::Mode::kRead);
  if (!file) return false;
  uint64_t size = file->Size();
  if (size == UINT64_MAX || size > SIZE_MAX) return false;
  try {
    out->resize(static_cast<size_t>(size));
  } catch (...) {
    return false;
  }
  size_t got = 0;
  while (got < out->size()) {
    size_t n = file->Read(out->data() + got, out->size() - got);
    if (n == 0) return false;
    got += n;
  }
  return true;
}

bool CheckStub(const std::vector<uint8_t>& stub, const std::string& path, std::string* error) {
  uint32_t stamped = 0;
  if (!FindStampedPackageOffset(stub.data(), stub.size(), &stamped, nullptr)) {
    *error = "stub " + path + " has no package-offset marker (or more than one)";
    return false;
  }
  if (stamped != stub.size()) {
    *error = "stub " + path + " is " + std::to_string(stub.size()) +
             " bytes long but its package offset is " + std::to_string(stamped);
    return false;
  }
  if (stub.size() < kStubFieldsEnd) {
    *error = "stub " + path + " is too short to hold the stub fields";
    return false;
  }
  return true;
}

size_t ChunkCount(uint64_t size, size_t chunk_size) {
  if (chunk_size == 0 || size == 0) return 1;
  return static_cast<size_t>((size + chunk_size - 1) / chunk_size);
}

bool DeflateChunk(const uint8_t* data, size_t begin, size_t end, bool last, int level,
                  DeflatePiece* out) {
  out->bytes.clear();
  out->length = end - begin;
  if (end < begin || out->length > UINT32_MAX) return false;
  // Raw deflate with compress2's window and memory level: a file of one piece comes out
  // byte for byte as compress2 makes it.
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  bool ok = true;
  if (begin > 0) {
    size_t dictionary = std::min(begin, kPackDictionarySize);
    ok = deflateSetDictionary(&z, data + begin - dictionary, static_cast<uInt>(dictionary)) == Z_OK;
  }
  try {
    // The bound plus room for the sync flush's empty stored block; grown below if short.
    out->bytes.resize(deflateBound(&z, static_cast<uLong>(out->length)) + 16);
  } catch (...) {
    ok = false;
  }
  z.next_in = const_cast<Bytef*>(data + begin);
  z.avail_in = static_cast<uInt>(out->length);
  size_t produced = 0;
  while (ok) {
    z.next_out = out->bytes.data() + produced;
    z.avail_out = static_cast<uInt>(out->bytes.size() - produced);
    int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    produced = out->bytes.size() - z.avail_out;
    if (last && rc == Z_STREAM_END) break;
    // A sync flush is complete when deflate stops with output room to spare; when the last
    // call filled the buffer exactly, the repeat has nothing to do and says Z_BUF_ERROR.
    if (!last && (rc == Z_OK || rc == Z_BUF_ERROR) && z.avail_in == 0 && z.avail_out > 0) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      ok = false;
      break;
    }
    try {
      out->bytes.resize(out->bytes.size() * 2 + 64);
    } catch (...) {
      ok = false;
    }
  }
  deflateEnd(&z);
  if (!ok) {
    out->bytes.clear();
    return false;
  }
  out->bytes.resize(produced);
  // The piece waits for its file's other pieces: keep only what it holds, not the bound.
  try {
    out->bytes.shrink_to_fit();
  } catch (...) {
  }
  out->adler = static_cast<uint32_t>(adler32(1, data + begin, static_cast<uInt>(out->length)));
  out->crc = static_cast<uint32_t>(crc32(0, data + begin, static_cast<uInt>(out->length)));
  return true;
}

bool AssemblePackedFile(const std::string& name, const std::vector<DeflatePiece>& pieces,
                        int level, PackedFile* out) {
  uint64_t unpacked = 0, packed = 0;
  uint32_t adler = 1, crc = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const DeflatePiece& p = pieces[i];
    unpacked += p.length;
    packed += p.bytes.size();
    adler = i == 0 ? p.adler
                   : static_cast<uint32_t>(adler32_combine(adler, p.adler, static_cast<z_off_t>(p.length)));
    crc = i == 0 ? p.crc
                 : static_cast<uint32_t>(crc32_combine(crc, p.crc, static_cast<z_off_t>(p.length)));
  }
  if (pieces.empty() || unpacked > UINT32_MAX || packed > SIZE_MAX - 10) return false;
  out->name = name;
  out->crc = crc;
  out->unpacked_size = static_cast<uint32_t>(unpacked);
  std::vector<uint8_t>& block = out->block;
  try {
    block.clear();
    block.reserve(static_cast<size_t>(packed) + 10);
  } catch (...) {
    return false;
  }
  for (int i = 0; i < 4; ++i) block.push_back(static_cast<uint8_t>((unpacked >> (8 * i)) & 0xFF));
  // The zlib header deflate writes for this level: 32 KiB window, no preset dictionary (the
  // pieces' dictionaries are the stream's own earlier bytes), level class, check bits.
  if (level == Z_DEFAULT_COMPRESSION) level = 6;
  unsigned level_class = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = (0x78u << 8) | (level_class << 6);
  header += 31 - header % 31;
  block.push_back(static_cast<uint8_t>(header >> 8));
  block.push_back(static_cast<uint8_t>(header & 0xFF));
  for (const DeflatePiece& p : pieces) block.insert(block.end(), p.bytes.begin(), p.bytes.end());
  for (int i = 3; i >= 0; --i) block.push_back(static_cast<uint8_t>((adler >> (8 * i)) & 0xFF));
  return true;
}

bool PackFileChunked(const std::string& name, const uint8_t* data, size_t size, int level,
                     size_t chunk_size, PackedFile* out) {
  size_t count = ChunkCount(size, chunk_size);
  std::vector<DeflatePiece> pieces(count);
  for (size_t i = 0; i < count; ++i) {
    size_t begin = count == 1 ? 0 : i * chunk_size;
    size_t end = count == 1 ? size : std::min(size, begin + chunk_size);
    if (!DeflateChunk(data, begin, end, i + 1 == count, level, &pieces[i])) return false;
  }
  return AssemblePackedFile(name, pieces, level, out);
}

bool ReadRange(Stream& file, uint64_t offset, uint8_t* out, size_t length) {
  if (!file.Seek(offset)) return false;
  size_t got = 0;
  while (got < length) {
    size_t n = file.Read(out + got, length - got);
    if (n == 0) return false;
    got += n;
  }
  return true;
}

namespace {

// One file of the manifest while it is packed: its pieces are handed out in order, each
// compressed by whichever thread took it, and joined by the thread that finished the last.
struct FileJob {
  std::string path;
  uint64_t size = 0;
  size_t piece_count = 0;
  std::vector<DeflatePiece> pieces;  // one slot per piece
  size_t pieces_done = 0;            // under the lock
};

}  // namespace

bool PackFiles(const std::vector<ManifestFile>& files, const std::string& root, unsigned jobs,
               bool progress, std::vector<PackedFile>* out, std::string* error,
               size_t chunk_size, const std::function<void(PackEvent, size_t)>& observe) {
  if (chunk_size == 0) chunk_size = kPackChunkSize;
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  std::vector<FileJob> work_list;
  try {
    out->assign(files.size(), PackedFile{});
    work_list.resize(files.size());
  } catch (...) {
    *error = "out of memory";
    return false;
  }
  // Sizes first, in manifest order: a missing file, or one that a stored block cannot hold,
  // is refused before anything is read.
  for (size_t i = 0; i < files.size(); ++i) {
    FileJob& job = work_list[i];
    job.path = root.empty() ? files[i].source : root + "/" + files[i].source;
    auto file = FileStream::Open(job.path, FileStream::Mode::kRead);
    job.size = file ? file->Size() : UINT64_MAX;
    std::string line = " (manifest line " + std::to_string(files[i].line) + ")";
    if (job.size == UINT64_MAX) {
      *error = "missing or unreadable file " + job.path + line;
      return false;
    }
    if (job.size > UINT32_MAX) {
      *error = "file " + job.path + " is larger than 4 GiB" + line;
      return false;
    }
    job.piece_count = ChunkCount(job.size, chunk_size);
  }

  std::mutex lock;
  size_t next_file = 0, next_piece = 0;  // the next piece to hand out
  bool failed = false;
  size_t done = 0;
  std::string first_error;
  size_t first_error_index = SIZE_MAX;
  // Both under the lock.
  auto fail = [&](size_t i, const std::string& problem) {
    // Report the first failing file in manifest order, whatever thread saw it first.
    if (i < first_error_index) {
      first_error_index = i;
      try {
        first_error = problem.empty() ? std::string("out of memory") : problem;
      } catch (...) {
        first_error = "out of memory";  // fits the string's own small buffer
      }
    }
    failed = true;
  };
  auto finished = [&](size_t i) {
    ++done;
    if (progress) {
      std::fprintf(stderr, "[%zu/%zu] %s  %u -> %zu bytes\n", done, files.size(),
                   files[i].stored_name.c_str(), (*out)[i].unpacked_size, (*out)[i].block.size());
      std::fflush(stderr);
    }
  };
  // Each thread holds one piece of input (with the window before it) at a time, so memory
  // is bounded by the pieces in flight whatever the sizes of the files.
  // Under the lock: pieces a thread gave back for want of memory go to the next thread
  // that asks.
  std::vector<std::pair<size_t, size_t>> given_back;
  // `alone`: the calling thread after every other one has ended; it alone may fail for
  // want of memory, the others give their piece back and end.
  auto work = [&](bool alone) {
    std::vector<uint8_t> input;
    std::unique_ptr<FileStream> file;
    size_t file_index = SIZE_MAX;
    for (;;) {
      size_t i = 0, piece = 0;
      {
        std::lock_guard<std::mutex> guard(lock);
        if (failed || (given_back.empty() && next_file == files.size())) return;
        if (!given_back.empty()) {
          i = given_back.back().first;
          piece = given_back.back().second;
          given_back.pop_back();
        } else {
          i = next_file;
          piece = next_piece++;
          if (next_piece == work_list[i].piece_count) {
            ++next_file;
            next_piece = 0;
          }
        }
      }
      FileJob& job = work_list[i];
      std::string problem;
      bool last_done = false, short_of_memory = false, out_of_memory = false;
      try {
        std::string line = " (manifest line " + std::to_string(files[i].line) + ")";
        if (observe) observe(PackEvent::kRead, i);
        if (file_index != i) {
          file = FileStream::Open(job.path, FileStream::Mode::kRead);
          file_index = i;
        }
        uint64_t begin = static_cast<uint64_t>(piece) * chunk_size;
        uint64_t end = std::min<uint64_t>(job.size, begin + chunk_size);
        size_t window = static_cast<size_t>(std::min<uint64_t>(begin, kPackDictionarySize));
        size_t length = static_cast<size_t>(end - begin);
        input.resize(window + length);
        bool last = piece + 1 == job.piece_count;
        uint8_t extra = 0;
        if (!file || !ReadRange(*file, begin - window, input.data(), input.size())) {
          problem = "cannot read file " + job.path + line + "; did it change while packing?";
        } else if (last && file->Read(&extra, 1) != 0) {
          problem = "file " + job.path + line + " grew while packing";
        } else {
          if (observe) observe(PackEvent::kPiece, i);
          DeflatePiece compressed;
          if (!DeflateChunk(input.data(), window, window + length, last, kPackCompressionLevel,
                            &compressed)) {
            problem = "out of memory while compressing " + job.path;
            short_of_memory = true;
          } else {
            std::lock_guard<std::mutex> guard(lock);
            job.pieces[piece] = std::move(compressed);
            last_done = ++job.pieces_done == job.piece_count;
          }
        }
        if (last_done) {
          file.reset();
          file_index = SIZE_MAX;
          if (!AssemblePackedFile(files[i].stored_name, job.pieces, kPackCompressionLevel, &(*out)[i]))
            problem = "cannot compress " + job.path;
          std::vector<DeflatePiece>().swap(job.pieces);
        }
      } catch (...) {
        // Nothing here may allocate: memory is what ran out.
        out_of_memory = true;
        short_of_memory = !last_done;
      }
      if (out_of_memory && !short_of_memory) {
        try {
          problem = "out of memory while packing " + job.path;
        } catch (...) {
        }
      }
      std::lock_guard<std::mutex> guard(lock);
      if (short_of_memory && !alone) {
        // This thread ends and frees its memory (its stack too, once joined); another one,
        // or the calling thread alone at the end, takes the piece.
        given_back.emplace_back(i, piece);
        return;
      }
      if (!problem.empty() || out_of_memory) {
        fail(i, problem);
        return;
      }
      if (last_done) finished(i);
    }
  };
  for (FileJob& job : work_list) {
    try {
      job.pieces.resize(job.piece_count);
    } catch (...) {
      *error = "out of memory";
      return false;
    }
  }
  // More threads than pieces would have nothing to do.
  size_t total_pieces = 0;
  for (const FileJob& job : work_list) total_pieces += job.piece_count;
  if (total_pieces < jobs) jobs = static_cast<unsigned>(std::max<size_t>(1, total_pieces));
  // The calling thread joins the threads as they end; whatever they leave (every piece when
  // none started, pieces given back) it packs alone at the end. Fewer threads give the same
  // bytes, only slower: when the system refuses to start one, the others do the work, and a
  // thread short of memory ends so that its memory goes to the rest.
  std::vector<std::thread> threads;
  std::condition_variable ended;
  std::vector<size_t> ended_threads;  // under the lock
  if (jobs > 1) {
    // Reserved now: a thread short of memory must still be able to give back and end.
    try {
      threads.reserve(jobs);
      ended_threads.reserve(jobs);
      given_back.reserve(jobs);
    } catch (...) {
      jobs = 1;
    }
  }
  if (jobs > 1) {
    for (unsigned t = 0; t < jobs; ++t) {
      try {
        threads.emplace_back([&, t] {
          work(false);
          std::lock_guard<std::mutex> guard(lock);
          ended_threads.push_back(t);
          ended.notify_all();
        });
      } catch (...) {
        break;
      }
    }
    std::unique_lock<std::mutex> guard(lock);
    for (size_t joined = 0; joined < threads.size();) {
      ended.wait(guard, [&] { return !ended_threads.empty(); });
      size_t t = ended_threads.back();
      ended_threads.pop_back();
      guard.unlock();
      threads[t].join();
      ++joined;
      guard.lock();
    }
  }
  work(true);
  if (failed) {
    *error = first_error;
    return false;
  }
  return true;
}

bool Pack(const PackOptions& options, PackReport* report, std::string* error) {
  std::vector<uint8_t> manifest_bytes;
  if (!ReadWholeFile(options.manifest_path, &manifest_bytes)) {
    *error = "cannot read manifest " + options.manifest_path;
    return false;
  }
  Manifest manifest;
  std::string problem;
  if (!ParseManifest(std::string(manifest_bytes.begin(), manifest_bytes.end()), &manifest,
                     &problem)) {
    *error = options.manifest_path + ":" + problem;
    return false;
  }
  std::vector<uint8_t> stub;
  if (!ReadWholeFile(options.stub_path, &stub)) {
    *error = "cannot read stub " + options.stub_path;
    return false;
  }
  if (!CheckStub(stub, options.stub_path, error)) return false;
  if (!manifest.licence_file.empty()) {
    std::string path = options.root.empty() ? manifest.licence_file
                                            : options.root + "/" + manifest.licence_file;
    std::vector<uint8_t> licence;
    if (!ReadWholeFile(path, &licence)) {
      *error = "missing or unreadable licence file " + path + " (manifest line " +
               std::to_string(manifest.licence_line) + ")";
      return false;
    }
    manifest.plan.licence_text.assign(licence.begin(), licence.end());
  }
  std::vector<ManifestFile> files;
  if (!ExpandFiles(manifest, options.root, &files, &problem)) {
    *error = options.manifest_path + ":" + problem;
    return false;
  }
  std::vector<PackedFile> packed;
  if (!PackFiles(files, options.root, options.jobs, options.progress, &packed, error))
    return false;
  if (!ValidatePackagePlan(manifest.plan, packed, error)) return false;

  std::string temp = options.output_path + ".tmp" + std::to_string(HOLLIN_GETPID());
  bool ok = false;
  {
    auto out = FileStream::Open(temp, FileStream::Mode::kCreate);
    if (!out) {
      *error = "cannot create " + temp;
      return false;
    }
    ok = WriteInstaller(*out, stub, manifest.plan, packed, &report->installer, error);
    if (ok && !out->Flush()) {
      *error = "cannot write " + temp;
      ok = false;
    }
  }
  if (ok) {
    // The earlier output stays until the new one replaces it in one step.
    if (!vellumo::MoveFileOver(temp, options.output_path)) {
      *error = "cannot rename " + temp + " to " + options.output_path;
      ok = false;
    }
  }
  if (!ok) {
    std::remove(temp.c_str());
    if (error->find(temp) == std::string::npos && error->find("write failed") == 0)
      *error = "cannot write " + options.output_path;
    return false;
  }
  report->files = packed.size();
  report->unpacked = report->installer.total_unpacked_size;
  report->packed = 0;
  for (const auto& p : packed) report->packed += p.block.size();
  return true;
}

}  // namespace hollin
