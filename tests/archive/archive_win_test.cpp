// TArchive for real under Wine: the string table linked into the program, message boxes and
// the password prompt (closed by a watcher thread that records them), the unzip library's
// binding checked with fake libraries, and extraction through the real VUnzip.dll compared
// byte for byte with what unzip -p gives.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "tests/archive/box_watcher.h"
#include "tests/archive/expected_messages.h"
#include "tests/archive/zip_builder.h"
#include "unzip/unzip_interface.h"
#include "viewer/archive/win/archive.h"
#include "viewer/archive/win/password_dialog.h"
#include "viewer/archive/win/win_platform.h"

namespace vellumo::test {
namespace {

std::string Text(int id) {
  for (const ExpectedMessage& m : kExpectedMessages)
    if (m.id == id) return m.text;
  return "<no text>";
}

// A Unix path from the environment as Wine reaches it.
std::string WinePath(const std::string& unix_path) {
  std::string p = "Z:" + unix_path;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}
std::string BinaryDir() {
  const char* b = std::getenv("VELLUMO_BINARY_DIR");
  return WinePath(b ? b : "/tmp");
}
std::string Fixtures() { return BinaryDir() + "\\tests\\archive\\fixtures"; }
std::string Dlls(const char* kind) { return BinaryDir() + "\\tests\\archive\\dll\\" + kind; }

std::string ReadAll(const std::string& path) {
  std::string data;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "<missing " + path + ">";
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
  std::fclose(f);
  return data;
}
void WriteAll(const std::string& path, const std::string& data) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(f) << path;
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);
}
std::string TempDir(const std::string& name) {
  std::string dir = BinaryDir() + "\\tests\\archive\\wintmp";
  ::CreateDirectoryA(dir.c_str(), nullptr);
  dir += "\\" + name;
  ::CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

std::string StreamText(TEntryStream* s) {
  if (!s) return "<no stream>";
  return std::string(static_cast<const char*>(s->Memory()), static_cast<size_t>(s->Size()));
}

// Each test starts and ends without a library loaded.
class ArchiveWin : public ::testing::Test {
 protected:
  void SetUp() override { SetApplicationTitle("Vellumo"); }
  void TearDown() override { archive.UnloadUnzipLibrary(); }
  TArchive archive;
};

TEST_F(ArchiveWin, StringTableHoldsEveryText) {
  for (const ExpectedMessage& m : kExpectedMessages) {
    std::string text;
    ASSERT_TRUE(LoadMessageText(m.id, &text)) << m.id;
    EXPECT_EQ(text, m.text) << m.id;
  }
  std::string none;
  EXPECT_FALSE(LoadMessageText(12345, &none));
}

TEST_F(ArchiveWin, ReaderBoxesAreCaptionedWithTheTitle) {
  BoxWatcher watcher;
  archive.SetZipFileName(Fixtures() + "\\notzip.zip");
  EXPECT_EQ(archive.ZipFileName(), "");
  EXPECT_EQ(archive.EntryCount(), 0);
  SetApplicationTitle("Other title");
  archive.SetZipFileName(Fixtures() + "\\sfx_unadjusted.exe");
  EXPECT_EQ(archive.EntryCount(), 6);
  EXPECT_EQ(archive.ArchiveStart(), 4096u);
  archive.SetZipFileName(Fixtures() + "\\absent.zip");  // quiet
  EXPECT_EQ(archive.ZipFileName(), Fixtures() + "\\absent.zip");
  archive.SetZipFileName("1:\\x.zip");
  archive.SetZipFileName(Fixtures() + "\\garbage.zip");
  EXPECT_EQ(archive.EntryCount(), 6);
  std::vector<SeenBox> expected = {{"Vellumo", Text(11036)},
                                   {"Other title", Text(10203)},
                                   {"Other title", Text(10204)}};
  EXPECT_EQ(watcher.Boxes(), expected);
}

TEST_F(ArchiveWin, NamesAreConvertedToTheAnsiCodePage) {
  std::string dir = TempDir("codepage");
  TestEntry dos{"m\x81nchen/\x94l.txt", "x"};  // CP437 bytes from a DOS host
  TestEntry utf8{"caf\xC3\xA9.txt", "y"};
  utf8.host = 3;
  utf8.flags = 0x800;
  TestEntry unix_name{"raw\xE9.txt", "z"};
  unix_name.host = 3;
  WriteAll(dir + "\\c.zip", BuildZip({dos, utf8, unix_name}).bytes);
  BoxWatcher watcher;
  archive.SetZipFileName(dir + "\\c.zip");
  ASSERT_EQ(archive.EntryCount(), 3);
  EXPECT_EQ(archive.EntryList()[0].FileName, "m\xFCnchen\\\xF6l.txt");
  EXPECT_EQ(archive.EntryList()[1].FileName, "caf\xE9.txt");
  EXPECT_EQ(archive.EntryList()[2].FileName, "raw\xE9.txt");
  EXPECT_TRUE(watcher.Boxes().empty());
}

// --- the password prompt ---

struct DialogFacts {
  RECT window{};
  std::map<int, RECT> children;  // client coordinates
  std::map<int, std::string> texts;
  LRESULT limit = 0, mask = 0;
  LONG style = 0;
};

BoxWatcher::Handler Inspect(DialogFacts* facts, std::function<void(HWND)> then) {
  return [facts, then](HWND dialog) {
    ::GetWindowRect(dialog, &facts->window);
    facts->style = ::GetWindowLongA(dialog, GWL_STYLE);
    for (int id : {101, 102, IDOK, IDCANCEL}) {
      HWND child = ::GetDlgItem(dialog, id);
      RECT r{};
      ::GetWindowRect(child, &r);
      ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
      facts->children[id] = r;
      facts->texts[id] = BoxWatcher::WindowText(child);
    }
    HWND edit = ::GetDlgItem(dialog, 102);
    facts->limit = ::SendMessageA(edit, EM_GETLIMITTEXT, 0, 0);
    facts->mask = ::SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0);
    then(dialog);
  };
}

// Types text into the prompt key by key, as the user would.
BoxWatcher::Handler Type(const std::string& text, int button) {
  return [text, button](HWND dialog) {
    HWND edit = ::GetDlgItem(dialog, 102);
    for (char c : text) ::SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
    if (button == WM_CLOSE) ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    else BoxWatcher::Press(dialog, button);
  };
}

TEST_F(ArchiveWin, PasswordDialogLayoutAndAnswers) {
  using namespace password_layout;
  BoxWatcher watcher;
  DialogFacts facts;
  watcher.Then(Inspect(&facts, Type(std::string(100, 'k'), IDOK)));
  EXPECT_EQ(archive.GetPassword(), std::string(80, 'k'));  // no more than 80 can be typed
  EXPECT_EQ(facts.window.right - facts.window.left, kWidth);
  EXPECT_EQ(facts.window.bottom - facts.window.top, kHeight);
  EXPECT_EQ(facts.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
  int screen_w = ::GetSystemMetrics(SM_CXSCREEN), screen_h = ::GetSystemMetrics(SM_CYSCREEN);
  EXPECT_EQ(facts.window.left, (screen_w - kWidth) / 2);
  EXPECT_EQ(facts.window.top, (screen_h - kHeight) / 2);
  struct Box {
    int id, left, top, width, height;
  } boxes[] = {{101, kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight},
               {102, kEditLeft, kEditTop, kEditWidth, kEditHeight},
               {IDOK, kOkLeft, kButtonTop, kButtonWidth, kButtonHeight},
               {IDCANCEL, kCancelLeft, kButtonTop, kButtonWidth, kButtonHeight}};
  for (const Box& b : boxes) {
    const RECT& r = facts.children[b.id];
    EXPECT_EQ(r.left, b.left) << b.id;
    EXPECT_EQ(r.top, b.top) << b.id;
    EXPECT_EQ(r.right - r.left, b.width) << b.id;
    EXPECT_EQ(r.bottom - r.top, b.height) << b.id;
  }
  EXPECT_EQ(facts.texts[101], "Enter Password ");
  EXPECT_EQ(facts.texts[IDOK], "&Ok");
  EXPECT_EQ(facts.texts[IDCANCEL], "&Cancel");
  EXPECT_EQ(facts.limit, 80);
  EXPECT_EQ(facts.mask, '*');
  ASSERT_EQ(watcher.Boxes().size(), 1u);
  EXPECT_EQ(watcher.Boxes()[0].title, "Password");

  struct Row {
    const char* name;
    std::string typed;
    int button;
    std::string result;
  } rows[] = {
      {"ok", "secret", IDOK, "secret"},
      {"ok with nothing typed", "", IDOK, ""},
      {"cancel", "secret", IDCANCEL, ""},
      {"close box", "secret", WM_CLOSE, ""},
  };
  for (const Row& row : rows) {
    watcher.Then(Type(row.typed, row.button));
    EXPECT_EQ(archive.GetPassword(), row.result) << row.name;
  }
}

TEST_F(ArchiveWin, TwoPromptRequest) {
  struct Row {
    const char* name;
    std::vector<std::pair<std::string, int>> prompts;
    std::string result;
    std::vector<std::string> texts;  // every box and prompt, in order
  } rows[] = {
      {"match", {{"abc", IDOK}, {"abc", IDOK}}, "abc", {"Enter Password ", "Confirm Password "}},
      {"mismatch in case", {{"abc", IDOK}, {"ABC", IDOK}}, "",
       {"Enter Password ", "Confirm Password ", "Error - passwords do NOT match\nPassword ignored"}},
      {"second cancelled", {{"abc", IDOK}, {"abc", IDCANCEL}}, "", {"Enter Password ", "Confirm Password "}},
      {"first cancelled", {{"abc", IDCANCEL}}, "", {"Enter Password "}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BoxWatcher watcher;
    for (const auto& p : row.prompts) watcher.Then(Type(p.first, p.second));
    EXPECT_EQ(archive.GetConfirmedPassword(), row.result);
    EXPECT_EQ(watcher.Texts(), row.texts);
  }
}

// --- the library binding, with fake libraries ---

TEST_F(ArchiveWin, LibraryBinding) {
  struct Row {
    const char* kind;
    bool trace;
    bool loaded;
    std::vector<std::string> texts;
  } rows[] = {
      {"none", false, false, {"VUNZIP.DLL not found!"}},
      {"noversion", false, false, {"GetUnzipVersion function not found in VUNZIP.DLL!"}},
      {"noexec", false, false, {"UnzipExec function not found in VUNZIP.DLL!"}},
      {"recorder", true, true, {"VUNZIP Loaded!"}},
      {"recorder", false, true, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    BoxWatcher watcher;
    archive.Trace = row.trace;
    archive.SetDLLDirectory(Dlls(row.kind) + "\\");
    EXPECT_EQ(archive.DLLDirectory(), Dlls(row.kind));
    EXPECT_EQ(archive.LoadUnzipLibrary(), row.loaded);
    EXPECT_EQ(TArchive::UnzipLibraryLoaded(), row.loaded);
    EXPECT_EQ(watcher.Texts(), row.texts);
    archive.UnloadUnzipLibrary();
    EXPECT_FALSE(TArchive::UnzipLibraryLoaded());
  }
  archive.Trace = false;
  // Without a library, each extraction tries again and reports again; no stream.
  BoxWatcher watcher;
  archive.SetDLLDirectory(Dlls("none"));
  archive.SetZipFileName(Fixtures() + "\\plain.zip");
  EXPECT_EQ(archive.ExtractEntryToStream("readme.txt"), nullptr);
  EXPECT_EQ(archive.ExtractEntryToStream("readme.txt"), nullptr);
  // An old library cannot write into memory.
  archive.SetDLLDirectory(Dlls("old"));
  EXPECT_EQ(archive.UnzipVersion(), 150);
  EXPECT_EQ(archive.ExtractEntryToStream("readme.txt"), nullptr);
  EXPECT_FALSE(TArchive::UnzipLibraryLoaded());  // loaded by the call, freed by it
  EXPECT_EQ(watcher.Texts(), (std::vector<std::string>{Text(10704), Text(10704), Text(10503)}));
  EXPECT_FALSE(archive.Busy());
}

// A VUNZIP.DLL that merely lies in the current folder (beside a downloaded archive) is never
// the one loaded: only the set folder and the program's own folder count. This test program
// has no VUNZIP.DLL beside it.
TEST_F(ArchiveWin, LibraryInTheCurrentFolderIsNotLoaded) {
  char temp[MAX_PATH];
  ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
  std::string planted = std::string(temp) + "vellumo-planted";
  ::CreateDirectoryA(planted.c_str(), nullptr);
  ASSERT_TRUE(::CopyFileA((Dlls("recorder") + "\\VUNZIP.DLL").c_str(),
                          (planted + "\\VUNZIP.DLL").c_str(), FALSE));
  char previous[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(::SetCurrentDirectoryA(planted.c_str()));

  for (std::string folder : {std::string(), Dlls("none")}) {
    SCOPED_TRACE("folder: " + folder);
    BoxWatcher watcher;
    archive.SetDLLDirectory(folder);
    EXPECT_FALSE(archive.LoadUnzipLibrary());
    EXPECT_EQ(::GetModuleHandleA("VUNZIP.DLL"), nullptr);
    EXPECT_EQ(watcher.Texts(), (std::vector<std::string>{"VUNZIP.DLL not found!"}));
  }
  // The same file is loaded when it is the set folder's.
  archive.SetDLLDirectory(planted);
  EXPECT_TRUE(archive.LoadUnzipLibrary());
  archive.UnloadUnzipLibrary();

  ::SetCurrentDirectoryA(previous);
  ::DeleteFileA((planted + "\\VUNZIP.DLL").c_str());
  ::RemoveDirectoryA(planted.c_str());
}

struct LastCall {
  uint8_t params[unzip::kUnzipParamsSize];
  char password[256], path[MAX_PATH], spec[512], answer[512];
  int32_t numbers[5];  // calls, answer flag, answer count, password callback result, progress result
  int32_t Field(size_t offset) const { return static_cast<int32_t>(unzip::RecordGet(params, offset)); }
};
using FakeLastCallFn = void(__stdcall*)(uint8_t*, char*, char*, char*, char*, int32_t*);
using FakeResetFn = void(__stdcall*)();

LastCall GetLastCall() {
  LastCall call{};
  HMODULE module = ::GetModuleHandleA("VUNZIP.DLL");
  auto fn = reinterpret_cast<FakeLastCallFn>(reinterpret_cast<void*>(::GetProcAddress(module, "FakeLastCall")));
  if (fn) fn(call.params, call.password, call.path, call.spec, call.answer, call.numbers);
  return call;
}
void ResetFake() {
  auto fn = reinterpret_cast<FakeResetFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("VUNZIP.DLL"), "FakeReset")));
  if (fn) fn();
}

TEST_F(ArchiveWin, ParameterRecordAndCallbackSeenByTheLibrary) {
  BoxWatcher watcher;
  archive.SetDLLDirectory(Dlls("recorder"));
  ASSERT_TRUE(archive.LoadUnzipLibrary());
  HWND owner = ::CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  archive.SetOwnerWindow(owner);
  archive.SetPasswordReqCount(3);
  archive.SetPassword("pw");
  archive.SetZipFileName(Fixtures() + "\\plain.zip");
  ASSERT_EQ(archive.EntryCount(), 6);
  watcher.Then(Type("typed", IDOK));
  ResetFake();
  TEntryStream* stream = archive.ExtractEntryToStream("DOCS\\INDEX.HTML");  // any case
  ASSERT_NE(stream, nullptr);
  const DirEntry& entry = archive.EntryList()[1];
  ASSERT_EQ(entry.FileName, "docs\\index.html");
  EXPECT_EQ(stream->Size(), entry.UncompressedSize);
  EXPECT_EQ(stream->Position(), 0u);
  EXPECT_EQ(StreamText(stream).substr(0, 5), "ABCDE");
  LastCall call = GetLastCall();
  using namespace unzip;
  EXPECT_EQ(call.numbers[0], 1);
  EXPECT_EQ(call.Field(kParamWindowHandle), static_cast<int32_t>(reinterpret_cast<uintptr_t>(owner)));
  EXPECT_NE(call.Field(kParamCaller), 0);
  EXPECT_EQ(call.Field(kParamVersion), 160);
  EXPECT_NE(call.Field(kParamCallback), 0);
  EXPECT_EQ(std::string(call.password), "pw");
  EXPECT_EQ(std::string(call.path), Fixtures() + "\\plain.zip");
  EXPECT_EQ(std::string(call.spec), "DOCS\\INDEX.HTML");
  EXPECT_EQ(call.Field(kParamSpecCount), 1);
  EXPECT_EQ(call.Field(kParamUseOutputStream), -1);
  EXPECT_EQ(call.Field(kParamOutputBlock), static_cast<int32_t>(reinterpret_cast<uintptr_t>(stream->Memory())));
  EXPECT_EQ(call.Field(kParamOutputSize), static_cast<int32_t>(entry.UncompressedSize));
  EXPECT_EQ(call.Field(kParamPasswordRequestCount), 3);
  EXPECT_EQ(call.Field(kParamEndMark), 7);
  EXPECT_EQ(call.Field(kParamUnused40), -1);
  for (size_t offset : {kParamTrace, kParamUnused20, kParamTestOnly, kParamUnused32, kParamUnused36,
                        kParamVerbose, kParamUpdate, kParamFreshen, kParamKeepFolderNames,
                        kParamOverwrite, kParamUnused76})
    EXPECT_EQ(call.Field(offset), 0) << offset;
  for (size_t offset = 92; offset < 144; offset += 4)
    if (offset != kParamPasswordRequestCount) {
      EXPECT_EQ(call.Field(offset), 0) << offset;
    }
  // The password callback: the prompt's answer, flag 1, the count sent back; then go on.
  EXPECT_EQ(std::string(call.answer), "typed");
  EXPECT_EQ(call.numbers[1], 1);
  EXPECT_EQ(call.numbers[2], 3);
  EXPECT_EQ(call.numbers[3], 0);
  EXPECT_EQ(watcher.Texts(), std::vector<std::string>{"Enter Password "});
  EXPECT_EQ(archive.Password(), "pw");
  EXPECT_FALSE(archive.Busy());
  ::DestroyWindow(owner);

  // Options reach their fields; unattended: no window, no prompt, count 0 for the call.
  archive.ExtrOptions = ExtrTest | ExtrFreshen | ExtrUpdate | ExtrDirNames | ExtrOverWrite;
  archive.Verbose = true;
  archive.Unattended = true;
  archive.SetPassword("");
  ResetFake();
  archive.ExtractEntryToStream("readme.txt");
  call = GetLastCall();
  EXPECT_EQ(call.Field(kParamWindowHandle), 0);
  EXPECT_EQ(call.Field(kParamPasswordRequestCount), 0);
  EXPECT_EQ(archive.PasswordReqCount(), 3);  // restored after the call
  for (size_t offset : {kParamTestOnly, kParamVerbose, kParamUpdate, kParamKeepFolderNames, kParamOverwrite})
    EXPECT_EQ(call.Field(offset), -1) << offset;
  EXPECT_EQ(call.Field(kParamFreshen), 0);  // freshen gives way to update
  EXPECT_EQ(call.numbers[1], 0);
  EXPECT_EQ(call.numbers[2], 0);
  EXPECT_EQ(archive.ErrorCode(), 10151);
  EXPECT_EQ(watcher.Texts().size(), 1u);  // nothing more was shown
}

TEST_F(ArchiveWin, ExtractionWithoutAStream) {
  std::string dir = TempDir("nostream");
  TestEntry huge{"huge.bin", ""};
  huge.uncompressed_size_field = 0x7FF00000u;  // more than a 32-bit process can allocate
  TestEntry zip64{"zip64.bin", ""};
  zip64.uncompressed_size_field = 0xFFFFFFFFu;
  std::string extra;
  PutU16(extra, 1);
  PutU16(extra, 8);
  PutU32(extra, 0);
  PutU32(extra, 1);  // 4 GiB
  zip64.extra = extra;
  // Compressed data that deflate could expand to the claimed 2 GiB (and the archive holds),
  // yet no block that large exists in a 32-bit process.
  TestEntry possible{"possible.bin", std::string(0x7FF00000u / 1032 + 4096, 'd')};
  possible.uncompressed_size_field = 0x7FF00000u;
  std::string bytes = BuildZip({{"a.txt", "alpha"}, huge, zip64, possible}).bytes;
  // Marked deflated (method 8) in both of its headers.
  for (const char* signature : {"PK\x03\x04", "PK\x01\x02"}) {
    for (size_t at = bytes.find(signature); at != std::string::npos; at = bytes.find(signature, at + 4)) {
      const bool local = signature[2] == '\x03';
      const size_t name_at = at + (local ? 30 : 46);
      if (bytes.compare(name_at, 12, "possible.bin") == 0) bytes[at + (local ? 8 : 10)] = 8;
    }
  }
  WriteAll(dir + "\\n.zip", bytes);
  BoxWatcher watcher;
  archive.SetDLLDirectory(Dlls("recorder"));
  ASSERT_TRUE(archive.LoadUnzipLibrary());
  archive.SetZipFileName(dir + "\\n.zip");
  ASSERT_EQ(archive.EntryCount(), 4);
  ResetFake();
  struct Row {
    const char* name;
    std::string entry;
    std::vector<std::string> texts;
  } rows[] = {
      {"name not in the list", "b.txt", {}},
      // Sizes the entry's data cannot give: refused as damaged before any allocation.
      {"size claim without data", "huge.bin", {Text(11048) + "huge.bin"}},
      {"Zip64 size claim without data", "zip64.bin", {Text(11048) + "zip64.bin"}},
      {"entry too big for memory", "possible.bin", {Text(10103)}},
      {"empty name, nothing to match", "", {Text(10501)}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    size_t before = watcher.Texts().size();
    EXPECT_EQ(archive.ExtractEntryToStream(row.entry), nullptr);
    std::vector<std::string> texts = watcher.Texts();
    EXPECT_EQ(std::vector<std::string>(texts.begin() + before, texts.end()), row.texts);
    EXPECT_EQ(archive.Stream().Size(), 0u);
  }
  EXPECT_EQ(GetLastCall().numbers[0], 0);  // the library was never called
  // A failing library call clears the stream.
  archive.SetPassword("fail");
  EXPECT_EQ(archive.ExtractEntryToStream("a.txt"), nullptr);
  EXPECT_EQ(archive.Stream().Size(), 0u);
  EXPECT_EQ(GetLastCall().numbers[0], 1);
  // The archive vanished after listing.
  std::string copy = dir + "\\gone.zip";
  ::CopyFileA((dir + "\\n.zip").c_str(), copy.c_str(), FALSE);
  archive.SetZipFileName(copy);
  ::DeleteFileA(copy.c_str());
  size_t before = watcher.Texts().size();
  EXPECT_EQ(archive.ExtractEntryToStream("a.txt"), nullptr);
  EXPECT_EQ(watcher.Texts().size(), before + 1);
  EXPECT_EQ(watcher.Texts().back(), Text(10102));
}

TEST_F(ArchiveWin, SecondRequestWhileBusyIsIgnored) {
  BoxWatcher watcher;
  archive.SetDLLDirectory(Dlls("recorder"));
  ASSERT_TRUE(archive.LoadUnzipLibrary());
  archive.SetZipFileName(Fixtures() + "\\plain.zip");
  archive.SetPassword("pw");
  watcher.Then(Type("x", IDOK));
  TEntryStream* inner = reinterpret_cast<TEntryStream*>(1);
  bool busy_inside = false;
  archive.OnProgress = [&](TProgressType type, const std::string&, int64_t) {
    if (type != ProgressUpdate) return;
    busy_inside = archive.Busy();
    inner = archive.ExtractEntryToStream("empty.txt");  // as a click during the extraction would
    archive.Cancel();
  };
  ResetFake();
  TEntryStream* stream = archive.ExtractEntryToStream("big.txt");
  EXPECT_TRUE(busy_inside);
  EXPECT_EQ(inner, nullptr);
  LastCall call = GetLastCall();
  EXPECT_EQ(call.numbers[0], 1);   // one library call only
  EXPECT_EQ(call.numbers[4], -1);  // cancel asked the library to stop
  EXPECT_EQ(std::string(call.spec), "big.txt");
  ASSERT_NE(stream, nullptr);      // this fake finishes anyway
  EXPECT_EQ(stream->Size(), 1u << 20);
  EXPECT_FALSE(archive.Busy());
  EXPECT_FALSE(archive.CancelRequested());
}

// A page's resource read quietly goes into the caller's stream: the component's stream (the
// page on show) is neither cleared nor held, the target is held while the library writes, and
// no other extraction, quiet or not, starts meanwhile.
TEST_F(ArchiveWin, QuietExtractionWritesItsOwnStreamAndRespectsBusy) {
  BoxWatcher watcher;
  archive.SetDLLDirectory(Dlls("recorder"));
  ASSERT_TRUE(archive.LoadUnzipLibrary());
  archive.SetZipFileName(Fixtures() + "\\plain.zip");
  archive.SetPassword("pw");
  const std::string page = "<p>the page on show</p>";
  archive.Stream().Write(page.data(), page.size());
  TEntryStream resource, other;
  other.Write("kept", 4);
  bool target_held = false, page_held = true, inner_quiet = true;
  TEntryStream* inner = reinterpret_cast<TEntryStream*>(1);
  archive.OnProgress = [&](TProgressType type, const std::string&, int64_t) {
    if (type != ProgressUpdate) return;
    target_held = resource.Held();
    page_held = archive.Stream().Held();
    inner_quiet = archive.ExtractEntryQuietly("empty.txt", other);
    inner = archive.ExtractEntryToStream("empty.txt");
  };
  ResetFake();
  const size_t boxes_before = watcher.Texts().size();
  EXPECT_TRUE(archive.ExtractEntryQuietly("big.txt", resource));
  EXPECT_TRUE(target_held);
  EXPECT_FALSE(page_held);
  EXPECT_FALSE(inner_quiet);
  EXPECT_EQ(inner, nullptr);
  EXPECT_EQ(GetLastCall().numbers[0], 1);  // one library call only
  EXPECT_EQ(resource.Size(), 1u << 20);
  EXPECT_FALSE(resource.Held());
  EXPECT_EQ(std::string(static_cast<const char*>(archive.Stream().Memory()),
                        static_cast<size_t>(archive.Stream().Size())), page);
  EXPECT_EQ(std::string(static_cast<const char*>(other.Memory()), 4), "kept");
  EXPECT_EQ(watcher.Texts().size(), boxes_before);  // quiet: no box
  EXPECT_FALSE(archive.Busy());
}

// --- extraction through the real library ---

struct FixtureArchive {
  std::string file, password;
  std::vector<std::pair<std::string, std::string>> entries;  // unzip -Z1 name, expected bytes file
};

std::vector<FixtureArchive> ReadManifest() {
  std::vector<FixtureArchive> result;
  std::string manifest = ReadAll(Fixtures() + "\\manifest.txt");
  size_t pos = 0;
  while (pos < manifest.size()) {
    size_t end = manifest.find('\n', pos);
    if (end == std::string::npos) end = manifest.size();
    std::string line = manifest.substr(pos, end - pos);
    pos = end + 1;
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
      size_t tab = line.find('\t', start);
      f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (f[0] == "archive") result.push_back({f[1], f.size() > 2 ? f[2] : "", {}});
    if (f[0] == "entry" && f.size() > 2) result.back().entries.emplace_back(f[1], f[2]);
  }
  return result;
}

// The name as the component lists it, in the ANSI code page of the Wine prefix.
std::string Listed(const std::string& utf8) {
  int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], n);
  char ansi[1024];
  ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi, sizeof ansi, nullptr, nullptr);
  std::string name = ansi;
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

TEST_F(ArchiveWin, EveryFixtureEntryExtractsToTheBytesUnzipGives) {
  archive.SetDLLDirectory(Dlls("real"));
  BoxWatcher watcher;
  ASSERT_TRUE(archive.LoadUnzipLibrary()) << "VUnzip.dll is not built";
  EXPECT_GE(archive.UnzipVersion(), 160);
  auto manifest = ReadManifest();
  ASSERT_GE(manifest.size(), 12u);
  int extracted = 0;
  for (const FixtureArchive& a : manifest) {
    SCOPED_TRACE(a.file);
    archive.SetPassword(a.password);
    archive.SetZipFileName(Fixtures() + "\\" + a.file);
    ASSERT_EQ(archive.EntryCount(), static_cast<int>(a.entries.size()));
    for (const auto& e : a.entries) {
      SCOPED_TRACE(e.first);
      // Names that differ only in case give the first of them in directory order.
      auto first = std::find_if(a.entries.begin(), a.entries.end(), [&](const auto& other) {
        return lstrcmpiA(Listed(other.first).c_str(), Listed(e.first).c_str()) == 0;
      });
      std::string expected = ReadAll(Fixtures() + "\\" + first->second);
      TEntryStream* stream = archive.ExtractEntryToStream(Listed(e.first));
      ASSERT_NE(stream, nullptr) << archive.LastMessage();
      EXPECT_EQ(stream->Size(), expected.size());
      EXPECT_TRUE(StreamText(stream) == expected);
      ++extracted;
    }
  }
  std::printf("extracted %d entries\n", extracted);
  // Only the listing warnings of the two damaged archives.
  EXPECT_EQ(watcher.Texts(), (std::vector<std::string>{Text(10203), Text(10204)}));
}

// A volume set is joined into a temporary "zip*.zip" for the library and removed afterwards.
TEST_F(ArchiveWin, VolumeSetJoinedIntoTemporaryFile) {
  archive.SetDLLDirectory(Dlls("real"));
  ASSERT_TRUE(archive.LoadUnzipLibrary());
  std::string last = ReadAll(Fixtures() + "\\span_last.txt");
  last.erase(last.find_last_not_of("\r\n") + 1);
  archive.SetZipFileName(Fixtures() + "\\" + last);
  ASSERT_EQ(archive.EntryCount(), 61);
  std::string temp = TempDir("join-temp");
  archive.TempDir = temp;
  BoxWatcher watcher;
  TEntryStream* stream = archive.ExtractEntryToStream("noise.bin");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 124000u);
  WIN32_FIND_DATAA found;
  HANDLE find = ::FindFirstFileA((temp + "\\*.zip").c_str(), &found);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "left behind: " << found.cFileName;
  if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
  // A temporary folder that does not exist: the join fails with its message, no stream.
  archive.TempDir = temp + "\\absent";
  EXPECT_EQ(archive.ExtractEntryToStream("noise.bin"), nullptr);
  EXPECT_EQ(watcher.Texts(), std::vector<std::string>{Text(11027)});
  EXPECT_FALSE(archive.Busy());
}

TEST_F(ArchiveWin, RealLibraryPasswords) {
  archive.SetDLLDirectory(Dlls("real"));
  ASSERT_TRUE(archive.LoadUnzipLibrary());
  archive.SetPasswordReqCount(3);
  archive.SetZipFileName(Fixtures() + "\\pass.zip");
  std::string expected = ReadAll(Fixtures() + "\\expected\\2_0.bin");
  struct Row {
    const char* name;
    std::string password;
    std::vector<std::pair<std::string, int>> prompts;
    bool stream;
    size_t prompts_seen;
  } rows[] = {
      {"right", "secret", {}, true, 0},
      {"asked for and given", "", {{"secret", IDOK}}, true, 1},
      {"wrong, then given", "wrong", {{"secret", IDOK}}, true, 1},
      {"cancelled", "", {{"", IDCANCEL}}, false, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BoxWatcher watcher;
    for (const auto& p : row.prompts) watcher.Then(Type(p.first, p.second));
    archive.SetPassword(row.password);
    TEntryStream* stream = archive.ExtractEntryToStream("readme.txt");
    EXPECT_EQ(stream != nullptr, row.stream);
    if (stream) {
      EXPECT_TRUE(StreamText(stream) == expected);
    }
    size_t prompts = 0;
    for (const SeenBox& b : watcher.Boxes()) prompts += b.title == "Password";
    EXPECT_EQ(prompts, row.prompts_seen);
  }
}

TEST_F(ArchiveWin, RealLibraryZip64Entry) {
  archive.SetDLLDirectory(Dlls("real"));
  ASSERT_TRUE(archive.LoadUnzipLibrary());
  DWORD start = ::GetTickCount();
  archive.SetZipFileName(Fixtures() + "\\many.zip");
  std::printf("listing 100,000 entries under Wine: %lu ms\n", ::GetTickCount() - start);
  ASSERT_EQ(archive.EntryCount(), 100000);
  TEntryStream* stream = archive.ExtractEntryToStream("f099999.txt");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(stream->Size(), 0u);
}

}  // namespace
}  // namespace vellumo::test
