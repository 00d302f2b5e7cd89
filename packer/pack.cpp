#include "packer/pack.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/stream.h"

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

namespace {

// A file of more than one piece whose pieces any thread may compress.
struct OpenFile {
  size_t index = 0;
  std::string path;
  std::vector<uint8_t> content;
  size_t piece_count = 0;
  std::vector<DeflatePiece> pieces;  // sized before the file is shared, then one slot per piece
  size_t next_piece = 0;             // under the lock
  size_t pieces_done = 0;            // under the lock
};

}  // namespace

bool PackFiles(const std::vector<ManifestFile>& files, const std::string& root, unsigned jobs,
               bool progress, std::vector<PackedFile>* out, std::string* error,
               size_t chunk_size, const std::function<void(PackEvent, size_t)>& observe) {
  out->assign(files.size(), PackedFile{});
  if (chunk_size == 0) chunk_size = kPackChunkSize;
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  std::mutex lock;
  std::deque<std::shared_ptr<OpenFile>> open;  // files with pieces not yet handed out
  size_t next_file = 0;
  size_t reading = 0;  // files taken but neither finished nor shared yet
  std::condition_variable wake;  // a file's pieces were shared, a read ended, or a failure
  bool failed = false;
  size_t done = 0;
  std::string first_error;
  size_t first_error_index = SIZE_MAX;
  // Both under the lock.
  auto fail = [&](size_t i, const std::string& problem) {
    // Report the first failing file in manifest order, whatever thread saw it first.
    if (i < first_error_index) {
      first_error_index = i;
      first_error = problem;
    }
    failed = true;
    wake.notify_all();
  };
  auto finished = [&](size_t i) {
    ++done;
    if (progress) {
      std::printf("[%zu/%zu] %s  %u -> %zu bytes\n", done, files.size(),
                  files[i].stored_name.c_str(), (*out)[i].unpacked_size, (*out)[i].block.size());
      std::fflush(stdout);
    }
  };
  auto work = [&]() {
    for (;;) {
      std::shared_ptr<OpenFile> shared;
      size_t piece = 0, i = 0;
      {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
          if (failed) return;
          while (!open.empty() && open.front()->next_piece == open.front()->piece_count)
            open.pop_front();
          // Pieces of files already in memory come before reading another file.
          if (!open.empty()) {
            shared = open.front();
            piece = shared->next_piece++;
            break;
          }
          if (next_file < files.size()) {
            i = next_file++;
            ++reading;
            break;
          }
          // A file still being read may turn out to have pieces for this thread (the last
          // file of a list, or a list of one big file).
          if (observe) observe(PackEvent::kIdle, SIZE_MAX);
          if (reading == 0) return;
          wake.wait(guard);
        }
      }
      if (shared) {
        if (observe) observe(PackEvent::kPiece, shared->index);
        size_t size = shared->content.size();
        size_t begin = piece * chunk_size, end = std::min(size, begin + chunk_size);
        bool ok = DeflateChunk(shared->content.data(), begin, end, piece + 1 == shared->piece_count,
                               kPackCompressionLevel, &shared->pieces[piece]);
        bool last_done = false;
        {
          std::lock_guard<std::mutex> guard(lock);
          if (!ok) {
            fail(shared->index, "cannot compress " + shared->path);
            return;
          }
          last_done = ++shared->pieces_done == shared->piece_count;
        }
        if (last_done) {
          std::vector<uint8_t>().swap(shared->content);
          const ManifestFile& f = files[shared->index];
          ok = AssemblePackedFile(f.stored_name, shared->pieces, kPackCompressionLevel,
                                  &(*out)[shared->index]);
          std::vector<DeflatePiece>().swap(shared->pieces);
          std::lock_guard<std::mutex> guard(lock);
          if (!ok) {
            fail(shared->index, "cannot compress " + shared->path);
            return;
          }
          finished(shared->index);
        }
        continue;
      }

      const ManifestFile& f = files[i];
      auto file = std::make_shared<OpenFile>();
      file->index = i;
      file->path = root.empty() ? f.source : root + "/" + f.source;
      std::string problem;
      if (observe) observe(PackEvent::kRead, i);
      if (!ReadWholeFile(file->path, &file->content)) {
        problem = "missing or unreadable file " + file->path + " (manifest line " +
                  std::to_string(f.line) + ")";
      } else if (file->content.size() > UINT32_MAX) {
        problem = "file " + file->path + " is larger than 4 GiB";
      }
      size_t count = problem.empty() ? ChunkCount(file->content.size(), chunk_size) : 0;
      if (count == 1 && !PackFileChunked(f.stored_name, file->content.data(), file->content.size(),
                                         kPackCompressionLevel, chunk_size, &(*out)[i])) {
        problem = "cannot compress " + file->path;
      }
      if (count > 1) {
        try {
          file->pieces.resize(count);
          file->piece_count = count;
        } catch (...) {
          problem = "cannot compress " + file->path;
        }
      }
      std::lock_guard<std::mutex> guard(lock);
      --reading;
      if (!problem.empty()) {
        fail(i, problem);
        return;
      }
      if (count == 1) {
        finished(i);
      } else {
        open.push_back(std::move(file));
      }
      wake.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < jobs; ++t) threads.emplace_back(work);
  work();
  for (auto& t : threads) t.join();
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
  std::vector<PackedFile> packed;
  if (!PackFiles(manifest.files, options.root, options.jobs, options.progress, &packed, error))
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
#ifdef _WIN32
    std::remove(options.output_path.c_str());  // rename does not replace on Windows
#endif
    if (std::rename(temp.c_str(), options.output_path.c_str()) != 0) {
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
