// VUnzip.dll under Wine, loaded and called the way the viewer's archive component does:
// LoadLibrary/GetProcAddress, a parameter record built from the interface constants, and a
// stdcall callback that records every call and answers password requests from a script.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/unzip/fixture_manifest.h"
#include "tests/unzip/zip_builder.h"
#include "unzip/unzip_interface.h"
#include "unzip/win/windows_code_pages.h"

namespace vellumo::unzip {
namespace {

std::string WindowsPath(const std::string& unixPath) {
  std::string p = "Z:" + unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string BinaryDir() {
  const char* bin = std::getenv("VELLUMO_BINARY_DIR");
  return bin ? std::string(bin) : std::string();
}
std::string FixtureDir() { return WindowsPath(BinaryDir() + "/tests/unzip/fixtures"); }

struct Library {
  HMODULE module = nullptr;
  UnzipExecFn exec = nullptr;
  GetUnzipVersionFn version = nullptr;
  Library() {
    module = LoadLibraryA(WindowsPath(BinaryDir() + "/unzip/VUnzip.dll").c_str());
    if (!module) return;
    exec = reinterpret_cast<UnzipExecFn>(reinterpret_cast<void*>(GetProcAddress(module, kUnzipExecName)));
    version = reinterpret_cast<GetUnzipVersionFn>(reinterpret_cast<void*>(GetProcAddress(module, kGetUnzipVersionName)));
  }
  ~Library() {
    if (module) FreeLibrary(module);
  }
};

Library& Dll() {
  static Library library;
  return library;
}

struct Call {
  int32_t action;
  int32_t errorCode;
  int32_t size;
  std::string text;
};

struct Answer {
  bool given;
  std::string password;
};

// Handed to the library as the caller; the callback finds it again from the record.
struct Session {
  std::vector<Call> calls;
  std::vector<Answer> answers;
  size_t nextAnswer = 0;
  int32_t stopOnAction = 0;

  std::vector<const Call*> Of(int32_t action) const {
    std::vector<const Call*> out;
    for (const Call& c : calls)
      if (c.action == action) out.push_back(&c);
    return out;
  }
};

int32_t __stdcall RecordingCallback(void* record) {
  Session* s = static_cast<Session*>(RecordGetAddress(record, kCallbackCaller));
  uint8_t* r = static_cast<uint8_t*>(record);
  Call call{int32_t(RecordGet(r, kCallbackAction)), int32_t(RecordGet(r, kCallbackErrorCode)),
            int32_t(RecordGet(r, kCallbackSize)), reinterpret_cast<const char*>(r + kCallbackText)};
  s->calls.push_back(call);
  if (call.action == kActionPassword) {
    // As the viewer answers: the password and flag 1 with the count back (capped at 15),
    // or flag 0 and count 0 when the prompt was cancelled.
    bool given = s->nextAnswer < s->answers.size() && s->answers[s->nextAnswer].given;
    if (given) {
      const std::string& pw = s->answers[s->nextAnswer].password;
      std::memset(r + kCallbackText, 0, kCallbackTextSize);
      std::memcpy(r + kCallbackText, pw.data(), std::min(pw.size(), kMaxPasswordLength));
      RecordSet(r, kCallbackErrorCode, 1);
      RecordSet(r, kCallbackSize, uint32_t(std::min(call.size, kMaxPasswordRequestCount)));
    } else {
      RecordSet(r, kCallbackErrorCode, 0);
      RecordSet(r, kCallbackSize, 0);
    }
    ++s->nextAnswer;
  }
  return call.action == s->stopOnAction ? kCallbackStop : kCallbackContinue;
}

// The record as the archive component builds it for one entry into a memory block.
struct Params {
  std::vector<uint8_t> record = std::vector<uint8_t>(kUnzipParamsSize, 0);
  std::vector<uint8_t> specs;
  std::string archive, password, spec;

  Params(Session& session, const std::string& archivePath, const std::string& name,
         std::string pw, uint8_t* block, uint32_t size, int32_t requestCount = 3)
      : archive(archivePath), password(std::move(pw)), spec(name) {
    uint8_t* p = record.data();
    RecordSetAddress(p, kParamCaller, &session);
    RecordSet(p, kParamVersion, kUnzipVersion);
    RecordSetAddress(p, kParamCallback, reinterpret_cast<void*>(&RecordingCallback));
    RecordSetAddress(p, kParamPassword, password.c_str());
    RecordSet(p, kParamUnused40, uint32_t(kTrue));
    RecordSetAddress(p, kParamArchivePath, archive.c_str());
    if (!name.empty()) {
      specs.assign(kFileSpecEntrySize, 0);
      RecordSetAddress(specs.data(), kFileSpecText, spec.c_str());
      RecordSet(p, kParamSpecCount, 1);
      RecordSetAddress(p, kParamFileSpecs, specs.data());
    }
    if (block || size == 0) {
      RecordSetBool(p, kParamUseOutputStream, true);
      RecordSetAddress(p, kParamOutputBlock, block);
      RecordSet(p, kParamOutputSize, size);
    }
    RecordSet(p, kParamPasswordRequestCount, uint32_t(requestCount));
    RecordSet(p, kParamEndMark, kEndMark);
  }
  int32_t Run() { return Dll().exec(record.data()); }
};

// Calls a stdcall function of one argument and reports how far the stack pointer moved:
// 0 when the callee removed its argument.
int32_t CallMeasuringStack(void* fn, void* arg, int32_t& stackMoved) {
  int32_t result;
  uint32_t before, after;
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "pushl %[arg]\n\t"
      "call *%[fn]\n\t"
      "movl %%esp, %%edi\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result), "=S"(before), "=D"(after), [fn] "+c"(fn)
      : [arg] "b"(arg)
      : "edx", "memory", "cc");
  stackMoved = int32_t(before - after);
  return result;
}

TEST(VUnzipDll, ExportsVersionAndStdcall) {
  ASSERT_NE(Dll().module, nullptr) << WindowsPath(BinaryDir() + "/unzip/VUnzip.dll");
  ASSERT_NE(Dll().exec, nullptr);
  ASSERT_NE(Dll().version, nullptr);
  EXPECT_EQ(Dll().version(), 160);
  // Stack balance: UnzipExec removes its one argument (a record without end mark does nothing).
  std::vector<uint8_t> empty(kUnzipParamsSize, 0);
  int32_t moved = -1;
  EXPECT_EQ(CallMeasuringStack(reinterpret_cast<void*>(Dll().exec), empty.data(), moved), 0);
  EXPECT_EQ(moved, 0);
  EXPECT_EQ(Dll().exec(nullptr), 0);
}

TEST(VUnzipDll, EveryFixtureEntryMatchesUnzipOutput) {
  ASSERT_NE(Dll().exec, nullptr);
  std::vector<test::FixtureEntry> rows = test::ReadManifest(FixtureDir());
  ASSERT_GT(rows.size(), 50u) << FixtureDir();
  for (const test::FixtureEntry& row : rows) {
    SCOPED_TRACE(row.archive + " : " + row.name);
    std::string expected;
    ASSERT_TRUE(test::ReadWholeFile(FixtureDir() + "\\expected\\" + row.expectedFile, expected));
    std::vector<uint8_t> block(expected.size() + 16, 0xA5);
    Session session;
    Params params(session, FixtureDir() + "\\" + row.archive, row.name, row.password, block.data(),
                  uint32_t(expected.size()));
    int32_t moved = -1;
    EXPECT_EQ(CallMeasuringStack(reinterpret_cast<void*>(Dll().exec), params.record.data(), moved), 1);
    EXPECT_EQ(moved, 0);
    EXPECT_TRUE(std::memcmp(block.data(), expected.data(), expected.size()) == 0);
    for (size_t i = expected.size(); i < block.size(); ++i) ASSERT_EQ(block[i], 0xA5);
    EXPECT_TRUE(session.Of(kActionMessage).empty())
        << (session.Of(kActionMessage).empty() ? "" : session.Of(kActionMessage)[0]->text);
    ASSERT_EQ(session.Of(kActionNewFile).size(), 1u);
    EXPECT_EQ(session.Of(kActionNewFile)[0]->text, row.name);
    ASSERT_EQ(session.Of(kActionTotalFiles).size(), 1u);
    EXPECT_EQ(session.Of(kActionTotalFiles)[0]->size, 1);
    ASSERT_EQ(session.Of(kActionTotalSize).size(), 1u);
    EXPECT_EQ(session.Of(kActionTotalSize)[0]->size, int32_t(expected.size()));
    EXPECT_TRUE(session.Of(kActionPassword).empty());
  }
}

std::string ExpectedBytes(const std::string& archive, const std::string& name) {
  std::string bytes;
  for (const test::FixtureEntry& row : test::ReadManifest(FixtureDir()))
    if (row.archive == archive && row.name == name)
      test::ReadWholeFile(FixtureDir() + "\\expected\\" + row.expectedFile, bytes);
  return bytes;
}

TEST(VUnzipDll, PasswordsRightWrongCancelledAndCounted) {
  ASSERT_NE(Dll().exec, nullptr);
  struct Case {
    const char* title;
    const char* archive;
    std::string given;
    int32_t requestCount;
    std::vector<Answer> answers;
    int32_t result;
    std::vector<int32_t> askedCounts;
  } cases[] = {
      {"given right", "password.zip", "secret", 3, {}, 1, {}},
      {"given right, data descriptor", "streamed_password.zip", "Pass Word", 3, {}, 1, {}},
      {"given wrong, second answer right", "7z_zipcrypto.zip", "wrong", 3,
       {{true, "bad"}, {true, "secret"}}, 1, {3, 2}},
      {"missing, all answers wrong", "password.zip", "", 3,
       {{true, "a"}, {true, "b"}, {true, "c"}, {true, "secret"}}, 0, {3, 2, 1}},
      {"cancelled at once", "password.zip", "", 3, {{false, ""}}, 0, {3}},
      {"count 0: never asked", "password_stored.zip", "", 0, {{true, "secret"}}, 0, {}},
      {"count above 15 asks 15 times", "password.zip", "", 20,
       std::vector<Answer>(20, Answer{true, "x"}), 0,
       {15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::string expected = ExpectedBytes(c.archive, "page.html");
    ASSERT_FALSE(expected.empty());
    std::vector<uint8_t> block(expected.size());
    Session session;
    session.answers = c.answers;
    Params params(session, FixtureDir() + "\\" + c.archive, "page.html", c.given, block.data(),
                  uint32_t(block.size()), c.requestCount);
    EXPECT_EQ(params.Run(), c.result);
    std::vector<int32_t> asked;
    for (const Call* call : session.Of(kActionPassword)) {
      asked.push_back(call->size);
      EXPECT_EQ(call->errorCode, 0);
      EXPECT_EQ(call->text, "page.html");
    }
    EXPECT_EQ(asked, c.askedCounts);
    if (c.result == 1) {
      EXPECT_TRUE(std::memcmp(block.data(), expected.data(), expected.size()) == 0);
    } else {
      ASSERT_EQ(session.Of(kActionMessage).size(), 1u);
      EXPECT_EQ(session.Of(kActionMessage)[0]->errorCode, kErrorWrongPassword);
      EXPECT_EQ(session.Of(kActionMessage)[0]->text, "VUnzip: wrong or missing password for page.html");
    }
  }
}

std::string TempFolder() {
  char buf[MAX_PATH];
  GetTempPathA(sizeof buf, buf);
  return buf;
}

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = TempFolder() + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (f) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  return path;
}

TEST(VUnzipDll, FailuresReportedThroughMessages) {
  ASSERT_NE(Dll().exec, nullptr);
  std::string page = "<html>" + std::string(3000, 'p') + "</html>";
  test::TestEntry bomb = test::MakeEntry("bomb.html", std::string(1 << 20, '\0'), 8);
  bomb.uncompressedSize = 100;
  test::TestEntry badCrc = test::MakeEntry("crc.html", page, 8);
  badCrc.crc = 1;
  test::TestArchive archive;
  archive.entries = {bomb, badCrc, test::MakeEntry("bzip2.html", page, 12),
                     test::MakeEntry("page.html", page, 8)};
  std::string path = WriteTemp("vunzip_hostile.zip", archive.Build());
  struct Case {
    std::string archive;
    const char* name;
    uint32_t blockSize;
    int32_t code;
    std::string text;
  } cases[] = {
      {path, "bomb.html", 100, kErrorBlockTooSmall, "VUnzip: bomb.html does not fit into the output block"},
      {path, "page.html", uint32_t(page.size() - 1), kErrorBlockTooSmall,
       "VUnzip: page.html does not fit into the output block"},
      {path, "crc.html", uint32_t(page.size()), kErrorBadCrc, "VUnzip: CRC error in crc.html"},
      {path, "bzip2.html", uint32_t(page.size()), kErrorUnsupportedMethod,
       "VUnzip: bzip2.html uses a compression method that is not supported"},
      {path, "absent.html", 10, kErrorNotFound, "VUnzip: no entry matches absent.html"},
      {FixtureDir() + "\\missing.zip", "x", 10, kErrorOpenArchive,
       "VUnzip: cannot open the archive " + FixtureDir() + "\\missing.zip"},
      {FixtureDir() + "\\manifest.tsv", "x", 10, kErrorNotZip,
       "VUnzip: " + FixtureDir() + "\\manifest.tsv is not a valid Zip archive"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> block(c.blockSize + 32, 0xA5);
    Session session;
    Params params(session, c.archive, c.name, "", block.data(), c.blockSize);
    EXPECT_EQ(params.Run(), 0);
    for (size_t i = c.blockSize; i < block.size(); ++i) ASSERT_EQ(block[i], 0xA5);
    ASSERT_EQ(session.Of(kActionMessage).size(), 1u);
    EXPECT_EQ(session.Of(kActionMessage)[0]->errorCode, c.code);
    EXPECT_EQ(session.Of(kActionMessage)[0]->text, c.text);
    EXPECT_EQ(session.Of(kActionCrcError).size(), c.code == kErrorBadCrc ? 1u : 0u);
  }
  DeleteFileA(path.c_str());
}

// The library compares plain ASCII names itself when the system converter says its
// comparison is A-Z folding there. The claim, against the system's own comparison.
TEST(WindowsCodePages, PlainAsciiClaimHoldsForTheSystemComparison) {
  win::WindowsCodePages pages;
  if (!pages.AsciiIsPlain()) GTEST_SKIP() << "this sort order is not taken as plain";
  auto fold = [](const std::string& s) {
    std::string f = s;
    for (char& c : f)
      if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return f;
  };
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string printable;
  for (int a = 0x20; a <= 0x7E; ++a) {
    printable.push_back(char(a));
    for (int b = 0x20; b <= 0x7E; ++b) pairs.push_back({std::string(1, char(a)), std::string(1, char(b))});
  }
  // Pairs that sort orders are known to join, ignore or fold in their own way.
  const char* words[][2] = {
      {"co-op", "coop"}, {"it's", "its"}, {"a b", "ab"},     {"ccs", "cscs"}, {"ch", "cH"},
      {"CH", "ch"},      {"aa", "aA"},    {"ss", "sS"},      {"I", "i"},      {"dz", "Dz"},
      {"ll", "lL"},      {"a.b", "ab"},   {"a_b", "a-b"},    {"a\\b", "a/b"}, {"x~", "x"},
      {"file.TXT", "FILE.txt"}, {"dir\\file000001.txt", "DIR\\FILE000001.TXT"},
  };
  for (const auto& w : words) pairs.push_back({w[0], w[1]});
  std::string wrong;
  for (const auto& p : pairs) {
    bool system = pages.EqualIgnoringCase(p.first, p.second);
    if (system != (fold(p.first) == fold(p.second))) wrong += "[" + p.first + "|" + p.second + "] ";
  }
  EXPECT_EQ(wrong, "");
  EXPECT_EQ(pages.Utf8ToAnsi(printable), printable);
}

// Whatever the sort order, the entry the library gives is the first one the system's
// comparison calls equal to the name asked for.
TEST(VUnzipDll, BlockEntryIsTheFirstTheSystemComparisonMatches) {
  ASSERT_NE(Dll().exec, nullptr);
  const char* names[] = {"coop.txt",   "co-op.txt", "README.TXT", "readme.txt", "a b.txt",
                         "ab.txt",     "dir/Sub/x.txt", "caf\xe9.txt", "CAF\xc9.TXT", "cscs.txt",
                         "ccs.txt",    "its.txt",   "it's.txt",   "Ii.txt"};
  test::TestArchive archive;
  for (size_t i = 0; i < sizeof names / sizeof *names; ++i)
    archive.entries.push_back(test::MakeEntry(names[i], std::to_string(i), 0));
  std::string path = WriteTemp("vunzip_names.zip", archive.Build());
  win::WindowsCodePages pages;
  const char* specs[] = {"coop.txt", "co-op.txt", "readme.txt", "ReadMe.Txt", "ab.txt", "a b.txt",
                         "DIR\\sub\\X.TXT", "dir/sub/x.txt", "caf\xc9.txt", "ccs.txt", "CSCS.TXT",
                         "it's.txt", "ii.txt", "IIi.txt", "absent.txt"};
  for (const char* spec : specs) {
    SCOPED_TRACE(spec);
    std::string normalized = spec;
    for (char& c : normalized)
      if (c == '/') c = '\\';
    std::string expected;
    for (size_t i = 0; i < sizeof names / sizeof *names && expected.empty(); ++i) {
      std::string listed = names[i];
      for (char& c : listed)
        if (c == '/') c = '\\';
      if (pages.EqualIgnoringCase(listed, normalized)) expected = std::to_string(i);
    }
    std::vector<uint8_t> block(2, 0);
    Session session;
    Params params(session, path, spec, "", block.data(), uint32_t(block.size()));
    EXPECT_EQ(params.Run(), expected.empty() ? 0 : 1);
    std::string got(reinterpret_cast<char*>(block.data()), expected.size());
    EXPECT_EQ(got, expected);
  }
  DeleteFileA(path.c_str());
}

TEST(VUnzipDll, StopFromTheCallbackAndMalformedRecords) {
  ASSERT_NE(Dll().exec, nullptr);
  std::string expected = ExpectedBytes("deflated.zip", "big.dat");
  std::vector<uint8_t> block(expected.size());
  for (int32_t action : {kActionTotalFiles, kActionNewFile, kActionProgress}) {
    SCOPED_TRACE(action);
    Session session;
    session.stopOnAction = action;
    Params params(session, FixtureDir() + "\\deflated.zip", "big.dat", "", block.data(),
                  uint32_t(block.size()));
    EXPECT_EQ(params.Run(), 0);
    ASSERT_FALSE(session.calls.empty());
    EXPECT_EQ(session.calls.back().action, action) << "no callback after a stop";
  }
  {  // no end mark: the record is not read at all, not even its callback
    Session session;
    Params params(session, FixtureDir() + "\\deflated.zip", "big.dat", "", block.data(),
                  uint32_t(block.size()));
    RecordSet(params.record.data(), kParamEndMark, 0);
    EXPECT_EQ(params.Run(), 0);
    EXPECT_TRUE(session.calls.empty());
  }
  {  // an empty entry needs no block at all (an empty stream has none)
    Session session;
    Params params(session, FixtureDir() + "\\deflated.zip", "empty.txt", "", nullptr, 0);
    EXPECT_EQ(params.Run(), 1);
    EXPECT_TRUE(session.Of(kActionMessage).empty());
  }
  {  // a block requested but none given for a non-empty entry
    Session session;
    Params params(session, FixtureDir() + "\\deflated.zip", "big.dat", "", nullptr, 0);
    RecordSet(params.record.data(), kParamOutputSize, 1000);
    EXPECT_EQ(params.Run(), 0);
    ASSERT_EQ(session.Of(kActionMessage).size(), 1u);
    EXPECT_EQ(session.Of(kActionMessage)[0]->errorCode, kErrorBadParams);
  }
}

TEST(VUnzipDll, ExtractsFilesIntoTheCurrentFolderWithoutLeavingIt) {
  ASSERT_NE(Dll().exec, nullptr);
  std::string base = TempFolder() + "vunzip_files";
  CreateDirectoryA(base.c_str(), nullptr);
  CreateDirectoryA((base + "\\out").c_str(), nullptr);
  test::TestArchive archive;
  archive.entries = {test::MakeEntry("docs/inner.txt", "inner", 8),
                     test::MakeEntry("../escape.txt", "evil", 0),
                     test::MakeEntry("C:/drive.txt", "evil", 0)};
  std::string path = WriteTemp("vunzip_files.zip", archive.Build());
  char previous[MAX_PATH];
  GetCurrentDirectoryA(sizeof previous, previous);
  ASSERT_TRUE(SetCurrentDirectoryA((base + "\\out").c_str()));
  Session session;
  Params params(session, path, "", "", nullptr, 1);
  RecordSetBool(params.record.data(), kParamUseOutputStream, false);
  RecordSet(params.record.data(), kParamOutputSize, 0);
  RecordSetBool(params.record.data(), kParamKeepFolderNames, true);
  RecordSetBool(params.record.data(), kParamOverwrite, true);
  int32_t result = params.Run();
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(result, 1);
  std::string text;
  EXPECT_TRUE(test::ReadWholeFile(base + "\\out\\docs\\inner.txt", text));
  EXPECT_EQ(text, "inner");
  EXPECT_EQ(GetFileAttributesA((base + "\\escape.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  size_t unsafe = 0;
  for (const Call* c : session.Of(kActionMessage)) unsafe += c->errorCode == kErrorUnsafeName;
  EXPECT_EQ(unsafe, 2u);
  DeleteFileA((base + "\\out\\docs\\inner.txt").c_str());
  RemoveDirectoryA((base + "\\out\\docs").c_str());
  RemoveDirectoryA((base + "\\out").c_str());
  RemoveDirectoryA(base.c_str());
  DeleteFileA(path.c_str());
}

TEST(VUnzipDll, FailedEntryLeavesTheEarlierFileAndAGoodOneReplacesIt) {
  ASSERT_NE(Dll().exec, nullptr);
  std::string base = TempFolder() + "vunzip_keep";
  CreateDirectoryA(base.c_str(), nullptr);
  std::string target = base + "\\page.txt";
  std::string good = "new content " + std::string(2000, 'n');
  for (bool damaged : {true, false}) {
    SCOPED_TRACE(damaged ? "CRC error" : "good entry");
    {
      std::FILE* f = std::fopen(target.c_str(), "wb");
      ASSERT_NE(f, nullptr);
      std::fputs("the earlier file", f);
      std::fclose(f);
    }
    test::TestArchive archive;
    test::TestEntry e = test::MakeEntry("page.txt", good, 8);
    if (damaged) e.crc = test::Crc32(good) ^ 1;
    archive.entries = {e};
    std::string path = WriteTemp("vunzip_keep.zip", archive.Build());
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(base.c_str()));
    Session session;
    Params params(session, path, "", "", nullptr, 1);
    RecordSetBool(params.record.data(), kParamUseOutputStream, false);
    RecordSet(params.record.data(), kParamOutputSize, 0);
    RecordSetBool(params.record.data(), kParamOverwrite, true);
    int32_t result = params.Run();
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(result, damaged ? 0 : 1);
    EXPECT_EQ(session.Of(kActionCrcError).size(), damaged ? 1u : 0u);
    std::string text;
    EXPECT_TRUE(test::ReadWholeFile(target, text));
    EXPECT_EQ(text, damaged ? std::string("the earlier file") : good);
    // Nothing left beside it.
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((base + "\\*").c_str(), &found);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    size_t files = 0;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++files;
    } while (FindNextFileA(h, &found));
    FindClose(h);
    EXPECT_EQ(files, 1u);
    DeleteFileA(path.c_str());
  }
  DeleteFileA(target.c_str());
  RemoveDirectoryA(base.c_str());
}

}  // namespace
}  // namespace vellumo::unzip
