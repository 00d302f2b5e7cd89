// Large files are compressed in pieces on several threads into one zlib stream. Checks that
// every reader sees an ordinary stream (the installer's block decoder, zlib's own inflate
// with its trailer check, and natively python's zlib), that a one-piece file is exactly what
// compress2 makes, that pieces reach back into the previous input, that the stream stays
// within 0.5% of a single stream on realistic data, and that the bytes do not depend on the
// number of threads.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "installer/package/block.h"
#include "installer/package/package_writer.h"
#include "installer/package/stream.h"
#include "packer/pack.h"

#ifdef _WIN32
#include <direct.h>
#define MKDIR(p) _mkdir(p)
#else
#include <sys/stat.h>
#define MKDIR(p) mkdir(p, 0755)
#endif

namespace hollin {
namespace {

using Bytes = std::vector<uint8_t>;

// Text-like lines from a small vocabulary, with numbers: compresses about like real text.
Bytes Text(size_t n, unsigned seed) {
  static const char* const kWords[] = {"install", "folder", "the", "of", "package", "entry",
                                       "value", "record", "window", "and", "archive", "to",
                                       "header", "file", "error", "size", "program", "name"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < n) {
    int words = 3 + rng() % 12;
    for (int w = 0; w < words; ++w) s += std::string(kWords[rng() % 18]) + " ";
    s += std::to_string(rng() % 100000) + ".\n";
  }
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

Bytes Random(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<uint8_t>(rng());
  return b;
}

// Skewed byte values with zero runs and small integers, like program files.
Bytes Binary(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::geometric_distribution<int> skew(0.08);
  Bytes b;
  while (b.size() < n) {
    unsigned kind = rng() % 8;
    size_t run = 16 + rng() % 2048;
    for (size_t i = 0; i < run; ++i) {
      if (kind == 0) b.push_back(0);
      else if (kind == 1) b.push_back(static_cast<uint8_t>(rng()));
      else if (kind < 4) b.push_back(static_cast<uint8_t>(i % 4 == 0 ? rng() % 50 : 0));
      else b.push_back(static_cast<uint8_t>(std::min(skew(rng), 255)));
    }
  }
  b.resize(n);
  return b;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

uint32_t BigEndianAt(const Bytes& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}

// zlib's own inflate over the whole stream (the block minus its u32 U): must end exactly at
// the last byte with the Adler-32 trailer accepted.
bool ZlibInflatesWhole(const Bytes& block, const Bytes& plain) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  Bytes out(plain.size() + 1);
  z.next_in = const_cast<Bytef*>(block.data() + 4);
  z.avail_in = static_cast<uInt>(block.size() - 4);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int rc = inflate(&z, Z_FINISH);
  bool ok = rc == Z_STREAM_END && z.avail_in == 0 && z.total_out == plain.size();
  inflateEnd(&z);
  out.resize(plain.size());
  return ok && out == plain;
}

std::string WorkDir() {
  const char* bin = std::getenv("VELLUMO_BINARY_DIR");
  std::string dir = std::string(bin ? bin : ".") + "/tests/package/packer_chunks_work";
#ifdef _WIN32
  if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
  MKDIR(dir.c_str());
  return dir;
}

void WriteBytes(const std::string& path, const Bytes& b) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  if (!b.empty()) std::fwrite(b.data(), 1, b.size(), f);  // data() of an empty vector may be null
  std::fclose(f);
}

#ifndef _WIN32
// Python's zlib, a reader that shares no code with ours, decompresses every stream to its
// plain bytes with nothing left over. Pairs are written as N.z (stream) and N.plain.
void ExpectPythonInflates(const std::vector<std::pair<Bytes, Bytes>>& pairs) {
  std::string dir = WorkDir();
  for (size_t i = 0; i < pairs.size(); ++i) {
    Bytes stream(pairs[i].first.begin() + 4, pairs[i].first.end());
    WriteBytes(dir + "/" + std::to_string(i) + ".z", stream);
    WriteBytes(dir + "/" + std::to_string(i) + ".plain", pairs[i].second);
  }
  std::string script =
      "import sys, zlib\n"
      "d, n = sys.argv[1], int(sys.argv[2])\n"
      "for i in range(n):\n"
      "    z = open('%s/%d.z' % (d, i), 'rb').read()\n"
      "    o = zlib.decompressobj()\n"
      "    out = o.decompress(z) + o.flush()\n"
      "    if not o.eof or o.unused_data or out != open('%s/%d.plain' % (d, i), 'rb').read():\n"
      "        sys.exit('stream %d differs' % i)\n";
  WriteBytes(dir + "/check.py", Bytes(script.begin(), script.end()));
  std::string command = "timeout 120 python3 '" + dir + "/check.py' '" + dir + "' " +
                        std::to_string(pairs.size());
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}
#endif

TEST(ChunkedStream, EveryReaderSeesOneZlibStream) {
  struct Case {
    const char* name;
    Bytes content;
    size_t chunk;
  };
  const Case cases[] = {
      {"empty", {}, 4096},
      {"one byte", {'x'}, 4096},
      {"less than a piece", Text(1000, 1), 4096},
      {"exactly one piece", Text(4096, 2), 4096},
      {"one byte over a piece", Text(4097, 3), 4096},
      {"pieces and a short tail", Concat({Text(9000, 4), Random(3000, 5), Binary(400, 6)}), 4096},
      {"pieces smaller than the dictionary", Text(70000, 7), 1000},
      {"incompressible pieces", Random(50000, 8), 8192},
      {"zeros", Bytes(100000, 0), 16384},
      {"mixed, default piece size", Concat({Text(1500000, 9), Binary(800000, 10), Random(300000, 11)}),
       kPackChunkSize},
  };
  std::vector<std::pair<Bytes, Bytes>> for_python;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PackedFile f;
    ASSERT_TRUE(PackFileChunked("a", c.content.data(), c.content.size(), 9, c.chunk, &f));
    const Bytes& b = f.block;
    ASSERT_GE(b.size(), 10u);
    EXPECT_EQ(f.unpacked_size, c.content.size());
    EXPECT_EQ(f.crc, crc32(0, c.content.data(), static_cast<uInt>(c.content.size())));
    EXPECT_EQ(b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24), c.content.size());
    EXPECT_EQ(b[4], 0x78);
    EXPECT_EQ(b[5], 0xDA);
    EXPECT_EQ(BigEndianAt(b, b.size() - 4),
              adler32(1, c.content.data(), static_cast<uInt>(c.content.size())));
    EXPECT_TRUE(ZlibInflatesWhole(b, c.content));

    MemoryStream source(b), dest;
    BlockDecodeResult r = DecodeBlock(source, dest);
    EXPECT_TRUE(r.complete);
    EXPECT_TRUE(dest.bytes() == c.content);
    for_python.emplace_back(b, c.content);
  }
#ifndef _WIN32
  ExpectPythonInflates(for_python);
#endif
}

TEST(ChunkedStream, OnePieceIsWhatCompress2Makes) {
  const Bytes contents[] = {{}, {'a'}, Text(5000, 12), Binary(kPackChunkSize, 13)};
  for (const auto& content : contents) {
    SCOPED_TRACE(content.size());
    PackedFile f;
    ASSERT_TRUE(PackFileChunked("a", content.data(), content.size(), 9, kPackChunkSize, &f));
    EXPECT_TRUE(f.block == MakeStoredBlock(content.data(), content.size(), 9));
  }
}

TEST(ChunkedStream, PiecesReachIntoThePreviousInput) {
  // A 2000-byte random phrase repeated: a single stream codes each later copy as one
  // match. Pieces primed with the input before them do the same; pieces without it would
  // pay for the phrase again in every one of the eight.
  Bytes phrase = Random(2000, 14), content;
  while (content.size() < 65536) content.insert(content.end(), phrase.begin(), phrase.end());
  content.resize(65536);
  PackedFile chunked;
  ASSERT_TRUE(PackFileChunked("a", content.data(), content.size(), 9, 8192, &chunked));
  size_t single = MakeStoredBlock(content.data(), content.size(), 9).size();
  EXPECT_LT(chunked.block.size(), single + 8 * 100) << single;
}

TEST(ChunkedStream, WithinHalfAPercentOfOneStreamOnRealisticData) {
  // Text, program-like binary and incompressible parts, several pieces of the default size.
  Bytes content = Concat({Text(2000000, 15), Binary(1500000, 16), Random(500000, 17),
                          Text(700000, 18)});
  PackedFile chunked;
  ASSERT_TRUE(PackFileChunked("a", content.data(), content.size(), 9, kPackChunkSize, &chunked));
  double single = static_cast<double>(MakeStoredBlock(content.data(), content.size(), 9).size());
  EXPECT_LE(static_cast<double>(chunked.block.size()), single * 1.005)
      << chunked.block.size() << " vs " << single;
}

TEST(PackFiles, SameBytesWhateverTheThreadCount) {
  std::string dir = WorkDir();
  const size_t chunk = 65536;
  const std::vector<std::pair<std::string, Bytes>> sources = {
      {"small.txt", Text(3000, 20)},
      {"big.bin", Concat({Binary(400000, 21), Text(300000, 22)})},
      {"empty.txt", {}},
      {"exact.bin", Random(2 * chunk, 23)},
      {"second-big.txt", Text(500001, 24)},
      {"tiny.dat", Binary(10, 25)},
  };
  std::vector<ManifestFile> files;
  for (size_t i = 0; i < sources.size(); ++i) {
    WriteBytes(dir + "/" + sources[i].first, sources[i].second);
    ManifestFile f;
    f.source = sources[i].first;
    f.stored_name = "stored\\" + sources[i].first;
    f.line = static_cast<int>(i + 1);
    files.push_back(f);
  }
  for (unsigned jobs : {1u, 2u, 3u, 8u}) {
    SCOPED_TRACE(jobs);
    std::vector<PackedFile> packed;
    std::string error;
    ASSERT_TRUE(PackFiles(files, dir, jobs, false, &packed, &error, chunk)) << error;
    ASSERT_EQ(packed.size(), sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
      const Bytes& content = sources[i].second;
      PackedFile serial;
      ASSERT_TRUE(PackFileChunked(files[i].stored_name, content.data(), content.size(), 9, chunk,
                                  &serial));
      EXPECT_EQ(packed[i].name, files[i].stored_name);
      EXPECT_EQ(packed[i].crc, serial.crc);
      EXPECT_EQ(packed[i].unpacked_size, content.size());
      EXPECT_TRUE(packed[i].block == serial.block) << sources[i].first;
    }
  }

  // A missing file behind large ones stops every thread and is the one reported.
  std::vector<ManifestFile> with_missing = files;
  with_missing.insert(with_missing.begin() + 2, ManifestFile{});
  with_missing[2].source = "absent.bin";
  with_missing[2].stored_name = "absent.bin";
  with_missing[2].line = 9;
  for (unsigned jobs : {1u, 3u}) {
    std::vector<PackedFile> packed;
    std::string error;
    EXPECT_FALSE(PackFiles(with_missing, dir, jobs, false, &packed, &error, chunk));
    EXPECT_NE(error.find("missing or unreadable file " + dir + "/absent.bin (manifest line 9)"),
              std::string::npos)
        << error;
  }
}

// Counts the different threads that arrive; Wait holds the caller until `want` of them
// have arrived (bounded, so a thread that never comes shows as a miss, not a hang).
class Gathering {
 public:
  explicit Gathering(size_t want) : want_(want) {}
  void Arrive() {
    std::lock_guard<std::mutex> guard(lock_);
    seen_.insert(std::this_thread::get_id());
    arrived_.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> guard(lock_);
    if (missed_) return;
    if (!arrived_.wait_for(guard, std::chrono::seconds(60), [&] { return seen_.size() >= want_; }))
      missed_ = true;
  }
  bool met() {
    std::lock_guard<std::mutex> guard(lock_);
    return !missed_ && seen_.size() >= want_;
  }

 private:
  std::mutex lock_;
  std::condition_variable arrived_;
  std::set<std::thread::id> seen_;
  size_t want_;
  bool missed_ = false;
};

TEST(PackFiles, EveryThreadJoinsTheLastBigFile) {
  // The pieces of a lone big file, or of the last one, are everyone's: all threads must be
  // inside piece compression of it at once, otherwise a big file packs on one core.
  std::string dir = WorkDir();
  WriteBytes(dir + "/lone.bin", Concat({Text(300000, 30), Binary(300000, 31)}));
  WriteBytes(dir + "/first.txt", Text(2000, 32));
  auto entry = [](const char* name) {
    ManifestFile f;
    f.source = name;
    f.stored_name = name;
    f.line = 1;
    return f;
  };
  struct Case {
    const char* name;
    std::vector<ManifestFile> files;
    unsigned jobs;
  };
  const Case cases[] = {
      {"one big file", {entry("lone.bin")}, 2},
      {"a small file, then the big one", {entry("first.txt"), entry("lone.bin")}, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t big = c.files.size() - 1;
    Gathering compressing(c.jobs);
    auto observe = [&](PackEvent event, size_t index) {
      if (event == PackEvent::kPiece && index == big) {
        compressing.Arrive();
        compressing.Wait();
      }
    };
    std::vector<PackedFile> packed;
    std::string error;
    ASSERT_TRUE(PackFiles(c.files, dir, c.jobs, false, &packed, &error, 65536, observe)) << error;
    EXPECT_TRUE(compressing.met()) << "not every thread compressed pieces of the big file";
    MemoryStream source(packed.back().block), dest;
    EXPECT_TRUE(DecodeBlock(source, dest).complete);
  }
}

TEST(PackFiles, ReadsOnePieceAtATimeAndChecksSizesFirst) {
  // Each read is one piece and the window before it, never a whole file; a missing file
  // anywhere in the list is found before the first read.
  std::string dir = WorkDir();
  const size_t chunk = 65536;
  WriteBytes(dir + "/five.bin", Binary(5 * chunk + 17, 40));
  ManifestFile f;
  f.source = "five.bin";
  f.stored_name = "five.bin";
  f.line = 3;
  ManifestFile missing = f;
  missing.source = "gone.bin";
  missing.stored_name = "gone.bin";
  missing.line = 4;
  std::mutex lock;
  size_t reads = 0;
  auto observe = [&](PackEvent event, size_t) {
    std::lock_guard<std::mutex> guard(lock);
    if (event == PackEvent::kRead) ++reads;
  };
  std::vector<PackedFile> packed;
  std::string error;
  ASSERT_TRUE(PackFiles({f}, dir, 2, false, &packed, &error, chunk, observe)) << error;
  EXPECT_EQ(reads, 6u);
  reads = 0;
  EXPECT_FALSE(PackFiles({f, missing}, dir, 2, false, &packed, &error, chunk, observe));
  EXPECT_EQ(reads, 0u);
  EXPECT_NE(error.find("gone.bin (manifest line 4)"), std::string::npos) << error;
}

}  // namespace
}  // namespace hollin
