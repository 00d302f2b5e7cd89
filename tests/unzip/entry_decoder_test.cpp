// The entry decoder's two deflate paths side by side: the one-call decoder that writes a
// whole block and the streaming one that goes region by region. On damaged data both must
// fail the same way, and neither may write past the declared size.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/unzip/fixture_manifest.h"
#include "tests/unzip/zip_builder.h"
#include "unzip/entry_decoder.h"
#include "unzip/unzip_engine.h"

namespace vellumo::unzip {
namespace {

// The caller's block, but only ever handed out a region at a time: forces the stream.
class RegionOnlyTarget : public BlockTarget {
 public:
  using BlockTarget::BlockTarget;
  uint8_t* WholeBlock(size_t) override { return nullptr; }
};

// What the engine makes of a status: the message it reports.
enum class Outcome { kOk, kTooLong, kDataError, kOther };
Outcome OutcomeOf(DecodeStatus s) {
  switch (s) {
    case DecodeStatus::kOk: return Outcome::kOk;
    case DecodeStatus::kTooLong: return Outcome::kTooLong;
    case DecodeStatus::kTruncated:
    case DecodeStatus::kCorrupt: return Outcome::kDataError;
    default: return Outcome::kOther;
  }
}

struct Decoded {
  DecodeResult result;
  std::string bytes;  // the declared size's worth of the block
  bool guardIntact = true;
};

constexpr size_t kGuard = 256;

// Decodes `compressed` declared as `declaredSize` plain bytes into a block of exactly that
// size followed by guard bytes; `whole` picks the one-call decoder.
Decoded Decode(const std::string& compressed, size_t declaredSize, bool whole) {
  std::vector<uint8_t> memory(declaredSize + kGuard, 0xA5);
  MemorySource source(compressed.data(), compressed.size());
  EntryData data;
  data.compressedSize = compressed.size();
  data.uncompressedSize = declaredSize;
  data.method = 8;
  Decoded out;
  if (whole) {
    BlockTarget target(memory.data(), declaredSize);
    out.result = DecodeEntry(source, data, nullptr, target, nullptr);
  } else {
    RegionOnlyTarget target(memory.data(), declaredSize);
    out.result = DecodeEntry(source, data, nullptr, target, nullptr);
  }
  out.bytes.assign(reinterpret_cast<char*>(memory.data()), declaredSize);
  for (size_t i = declaredSize; i < memory.size(); ++i)
    if (memory[i] != 0xA5) out.guardIntact = false;
  return out;
}

// Text and binary mixed, so the stream has several blocks of both Huffman kinds.
std::string MixedData(size_t size) {
  std::string out;
  uint32_t x = 12345;
  while (out.size() < size) {
    out += "<tr><td>row " + std::to_string(out.size()) + "</td><td>value</td></tr>\n";
    for (int i = 0; i < 40; ++i) {
      x = x * 1103515245u + 12345u;
      out.push_back(static_cast<char>(x >> 24));
    }
  }
  out.resize(size);
  return out;
}

// Raw deflate with a chosen strategy, optionally primed with a dictionary the decoder
// will not have.
std::string Deflate(const std::string& data, int strategy, const std::string& dictionary = "") {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, strategy);
  if (!dictionary.empty())
    deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()),
                         static_cast<uInt>(dictionary.size()));
  std::string out(deflateBound(&z, data.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TEST(EntryDecoder, BothPathsAgreeOnGoodAndDamagedStreams) {
  const std::string plain = MixedData(300000);
  const std::string packed = test::RawDeflate(plain);
  const std::string zeros(4 << 20, '\0');
  struct Case {
    const char* title;
    std::string compressed;
    size_t declared;
    Outcome expected;
  } cases[] = {
      {"intact, several blocks", packed, plain.size(), Outcome::kOk},
      {"bytes after the end of the stream", packed + "trailing junk", plain.size(), Outcome::kOk},
      {"declared one byte more than the data", packed, plain.size() + 1, Outcome::kDataError},
      {"declared one byte less than the data", packed, plain.size() - 1, Outcome::kTooLong},
      {"4 MiB of zeros declared as 1000 bytes", test::RawDeflate(zeros), 1000, Outcome::kTooLong},
      {"cut in half", packed.substr(0, packed.size() / 2), plain.size(), Outcome::kDataError},
      {"cut one byte short", packed.substr(0, packed.size() - 1), plain.size(), Outcome::kDataError},
      {"only the first byte", packed.substr(0, 1), plain.size(), Outcome::kDataError},
      {"no compressed bytes at all", std::string(), 10, Outcome::kDataError},
      {"garbage", std::string(64, '\xff'), plain.size(), Outcome::kDataError},
      {"reserved block type", std::string("\x07\x00\x00\x00", 4), 10, Outcome::kDataError},
      {"stored block with a bad length check", std::string("\x01\x05\x00\x00\x00hello", 10), 5,
       Outcome::kDataError},
      {"distances back before the start of the data",
       Deflate(plain.substr(0, 20000), Z_DEFAULT_STRATEGY, plain.substr(0, 20000)), 20000,
       Outcome::kDataError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    Decoded whole = Decode(c.compressed, c.declared, true);
    Decoded stream = Decode(c.compressed, c.declared, false);
    EXPECT_EQ(OutcomeOf(whole.result.status), c.expected);
    EXPECT_EQ(OutcomeOf(stream.result.status), c.expected);
    EXPECT_TRUE(whole.guardIntact);
    EXPECT_TRUE(stream.guardIntact);
    if (c.expected == Outcome::kOk) {
      EXPECT_TRUE(whole.bytes == plain);
      EXPECT_TRUE(stream.bytes == plain);
      EXPECT_EQ(whole.result.crc, test::Crc32(plain));
      EXPECT_EQ(stream.result.crc, test::Crc32(plain));
      EXPECT_EQ(whole.result.written, plain.size());
    }
  }
}

// A fixed-Huffman stream ends with the end-of-block code, seven zero bits: a decoder that
// pads missing input with zeros could take a cut stream for a complete one.
TEST(EntryDecoder, EveryCutOfAStreamIsAnError) {
  const std::string plain = "<html><body>" + std::string(300, 'a') + "short page</body></html>";
  for (int strategy : {Z_FIXED, Z_DEFAULT_STRATEGY}) {
    SCOPED_TRACE(strategy);
    const std::string packed = Deflate(plain, strategy);
    ASSERT_EQ(Decode(packed, plain.size(), true).result.status, DecodeStatus::kOk);
    for (size_t cut = 0; cut < packed.size(); ++cut) {
      SCOPED_TRACE(cut);
      Decoded whole = Decode(packed.substr(0, cut), plain.size(), true);
      Decoded stream = Decode(packed.substr(0, cut), plain.size(), false);
      EXPECT_EQ(OutcomeOf(whole.result.status), Outcome::kDataError);
      EXPECT_EQ(OutcomeOf(stream.result.status), Outcome::kDataError);
      EXPECT_TRUE(whole.guardIntact);
    }
  }
}

// Testing and extracting to files decode small entries whole in a scratch buffer and stream
// larger ones; both kinds in one archive must check out, and progress adds up either way.
TEST(EntryDecoder, ScratchDecodesSmallEntriesWholeAndStreamsLargeOnes) {
  const std::string small = MixedData(100000);
  const std::string large(ChunkTarget::kWholeScratchLimit + 12345, 'z');
  test::TestArchive archive;
  archive.entries = {test::MakeEntry("small.bin", small, 8), test::MakeEntry("large.txt", large, 8)};
  std::string bytes = archive.Build();
  MemorySource source(bytes.data(), bytes.size());
  UnzipRequest request;
  request.archivePath = "test.zip";
  request.testOnly = true;
  int64_t progressed = 0;
  std::vector<int32_t> messages;
  EventFn events = [&](UnzipEvent& e) {
    if (e.action == kActionProgress) progressed += e.size;
    if (e.action == kActionMessage) messages.push_back(e.errorCode);
    return true;
  };
  EXPECT_EQ(RunUnzip(source, request, IdentityConverter(), events), 2);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(progressed, int64_t(small.size() + large.size()));

  // The same small entry with a wrong CRC is caught on the whole-buffer path too.
  archive.entries = {test::MakeEntry("small.bin", small, 8)};
  archive.entries[0].crc = test::Crc32(small) ^ 1;
  bytes = archive.Build();
  MemorySource bad(bytes.data(), bytes.size());
  messages.clear();
  EXPECT_EQ(RunUnzip(bad, request, IdentityConverter(), events), 0);
  EXPECT_EQ(messages, std::vector<int32_t>{kErrorBadCrc});
}

// Small reads come from a read-ahead window and large ones straight from the file; mapped
// views start anywhere, not only on page boundaries. All must show the file's bytes and
// none may reach past its end.
TEST(EntryDecoder, FileReadsAndViewsShowTheFileBytes) {
  const char* bin = std::getenv("VELLUMO_BINARY_DIR");
  std::string path = std::string(bin ? bin : ".") + "/tests/unzip/fixtures/deflated.zip";
  std::string whole;
  ASSERT_TRUE(test::ReadWholeFile(path, whole));
  FileSource source;
  ASSERT_TRUE(source.Open(path));
  ASSERT_EQ(source.Size(), whole.size());
  const size_t size = whole.size();
  ASSERT_GT(size, 200000u);
  struct Case {
    uint64_t offset;
    size_t length;
    bool inside;
  } cases[] = {
      // In the order given: the window is filled, reused, left and refilled.
      {0, 30, true},           {30, 2000, true},        {65530, 30, true},    {65536 + 1000, 4, true},
      {10, 100000, true},      {65540, 16, true},       {4095, 2, true},      {4097, 4000, true},
      {size - 30, 30, true},   {size - 1, 1, true},     {0, size, true},      {1, size - 1, true},
      {size, 1, false},        {size - 1, 2, false},    {0, size + 1, false}, {UINT64_MAX, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
    std::string read(c.length, '\0');
    ASSERT_EQ(source.ReadAt(c.offset, &read[0], c.length), c.inside);
    const uint8_t* view = source.View(c.offset, c.length);
    ASSERT_EQ(view != nullptr, c.inside);
    if (!c.inside) continue;
    EXPECT_TRUE(read == whole.substr(c.offset, c.length));
    EXPECT_TRUE(std::memcmp(view, whole.data() + c.offset, c.length) == 0);
  }
}

}  // namespace
}  // namespace vellumo::unzip
