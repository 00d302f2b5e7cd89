// hollin-pack --sign-cert/--sign-key/--sign-pass as a program: it packs, signs with
// osslsigncode (SHA-256) and checks the result; the signature verifies against a test root
// made by openssl at test time; --list shows where the package ends. A failed signing
// leaves no output and no stray file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer/package/package_extent.h"
#include "installer/package/package_format.h"
#include "installer/package/package_offset.h"
#include "installer/package/package_reader.h"
#include "installer/package/stream.h"

namespace hollin {
namespace {

std::string WorkDir() {
  const char* bin = std::getenv("VELLUMO_BINARY_DIR");
  std::string dir = std::string(bin ? bin : ".") + "/tests/package/packer_sign_work";
  mkdir(dir.c_str(), 0755);
  return dir;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}
std::string ReadFile(const std::string& path) {
  std::string s;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return s;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}
bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Runs a shell command in the work folder; its output goes to out.txt / err.txt there.
int Shell(const std::string& command, std::string* out = nullptr, std::string* err = nullptr) {
  std::string dir = WorkDir();
  int status = std::system(("cd '" + dir + "' && " + command + " >out.txt 2>err.txt").c_str());
  if (out) *out = ReadFile(dir + "/out.txt");
  if (err) *err = ReadFile(dir + "/err.txt");
  return status;
}

// A stub with a PE32 header and a stamped marker (what osslsigncode signs), optionally with a
// CheckSum left in it.
std::string PeStub(uint32_t checksum) {
  const size_t size = 2048;
  std::vector<uint8_t> b(size);
  auto put16 = [&](size_t at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  b[0] = 'M';
  b[1] = 'Z';
  put32(0x3C, 128);
  b[128] = 'P';
  b[129] = 'E';
  put16(132, 0x14C);
  put16(148, 224);
  put16(150, 0x102);
  put16(152, 0x10B);
  put32(152 + 64, checksum);
  put32(152 + 92, 16);
  CopyPackageOffsetMarker(b.data() + 700);
  StampPackageOffset(b.data(), b.size(), static_cast<uint32_t>(size));
  return std::string(b.begin(), b.end());
}

class PackerSign : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Shell("command -v osslsigncode && command -v openssl") != 0) return;
    // A test root and a signer it issued, the signer's key encrypted with a pass phrase file.
    ready_ =
        Shell("openssl req -x509 -newkey rsa:2048 -nodes -keyout root.key -out root.pem -days 2 "
            "-subj '/CN=Packer Test Root' -addext basicConstraints=critical,CA:TRUE "
            "-addext keyUsage=critical,keyCertSign") == 0 &&
        Shell("printf 'pass phrase\\n' >pass.txt && openssl req -newkey rsa:2048 -keyout signer.key "
            "-passout file:pass.txt -out signer.csr -subj '/CN=Packer Test Signer'") == 0 &&
        Shell("printf 'extendedKeyUsage=codeSigning\\n' >signer.ext && openssl x509 -req -in "
            "signer.csr -CA root.pem -CAkey root.key -CAcreateserial -days 2 -extfile signer.ext "
            "-out signer.pem") == 0;
    std::string dir = WorkDir();
    mkdir((dir + "/files").c_str(), 0755);
    WriteFile(dir + "/files/app.txt", std::string(5000, 'x') + "end");
    WriteFile(dir + "/product.ini",
              "[package]\ndisplay_name = Signed by the packer\nmaker_notice = tests\n\n"
              "[files]\napp.txt\n\n[desktop_shortcut]\nlink = App\nprogram = app.txt\n");
    WriteFile(dir + "/stub.exe", PeStub(0));
    WriteFile(dir + "/stub-checksum.exe", PeStub(0x1234));
  }
  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "openssl or osslsigncode missing";
  }
  static std::string Pack(const std::string& stub, const std::string& output,
                          const std::string& sign_options) {
    return std::string("'") + HOLLIN_PACK_PATH + "' --quiet --stub " + stub +
           " --manifest product.ini --root files --output " + output + " " + sign_options;
  }
  static bool ready_;
};
bool PackerSign::ready_ = false;

TEST_F(PackerSign, PacksSignsAndTheSignatureVerifies) {
  const std::string dir = WorkDir();
  std::remove((dir + "/plain.exe").c_str());
  std::remove((dir + "/signed.exe").c_str());
  ASSERT_EQ(Shell(Pack("stub.exe", "plain.exe", "")), 0);
  std::string err;
  ASSERT_EQ(Shell(Pack("stub.exe", "signed.exe",
                     "--sign-cert signer.pem --sign-key signer.key --sign-pass pass.txt"),
                nullptr, &err),
            0)
      << err;
  EXPECT_EQ(Shell("osslsigncode verify -CAfile root.pem -in signed.exe"), 0);
  // Nothing left beside the output.
  EXPECT_FALSE(Exists(dir + "/signed.exe.unsigned"));

  // The signed file is the unsigned one, its two header fields, padding and table aside.
  std::string plain = ReadFile(dir + "/plain.exe"), sig = ReadFile(dir + "/signed.exe");
  MemoryStream s(std::vector<uint8_t>(sig.begin(), sig.end()));
  StubFields stub;
  ASSERT_TRUE(ReadStubFields(s, &stub));
  SelfCheckResult check = CheckSelfCheckValue(s, 2048, stub.self_check_value);
  EXPECT_TRUE(check.extent.has_signature);
  EXPECT_TRUE(check.matches);
  EXPECT_EQ(check.extent.end, (plain.size() + 7) / 8 * 8);
  PackageView view(s, check.extent);
  std::string seen(static_cast<size_t>(view.Size()), '\0');
  ASSERT_TRUE(view.Seek(0));
  ASSERT_EQ(view.Read(&seen[0], seen.size()), seen.size());
  EXPECT_TRUE(seen.compare(0, plain.size(), plain) == 0);

  std::string listing;
  ASSERT_EQ(Shell(std::string("'") + HOLLIN_PACK_PATH + "' --list signed.exe", &listing), 0);
  EXPECT_NE(listing.find("(matches: " + stub.self_check_value + ")"), std::string::npos)
      << listing;
  EXPECT_NE(listing.find("signature: certificate table at " + std::to_string(check.extent.end)),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("action records: present A11"), std::string::npos) << listing;

  // One byte of the certificate flipped: our check still passes, the signature fails.
  sig[sig.size() - 20] ^= 1;
  WriteFile(dir + "/flipped.exe", sig);
  EXPECT_NE(Shell("osslsigncode verify -CAfile root.pem -in flipped.exe"), 0);
  ASSERT_EQ(Shell(std::string("'") + HOLLIN_PACK_PATH + "' --list flipped.exe", &listing), 0);
  EXPECT_NE(listing.find("(matches: "), std::string::npos) << listing;
}

// --verify, --extract and --list --json read a signed installer's package only: the table is
// neither package bytes nor a fault, a package byte flipped is one, a certificate byte is not.
TEST_F(PackerSign, VerifyExtractAndJsonStopAtTheCertificateTable) {
  const std::string dir = WorkDir();
  const std::string pack = std::string("'") + HOLLIN_PACK_PATH + "' ";
  std::remove((dir + "/tools.exe").c_str());
  ASSERT_EQ(Shell(Pack("stub.exe", "tools.exe",
                       "--sign-cert signer.pem --sign-key signer.key --sign-pass pass.txt")),
            0);
  std::string sig = ReadFile(dir + "/tools.exe");
  MemoryStream s(std::vector<uint8_t>(sig.begin(), sig.end()));
  PackageExtent extent = ReadPackageExtent(s, 2048);
  ASSERT_TRUE(extent.has_signature);

  std::string out;
  EXPECT_EQ(Shell(pack + "--verify tools.exe", &out), 0) << out;
  EXPECT_NE(out.find("tools.exe: signed: a certificate table of " +
                     std::to_string(extent.fields.certificate_size) + " bytes"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("every check holds"), std::string::npos) << out;

  std::string json;
  ASSERT_EQ(Shell(pack + "--list --json tools.exe", &json), 0);
  EXPECT_NE(json.find("\"package_end\": " + std::to_string(extent.end)), std::string::npos) << json;
  EXPECT_NE(json.find("\"self_check_matches\": true"), std::string::npos) << json;
  EXPECT_NE(json.find("\"signature\": {\"present\": true, \"bad_security_entry\": false, "
                      "\"certificate_table\": " + std::to_string(extent.end) +
                      ", \"certificate_size\": " + std::to_string(extent.fields.certificate_size) + "}"),
            std::string::npos)
      << json;

  Shell("rm -rf unpacked");
  ASSERT_EQ(Shell(pack + "--extract tools.exe --to unpacked --with-texts", &out), 0) << out;
  EXPECT_EQ(ReadFile(dir + "/unpacked/app.txt"), std::string(5000, 'x') + "end");

  struct Case {
    const char* name;
    uint64_t offset;
    int verify_status;
    const char* line;
  } cases[] = {
      {"package byte (a file block)", extent.end - 40, 1, "does not match the CRC of bytes 93 to the end of the package"},
      {"certificate byte", sig.size() - 20, 0, "every check holds"},
      {"the CheckSum field", extent.fields.checksum_offset, 0, "every check holds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string altered = sig;
    altered[static_cast<size_t>(c.offset)] ^= 1;
    WriteFile(dir + "/altered.exe", altered);
    EXPECT_EQ(Shell(pack + "--verify altered.exe", &out) == 0 ? 0 : 1, c.verify_status) << out;
    EXPECT_NE(out.find(c.line), std::string::npos) << out;
    EXPECT_NE(out.find("altered.exe: signed:"), std::string::npos) << out;
  }
}

TEST_F(PackerSign, FailedSigningLeavesNoOutput) {
  const std::string dir = WorkDir();
  struct Case {
    const char* name;
    const char* stub;
    std::string options;
    const char* message;
  } cases[] = {
      {"key missing", "stub.exe", "--sign-cert signer.pem", "needs both --sign-cert and --sign-key"},
      {"no such key", "stub.exe", "--sign-cert signer.pem --sign-key nothere.key",
       "osslsigncode could not sign"},
      {"wrong pass phrase file", "stub.exe",
       "--sign-cert signer.pem --sign-key signer.key --sign-pass product.ini",
       "osslsigncode could not sign"},
      {"stub with a CheckSum", "stub-checksum.exe",
       "--sign-cert signer.pem --sign-key signer.key --sign-pass pass.txt", "CheckSum is not 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove((dir + "/failed.exe").c_str());
    std::string err;
    EXPECT_NE(Shell(Pack(c.stub, "failed.exe", c.options) + " </dev/null", nullptr, &err), 0);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_FALSE(Exists(dir + "/failed.exe"));
    EXPECT_FALSE(Exists(dir + "/failed.exe.unsigned"));
  }
}

}  // namespace
}  // namespace hollin
