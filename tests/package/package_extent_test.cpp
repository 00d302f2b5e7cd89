// Signed installers: where the package ends, the self-check value with a signature left out,
// the readers and the uninstaller image over the package only, hostile security entries,
// and the regression file packed before signing was known.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "installer/package/crc.h"
#include "installer/package/file_list.h"
#include "installer/package/package_extent.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"
#include "installer/package/package_writer.h"
#include "installer/package/stream.h"

namespace hollin {
namespace {

constexpr size_t kStubSize = 1536;
constexpr size_t kPeOffset = 128;
constexpr size_t kOptional = kPeOffset + 24;
constexpr size_t kChecksum = kOptional + 64;
constexpr size_t kSecurityEntry = kOptional + 96 + 4 * 8;  // PE32: directory at 96, entry 4

void PutU32At(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16At(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
         (uint32_t(b[at + 3]) << 24);
}

// A stub with a PE32 header (16 data directories, no sections) and a stamped marker: what
// osslsigncode accepts and what the extent reader looks at.
std::vector<uint8_t> PeStub(size_t size = kStubSize) {
  std::vector<uint8_t> b(size);
  for (size_t i = 64; i < kPeOffset; ++i) b[i] = static_cast<uint8_t>(i * 13 + 1);
  b[0] = 'M';
  b[1] = 'Z';
  PutU32At(b, 0x3C, kPeOffset);
  b[kPeOffset] = 'P';
  b[kPeOffset + 1] = 'E';
  PutU16At(b, kPeOffset + 4, 0x14C);      // i386
  PutU16At(b, kPeOffset + 20, 224);       // optional header size
  PutU16At(b, kPeOffset + 22, 0x102);     // executable, 32-bit
  PutU16At(b, kOptional, 0x10B);          // PE32
  PutU32At(b, kOptional + 92, 16);        // data directories
  CopyPackageOffsetMarker(b.data() + 600);
  StampPackageOffset(b.data(), b.size(), static_cast<uint32_t>(size));
  return b;
}

PackagePlan SmallPlan() {
  PackagePlan plan;
  plan.title_colour = "clwhite";
  plan.gradient_r = plan.gradient_g = plan.gradient_b = "999";
  plan.display_name = "Signed Product";
  plan.maker_notice = "made by the extent tests";
  plan.has_default_folder = true;
  plan.default_folder = "Signed";
  plan.actions.autorun.present = true;
  plan.actions.autorun.program = "app.exe";
  plan.actions.desktop_shortcut.present = true;
  plan.actions.desktop_shortcut.link_name = "App";
  plan.actions.desktop_shortcut.program = "app.exe";
  return plan;
}

std::vector<uint8_t> PackInstaller(size_t content_size = 3000) {
  std::vector<PackedFile> files(2);
  std::mt19937 rng(7);
  std::string a(content_size, '\0');
  for (char& c : a) c = static_cast<char>(rng());
  PackFile("app.exe", a.data(), a.size(), kPackCompressionLevel, &files[0]);
  PackFile("readme.txt", "read me\r\n", 9, kPackCompressionLevel, &files[1]);
  MemoryStream out;
  std::string error;
  InstallerSummary summary;
  EXPECT_TRUE(WriteInstaller(out, PeStub(), SmallPlan(), files, &summary, &error)) << error;
  return out.bytes();
}

// What a signing tool does: zero padding to a multiple of 8, a certificate table after it,
// the security entry naming the table and a new CheckSum.
std::vector<uint8_t> Sign(std::vector<uint8_t> b, size_t table_size = 1432) {
  while (b.size() % 8) b.push_back(0);
  const size_t table = b.size();
  for (size_t i = 0; i < table_size; ++i) b.push_back(static_cast<uint8_t>(0x30 + i * 7));
  PutU32At(b, table, static_cast<uint32_t>(table_size));  // one entry: length, revision 2.0,
  PutU16At(b, table + 4, 0x0200);                          // PKCS #7 signed data
  PutU16At(b, table + 6, 0x0002);
  PutU32At(b, kSecurityEntry, static_cast<uint32_t>(table));
  PutU32At(b, kSecurityEntry + 4, static_cast<uint32_t>(table_size));
  PutU32At(b, kChecksum, 0x0001F00Du);
  return b;
}

std::string Expected(const std::vector<uint8_t>& b) {
  if (b.size() < kStubFieldsEnd) return "00000000";
  return std::string(b.begin() + kSelfCheckValueOffset,
                     b.begin() + kSelfCheckValueOffset + kSelfCheckValueLength);
}

SelfCheckResult Check(const std::vector<uint8_t>& b, uint64_t offset = kStubSize) {
  MemoryStream s(b);
  return CheckSelfCheckValue(s, offset, Expected(b));
}

std::vector<uint8_t> Uninstaller(const std::vector<uint8_t>& installer) {
  MemoryStream s(installer);
  std::vector<uint8_t> un;
  EXPECT_TRUE(BuildUninstallerFromInstaller(s, kStubSize, &un));
  return un;
}

TEST(PackageExtent, UnsignedInstallerKeepsTheValueOfBytes93ToTheEnd) {
  std::vector<uint8_t> b = PackInstaller();
  SelfCheckResult r = Check(b);
  EXPECT_TRUE(r.matches);
  EXPECT_FALSE(r.extent.has_signature);
  EXPECT_FALSE(r.extent.bad_security_entry);
  EXPECT_TRUE(r.extent.fields.found);
  EXPECT_EQ(r.extent.end, b.size());
  MemoryStream s(b);
  EXPECT_EQ(r.value(), StreamCrcTextFrom(s, kSelfCheckStartOffset));
  // Without a PE header (the other tests' stubs) nothing changes either.
  std::vector<uint8_t> plain(b);
  plain[0] = 'X';
  SelfCheckResult p = Check(plain);
  EXPECT_FALSE(p.extent.fields.found);
  EXPECT_TRUE(p.matches);
}

TEST(PackageExtent, SignedInstallerChecksLikeTheUnsignedOneWhateverItsPadding) {
  // Each content size leaves another remainder modulo 8, so signing pads 0 to 7 bytes.
  std::set<size_t> paddings;
  for (size_t size = 3000; size < 3000 + 64 && paddings.size() < 8; ++size) {
    std::vector<uint8_t> unsigned_bytes = PackInstaller(size);
    size_t padding = (8 - unsigned_bytes.size() % 8) % 8;
    if (!paddings.insert(padding).second) continue;
    SCOPED_TRACE("padding " + std::to_string(padding));
    std::vector<uint8_t> b = Sign(unsigned_bytes);
    SelfCheckResult r = Check(b);
    EXPECT_TRUE(r.extent.has_signature);
    EXPECT_EQ(r.extent.end, unsigned_bytes.size() + padding);
    EXPECT_TRUE(r.matches) << r.value();
    EXPECT_EQ(r.value(), Expected(unsigned_bytes));

    // Readers see the package only: the same records, ending where the unsigned file ends.
    MemoryStream whole(b);
    PackageView s(whole, r.extent);
    PackageHeader h;
    ASSERT_TRUE(ReadPackageHeader(s, kStubSize, &h));
    std::vector<std::string> lines = ReadFileListLines(s, h.file_list_position);
    uint64_t actions = 0;
    LocateFileBlocks(lines, s.Position(), &actions);
    ASSERT_TRUE(s.Seek(actions));
    ActionRecords a;
    ReadActionRecords(s, &a);
    EXPECT_EQ(a.end_position, unsigned_bytes.size());
    EXPECT_EQ(a.desktop_shortcut.link_name, "App");
    // Reads stop at the table, and the view reads like the unsigned file (fields zero).
    uint8_t byte = 0;
    ASSERT_TRUE(s.Seek(r.extent.end));
    EXPECT_EQ(s.Read(&byte, 1), 0u);
    std::vector<uint8_t> seen(static_cast<size_t>(s.Size()));
    ASSERT_TRUE(s.Seek(0));
    for (size_t got = 0, n = 0; got < seen.size(); got += n)  // in odd pieces
      ASSERT_NE(n = s.Read(seen.data() + got, std::min<size_t>(77, seen.size() - got)), 0u);
    std::vector<uint8_t> padded(unsigned_bytes);
    padded.insert(padded.end(), padding, 0);
    EXPECT_TRUE(seen == padded);

    // The uninstaller: no table, no security entry, no CheckSum; otherwise the unsigned
    // installer's uninstaller with signing's zero padding after the records.
    std::vector<uint8_t> un = Uninstaller(b);
    std::vector<uint8_t> plain_un = Uninstaller(unsigned_bytes);
    plain_un.insert(plain_un.end(), padding, 0);
    EXPECT_TRUE(un == plain_un);
    EXPECT_EQ(U32At(un, kSecurityEntry), 0u);
    EXPECT_EQ(U32At(un, kSecurityEntry + 4), 0u);
    EXPECT_EQ(U32At(un, kChecksum), 0u);
    MemoryStream us(un);
    EXPECT_FALSE(ReadPackageExtent(us, kStubSize).has_signature);
  }
  EXPECT_EQ(paddings.size(), 8u);
}

TEST(PackageExtent, FlippedPackageByteFailsFlippedCertificateBytePasses) {
  std::vector<uint8_t> b = Sign(PackInstaller());
  SelfCheckResult good = Check(b);
  ASSERT_TRUE(good.matches);
  const size_t table = good.extent.end;
  struct Case {
    const char* name;
    size_t at;
    bool matches;
  } cases[] = {
      {"first checked byte", kSelfCheckStartOffset, false},
      {"stub byte before the package", kStubSize - 1, false},
      {"first package byte", kStubSize, false},
      {"last package byte", table - 9, false},
      {"CheckSum", kChecksum + 1, true},
      {"certificate table", table + 100, true},
      {"last byte of the file", b.size() - 1, true},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> f(b);
    f[c.at] ^= 0x20;
    EXPECT_EQ(Check(f).matches, c.matches) << c.name;
  }
}

TEST(PackageExtent, BadSecurityEntriesMeanNoSignatureAndFailTheCheck) {
  const std::vector<uint8_t> unsigned_bytes = PackInstaller();
  const std::vector<uint8_t> b = Sign(unsigned_bytes);
  const uint32_t table = U32At(b, kSecurityEntry);
  const uint32_t size = U32At(b, kSecurityEntry + 4);
  const uint32_t file = static_cast<uint32_t>(b.size());
  struct Case {
    const char* name;
    uint32_t offset, size;
  } cases[] = {
      {"inside the stub", 200, static_cast<uint32_t>(file - 200)},
      {"at the package offset", kStubSize, static_cast<uint32_t>(file - kStubSize)},
      {"into the package, to the end", table - 64, size + 64},
      {"into the package, short of the end", table - 64, size},
      {"not on a multiple of 8", table + 4, size - 4},
      {"past the end of the file", file + 8, size},
      {"size past the end", table, size + 8},
      {"size wrapping around", table, 0xFFFFFFF8u},
      {"bytes after the table", table, size - 8},
      {"empty table", table, 0},
      {"shorter than an entry header", file - 4, 4},
      {"offset only", 0, size},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> f(b);
    PutU32At(f, kSecurityEntry, c.offset);
    PutU32At(f, kSecurityEntry + 4, c.size);
    SelfCheckResult r = Check(f);
    EXPECT_FALSE(r.extent.has_signature);
    EXPECT_TRUE(r.extent.bad_security_entry);
    EXPECT_EQ(r.extent.end, f.size());
    EXPECT_FALSE(r.matches);
    MemoryStream s(f);
    EXPECT_EQ(r.value(), StreamCrcTextFrom(s, kSelfCheckStartOffset));  // the plain rule
    // The uninstaller never carries the entry, whatever it says.
    std::vector<uint8_t> un = Uninstaller(f);
    ASSERT_FALSE(un.empty());
    EXPECT_EQ(U32At(un, kSecurityEntry), 0u);
    EXPECT_EQ(U32At(un, kSecurityEntry + 4), 0u);
  }
  // A table that does not begin with an entry header.
  for (size_t at : {size_t{4}, size_t{5}, size_t{0}}) {
    std::vector<uint8_t> f(b);
    f[table + at] ^= 0x7F;
    EXPECT_FALSE(Check(f).extent.has_signature) << at;
  }
  // A bad entry on an otherwise unsigned file: nothing is cut or zeroed, the check fails.
  std::vector<uint8_t> f(unsigned_bytes);
  PutU32At(f, kSecurityEntry, static_cast<uint32_t>(f.size()) + 16);
  PutU32At(f, kSecurityEntry + 4, 64);
  EXPECT_FALSE(Check(f).matches);
}

TEST(PackageExtent, DamagedPeHeadersReadSafely) {
  const std::vector<uint8_t> b = Sign(PackInstaller());
  struct Case {
    const char* name;
    void (*patch)(std::vector<uint8_t>&);
  } cases[] = {
      {"no MZ", [](std::vector<uint8_t>& f) { f[1] = 'Y'; }},
      {"PE pointer past the span", [](std::vector<uint8_t>& f) { PutU32At(f, 0x3C, 0xFFFFFFF0u); }},
      {"PE pointer at the span's end", [](std::vector<uint8_t>& f) { PutU32At(f, 0x3C, 4094); }},
      {"PE pointer into the stub fields", [](std::vector<uint8_t>& f) { PutU32At(f, 0x3C, 8); }},
      {"no PE signature", [](std::vector<uint8_t>& f) { f[kPeOffset + 1] = 'X'; }},
      {"unknown magic", [](std::vector<uint8_t>& f) { PutU16At(f, kOptional, 0x107); }},
      {"four directories", [](std::vector<uint8_t>& f) { PutU32At(f, kOptional + 92, 4); }},
      {"optional header too short", [](std::vector<uint8_t>& f) { PutU16At(f, kPeOffset + 20, 96 + 4 + 32); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> f(b);
    c.patch(f);
    SelfCheckResult r = Check(f);
    EXPECT_FALSE(r.extent.has_signature);
    EXPECT_EQ(r.extent.end, f.size());
    EXPECT_FALSE(r.matches);
  }
  // Heads shorter than the header, and files shorter than the checked start.
  for (size_t n : {0, 1, 2, 60, 64, 130, 200, 300}) {
    std::vector<uint8_t> head(b.begin(), b.begin() + n);
    PackageExtent e = FindPackageExtent(head.data(), head.size(), b.size(), kStubSize,
                                        b.data() + U32At(b, kSecurityEntry));
    EXPECT_EQ(e.has_signature, n >= kSecurityEntry + 8) << n;  // the head holds the entry
    SelfCheckResult r = Check(head);
    EXPECT_FALSE(r.matches) << n;
    if (n < kSelfCheckStartOffset) {
      EXPECT_EQ(r.value(), kCrcErrorText) << n;
    }
  }
  // A PE32+ header is read at its own directory offset.
  std::vector<uint8_t> plus(b);
  PutU16At(plus, kOptional, 0x20B);
  PutU16At(plus, kPeOffset + 20, 240);
  PutU32At(plus, kOptional + 108, 16);
  PutU32At(plus, kOptional + 112 + 32, U32At(b, kSecurityEntry));
  PutU32At(plus, kOptional + 112 + 36, U32At(b, kSecurityEntry + 4));
  PeSignatureFields pf = FindPeSignatureFields(plus.data(), 4096);
  EXPECT_TRUE(pf.found);
  EXPECT_EQ(pf.security_entry_offset, kOptional + 112 + 32);
  EXPECT_EQ(pf.certificate_offset, U32At(b, kSecurityEntry));
}

// The self check reads the file in chunks and zeroes the fields in whichever chunk holds
// them; a stream that is shorter than its size says is a failure.
TEST(PackageExtent, FileChecksAndShortReads) {
  const std::vector<uint8_t> b = Sign(PackInstaller(2u << 20));  // over one chunk
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir ? dir : "/tmp") + "/hollin_extent_signed.exe";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(b.data(), 1, b.size(), f);
  std::fclose(f);
  {
    std::unique_ptr<FileStream> file = FileStream::Open(path, FileStream::Mode::kRead);
    ASSERT_TRUE(file);
    EXPECT_TRUE(CheckSelfCheckValue(*file, kStubSize, Expected(b)).matches);
  }
  PackageExtent e;
  std::unique_ptr<Stream> view = OpenPackageFile(path, kStubSize, &e);
  ASSERT_TRUE(view);
  EXPECT_TRUE(e.has_signature);
  EXPECT_EQ(view->Size(), e.end);
  view.reset();  // Windows deletes no open file
  std::remove(path.c_str());
  EXPECT_FALSE(OpenPackageFile(path, kStubSize));

  class ShortStream : public MemoryStream {
   public:
    using MemoryStream::MemoryStream;
    uint64_t Size() const override { return MemoryStream::Size() + 100; }
  } short_stream(b);
  // A file that got shorter meanwhile: the CRC of what was there, which does not match.
  SelfCheckResult cut = CheckSelfCheckValue(short_stream, kStubSize, Expected(b));
  EXPECT_FALSE(cut.matches);
  MemoryStream whole(b);
  EXPECT_EQ(cut.value(), StreamCrcTextFrom(whole, kSelfCheckStartOffset));
}

// Packed by hollin-pack before signing was known (tests/package/fixtures/unsigned-v1.exe:
// this file's PeStub() and a two-file package with a licence, an any-file verb and a
// desktop shortcut): the value it carries still matches, it is the plain CRC of bytes 93 to
// the end, and the same file signed afterwards passes too.
TEST(PackageExtent, InstallerPackedBeforeSigningStillPasses) {
  std::string path = std::string(HOLLIN_FIXTURES_DIR) + "/unsigned-v1.exe";
  std::unique_ptr<FileStream> file = FileStream::Open(path, FileStream::Mode::kRead);
  ASSERT_TRUE(file) << path;
  StubFields stub;
  ASSERT_TRUE(ReadStubFields(*file, &stub));
  EXPECT_EQ(stub.self_check_value, "33AB5C54");
  SelfCheckResult r = CheckSelfCheckValue(*file, kStubSize, stub.self_check_value);
  EXPECT_TRUE(r.matches);
  EXPECT_EQ(r.value(), InstallerCrcText(path));
  EXPECT_FALSE(r.extent.has_signature);
  EXPECT_EQ(r.extent.end, file->Size());

  std::vector<uint8_t> bytes(static_cast<size_t>(file->Size()));
  ASSERT_TRUE(file->Seek(0));
  ASSERT_EQ(file->Read(bytes.data(), bytes.size()), bytes.size());
  EXPECT_EQ(bytes.size() % 8, 4u);  // signing pads it
  SelfCheckResult s = Check(Sign(bytes));
  EXPECT_TRUE(s.extent.has_signature);
  EXPECT_TRUE(s.matches);
}

}  // namespace
}  // namespace hollin
