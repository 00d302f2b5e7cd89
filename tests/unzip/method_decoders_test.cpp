// The methods beyond stored and deflate, natively: a hand-made Deflate64 stream with what
// deflate has not (length code 285 with 16 extra bits, distance codes 30 and 31), cut and
// inflated entries of every method (7-Zip's and python's fixtures), and WinZip AES entries
// with wrong passwords and flipped bytes in the salt, the data and the authentication code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/unzip/fixture_manifest.h"
#include "unzip/compression_methods.h"
#include "unzip/entry_decoder.h"
#include "unzip/name_rules.h"
#include "unzip/unzip_engine.h"
#include "unzip/zip_directory.h"

namespace vellumo::unzip {
namespace {

std::string FixtureDir() {
  const char* bin = std::getenv("VELLUMO_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/tests/unzip/fixtures";
}

std::string Fixture(const std::string& archive) {
  std::string bytes;
  EXPECT_TRUE(test::ReadWholeFile(FixtureDir() + "/" + archive, bytes)) << archive;
  return bytes;
}

std::string Expected(const std::string& archive, const std::string& name) {
  std::string bytes;
  for (const test::FixtureEntry& row : test::ReadManifest(FixtureDir()))
    if (row.archive == archive && row.name == name)
      test::ReadWholeFile(FixtureDir() + "/expected/" + row.expectedFile, bytes);
  return bytes;
}

// Deflate's bit order: values from their low bit, Huffman codes from their top bit.
class BitWriter {
 public:
  void Value(uint32_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i) Bit((v >> i) & 1);
  }
  void Code(uint32_t code, unsigned n) {
    for (unsigned i = n; i-- > 0;) Bit((code >> i) & 1);
  }
  std::string Done() {
    if (used_) bytes_.push_back(static_cast<char>(current_));
    return bytes_;
  }

 private:
  void Bit(uint32_t b) {
    current_ |= b << used_;
    if (++used_ == 8) {
      bytes_.push_back(static_cast<char>(current_));
      current_ = 0;
      used_ = 0;
    }
  }
  std::string bytes_;
  uint32_t current_ = 0;
  unsigned used_ = 0;
};

// Fixed-code symbols.
void Literal(BitWriter& w, unsigned sym) {
  if (sym < 144) w.Code(0x30 + sym, 8);
  else if (sym < 256) w.Code(0x190 + sym - 144, 9);
  else if (sym < 280) w.Code(sym - 256, 7);
  else w.Code(0xC0 + sym - 280, 8);
}

// "A", a 65,538-byte match at distance 1 (length code 285, 16 extra bits all set), "B",
// then 3 bytes from 32,769 + 5 back (distance code 30) and 4 from 49,153 + 7 back (31).
struct HandMade {
  std::string stream;
  std::string plain;
};
HandMade Deflate64Stream() {
  BitWriter w;
  w.Value(1, 1);  // last block
  w.Value(1, 2);  // fixed codes
  Literal(w, 'A');
  Literal(w, 285);
  w.Value(0xFFFF, 16);
  w.Code(0, 5);  // distance code 0: distance 1
  Literal(w, 'B');
  Literal(w, 257);  // length 3
  w.Code(30, 5);
  w.Value(5, 14);
  Literal(w, 258);  // length 4
  w.Code(31, 5);
  w.Value(7, 14);
  Literal(w, 256);
  HandMade h;
  h.stream = w.Done();
  h.plain = std::string(65539, 'A') + "B";
  for (int k = 0; k < 3; ++k) h.plain.push_back(h.plain[h.plain.size() - 32774]);
  for (int k = 0; k < 4; ++k) h.plain.push_back(h.plain[h.plain.size() - 49160]);
  return h;
}

struct Decoded {
  DecodeStatus status;
  std::string bytes;
  uint32_t crc;
  bool guardIntact = true;
};

// Decodes into a block of the declared size followed by guard bytes.
Decoded Decode(const std::string& compressed, uint16_t method, uint64_t declared) {
  constexpr size_t kGuard = 64;
  std::vector<uint8_t> block(static_cast<size_t>(declared) + kGuard, 0xA5);
  MemorySource source(compressed.data(), compressed.size());
  EntryData data;
  data.compressedSize = compressed.size();
  data.uncompressedSize = declared;
  data.method = method;
  BlockTarget target(block.data(), static_cast<size_t>(declared));
  DecodeResult r = DecodeEntry(source, data, nullptr, target, nullptr);
  Decoded d{r.status, std::string(block.begin(), block.begin() + static_cast<long>(r.written)), r.crc};
  for (size_t i = static_cast<size_t>(declared); i < block.size(); ++i)
    if (block[i] != 0xA5) d.guardIntact = false;
  return d;
}

TEST(Deflate64, LongLengthAndFarDistancesCutsAndOverlongStreams) {
  HandMade h = Deflate64Stream();
  Decoded whole = Decode(h.stream, kMethodDeflate64, h.plain.size());
  EXPECT_EQ(whole.status, DecodeStatus::kOk);
  EXPECT_TRUE(whole.bytes == h.plain);
  // Every cut is an error, never success and never a write past the block.
  for (size_t cut = 0; cut < h.stream.size(); ++cut) {
    SCOPED_TRACE(cut);
    Decoded d = Decode(h.stream.substr(0, cut), kMethodDeflate64, h.plain.size());
    EXPECT_NE(d.status, DecodeStatus::kOk);
    EXPECT_TRUE(d.guardIntact);
  }
  // A bomb: the stream makes more than the entry claims; it stops at the claim.
  Decoded bomb = Decode(h.stream, kMethodDeflate64, 1000);
  EXPECT_EQ(bomb.status, DecodeStatus::kTooLong);
  EXPECT_TRUE(bomb.guardIntact);
  // The same stream read as deflate (285: length 258, no extra bits) is another stream;
  // distance codes 30 and 31 do not exist there.
  EXPECT_NE(Decode(h.stream, 8, h.plain.size()).status, DecodeStatus::kOk);
  // Malformed: block type 3, a distance before the start, a stored block whose length
  // check fails.
  EXPECT_EQ(Decode(std::string("\x07", 1), kMethodDeflate64, 10).status, DecodeStatus::kCorrupt);
  BitWriter far;
  far.Value(1, 1);
  far.Value(1, 2);
  Literal(far, 'x');
  Literal(far, 257);
  far.Code(1, 5);  // distance 2 after one byte
  Literal(far, 256);
  EXPECT_EQ(Decode(far.Done(), kMethodDeflate64, 10).status, DecodeStatus::kCorrupt);
  EXPECT_EQ(Decode(std::string("\x01\x05\x00\x00\x00", 5), kMethodDeflate64, 5).status,
            DecodeStatus::kCorrupt);
  std::string stored = std::string("\x01\x05\x00\xFA\xFF", 5) + "hello";
  Decoded s = Decode(stored, kMethodDeflate64, 5);
  EXPECT_EQ(s.status, DecodeStatus::kOk);
  EXPECT_EQ(s.bytes, "hello");
}

// One entry of a fixture archive: where its data lies.
struct Located {
  std::string archive;  // the archive's bytes
  CentralEntry entry;
  uint64_t dataOffset = 0;
};
Located Locate(const std::string& archiveName, const std::string& name) {
  Located l;
  l.archive = Fixture(archiveName);
  MemorySource source(l.archive.data(), l.archive.size());
  ZipDirectory dir = ReadZipDirectory(source);
  EXPECT_EQ(dir.status, DirectoryStatus::kOk);
  for (const CentralEntry& e : dir.entries) {
    if (e.rawName != name) continue;
    l.entry = e;
    uint64_t at = e.localHeaderOffset + static_cast<uint64_t>(dir.offsetShift);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(l.archive.data()) + at;
    l.dataOffset = at + 30 + (p[26] | (p[27] << 8)) + (p[28] | (p[29] << 8));
  }
  EXPECT_NE(l.dataOffset, 0u) << name << " in " << archiveName;
  return l;
}

TEST(NewMethods, CutAndInflatedEntriesFailWithoutPassingTheBlock) {
  const char* archives[] = {"7z_deflate64.zip", "7z_bzip2.zip", "7z_lzma.zip",
                            "7z_lzma_no_eos.zip", "python_lzma.zip", "python_bzip2.zip"};
  for (const char* archive : archives) {
    SCOPED_TRACE(archive);
    Located l = Locate(archive, "big.dat");
    std::string expected = Expected(archive, "big.dat");
    ASSERT_FALSE(expected.empty());
    std::string data = l.archive.substr(static_cast<size_t>(l.dataOffset),
                                        static_cast<size_t>(l.entry.compressedSize));
    Decoded whole = Decode(data, l.entry.method, expected.size());
    ASSERT_EQ(whole.status, DecodeStatus::kOk);
    EXPECT_TRUE(whole.bytes == expected);
    // Cut anywhere (inside the LZMA properties too): an error or, where the cut falls
    // after the last byte a decoder needs, a CRC that does not match. Never the whole
    // entry claimed with the wrong bytes.
    for (size_t cut : {size_t(0), size_t(1), size_t(5), size_t(9), data.size() / 2,
                       data.size() - 2}) {
      SCOPED_TRACE(cut);
      Decoded d = Decode(data.substr(0, cut), l.entry.method, expected.size());
      EXPECT_TRUE(d.status != DecodeStatus::kOk || d.crc != l.entry.crc);
      EXPECT_TRUE(d.guardIntact);
    }
    // A bomb: the entry claims a tenth of what its data makes. Decoding stops at the
    // claim: too long, or (LZMA, whose decoder the claim ends) no end marker where one
    // must be, or a CRC that cannot match.
    Decoded bomb = Decode(data, l.entry.method, expected.size() / 10);
    EXPECT_TRUE(bomb.status == DecodeStatus::kTooLong ||
                (l.entry.method == kMethodLzma && bomb.status == DecodeStatus::kCorrupt) ||
                (bomb.status == DecodeStatus::kOk && bomb.crc != l.entry.crc));
    EXPECT_LE(bomb.bytes.size(), expected.size() / 10);
    EXPECT_TRUE(bomb.guardIntact);
    // A flipped byte in the middle: an error or a CRC that does not match.
    std::string flipped = data;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
    Decoded f = Decode(flipped, l.entry.method, expected.size());
    EXPECT_TRUE(f.status != DecodeStatus::kOk || f.crc != l.entry.crc);
    EXPECT_TRUE(f.guardIntact);
  }
}

TEST(NewMethods, LzmaDictionaryIsNeverLargerThanTheEntryNeeds) {
  Located l = Locate("7z_lzma.zip", "page.html");
  std::string expected = Expected("7z_lzma.zip", "page.html");
  std::string data = l.archive.substr(static_cast<size_t>(l.dataOffset),
                                      static_cast<size_t>(l.entry.compressedSize));
  // A 4 GiB dictionary claimed for a 5 KB page: the page needs no more than its size.
  for (int k = 5; k < 9; ++k) data[static_cast<size_t>(k)] = '\xFF';
  Decoded d = Decode(data, kMethodLzma, expected.size());
  EXPECT_EQ(d.status, DecodeStatus::kOk);
  EXPECT_TRUE(d.bytes == expected);
  // The same with a 3 GiB entry claimed, tested (nothing kept): refused, not allocated.
  MemorySource source(data.data(), data.size());
  EntryData entry;
  entry.compressedSize = data.size();
  entry.uncompressedSize = uint64_t(3) << 30;
  entry.method = kMethodLzma;
  ChunkTarget nowhere(nullptr);
  EXPECT_EQ(DecodeEntry(source, entry, nullptr, nowhere, nullptr).status, DecodeStatus::kCorrupt);
}

TEST(NewMethods, SizeClaimBoundsHoldTheKnownWorstCases) {
  HandMade h = Deflate64Stream();
  EXPECT_GE(MaxPlainSize(kMethodDeflate64, h.stream.size()), h.plain.size());
  EXPECT_EQ(MaxPlainSize(0, 123), 123u);
  EXPECT_EQ(MaxPlainSize(8, 1000), 1032u * 1000 + 1032);
  EXPECT_EQ(MaxPlainSize(98, 1), UINT64_MAX);
  EXPECT_EQ(MaxPlainSize(kMethodBzip2, UINT64_MAX / 2), UINT64_MAX);  // saturates
  char scratch[16];
  EXPECT_STREQ(MethodName(98, scratch), "PPMd");
  EXPECT_STREQ(MethodName(4242, scratch), "method 4242");
}

// ---- WinZip AES through the engine ----

struct AesRun {
  int32_t result = 0;
  std::string block;
  std::vector<int32_t> messages;
  int crcEvents = 0;
  int asked = 0;
  bool guardIntact = true;
};

AesRun Extract(const std::string& archive, const std::string& name, size_t size,
            const std::string& password, std::vector<std::string> answers = {}) {
  constexpr size_t kGuard = 64;
  std::vector<uint8_t> memory(size + kGuard, 0xA5);
  MemorySource source(archive.data(), archive.size());
  UnzipRequest request;
  request.archivePath = "aes.zip";
  request.password = password;
  request.passwordRequestCount = 3;
  request.specs = {name};
  request.useOutputBlock = true;
  request.outputBlock = memory.data();
  request.outputSize = size;
  AesRun run;
  IdentityConverter converter;
  run.result = RunUnzip(source, request, converter, [&](UnzipEvent& e) {
    if (e.action == kActionMessage) run.messages.push_back(e.errorCode);
    if (e.action == kActionCrcError) ++run.crcEvents;
    if (e.action == kActionPassword) {
      if (static_cast<size_t>(run.asked) < answers.size()) {
        e.text = answers[static_cast<size_t>(run.asked)];
        e.errorCode = 1;
      } else {
        e.text.clear();
        e.errorCode = 0;
        e.size = 0;
      }
      ++run.asked;
    }
    return true;
  });
  run.block.assign(reinterpret_cast<char*>(memory.data()), size);
  for (size_t i = size; i < memory.size(); ++i)
    if (memory[i] != 0xA5) run.guardIntact = false;
  return run;
}

TEST(WinZipAes, PasswordsAndTamperedEntries) {
  for (const char* archive : {"7z_aes256_deflate.zip", "7z_aes128_lzma.zip", "7z_ae1.zip"}) {
    SCOPED_TRACE(archive);
    Located l = Locate(archive, "big.dat");
    std::string expected = Expected(archive, "big.dat");
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(l.entry.method, kMethodWinZipAes);

    AesRun good = Extract(l.archive, "big.dat", expected.size(), "secret");
    EXPECT_EQ(good.result, 1);
    EXPECT_TRUE(good.block == expected);
    EXPECT_EQ(good.asked, 0);
    // The right password from the prompt after a wrong one.
    AesRun asked = Extract(l.archive, "big.dat", expected.size(), "wrong", {"also wrong", "secret"});
    EXPECT_EQ(asked.result, 1);
    EXPECT_EQ(asked.asked, 2);
    EXPECT_TRUE(asked.block == expected);
    // Wrong passwords only: refused by the verifier (the fixtures are made again until
    // none of these passes it by chance).
    AesRun wrong = Extract(l.archive, "big.dat", expected.size(), "wrong", {"a", "b", "c"});
    EXPECT_EQ(wrong.result, 0);
    EXPECT_EQ(wrong.asked, 3);
    EXPECT_EQ(wrong.messages, std::vector<int32_t>{kErrorWrongPassword});
    EXPECT_EQ(wrong.crcEvents, 0);

    // Flipped bytes. Salt: other keys, so the verifier (or the code) refuses the password.
    // Data and code: the code does not match, reported like a CRC error, checked before
    // the entry counts as written (for AE-2 the CRC is not there to catch it).
    size_t salt = static_cast<size_t>(l.dataOffset) + 1;
    size_t code = static_cast<size_t>(l.dataOffset + l.entry.compressedSize) - 3;
    size_t data = static_cast<size_t>(l.dataOffset + l.entry.compressedSize / 2);
    for (size_t at : {salt, data, code}) {
      SCOPED_TRACE(at);
      std::string tampered = l.archive;
      tampered[at] = static_cast<char>(tampered[at] ^ 0x01);
      AesRun r = Extract(tampered, "big.dat", expected.size(), "secret");
      EXPECT_EQ(r.result, 0);
      EXPECT_TRUE(r.guardIntact);
      ASSERT_EQ(r.messages.size(), 1u);
      if (at == code) {
        EXPECT_EQ(r.messages[0], kErrorBadCrc);
        EXPECT_EQ(r.crcEvents, 1);
      } else if (at == salt) {
        EXPECT_TRUE(r.messages[0] == kErrorWrongPassword || r.messages[0] == kErrorBadCrc);
      } else {
        EXPECT_TRUE(r.messages[0] == kErrorBadCrc || r.messages[0] == kErrorTruncatedData);
      }
    }
  }
}

TEST(WinZipAes, UnsupportedInnerMethodAndMissingFieldAreNamed) {
  Located l = Locate("7z_aes256_deflate.zip", "page.html");
  std::string archive = l.archive;
  // The 0x9901 field's method, in the local header (what the engine reads).
  size_t local = static_cast<size_t>(l.entry.localHeaderOffset);
  size_t at = archive.find(std::string("\x01\x99\x07\x00", 4), local);
  ASSERT_NE(at, std::string::npos);
  archive[at + 4 + 5] = 98;  // PPMd
  archive[at + 4 + 6] = 0;
  AesRun r = Extract(archive, "page.html", Expected("7z_aes256_deflate.zip", "page.html").size(), "secret");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.messages, std::vector<int32_t>{kErrorUnsupportedMethod});
  // Without the field: the method is AES itself.
  archive = l.archive;
  at = archive.find(std::string("\x01\x99\x07\x00", 4), local);
  archive[at] = 0x02;
  r = Extract(archive, "page.html", Expected("7z_aes256_deflate.zip", "page.html").size(), "secret");
  EXPECT_EQ(r.messages, std::vector<int32_t>{kErrorUnsupportedMethod});
}

}  // namespace
}  // namespace vellumo::unzip
