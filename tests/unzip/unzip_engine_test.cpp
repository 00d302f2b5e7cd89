// The unzip engine natively: every fixture entry against `unzip -p`, passwords and how
// often they are asked for, name matching with the code-page rule, hostile archives that
// must fail cleanly without writing past the block, and extraction to files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/unzip/fixture_manifest.h"
#include "tests/unzip/zip_builder.h"
#include "unzip/unzip_engine.h"
#include "unzip/zip_crypto.h"
#include "unzip/zip_directory.h"

namespace vellumo::unzip {
namespace {

using test::TestArchive;
using test::TestEntry;

std::string FixtureDir() {
  const char* bin = std::getenv("VELLUMO_BINARY_DIR");
  return std::string(bin ? bin : ".") + "/tests/unzip/fixtures";
}

// Windows-1252 as the ANSI page, 437 as the OEM page, for the few bytes the tests use.
// `plain` says whether the engine may compare printable ASCII itself; with false every
// name goes through the calls below, which must give the same results.
class TestConverter : public CodePageConverter {
 public:
  explicit TestConverter(bool plain = true) : plain_(plain) {}
  bool AsciiIsPlain() const override { return plain_; }
  char OemByteToAnsi(unsigned char oem) const override {
    switch (oem) {
      case 0x81: return char(0xFC);  // u umlaut
      case 0x82: return char(0xE9);  // e acute
      case 0x9A: return char(0xDC);  // U umlaut
      default: return '_';
    }
  }
  std::string Utf8ToAnsi(const std::string& utf8) const override {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
      unsigned char c = utf8[i];
      if (c < 0x80) {
        out.push_back(char(c));
      } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
        unsigned cp = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
        out.push_back(cp < 256 ? char(cp) : '?');
        ++i;
      } else {
        out.push_back('?');
      }
    }
    return out;
  }
  bool EqualIgnoringCase(const std::string& a, const std::string& b) const override {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
  }

 private:
  bool plain_;
  static unsigned Fold(char ch) {
    unsigned c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
    return c;
  }
};

// Records every event; answers password requests from a script.
struct PasswordAnswer {
  bool given;
  std::string text;
  int32_t count;  // -1: hand back the count received
};

struct Recorder {
  std::vector<UnzipEvent> events;
  std::vector<PasswordAnswer> answers;
  size_t nextAnswer = 0;
  int32_t stopOnAction = 0;  // return stop when this action arrives
  int32_t crcAnswer = -1;    // the answer to a CRC error (-1: the field left as sent)

  EventFn Fn() {
    return [this](UnzipEvent& e) {
      events.push_back(e);
      if (e.action == kActionCrcError && crcAnswer >= 0) e.errorCode = crcAnswer;
      if (e.action == kActionPassword) {
        if (nextAnswer < answers.size() && answers[nextAnswer].given) {
          const PasswordAnswer& a = answers[nextAnswer];
          e.text = a.text;
          e.errorCode = 1;
          e.size = a.count < 0 ? e.size : a.count;
        } else {
          e.text.clear();
          e.errorCode = 0;
          e.size = 0;
        }
        ++nextAnswer;
        events.back().text = "asked";
      }
      return e.action != stopOnAction;
    };
  }
  std::vector<const UnzipEvent*> Of(int32_t action) const {
    std::vector<const UnzipEvent*> out;
    for (const UnzipEvent& e : events)
      if (e.action == action) out.push_back(&e);
    return out;
  }
  std::vector<int32_t> MessageCodes() const {
    std::vector<int32_t> out;
    for (const UnzipEvent* e : Of(kActionMessage)) out.push_back(e->errorCode);
    return out;
  }
};

std::string ExpectedBytes(const std::string& archive, const std::string& name) {
  std::string bytes;
  for (const test::FixtureEntry& row : test::ReadManifest(FixtureDir()))
    if (row.archive == archive && row.name == name)
      test::ReadWholeFile(FixtureDir() + "/expected/" + row.expectedFile, bytes);
  return bytes;
}

struct BlockRun {
  int32_t result = 0;
  std::string block;  // what the block holds afterwards
  bool guardIntact = true;
};

// Runs block mode with a block of `blockSize` bytes followed by guard bytes that must
// stay untouched.
BlockRun ExtractToBlock(ArchiveSource& source, const std::string& name, size_t blockSize,
                        Recorder& recorder, const std::string& password = "",
                        int32_t requestCount = 3, const CodePageConverter& converter = TestConverter()) {
  constexpr size_t kGuard = 64;
  std::vector<uint8_t> memory(blockSize + kGuard, 0xA5);
  UnzipRequest request;
  request.archivePath = "test.zip";
  request.password = password;
  request.passwordRequestCount = requestCount;
  request.specs = {name};
  request.useOutputBlock = true;
  request.outputBlock = memory.data();
  request.outputSize = blockSize;
  BlockRun run;
  run.result = RunUnzip(source, request, converter, recorder.Fn());
  run.block.assign(reinterpret_cast<char*>(memory.data()), blockSize);
  for (size_t i = blockSize; i < memory.size(); ++i)
    if (memory[i] != 0xA5) run.guardIntact = false;
  return run;
}

TEST(UnzipFixtures, EveryEntryMatchesUnzipOutput) {
  std::vector<test::FixtureEntry> rows = test::ReadManifest(FixtureDir());
  ASSERT_GT(rows.size(), 50u) << "fixtures missing in " << FixtureDir();
  for (const test::FixtureEntry& row : rows) {
    SCOPED_TRACE(row.archive + " : " + row.name);
    std::string expected;
    ASSERT_TRUE(test::ReadWholeFile(FixtureDir() + "/expected/" + row.expectedFile, expected));
    FileSource source;
    ASSERT_TRUE(source.Open(FixtureDir() + "/" + row.archive));
    Recorder recorder;
    BlockRun run = ExtractToBlock(source, row.name, expected.size(), recorder, row.password, 0);
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(run.block == expected);
    EXPECT_TRUE(run.guardIntact);
    EXPECT_TRUE(recorder.MessageCodes().empty());
    ASSERT_EQ(recorder.Of(kActionNewFile).size(), 1u);
    EXPECT_EQ(recorder.Of(kActionNewFile)[0]->text, row.name);
    EXPECT_EQ(recorder.Of(kActionNewFile)[0]->size, int32_t(expected.size()));
    ASSERT_EQ(recorder.Of(kActionTotalFiles).size(), 1u);
    EXPECT_EQ(recorder.Of(kActionTotalFiles)[0]->size, 1);
    int64_t progressed = 0;
    for (const UnzipEvent* e : recorder.Of(kActionProgress)) progressed += e->size;
    EXPECT_EQ(progressed, int64_t(expected.size()));
  }
}

TEST(UnzipFixtures, DirectoryFindsZip64CountAndPrefixShift) {
  struct Case {
    const char* archive;
    size_t entries;
    int64_t shift;
  } cases[] = {
      {"zip64_many.zip", 70000, 0},
      {"sfx_unadjusted.exe", 8, 7002},  // zip -r lists the two folders too
      {"sfx_adjusted.exe", 8, 0},
      {"utf8.zip", 2, 0},  // found behind a 65,535-byte comment
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    FileSource source;
    ASSERT_TRUE(source.Open(FixtureDir() + "/" + c.archive));
    ZipDirectory dir = ReadZipDirectory(source);
    ASSERT_EQ(dir.status, DirectoryStatus::kOk);
    EXPECT_EQ(dir.entries.size(), c.entries);
    EXPECT_EQ(dir.offsetShift, c.shift);
  }
}

// Passwords: the given one first, then the caller is asked up to the request count.
TEST(UnzipPasswords, AskedAsOftenAsAllowedAndStoppedByTheAnswer) {
  struct Case {
    const char* title;
    const char* archive;
    std::string given;
    int32_t requestCount;
    std::vector<PasswordAnswer> answers;
    int32_t result;
    std::vector<int32_t> askedCounts;  // the count sent with each request
    std::vector<int32_t> messages;
  } cases[] = {
      {"given password is right", "password.zip", "secret", 3, {}, 1, {}, {}},
      {"given right, time check byte", "streamed_password.zip", "Pass Word", 3, {}, 1, {}, {}},
      {"7z ZipCrypto", "7z_zipcrypto.zip", "secret", 3, {}, 1, {}, {}},
      {"given wrong, first answer right", "password.zip", "nope", 3, {{true, "secret", -1}}, 1, {3}, {}},
      {"no password, asked, right", "password_stored.zip", "", 3, {{true, "secret", -1}}, 1, {3}, {}},
      {"three wrong answers use up the count", "password.zip", "", 3,
       {{true, "a", -1}, {true, "b", -1}, {true, "c", -1}, {true, "secret", -1}}, 0, {3, 2, 1},
       {kErrorWrongPassword}},
      {"cancel stops asking", "password.zip", "", 3, {{false, "", 0}}, 0, {3}, {kErrorWrongPassword}},
      {"count 0 back stops after that answer", "password.zip", "", 3, {{true, "wrong", 0}}, 0, {3},
       {kErrorWrongPassword}},
      {"request count 0 never asks", "password.zip", "wrong", 0, {{true, "secret", -1}}, 0, {},
       {kErrorWrongPassword}},
      {"request count capped at 15", "password.zip", "", 40,
       std::vector<PasswordAnswer>(20, PasswordAnswer{true, "x", -1}), 0,
       {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, {kErrorWrongPassword}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    FileSource source;
    ASSERT_TRUE(source.Open(FixtureDir() + "/" + c.archive));
    std::string expected = ExpectedBytes(c.archive, "page.html");
    ASSERT_FALSE(expected.empty());
    Recorder recorder;
    recorder.answers = c.answers;
    BlockRun run = ExtractToBlock(source, "page.html", expected.size(), recorder, c.given,
                                  c.requestCount);
    EXPECT_EQ(run.result, c.result);
    std::vector<int32_t> asked;
    for (const UnzipEvent* e : recorder.Of(kActionPassword)) {
      asked.push_back(e->size);
      EXPECT_EQ(e->errorCode, 0) << "extraction never asks for the confirm form";
    }
    EXPECT_EQ(asked, c.askedCounts);
    EXPECT_EQ(recorder.MessageCodes(), c.messages);
    if (c.result == 1) {
      EXPECT_TRUE(run.block == expected);
    }
  }
}

TEST(UnzipPasswords, AnswerIsRememberedForTheNextEntryAndStopEndsTheRun) {
  FileSource source;
  ASSERT_TRUE(source.Open(FixtureDir() + "/password.zip"));
  TestConverter converter;
  UnzipRequest request;
  request.testOnly = true;
  request.passwordRequestCount = 3;
  request.specs = {"*"};
  {
    Recorder recorder;
    recorder.answers = {{true, "secret", -1}};
    EXPECT_EQ(RunUnzip(source, request, converter, recorder.Fn()), 6);
    EXPECT_EQ(recorder.Of(kActionPassword).size(), 1u);
    EXPECT_EQ(recorder.Of(kActionTotalFiles)[0]->size, 6);
  }
  {
    Recorder recorder;
    recorder.stopOnAction = kActionPassword;
    EXPECT_EQ(RunUnzip(source, request, converter, recorder.Fn()), 0);
    EXPECT_EQ(recorder.events.back().action, kActionPassword) << "nothing after a stop";
  }
}

// Names are matched as the viewer lists them.
TEST(UnzipNames, MatchedByTheCodePageRuleSeparatorsAndCase) {
  auto entry = [](std::string name, uint8_t host, uint8_t made, uint16_t flags, std::string data) {
    TestEntry e;
    e.name = std::move(name);
    e.host = host;
    e.versionMadeBy = made;
    e.flags = flags;
    e.data = std::move(data);
    return e;
  };
  TestArchive archive;
  archive.entries = {
      entry("caf\x82-dos.txt", 0, 20, 0, "dos"),
      entry("caf\x82-unix.txt", 3, 30, 0, "unix"),
      entry("caf\x82-ntfs50.txt", 11, 50, 0, "ntfs50"),
      entry("caf\x82-ntfs20.txt", 11, 20, 0, "ntfs20"),
      entry("caf\x82-hpfs.txt", 6, 20, 0, "hpfs"),
      entry("caf\xc3\xa9-utf8.txt", 0, 20, kFlagUtf8, "utf8"),
      entry("dir/Sub/File.TXT", 3, 30, 0, "nested"),
      entry("twin.txt", 3, 30, 0, "first twin"),
      entry("TWIN.txt", 3, 30, 0, "second twin"),
      entry("ascii-utf8.txt", 3, 30, kFlagUtf8, "ascii utf8"),
      entry("tab\tname.txt", 3, 30, 0, "tab"),
  };
  std::string bytes = archive.Build();
  struct Case {
    std::string spec;
    std::string expected;  // empty: not found
  } cases[] = {
      {"caf\xe9-dos.txt", "dos"},
      {"caf\x82-unix.txt", "unix"},
      {"caf\xe9-unix.txt", ""},
      {"caf\xe9-ntfs50.txt", "ntfs50"},
      {"caf\x82-ntfs20.txt", "ntfs20"},
      {"caf\xe9-hpfs.txt", "hpfs"},
      {"CAF\xc9-UTF8.TXT", "utf8"},  // UTF-8 beats the OEM rule, and case folds in ANSI
      {"dir\\sub\\file.txt", "nested"},
      {"DIR/SUB/FILE.TXT", "nested"},
      {"dir\\Sub", ""},
      {"Twin.TXT", "first twin"},
      {"twin.tx", ""},
      {"twin.txt ", ""},
      {"dir\\sub/file.txt", "nested"},
      {"caf\x82-dos.txt", ""},  // the OEM byte is looked up, not compared as stored
      {"ASCII-UTF8.TXT", "ascii utf8"},
      {"TAB\tNAME.TXT", "tab"},
  };
  for (bool plain : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.spec + (plain ? " (ASCII compared in place)" : " (every name converted)"));
      MemorySource source(bytes.data(), bytes.size());
      Recorder recorder;
      BlockRun run = ExtractToBlock(source, c.spec, 16, recorder, "", 3, TestConverter(plain));
      if (c.expected.empty()) {
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(recorder.MessageCodes(), std::vector<int32_t>{kErrorNotFound});
      } else {
        EXPECT_EQ(run.result, 1);
        EXPECT_EQ(run.block.substr(0, c.expected.size()), c.expected);
      }
    }
  }
}

// A sort order that is not plain ASCII folding: "-" weighs nothing and "I" is not "i".
// A converter that says so must be asked about every name, wildcards included.
class LocaleConverter : public CodePageConverter {
 public:
  char OemByteToAnsi(unsigned char oem) const override { return static_cast<char>(oem); }
  std::string Utf8ToAnsi(const std::string& utf8) const override { return utf8; }
  bool EqualIgnoringCase(const std::string& a, const std::string& b) const override {
    return Key(a) == Key(b);
  }

 private:
  static std::string Key(const std::string& s) {
    std::string key;
    for (char c : s) {
      if (c == '-') continue;
      key.push_back(c >= 'A' && c <= 'Z' && c != 'I' ? char(c + 32) : c);
    }
    return key;
  }
};

TEST(UnzipNames, ConverterThatIsNotPlainDecidesEveryMatch) {
  TestArchive archive;
  archive.entries = {test::MakeEntry("coop.txt", "coop", 0), test::MakeEntry("co-op.txt", "co-op", 0),
                     test::MakeEntry("FILE.TXT", "FILE", 0), test::MakeEntry("file.txt", "file", 0)};
  std::string bytes = archive.Build();
  struct Case {
    const char* spec;
    const char* locale;  // what the block holds with LocaleConverter
    const char* plain;   // and with plain folding
  } cases[] = {
      {"co-op.txt", "coop", "co-op"},
      {"file.txt", "file", "FILE"},
      {"File.txt", "file", "FILE"},
  };
  LocaleConverter locale;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.spec);
    for (bool plain : {false, true}) {
      MemorySource source(bytes.data(), bytes.size());
      Recorder recorder;
      BlockRun run = plain ? ExtractToBlock(source, c.spec, 5, recorder)
                           : ExtractToBlock(source, c.spec, 5, recorder, "", 3, locale);
      EXPECT_EQ(run.result, 1);
      std::string expected = plain ? c.plain : c.locale;
      EXPECT_EQ(run.block.substr(0, expected.size()), expected) << (plain ? "plain" : "locale");
    }
  }
  // Wildcards compare one character at a time through the same converter.
  struct Wild {
    const char* spec;
    int32_t locale;
    int32_t plain;
  } wild[] = {{"fi?e.txt", 1, 2}, {"*I*", 1, 2}, {"*.txt", 4, 4}};
  for (const Wild& w : wild) {
    SCOPED_TRACE(w.spec);
    for (bool plain : {false, true}) {
      MemorySource source(bytes.data(), bytes.size());
      UnzipRequest request;
      request.testOnly = true;
      request.specs = {w.spec};
      TestConverter test;
      EXPECT_EQ(RunUnzip(source, request, plain ? static_cast<const CodePageConverter&>(test) : locale,
                         nullptr),
                plain ? w.plain : w.locale);
    }
  }
}

// Hostile or damaged archives: 0, a message, and nothing written past the block.
TEST(UnzipHostile, FailsCleanlyWithTheRightMessage) {
  std::string zeros(1 << 20, '\0');
  std::string page = "<html>" + std::string(5000, 'x') + "</html>";
  struct Case {
    const char* title;
    std::function<void(TestArchive&)> make;
    size_t blockSize;
    std::vector<int32_t> messages;
    size_t crcEvents;
  } cases[] = {
      {"deflate bomb claiming 1000 bytes",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", zeros, 8);
         e.uncompressedSize = 1000;
         a.entries = {e};
       },
       1000, {kErrorBlockTooSmall}, 0},
      {"block smaller than the entry",
       [&](TestArchive& a) { a.entries = {test::MakeEntry("bomb.html", page, 8)}; },
       page.size() - 1, {kErrorBlockTooSmall}, 0},
      {"sizes 0xFFFFFFFF without Zip64 data",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", page, 8);
         e.compressedSize = e.uncompressedSize = 0xFFFFFFFF;
         a.entries = {e};
       },
       page.size(), {kErrorBlockTooSmall}, 0},
      {"local header offset past the end",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", page, 8);
         e.localOffset = 0x7FFFFFF0;
         a.entries = {e};
       },
       page.size(), {kErrorBadLocalHeader}, 0},
      {"compressed size past the end of the file",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", page, 8);
         e.compressedSize = 1 << 20;
         a.entries = {e};
       },
       page.size(), {kErrorTruncatedData}, 0},
      {"deflate stream cut short",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", page, 8);
         e.payload = test::RawDeflate(page).substr(0, 10);
         e.usePayload = true;
         a.entries = {e};
       },
       page.size(), {kErrorTruncatedData}, 0},
      {"stored data shorter than stated",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", page, 0);
         e.compressedSize = page.size() - 1;
         a.entries = {e};
       },
       page.size(), {kErrorTruncatedData}, 0},
      {"garbage instead of deflate data",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", page, 8);
         e.payload = std::string(64, '\xff');
         e.usePayload = true;
         a.entries = {e};
       },
       page.size(), {kErrorTruncatedData}, 0},
      {"bad CRC",
       [&](TestArchive& a) {
         TestEntry e = test::MakeEntry("bomb.html", page, 8);
         e.crc = 0x12345678;
         a.entries = {e};
       },
       page.size(), {kErrorBadCrc}, 1},
      {"unsupported method",
       [&](TestArchive& a) { a.entries = {test::MakeEntry("bomb.html", page, 12)}; },
       page.size(), {kErrorUnsupportedMethod}, 0},
      {"65,535 entries claimed in an empty directory",
       [&](TestArchive& a) { a.entryCountOverride = 65535; },
       16, {kErrorBadDirectory}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    TestArchive archive;
    c.make(archive);
    std::string bytes = archive.Build();
    MemorySource source(bytes.data(), bytes.size());
    Recorder recorder;
    BlockRun run = ExtractToBlock(source, "bomb.html", c.blockSize, recorder);
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.guardIntact);
    EXPECT_EQ(recorder.MessageCodes(), c.messages);
    EXPECT_EQ(recorder.Of(kActionCrcError).size(), c.crcEvents);
  }
  // Not a ZIP at all, and an empty source.
  for (std::string bytes : {std::string("just some text, not an archive\n"), std::string()}) {
    MemorySource source(bytes.data(), bytes.size());
    Recorder recorder;
    EXPECT_EQ(ExtractToBlock(source, "x", 4, recorder).result, 0);
    EXPECT_EQ(recorder.MessageCodes(), std::vector<int32_t>{kErrorNotZip});
  }
}

TEST(UnzipDirectory, Zip64ExtraGivesRealSizesAndPrefixShiftsOffsets) {
  TestArchive archive;
  TestEntry e = test::MakeEntry("five.txt", "hello", 0);
  e.compressedSize = e.uncompressedSize = 0xFFFFFFFF;
  e.centralExtra = test::Zip64Extra({5, 5});
  TestEntry empty = test::MakeEntry("empty.txt", "", 8);
  archive.entries = {e, empty};
  archive.prefix = std::string(1234, 'S');
  archive.comment = "a comment";
  std::string bytes = archive.Build();
  for (const char* name : {"five.txt", "empty.txt"}) {
    SCOPED_TRACE(name);
    MemorySource source(bytes.data(), bytes.size());
    Recorder recorder;
    BlockRun run = ExtractToBlock(source, name, std::string(name) == "five.txt" ? 5 : 0, recorder);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.block, std::string(name) == "five.txt" ? "hello" : "");
    EXPECT_TRUE(run.guardIntact);
  }
}

// A damaged header makes the whole directory bad, even one after the entry asked for.
TEST(UnzipDirectory, DamagedHeaderAnywhereFailsTheDirectory) {
  TestArchive archive;
  archive.entries = {test::MakeEntry("first.txt", "1", 0), test::MakeEntry("second.txt", "2", 0),
                     test::MakeEntry("third.txt", "3", 0)};
  const std::string good = archive.Build();
  std::vector<size_t> headers;
  for (size_t at = good.find("PK\x01\x02"); at != std::string::npos; at = good.find("PK\x01\x02", at + 1))
    headers.push_back(at);
  ASSERT_EQ(headers.size(), 3u);
  struct Case {
    const char* title;
    size_t header;
    size_t field;  // offset in the header
    std::string bytes;
  } cases[] = {
      {"last signature broken", 2, 0, "PK\x09\x09"},
      {"middle signature broken", 1, 3, "\x07"},
      {"last name runs past the directory", 2, 28, "\xff\xff"},
      {"last comment runs past the directory", 2, 32, std::string("\x00\x10", 2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::string bytes = good;
    bytes.replace(headers[c.header] + c.field, c.bytes.size(), c.bytes);
    for (const char* spec : {"first.txt", "FIRST.TXT", "third.txt", "missing.txt"}) {
      SCOPED_TRACE(spec);
      MemorySource source(bytes.data(), bytes.size());
      Recorder recorder;
      BlockRun run = ExtractToBlock(source, spec, 1, recorder);
      EXPECT_EQ(run.result, 0);
      EXPECT_EQ(recorder.MessageCodes(), std::vector<int32_t>{kErrorBadDirectory});
      EXPECT_TRUE(recorder.Of(kActionNewFile).empty());
      EXPECT_EQ(run.block, "\xa5");
    }
    MemorySource source(bytes.data(), bytes.size());
    UnzipRequest request;
    request.testOnly = true;
    Recorder recorder;
    EXPECT_EQ(RunUnzip(source, request, TestConverter(), recorder.Fn()), 0);
    EXPECT_EQ(recorder.MessageCodes(), std::vector<int32_t>{kErrorBadDirectory});
    EXPECT_EQ(ReadZipDirectory(source).status, DirectoryStatus::kBadDirectory);
  }
  MemorySource source(good.data(), good.size());
  Recorder recorder;
  EXPECT_EQ(ExtractToBlock(source, "Third.TXT", 1, recorder).block, "3");
}

// What may follow the end record: a comment, zero padding to a 512-byte block, garbage.
TEST(UnzipDirectory, EndRecordFoundBehindCommentPaddingAndGarbage) {
  TestArchive archive;
  archive.entries = {test::MakeEntry("page.html", "<p>hello</p>", 8)};
  struct Case {
    const char* title;
    std::string comment;
    std::string tail;
  } cases[] = {
      {"nothing", "", ""},
      {"65,535-byte comment", std::string(65535, 'c'), ""},
      {"zero padding", "", std::string(512 - 1, '\0')},
      {"garbage", "short", "trailing garbage that is not zero"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    archive.comment = c.comment;
    std::string bytes = archive.Build() + c.tail;
    MemorySource source(bytes.data(), bytes.size());
    Recorder recorder;
    BlockRun run = ExtractToBlock(source, "page.html", 12, recorder);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.block, "<p>hello</p>");
  }
}

TEST(UnzipCallback, StopOnAnyEventEndsTheRunWithoutCounting) {
  FileSource source;
  ASSERT_TRUE(source.Open(FixtureDir() + "/deflated.zip"));
  for (int32_t action : {kActionTotalFiles, kActionTotalSize, kActionNewFile, kActionProgress}) {
    SCOPED_TRACE(action);
    Recorder recorder;
    recorder.stopOnAction = action;
    BlockRun run = ExtractToBlock(source, "big.dat", 4 << 20, recorder);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(recorder.events.back().action, action);
  }
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TEST(UnzipFiles, ExtractsBelowTheBaseFolderOnly) {
  char tmpl[] = "/tmp/vunzip_files_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string base = tmpl;
  TestArchive archive;
  archive.entries = {test::MakeEntry("top.txt", "top", 8),        test::MakeEntry("a/b/inner.txt", "inner", 0),
                     test::MakeEntry("../evil.txt", "evil", 0),   test::MakeEntry("/abs.txt", "abs", 0),
                     test::MakeEntry("C:\\drive.txt", "drv", 0), test::MakeEntry("a/../../up.txt", "up", 0),
                     test::MakeEntry("folder/", "", 0)};
  std::string bytes = archive.Build();
  TestConverter converter;
  struct Case {
    bool keepFolders;
    bool overwrite;
    int32_t result;
    std::vector<std::string> files;  // expected below base
  } cases[] = {
      {true, false, 2, {"top.txt", "a/b/inner.txt"}},
      {true, false, 0, {}},   // second run: both exist, no overwrite
      {true, true, 2, {}},    // overwrite
      // Without folders only the last part of each name is used, which is always safe.
      {false, true, 6, {"inner.txt", "evil.txt", "abs.txt", "drive.txt", "up.txt"}},
  };
  for (const Case& c : cases) {
    MemorySource source(bytes.data(), bytes.size());
    UnzipRequest request;
    request.baseFolder = base;
    request.keepFolderNames = c.keepFolders;
    request.overwrite = c.overwrite;
    Recorder recorder;
    EXPECT_EQ(RunUnzip(source, request, converter, recorder.Fn()), c.result);
    for (const std::string& f : c.files) EXPECT_TRUE(IsFile(base + "/" + f)) << f;
    std::vector<int32_t> codes = recorder.MessageCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), int32_t(kErrorUnsafeName)),
              c.keepFolders ? 4 : 0);
  }
  std::string text;
  ASSERT_TRUE(test::ReadWholeFile(base + "/a/b/inner.txt", text));
  EXPECT_EQ(text, "inner");
  EXPECT_FALSE(IsFile(base + "/../evil.txt"));
  EXPECT_FALSE(IsFile(base + "/../up.txt"));
  std::string cleanup = "rm -rf '" + base + "'";
  EXPECT_EQ(std::system(cleanup.c_str()), 0);
}

// Traditional encryption as a zip tool writes it, for an entry that a wrong password can
// open past the one-byte header check.
std::string Encrypt(const std::string& password, const std::string& plain) {
  const z_crc_t* table = get_crc_table();
  uint32_t k0 = 0x12345678, k1 = 0x23456789, k2 = 0x34567890;
  auto update = [&](uint8_t p) {
    k0 = table[(k0 ^ p) & 0xFF] ^ (k0 >> 8);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = table[(k2 ^ (k1 >> 24)) & 0xFF] ^ (k2 >> 8);
  };
  for (char c : password) update(static_cast<uint8_t>(c));
  std::string out;
  for (char c : plain) {
    uint32_t t = (k2 | 2) & 0xFFFF;
    out.push_back(static_cast<char>(static_cast<uint8_t>(c) ^ static_cast<uint8_t>((t * (t ^ 1)) >> 8)));
    update(static_cast<uint8_t>(c));
  }
  return out;
}

TEST(UnzipFiles, FailedEntryLeavesTheEarlierFileAsItWas) {
  char tmpl[] = "/tmp/vunzip_keep_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  std::string base = tmpl;
  std::string good = "new content " + std::string(3000, 'n');
  std::string compressed = test::RawDeflate(good);
  // A wrong password whose header check byte happens to match.
  std::string header = std::string("0123456789A") + static_cast<char>(test::Crc32(good) >> 24);
  std::string encrypted = Encrypt("secret", header + compressed);
  std::string wrong;
  for (int i = 0; wrong.empty(); ++i) {
    std::string candidate = "wrong" + std::to_string(i);
    TraditionalDecryptor d(candidate);
    if (d.AcceptHeader(reinterpret_cast<const uint8_t*>(encrypted.data()), uint8_t(test::Crc32(good) >> 24)))
      wrong = candidate;
  }
  struct Case {
    const char* title;
    std::function<void(TestEntry&)> damage;
    std::string password;  // answered once when asked
    int32_t crcAnswer;
    bool replaced;         // the target holds `good` afterwards
    size_t crcEvents;
  } cases[] = {
      {"good entry", [](TestEntry&) {}, "", -1, true, 0},
      {"CRC error, caller without a handler (2)", [](TestEntry& e) { e.crc = test::Crc32(e.data) ^ 1; }, "", 2, false, 1},
      {"CRC error, field left as sent", [](TestEntry& e) { e.crc = test::Crc32(e.data) ^ 1; }, "", -1, false, 1},
      {"CRC error, caller says no (0)", [](TestEntry& e) { e.crc = test::Crc32(e.data) ^ 1; }, "", 0, false, 1},
      {"CRC error, caller keeps it (1)", [](TestEntry& e) { e.crc = test::Crc32(e.data) ^ 1; }, "", 1, true, 1},
      {"corrupt deflate data",
       [&](TestEntry& e) {
         e.payload = compressed;
         e.payload[compressed.size() / 2] ^= 0x55;
         e.usePayload = true;
       },
       "", -1, false, 0},
      {"data cut short",
       [&](TestEntry& e) {
         e.payload = compressed.substr(0, compressed.size() / 2);
         e.usePayload = true;
       },
       "", -1, false, 0},
      {"wrong password past the header check",
       [&](TestEntry& e) {
         e.flags = 1;
         e.payload = encrypted;
         e.usePayload = true;
       },
       wrong, -1, false, 0},
      {"right password", [&](TestEntry& e) {
         e.flags = 1;
         e.payload = encrypted;
         e.usePayload = true;
       },
       "secret", -1, true, 0},
  };
  TestConverter converter;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::system(("rm -rf '" + base + "/out' && mkdir -p '" + base + "/out/docs'").c_str());
    std::string target = base + "/out/docs/page.txt";
    std::FILE* f = std::fopen(target.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("the earlier file", f);
    std::fclose(f);
    TestArchive archive;
    TestEntry e = test::MakeEntry("docs/page.txt", good, 8);
    c.damage(e);
    archive.entries = {e};
    std::string bytes = archive.Build();
    MemorySource source(bytes.data(), bytes.size());
    UnzipRequest request;
    request.baseFolder = base + "/out";
    request.keepFolderNames = true;
    request.overwrite = true;
    request.passwordRequestCount = 1;
    Recorder recorder;
    recorder.crcAnswer = c.crcAnswer;
    if (!c.password.empty()) recorder.answers = {{true, c.password, -1}};
    EXPECT_EQ(RunUnzip(source, request, converter, recorder.Fn()), c.replaced ? 1 : 0);
    std::string text;
    ASSERT_TRUE(test::ReadWholeFile(target, text));
    EXPECT_EQ(text, c.replaced ? good : std::string("the earlier file"));
    EXPECT_EQ(recorder.Of(kActionCrcError).size(), c.crcEvents);
    // Nothing is left beside it: the temporary file went into place or away.
    std::string listing = base + "/listing.txt";
    std::system(("ls -A '" + base + "/out/docs' > '" + listing + "'").c_str());
    ASSERT_TRUE(test::ReadWholeFile(listing, text));
    EXPECT_EQ(text, "page.txt\n");
  }
  std::system(("rm -rf '" + base + "'").c_str());
}

TEST(UnzipNames, SafeRelativeNames) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {{"a.txt", true},     {"a\\b\\c.txt", true}, {"..a\\b..", true}, {"..", false},
               {"a\\..\\b", false}, {"\\abs", false},      {"/abs", false},    {"C:x", false},
               {"a/../b", false},   {"", false},           {"file.txt:stream", false},
               {"...\\x", false},   {".. \\x", false},     {". .", false},
               {".\\x", false},     {"a.b\\c", true}};
  for (const Case& c : cases) EXPECT_EQ(IsSafeRelativeName(c.name), c.safe) << c.name;
}

}  // namespace
}  // namespace vellumo::unzip
