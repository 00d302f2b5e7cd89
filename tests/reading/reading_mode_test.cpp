// The reading mode on Hollin's real main window over a packaged fixture installer: View,
// the file list, the display settings, the menu and its accelerators as real key input,
// the dialogs (answered from a watchdog thread that records their texts), extraction.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "installer/package/block.h"
#include "installer/package/file_list.h"
#include "installer/package/message_pump.h"
#include "installer/package/package_format.h"
#include "installer/package/package_writer.h"
#include "installer/package/win/startup.h"
#include "installer/ui/reading_texts.h"
#include "installer/ui/shown_text.h"
#include "installer/ui/win/main_window.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/reading_conversion.h"
#include "installer/ui/win/reading_mode.h"
#include "installer/ui/win/texts.h"

namespace hollin {
namespace {

namespace rt = reading_texts;

std::string Encode(const std::wstring& text, UINT cp) {
  int n = WideCharToMultiByte(cp, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, text.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n) - 1);
  return out;
}

std::string ReadFileText(const std::string& path) {
  std::string text;
  if (FILE* f = fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    fclose(f);
  }
  return text;
}

void WriteFileText(const std::string& path, const std::string& text) {
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

// Rich-edit boxes turn every CR, LF and CR LF into a paragraph end and give it back as CR
// or CR LF depending on their version; compare with every paragraph end as "\n".
std::string Paragraphs(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i] == '\r' ? '\n' : text[i];
  }
  return out;
}

// Watches the test thread's windows for a dialog box (class "#32770"), records its caption
// and texts, and answers it as the test asked. Every box is closed within its deadline.
class BoxWatcher {
 public:
  struct Seen {
    std::string caption;
    std::string message;              // static text of a message box
    std::vector<std::string> buttons;  // texts of its buttons
    std::vector<std::string> statics;  // texts of its static controls
    RECT rect = {};                    // where it stood on the screen
  };
  enum class Answer { kButton, kColour };

  explicit BoxWatcher(DWORD ui_thread) : ui_thread_(ui_thread) {
    thread_ = std::thread([this] { Run(); });
  }
  ~BoxWatcher() {
    stop_ = true;
    thread_.join();
  }
  // The next box gets `button` (an IDYES/IDNO/IDOK/IDCANCEL id), after setting the colour
  // dialog's red, green and blue fields when `colour` is set.
  void Expect(int button, bool set_colour = false, COLORREF colour = 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    button_ = button;
    set_colour_ = set_colour;
    colour_ = colour;
  }
  std::vector<Seen> TakeSeen() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Seen> seen;
    seen.swap(seen_);
    return seen;
  }

 private:
  static BOOL CALLBACK FindBox(HWND wnd, LPARAM lp) {
    char cls[64] = {};
    GetClassNameA(wnd, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(wnd)) {
      *reinterpret_cast<HWND*>(lp) = wnd;
      return FALSE;
    }
    return TRUE;
  }
  static BOOL CALLBACK CollectChild(HWND wnd, LPARAM lp) {
    auto* seen = reinterpret_cast<Seen*>(lp);
    char cls[64] = {}, text[1024] = {};
    GetClassNameA(wnd, cls, sizeof cls);
    GetWindowTextA(wnd, text, sizeof text);
    if (_stricmp(cls, "Button") == 0) seen->buttons.push_back(text);
    if (_stricmp(cls, "Static") == 0) {
      if (GetDlgCtrlID(wnd) == 0xFFFF) seen->message = text;
      seen->statics.push_back(text);
    }
    return TRUE;
  }
  void Run() {
    while (!stop_) {
      HWND box = nullptr;
      EnumThreadWindows(ui_thread_, FindBox, reinterpret_cast<LPARAM>(&box));
      if (box) Answer(box);
      Sleep(20);
    }
  }
  void Answer(HWND box) {
    Sleep(100);  // let the box finish setting itself up
    Seen seen;
    char caption[256] = {};
    GetWindowTextA(box, caption, sizeof caption);
    seen.caption = caption;
    GetWindowRect(box, &seen.rect);
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&seen));
    int button;
    bool set_colour;
    COLORREF colour;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      seen_.push_back(seen);
      button = button_;
      set_colour = set_colour_;
      colour = colour_;
      button_ = IDCANCEL;  // an unexpected second box is cancelled
      set_colour_ = false;
    }
    if (set_colour) {
      // The full colour dialog's red, green and blue fields.
      SetDlgItemInt(box, 706, GetRValue(colour), FALSE);
      SetDlgItemInt(box, 707, GetGValue(colour), FALSE);
      SetDlgItemInt(box, 708, GetBValue(colour), FALSE);
      Sleep(50);
    }
    HWND control = GetDlgItem(box, button);
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
    for (int i = 0; i < 100 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(20);
    if (IsWindow(box) && IsWindowVisible(box)) PostMessageA(box, WM_CLOSE, 0, 0);
  }

  DWORD ui_thread_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  int button_ = IDCANCEL;
  bool set_colour_ = false;
  COLORREF colour_ = 0;
  std::vector<Seen> seen_;
};

std::string g_folder_answer;
std::string AnswerFolder() { return g_folder_answer; }

void SetCaptionOnDecodeError() { SetWindowTextA(Main().window, kDecodeErrorCaption); }
void KeepRunning(int) {}

struct FixtureFile {
  std::string name;
  std::string content;
  uint32_t stated_size = 0;  // when not 0: the block's uncompressed size field says this
};

std::string WriteFixtureInstaller(const std::string& path, const std::vector<FixtureFile>& list,
                                  uint64_t* offset, int level = 9) {
  std::vector<PackedFile> files;
  for (const FixtureFile& f : list) {
    PackedFile packed;
    if (!PackFile(f.name, f.content.data(), f.content.size(), level, &packed)) return "pack";
    if (f.stated_size) {
      for (int i = 0; i < 4; ++i) packed.block[i] = static_cast<uint8_t>(f.stated_size >> (8 * i));
    }
    files.push_back(std::move(packed));
  }
  PackagePlan plan;
  plan.self_check_on = false;
  plan.display_name = "Reading fixture";
  plan.maker_notice = "tests";
  std::vector<uint8_t> stub(512, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  std::unique_ptr<FileStream> out = FileStream::Open(path, FileStream::Mode::kCreate);
  if (!out) return "open " + path;
  InstallerSummary summary;
  std::string error;
  if (!WriteInstaller(*out, stub, plan, files, &summary, &error)) return error;
  *offset = summary.package_offset;
  return std::string();
}

// Rewrites the installer's file list with `edit` (same file blocks after it).
template <typename Edit>
bool RewriteFileList(const std::string& path, uint64_t offset, Edit edit) {
  StartupValues values;
  if (!OpenPackage(path, offset, &values)) return false;
  std::vector<std::string> lines = ReadFileListLines(*values.package, values.file_list_position);
  uint64_t blocks_start = values.package->Position();
  values.package.reset();
  edit(lines);
  std::string text = JoinLines(lines);
  std::vector<uint8_t> block = MakeStoredBlock(text.data(), text.size(), 9);
  std::string bytes = ReadFileText(path);
  std::string out = bytes.substr(0, static_cast<size_t>(values.file_list_position));
  uint32_t n = static_cast<uint32_t>(block.size());
  for (int i = 0; i < 4; ++i) out += static_cast<char>(n >> (8 * i));
  out.append(block.begin(), block.end());
  out += bytes.substr(static_cast<size_t>(blocks_start));
  WriteFileText(path, out);
  return true;
}

// Rewrites the installer's file list with one name replaced (same file blocks after it).
bool ReplaceInFileList(const std::string& path, uint64_t offset, const std::string& from,
                       const std::string& to) {
  StartupValues values;
  if (!OpenPackage(path, offset, &values)) return false;
  std::vector<std::string> lines = ReadFileListLines(*values.package, values.file_list_position);
  uint64_t blocks_start = values.package->Position();
  values.package.reset();
  bool replaced = false;
  for (std::string& line : lines) {
    if (line.compare(0, from.size() + 1, from + "|") == 0) {
      line = to + line.substr(from.size());
      replaced = true;
    }
  }
  if (!replaced) return false;
  std::string text = JoinLines(lines);
  std::vector<uint8_t> block = MakeStoredBlock(text.data(), text.size(), 9);
  std::string bytes = ReadFileText(path);
  std::string out = bytes.substr(0, static_cast<size_t>(values.file_list_position));
  uint32_t n = static_cast<uint32_t>(block.size());
  for (int i = 0; i < 4; ++i) out += static_cast<char>(n >> (8 * i));
  out.append(block.begin(), block.end());
  out += bytes.substr(static_cast<size_t>(blocks_start));
  WriteFileText(path, out);
  return true;
}

class ReadingModeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    dir_ = std::string(temp) + "hollin-reading-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir_.c_str(), nullptr);
    out_ = dir_ + "\\out";
    CreateDirectoryA(out_.c_str(), nullptr);

    std::string big(static_cast<size_t>(kReadingSizeLimit) + 1, '\0');
    std::mt19937 random(7);
    for (char& c : big) c = static_cast<char>(random());
    files_ = {
        {"readme.txt", "Line one\r\nLine two\r\n<b>kept</b> &amp;\n"},
        {"page.HTM", "<html>\r\n<body>Hi &amp; bye&nbsp;&copy;</body>\r\n</html>\r\n"},
        {"lf.txt", "a\nb\nc"},
        {"crlf.txt", "first\r\nsecond\r\n"},
        {"noext", "<b>x</b>"},
        {"big5.txt", Encode(L"中華民國", kBig5CodePage)},
        {"gb.txt", Encode(L"中华人民共和国", kGbCodePage)},
        {"doc\\help.html", "<p>Help</p>"},
        {"XX\\evil.txt", "evil"},  // becomes "..\\evil.txt" below
        {"big.bin", big},
    };
    installer_ = dir_ + "\\fixture.exe";
    std::string error = WriteFixtureInstaller(installer_, files_, &offset_, 0);
    ASSERT_EQ(error, "");
    // The packer refuses names that climb out of the install folder; a hostile package
    // can still hold one.
    ASSERT_TRUE(ReplaceInFileList(installer_, offset_, "XX\\evil.txt", "..\\evil.txt"));

    SetMessagePump(PumpWindowMessages);
    SetDecodeFailureHandler(SetCaptionOnDecodeError);
    SetEndProgramHandler(KeepRunning);
    SetReadingFolderChooser(AnswerFolder);
    ASSERT_TRUE(BuildMainWindow());
    ASSERT_TRUE(OpenPackage(installer_, offset_, &Startup()));
    ShowWindow(Main().window, SW_SHOW);
    watcher_ = new BoxWatcher(GetCurrentThreadId());
  }
  static void TearDownTestSuite() {
    delete watcher_;
    watcher_ = nullptr;
    Startup() = StartupValues();
    DestroyWindows();
  }

  MainWindow& m() { return Main(); }

  static void Pump(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      PumpWindowMessages();
      Sleep(5);
    }
  }

  // A real key press with a modifier, through the input queue and Hollin's message pump.
  void PressKey(WORD modifier, WORD key) {
    SetForegroundWindow(m().window);
    SetFocus(m().log_box);
    Pump(30);
    INPUT input[4] = {};
    for (INPUT& i : input) i.type = INPUT_KEYBOARD;
    input[0].ki.wVk = modifier;
    input[1].ki.wVk = key;
    input[2].ki.wVk = key;
    input[2].ki.dwFlags = KEYEVENTF_KEYUP;
    input[3].ki.wVk = modifier;
    input[3].ki.dwFlags = KEYEVENTF_KEYUP;
    if (key == VK_ADD || key == VK_SUBTRACT || (key >= VK_F1 && key <= VK_F24)) {
      input[1].ki.dwFlags |= 0;  // not extended keys
    }
    SendInput(4, input, sizeof(INPUT));
    Pump(150);
  }

  void Command(unsigned id) { SendMessageA(m().window, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

  bool Checked(unsigned id) {
    return (GetMenuState(m().reading_menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0;
  }

  void Select(const std::string& name) {
    LRESULT at = SendMessageA(m().file_list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(name.c_str()));
    ASSERT_NE(at, CB_ERR) << name;
    SendMessageA(m().file_list, CB_SETCURSEL, at, 0);
    // The notification a user's choice sends to the list's parent.
    SendMessageA(GetParent(m().file_list), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(m().file_list), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(m().file_list));
    Pump(20);
  }

  std::string Selected() {
    LRESULT at = SendMessageA(m().file_list, CB_GETCURSEL, 0, 0);
    if (at == CB_ERR) return "(none)";
    char text[MAX_PATH] = {};
    SendMessageA(m().file_list, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(text));
    return text;
  }

  std::string Log() { return Paragraphs(m().Text(m().log_box)); }
  std::string Caption() { return m().Text(m().window); }
  void ResetCaption() { m().SetText(m().window, "caption"); }

  COLORREF Background() {
    COLORREF previous = static_cast<COLORREF>(
        SendMessageA(m().log_box, EM_SETBKGNDCOLOR, 0, RGB(1, 2, 3)));
    SendMessageA(m().log_box, EM_SETBKGNDCOLOR, 0, previous);
    return previous;
  }

  // Settings for the next file shown: method by its command, convert set, language.
  void Settings(unsigned method, unsigned set, unsigned language) {
    Command(method);
    Command(set);
    Command(language);
  }

  static std::string dir_, out_, installer_;
  static uint64_t offset_;
  static std::vector<FixtureFile> files_;
  static BoxWatcher* watcher_;
};

std::string ReadingModeTest::dir_, ReadingModeTest::out_, ReadingModeTest::installer_;
uint64_t ReadingModeTest::offset_ = 0;
std::vector<FixtureFile> ReadingModeTest::files_;
BoxWatcher* ReadingModeTest::watcher_ = nullptr;

TEST_F(ReadingModeTest, MenuIsBuiltFromTheTemplate) {
  HMENU menu = m().reading_menu;
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 10);
  struct Row {
    HMENU holder;
    int position;
    const char* text;
    unsigned id;  // 0 for a submenu
    bool radio, checked, is_default;
  };
  HMENU font = GetSubMenu(menu, 1), methods = GetSubMenu(menu, 6), set = GetSubMenu(menu, 8),
        language = GetSubMenu(menu, 9);
  ASSERT_TRUE(font && methods && set && language);
  EXPECT_EQ(GetMenuItemCount(font), 5);
  EXPECT_EQ(GetMenuItemCount(methods), 3);
  const Row rows[] = {
      {menu, 0, "Return\tCtrl+R", kCmdReturn, false, false, false},
      {menu, 1, "Font Set", 0, false, false, false},
      {font, 0, "Max\tCtrl+F1", kCmdFontMax, false, false, false},
      {font, 4, "Min\tCtrl+F5", kCmdFontMin, false, false, false},
      {menu, 2, "Background Color\tCtrl+F10", kCmdBackgroundColour, false, false, false},
      {menu, 3, "Copy All\tCtrl+A", kCmdCopyAll, false, false, false},
      {menu, 4, "<--\tCtrl+-", kCmdPreviousFile, false, false, false},
      {menu, 5, "-->\tCtrl++", kCmdNextFile, false, false, false},
      {methods, 0, "None\tCtrl+F6", kCmdMethodNone, true, true, true},
      {methods, 1, "One\tCtrl+F7", kCmdMethodOne, true, false, false},
      {methods, 2, "Second\tCtrl+F8", kCmdMethodSecond, true, false, false},
      {menu, 7, "Extract Current File\tCtrl+E", kCmdExtractCurrent, false, false, false},
      {set, 0, "Auto\tAlt+A", kCmdSetAuto, true, true, false},
      {set, 1, "Default\tAlt+D", kCmdSetDefault, true, false, false},
      {language, 0, "None\tAlt+N", kCmdLanguageNone, true, true, false},
      {language, 1, "GB\tAlt+G", kCmdLanguageGb, true, false, false},
      {language, 2, "Big5\tAlt+B", kCmdLanguageBig5, true, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    char text[128] = {};
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = sizeof text;
    ASSERT_TRUE(GetMenuItemInfoA(row.holder, row.position, TRUE, &info));
    EXPECT_STREQ(text, row.text);
    if (row.id) {
      EXPECT_EQ(info.wID, row.id);
    } else {
      EXPECT_NE(info.hSubMenu, nullptr);
    }
    EXPECT_EQ((info.fType & MFT_RADIOCHECK) != 0, row.radio);
    EXPECT_EQ((info.fState & MFS_CHECKED) != 0, row.checked);
    EXPECT_EQ((info.fState & MFS_DEFAULT) != 0, row.is_default);
  }
}

TEST_F(ReadingModeTest, ViewEntersReadingModeWithTheFileList) {
  m().Show(m().view_button, true);
  m().Click(m().view_button);
  Pump(50);
  EXPECT_TRUE(IsZoomed(m().window));
  EXPECT_TRUE(m().Visible(m().nav_bar));
  EXPECT_FALSE(m().Visible(m().install_panel));
  EXPECT_FALSE(m().Visible(m().banner));
  EXPECT_FALSE(m().Visible(m().progress));
  char date[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  std::string log = Log();
  std::string head = std::string(rt::kLogHeaderPrefix) + date + " ";
  EXPECT_EQ(log.substr(0, head.size()), head);
  std::string hint = std::string(rt::kLogHint) + "\n";
  ASSERT_GE(log.size(), hint.size());
  EXPECT_EQ(log.substr(log.size() - hint.size()), hint);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);

  // Sorted by the list box itself; no entry selected, nothing shown yet.
  const char* expected[] = {"..\\evil.txt", "big.bin",  "big5.txt", "crlf.txt",  "doc\\help.html",
                            "gb.txt",       "lf.txt",   "noext",    "page.HTM", "readme.txt"};
  ASSERT_EQ(SendMessageA(m().file_list, CB_GETCOUNT, 0, 0), 10);
  for (int i = 0; i < 10; ++i) {
    char text[MAX_PATH] = {};
    SendMessageA(m().file_list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, expected[i]);
  }
  EXPECT_EQ(Selected(), "(none)");
}

TEST_F(ReadingModeTest, AutoPicksTheMethodByExtension) {
  Settings(kCmdMethodOne, kCmdSetAuto, kCmdLanguageNone);
  Select("readme.txt");
  EXPECT_TRUE(Checked(kCmdMethodNone));
  EXPECT_FALSE(Checked(kCmdMethodOne));
  EXPECT_EQ(Log(), Paragraphs("Line one\r\nLine two\r\n<b>kept</b> &amp;\r"));

  Select("page.HTM");
  EXPECT_TRUE(Checked(kCmdMethodSecond));
  EXPECT_FALSE(Checked(kCmdMethodNone));
  EXPECT_EQ(Log(), "\n\nHi & bye @\n\n");

  Select("noext");
  EXPECT_TRUE(Checked(kCmdMethodNone));
  EXPECT_EQ(Log(), "<b>x</b>");
}

TEST_F(ReadingModeTest, DefaultKeepsTheChosenMethodAndJoinsLines) {
  Settings(kCmdMethodOne, kCmdSetDefault, kCmdLanguageNone);
  Select("crlf.txt");
  EXPECT_TRUE(Checked(kCmdMethodOne));
  EXPECT_EQ(Log(), "firstsecond");
  Select("lf.txt");
  std::string lf = Log();
  EXPECT_EQ(lf.find("ab"), std::string::npos) << lf;  // the bare LFs still break the lines
  EXPECT_EQ(lf.size(), 5u);
  Select("page.HTM");
  EXPECT_TRUE(Checked(kCmdMethodOne));
  EXPECT_EQ(Log(), "\n\nHi &amp; bye&nbsp;&copy;\n\n");
}

TEST_F(ReadingModeTest, LanguageConversionAppliesOnlyWithAMethod) {
  std::string big5 = Encode(L"中華民國", kBig5CodePage);
  Settings(kCmdMethodNone, kCmdSetDefault, kCmdLanguageGb);
  Select("big5.txt");
  EXPECT_EQ(Log(), big5);  // None shows the bytes as stored
  Command(kCmdMethodOne);
  Select("big5.txt");
  EXPECT_EQ(Log(), Encode(L"中华民国", kGbCodePage));
  Command(kCmdLanguageBig5);
  std::string gb = Encode(L"中华人民共和国", kGbCodePage);
  Select("gb.txt");
  EXPECT_EQ(Log(), ConvertToBig5(gb));
  EXPECT_NE(Log(), gb);
  Settings(kCmdMethodNone, kCmdSetAuto, kCmdLanguageNone);
}

TEST_F(ReadingModeTest, BlockOverTheLimitIsNotRead) {
  Select("readme.txt");
  std::string before = Log();
  ResetCaption();
  Select("big.bin");
  EXPECT_EQ(Caption(), rt::kStreamIsBig);
  EXPECT_EQ(Log(), before);
}

TEST_F(ReadingModeTest, PreviousAndNextWrapAround) {
  SendMessageA(m().file_list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  m().Click(m().prev_button);
  EXPECT_EQ(Selected(), "readme.txt");
  m().Click(m().next_button);
  EXPECT_EQ(Selected(), "..\\evil.txt");
  m().Click(m().prev_button);
  EXPECT_EQ(Selected(), "readme.txt");
  SendMessageA(m().file_list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  m().Click(m().next_button);
  EXPECT_EQ(Selected(), "..\\evil.txt");
  Command(kCmdNextFile);
  EXPECT_EQ(Selected(), "big.bin");
  Command(kCmdPreviousFile);
  EXPECT_EQ(Selected(), "..\\evil.txt");
}

TEST_F(ReadingModeTest, AcceleratorsAreRealKeys) {
  Settings(kCmdMethodNone, kCmdSetAuto, kCmdLanguageNone);
  Select("readme.txt");
  // Ctrl+F7 chooses method One; Alt+D the convert set Default; Alt+G the GB conversion.
  PressKey(VK_CONTROL, VK_F7);
  EXPECT_TRUE(Checked(kCmdMethodOne));
  EXPECT_FALSE(Checked(kCmdMethodNone));
  PressKey(VK_MENU, 'D');
  EXPECT_TRUE(Checked(kCmdSetDefault));
  EXPECT_FALSE(Checked(kCmdSetAuto));
  PressKey(VK_MENU, 'G');
  EXPECT_TRUE(Checked(kCmdLanguageGb));
  PressKey(VK_MENU, 'N');
  EXPECT_TRUE(Checked(kCmdLanguageNone));
  PressKey(VK_MENU, 'A');
  EXPECT_TRUE(Checked(kCmdSetAuto));
  PressKey(VK_CONTROL, VK_F6);
  EXPECT_TRUE(Checked(kCmdMethodNone));

  // Ctrl++ and Ctrl+- on the numeric keypad move between files.
  PressKey(VK_CONTROL, VK_ADD);
  EXPECT_EQ(Selected(), "..\\evil.txt");
  PressKey(VK_CONTROL, VK_SUBTRACT);
  EXPECT_EQ(Selected(), "readme.txt");

  // Ctrl+F1 to Ctrl+F5: the log box's font sizes; the face stays.
  CHARFORMATA before = {};
  before.cbSize = sizeof before;
  SendMessageA(m().log_box, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&before));
  std::string face_before = before.szFaceName;
  ASSERT_FALSE(face_before.empty());
  const std::pair<WORD, LONG> sizes[] = {{VK_F1, 72}, {VK_F2, 44}, {VK_F3, 36}, {VK_F4, 32},
                                         {VK_F5, 28}};
  for (const auto& size : sizes) {
    PressKey(VK_CONTROL, size.first);
    // A box that tells its font shows both sizes (Wine's rich edit does not tell).
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(m().log_box, WM_GETFONT, 0, 0));
    LOGFONTA lf = {};
    if (font && GetObjectA(font, sizeof lf, &lf)) {
      EXPECT_EQ(lf.lfHeight, size.second);
      EXPECT_EQ(lf.lfWidth, size.second);
    }
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(m().log_box, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    // Twips of the character height at 96 dots per inch (Wine keeps the sign of a cell
    // height, Windows does not).
    EXPECT_EQ(std::abs(format.yHeight), size.second * 15) << size.second;
    EXPECT_EQ(std::string(format.szFaceName), face_before);
    EXPECT_EQ(format.dwEffects & (CFE_BOLD | CFE_ITALIC), before.dwEffects & (CFE_BOLD | CFE_ITALIC));
    RecordProperty("font_" + std::to_string(size.second) + "_twips", format.yHeight);
  }

  // Ctrl+A: Copy All puts the log box's whole text on the clipboard as CF_TEXT.
  PressKey(VK_CONTROL, 'A');
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_TEXT);
  std::string copied = data ? static_cast<const char*>(GlobalLock(data)) : "";
  if (data) GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(copied, m().Text(m().log_box));
  EXPECT_NE(copied.find("Line two"), std::string::npos);
}

TEST_F(ReadingModeTest, BackgroundColourDialog) {
  COLORREF before = Background();
  watcher_->Expect(IDCANCEL);
  PressKey(VK_CONTROL, VK_F10);
  auto seen = watcher_->TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(Background(), before);

  watcher_->Expect(IDOK, true, RGB(10, 200, 30));
  Command(kCmdBackgroundColour);
  ASSERT_EQ(watcher_->TakeSeen().size(), 1u);
  EXPECT_EQ(Background(), RGB(10, 200, 30));
  // The choice is preselected next time: confirming without a change keeps it.
  watcher_->Expect(IDOK);
  Command(kCmdBackgroundColour);
  ASSERT_EQ(watcher_->TakeSeen().size(), 1u);
  EXPECT_EQ(Background(), RGB(10, 200, 30));
}

TEST_F(ReadingModeTest, ExtractCurrentFile) {
  const std::string& readme = files_[0].content;
  // The folder dialog itself, cancelled: nothing happens.
  Select("readme.txt");
  ResetCaption();
  SetReadingFolderChooser(nullptr);
  watcher_->Expect(IDCANCEL);
  Command(kCmdExtractCurrent);
  SetReadingFolderChooser(AnswerFolder);
  auto dialogs = watcher_->TakeSeen();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_NE(std::find(dialogs[0].statics.begin(), dialogs[0].statics.end(),
                      std::string(rt::kFolderDialogTitle)),
            dialogs[0].statics.end());
  EXPECT_EQ(Caption(), "caption");
  // A chosen folder without a file-system path stops too.
  g_folder_answer = "";
  Command(kCmdExtractCurrent);
  EXPECT_EQ(Caption(), "caption");

  g_folder_answer = out_;  // without a trailing "\"
  PressKey(VK_CONTROL, 'E');
  EXPECT_EQ(Caption(), rt::kExtractFinish);
  std::string target = out_ + "\\readme.txt";
  EXPECT_EQ(ReadFileText(target), readme);
  EXPECT_TRUE(watcher_->TakeSeen().empty());

  // The file exists now: "NO" keeps it as it is.
  WriteFileText(target, "changed");
  ResetCaption();
  watcher_->Expect(IDNO);
  g_folder_answer = out_ + "\\";  // the separator is not doubled
  Command(kCmdExtractCurrent);
  auto seen = watcher_->TakeSeen();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].caption, rt::kQuestionCaption);
  EXPECT_EQ(seen[0].message, target + rt::kOverwriteSuffix);
  EXPECT_EQ(seen[0].buttons, (std::vector<std::string>{rt::kOverwriteYes, rt::kOverwriteNo}));
  EXPECT_EQ(ReadFileText(target), "changed");
  EXPECT_EQ(Caption(), "caption");

  // Over a read-only file: asked, then replaced.
  SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
  watcher_->Expect(IDYES);
  Command(kCmdExtractCurrent);
  EXPECT_EQ(watcher_->TakeSeen().size(), 1u);
  EXPECT_EQ(ReadFileText(target), readme);
  EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(Caption(), rt::kExtractFinish);

  // A name with a folder gets its folder; one that climbs out is refused.
  Select("doc\\help.html");
  Command(kCmdExtractCurrent);
  EXPECT_EQ(ReadFileText(out_ + "\\doc\\help.html"), "<p>Help</p>");
  Select("..\\evil.txt");
  ResetCaption();
  Command(kCmdExtractCurrent);
  EXPECT_EQ(Caption(), rt::kStreamIsBad);
  EXPECT_EQ(GetFileAttributesA((dir_ + "\\evil.txt").c_str()), INVALID_FILE_ATTRIBUTES);
  // The size limit is the reader's only.
  Select("big.bin");
  ResetCaption();
  Command(kCmdExtractCurrent);
  EXPECT_EQ(Caption(), rt::kExtractFinish);
  EXPECT_EQ(ReadFileText(out_ + "\\big.bin"), files_.back().content);
  EXPECT_TRUE(watcher_->TakeSeen().empty());
}

TEST_F(ReadingModeTest, ReturnLeavesTheModeAndCommandsStillWork) {
  Command(kCmdReturn);
  Pump(50);
  EXPECT_FALSE(IsZoomed(m().window));
  EXPECT_FALSE(m().Visible(m().nav_bar));
  EXPECT_TRUE(m().Visible(m().install_panel));
  EXPECT_FALSE(m().Visible(m().banner));
  EXPECT_EQ(SendMessageA(m().file_list, CB_GETCOUNT, 0, 0), 0);
  std::string kept = Log();
  EXPECT_FALSE(kept.empty());
  // Previous, next and extract do nothing; the font still changes.
  ResetCaption();
  Command(kCmdNextFile);
  Command(kCmdPreviousFile);
  Command(kCmdExtractCurrent);
  EXPECT_EQ(Caption(), "caption");
  EXPECT_EQ(Log(), kept);
  PressKey(VK_CONTROL, VK_F2);
  CHARFORMATA format = {};
  format.cbSize = sizeof format;
  SendMessageA(m().log_box, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  EXPECT_EQ(std::abs(format.yHeight), 44 * 15);
  EXPECT_TRUE(watcher_->TakeSeen().empty());
}

TEST_F(ReadingModeTest, PackageEndingInsideABlock) {
  std::string path = dir_ + "\\short.exe";
  uint64_t offset = 0;
  std::string second(3000, 'x');
  for (size_t i = 0; i < second.size(); ++i) second[i] = static_cast<char>('a' + i % 26);
  ASSERT_EQ(WriteFixtureInstaller(path, {{"a.txt", "first file"}, {"b.txt", second}}, &offset, 0),
            "");
  // Cut the package in the middle of b.txt's block (the action records after it go too).
  std::string bytes = ReadFileText(path);
  size_t cut = bytes.find(second.substr(0, 200));
  ASSERT_NE(cut, std::string::npos);
  WriteFileText(path, bytes.substr(0, cut + 1000));
  ASSERT_TRUE(OpenPackage(path, offset, &Startup()));
  m().Click(m().view_button);
  Settings(kCmdMethodNone, kCmdSetAuto, kCmdLanguageNone);
  Select("a.txt");
  EXPECT_EQ(Log(), "first file");
  ResetCaption();
  Select("b.txt");
  EXPECT_EQ(Caption(), rt::kStreamIsBad);
  EXPECT_EQ(Log(), second.substr(0, 1000));  // what the remaining bytes decode to

  g_folder_answer = out_;
  Command(kCmdExtractCurrent);
  EXPECT_EQ(Caption(), rt::kStreamIsBad);
  EXPECT_EQ(ReadFileText(out_ + "\\b.txt"), second.substr(0, 1000));
  Command(kCmdReturn);
  ASSERT_TRUE(OpenPackage(installer_, offset_, &Startup()));
}

TEST_F(ReadingModeTest, RepeatedNameShowsEachAndLeavesTheLast) {
  std::string path = dir_ + "\\twice.exe";
  uint64_t offset = 0;
  ASSERT_EQ(WriteFixtureInstaller(path, {{"same.txt", "first copy"}, {"othe.txt", "second copy"}},
                                  &offset),
            "");
  ASSERT_TRUE(ReplaceInFileList(path, offset, "othe.txt", "same.txt"));
  ASSERT_TRUE(OpenPackage(path, offset, &Startup()));
  m().Click(m().view_button);
  Settings(kCmdMethodNone, kCmdSetAuto, kCmdLanguageNone);
  ASSERT_EQ(SendMessageA(m().file_list, CB_GETCOUNT, 0, 0), 2);
  Select("same.txt");
  EXPECT_EQ(Log(), "second copy");
  // Extraction writes the first, then asks before the second replaces it.
  std::string target = out_ + "\\same.txt";
  DeleteFileA(target.c_str());
  g_folder_answer = out_;
  watcher_->Expect(IDYES);
  Command(kCmdExtractCurrent);
  EXPECT_EQ(watcher_->TakeSeen().size(), 1u);
  EXPECT_EQ(ReadFileText(target), "second copy");
  Command(kCmdReturn);
  ASSERT_TRUE(OpenPackage(installer_, offset_, &Startup()));
}

TEST_F(ReadingModeTest, SizeThatCannotBeAllocatedIsADecodeError) {
  // The block says 4 GiB - 1 bytes; its stream holds a few. No attempt to allocate the
  // stated size, the caption tells, and what the stream held is shown.
  std::string path = dir_ + "\\huge.exe";
  uint64_t offset = 0;
  ASSERT_EQ(WriteFixtureInstaller(path, {{"huge.txt", "small content", 0xFFFFFFFFu}}, &offset),
            "");
  ASSERT_TRUE(OpenPackage(path, offset, &Startup()));
  m().Click(m().view_button);
  Settings(kCmdMethodNone, kCmdSetAuto, kCmdLanguageNone);
  ResetCaption();
  Select("huge.txt");
  EXPECT_EQ(Caption(), kDecodeErrorCaption);
  EXPECT_EQ(Log(), "small content");
  Command(kCmdReturn);
  ASSERT_TRUE(OpenPackage(installer_, offset_, &Startup()));
}

TEST_F(ReadingModeTest, StartedWithTheViewSwitch) {
  // The way Hollin starts with "/v": start-up clicks View, then the backdrop is built and
  // the message loop shows the main window.
  Command(kCmdReturn);
  ASSERT_EQ(RunStartup(installer_, offset_, "/v"), StartupOutcome::kRunMessageLoop);
  BuildBackdropWindow("/v", true);
  ShowWindow(m().window, SW_SHOW);
  UpdateWindow(m().window);
  Pump(300);
  EXPECT_TRUE(IsZoomed(m().window));
  EXPECT_TRUE(m().Visible(m().nav_bar));
  EXPECT_TRUE(IsWindowVisible(m().nav_bar));
  EXPECT_FALSE(m().Visible(m().install_panel));
  RECT window = {}, nav = {}, log = {}, work = {};
  GetWindowRect(m().window, &window);
  GetWindowRect(m().nav_bar, &nav);
  GetWindowRect(m().log_box, &log);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  // Maximised over the work area; the navigation bar at the bottom, the log box above it.
  EXPECT_LE(window.left, work.left);
  EXPECT_GE(window.right, work.right);
  EXPECT_EQ(nav.top, log.bottom);
  EXPECT_EQ(nav.right - nav.left, work.right - work.left);
  EXPECT_EQ(SendMessageA(m().file_list, CB_GETCOUNT, 0, 0), 10);
}

// What a long text's log box is asked to do: moves that change its place or size (each lays
// all its text out again), and deletions of its text (some rich-edit boxes take longer to
// delete a long text than to fill it).
struct LogBoxCalls {
  WNDPROC original = nullptr;
  int moves = 0;
  int deletions = 0;
};
LogBoxCalls g_log_calls;

LRESULT CALLBACK CountLogBoxCalls(HWND box, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_WINDOWPOSCHANGED) {
    const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
    if ((pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) ++g_log_calls.moves;
  }
  if (msg == WM_SETTEXT || msg == EM_SETTEXTEX || msg == EM_REPLACESEL ||
      (msg == EM_STREAMIN && !(wp & SFF_SELECTION)))
    ++g_log_calls.deletions;
  return CallWindowProcA(g_log_calls.original, box, msg, wp, lp);
}

void WatchLogBox(HWND box) {
  g_log_calls = LogBoxCalls();
  g_log_calls.original = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountLogBoxCalls)));
}

TEST_F(ReadingModeTest, LongTextIsLaidOutOncePerModeChangeAndNeverDeleted) {
  std::string long_text;
  for (int i = 0; i < 4000; ++i) long_text += "Line " + std::to_string(i) + " of a long manual, read in the reading mode\r\n";
  const std::string path = dir_ + "\\long.exe";
  uint64_t offset = 0;
  ASSERT_EQ(WriteFixtureInstaller(path, {{"long.txt", long_text}, {"short.txt", "short\r\n"}}, &offset), "");
  StartupValues saved = std::move(Startup());
  ASSERT_TRUE(OpenPackage(path, offset, &Startup()));
  EnterReadingMode(m());
  Pump(50);
  Settings(kCmdMethodNone, kCmdSetDefault, kCmdLanguageNone);
  Command(kCmdFontBig);
  watcher_->Expect(IDOK, true, RGB(10, 200, 30));
  Command(kCmdBackgroundColour);
  ASSERT_EQ(watcher_->TakeSeen().size(), 1u);
  Select("long.txt");
  const LRESULT shown = GetWindowTextLengthA(m().log_box);
  ASSERT_GT(shown, 200000);

  // Return keeps the text: the box is laid out for the install panel once, not once for the
  // restored window and once per control shown or hidden.
  HWND box = m().log_box;
  WatchLogBox(box);
  SetFocus(box);
  Command(kCmdReturn);
  Pump(50);
  EXPECT_EQ(g_log_calls.moves, 1);
  EXPECT_EQ(GetWindowTextLengthA(m().log_box), shown);

  // View empties it for the header: the long text goes with its box, and the new box is
  // the old one in every other respect.
  const HWND before = GetWindow(box, GW_HWNDPREV), after = GetWindow(box, GW_HWNDNEXT);
  const LONG style = GetWindowLongA(box, GWL_STYLE), ex_style = GetWindowLongA(box, GWL_EXSTYLE);
  const int id = GetDlgCtrlID(box);
  const COLORREF background = Background();
  m().Click(m().view_button);
  Pump(50);
  EXPECT_EQ(g_log_calls.deletions, 0);
  EXPECT_FALSE(IsWindow(box));
  HWND now = m().log_box;
  ASSERT_TRUE(IsWindow(now));
  const std::string header = Log();
  EXPECT_EQ(std::count(header.begin(), header.end(), '\n'), 2) << header.substr(0, 200);
  EXPECT_EQ(GetDlgCtrlID(now), id);
  EXPECT_EQ(GetParent(now), m().window);
  EXPECT_EQ(GetWindow(now, GW_HWNDPREV), before);
  EXPECT_EQ(GetWindow(now, GW_HWNDNEXT), after);
  const LONG scroll_bars = WS_VSCROLL | WS_HSCROLL;  // shown while there is text to scroll
  EXPECT_EQ(GetWindowLongA(now, GWL_STYLE) & ~scroll_bars, style & ~scroll_bars);
  EXPECT_EQ(GetWindowLongA(now, GWL_EXSTYLE), ex_style);
  EXPECT_EQ(GetFocus(), now);
  EXPECT_EQ(Background(), background);
  CHARFORMATA format = {};
  format.cbSize = sizeof format;
  SendMessageA(now, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  EXPECT_EQ(std::abs(format.yHeight), 44 * 15);
  RECT log = {}, nav = {};
  GetWindowRect(now, &log);
  GetWindowRect(m().nav_bar, &nav);
  EXPECT_EQ(log.bottom, nav.top);
  EXPECT_EQ(log.right - log.left, nav.right - nav.left);

  // Another file in place of the long text: the same.
  Select("long.txt");
  box = m().log_box;
  WatchLogBox(box);
  Select("short.txt");
  EXPECT_EQ(g_log_calls.deletions, 0);
  EXPECT_EQ(Paragraphs(m().Text(m().log_box)), "short\n");
  EXPECT_TRUE(watcher_->TakeSeen().empty());

  Startup() = std::move(saved);
  EnterReadingMode(m());
  Pump(20);
}

// Texts that Wine's rich edit cannot lay out whole (a few megabytes of long lines took it a
// minute and then ended the program): the box is given short lines, no more than its bound,
// and a last line saying the rest is not shown.
TEST_F(ReadingModeTest, HugeTextsAreShownInShortLinesAndCut) {
  std::string line;
  while (line.size() < 4000) line += "words of a wide line ";
  line.resize(4000);
  line += "\r\n";
  std::string wide;  // 10 MB in lines of 4,000 characters
  while (wide.size() + line.size() <= kLogTextLimit) wide += line;
  const std::string solid(6u << 20, 's');  // one line without a blank
  const std::string path = dir_ + "\\huge.exe";
  uint64_t offset = 0;
  ASSERT_EQ(WriteFixtureInstaller(path, {{"wide.txt", wide}, {"solid.txt", solid}}, &offset), "");
  StartupValues saved = std::move(Startup());
  ASSERT_TRUE(OpenPackage(path, offset, &Startup()));
  EnterReadingMode(m());
  Pump(50);
  Settings(kCmdMethodNone, kCmdSetDefault, kCmdLanguageNone);
  uint8_t lead_bytes[256];
  for (int b = 0; b < 256; ++b) lead_bytes[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;
  const std::vector<std::pair<std::string, const std::string*>> files = {{"wide.txt", &wide}, {"solid.txt", &solid}};
  for (const auto& [name, text] : files) {
    Select(name);
    const std::string shown = Log();
    const std::string expected = Paragraphs(ShownText(*text, lead_bytes, texts::kRestNotShown));
    EXPECT_EQ(shown.size(), expected.size()) << name;
    EXPECT_TRUE(shown == expected) << name;
    EXPECT_EQ(shown.substr(shown.size() - 41), "[... the rest of this text is not shown]\n") << name;
    EXPECT_EQ(shown.substr(0, 1000), Paragraphs(text->substr(0, 1000))) << name;
  }
  EXPECT_TRUE(watcher_->TakeSeen().empty());

  Startup() = std::move(saved);
  EnterReadingMode(m());
  Pump(20);
}

// A second package, read in place of the suite's: device names, file list lines that do not
// parse, and pages that look like RTF.
TEST_F(ReadingModeTest, DeviceNamesUnparsedLinesAndRtfLookingText) {
  const std::string rtf = "{\\rtf1\\ansi {\\b bold} plain}";
  const std::vector<FixtureFile> files = {
      {"COM1", "device"}, {"NUL", "device"}, {"con.txt", "device"}, {"doc\\aux.log", "device"},
      {"rtf.htm", rtf}, {"rtf.txt", rtf + "\r\nsecond line\r\n"},
  };
  const std::string path = dir_ + "\\devices.exe";
  uint64_t offset = 0;
  ASSERT_EQ(WriteFixtureInstaller(path, files, &offset), "");
  // Lines without a block: their text before the first "|" is listed all the same.
  ASSERT_TRUE(RewriteFileList(path, offset, [](std::vector<std::string>& lines) {
    lines.push_back("half|ABC");
    lines.push_back("no bar at all");
  }));
  StartupValues saved = std::move(Startup());
  ASSERT_TRUE(OpenPackage(path, offset, &Startup()));
  EnterReadingMode(m());
  Pump(50);
  std::vector<std::string> listed;
  for (int i = 0; i < SendMessageA(m().file_list, CB_GETCOUNT, 0, 0); ++i) {
    char text[MAX_PATH] = {};
    SendMessageA(m().file_list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    listed.push_back(text);
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"COM1", "con.txt", "doc\\aux.log", "half", "no bar at all",
                                              "NUL", "rtf.htm", "rtf.txt"}));
  Select("half");  // shows nothing, changes nothing
  Select("no bar at all");

  // Shown as the characters they are: through method Second (an .htm name) and None.
  Settings(kCmdMethodNone, kCmdSetAuto, kCmdLanguageNone);
  Select("rtf.htm");
  EXPECT_TRUE(Checked(kCmdMethodSecond));
  EXPECT_NE(Log().find(rtf), std::string::npos) << Log();
  Settings(kCmdMethodOne, kCmdSetDefault, kCmdLanguageNone);
  Select("rtf.txt");
  EXPECT_NE(Log().find(rtf + "second line"), std::string::npos) << Log();
  Settings(kCmdMethodNone, kCmdSetAuto, kCmdLanguageNone);

  // Extract Current File refuses what the installer refuses: the system would open a device.
  const std::string devices = out_ + "\\devices";
  CreateDirectoryA(devices.c_str(), nullptr);
  g_folder_answer = devices;
  for (const char* name : {"COM1", "NUL", "con.txt", "doc\\aux.log"}) {
    SCOPED_TRACE(name);
    Select(name);
    ResetCaption();
    Command(kCmdExtractCurrent);
    EXPECT_EQ(Caption(), rt::kStreamIsBad);
  }
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((devices + "\\*").c_str(), &found);
  int entries = 0;
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (strcmp(found.cFileName, ".") && strcmp(found.cFileName, "..")) ++entries;
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  EXPECT_EQ(entries, 0);
  EXPECT_TRUE(watcher_->TakeSeen().empty());

  // The real folder dialog stands in the middle of the screen, like the browse dialog.
  SetReadingFolderChooser(nullptr);
  Select("rtf.txt");
  watcher_->Expect(IDCANCEL);
  Command(kCmdExtractCurrent);
  SetReadingFolderChooser(AnswerFolder);
  auto dialogs = watcher_->TakeSeen();
  ASSERT_EQ(dialogs.size(), 1u);
  const RECT& r = dialogs[0].rect;
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 2);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 2);

  Startup() = std::move(saved);
  EnterReadingMode(m());
  Pump(20);
}

}  // namespace
}  // namespace hollin
