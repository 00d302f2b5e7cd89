// Hollin's main and backdrop windows after start-up from packed installers, in this
// process: window states, captions, banner, self check, default folder, switches, accept
// toggle, help box, link opening, colours, layout and the backdrop's pixels.
#include <windows.h>
#include <richedit.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <cstdlib>
#include <set>

#include "installer/package/block.h"
#include "installer/package/message_pump.h"
#include "installer/package/package_format.h"
#include "installer/package/win/startup.h"
#include "installer/ui/win/main_window.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/texts.h"
#include "installer/ui/win/window_rules.h"
#include "test_support.h"

namespace hollin {
namespace {

using test::Installer;

int g_end_code = -1;
int g_end_calls = 0;
std::vector<std::string> g_links;
void RecordEnd(int code) {
  g_end_code = code;
  ++g_end_calls;
}
void RecordLink(const std::string& link) { g_links.push_back(link); }

constexpr char kUninstallRoot[] = "software\\microsoft\\windows\\currentversion\\uninstall\\";

void FlipPackageByte(std::vector<uint8_t>& bytes) { bytes[bytes.size() - 3] ^= 0x40; }
void Uninstaller(std::vector<uint8_t>& bytes) { test::MakeUninstallerStub(bytes); }

class HollinWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallProgramHooks();
    SetEndProgramHandler(RecordEnd);
    SetLinkOpener(RecordLink);
  }
  void SetUp() override {
    g_end_code = -1;
    g_end_calls = 0;
    g_links.clear();
    ASSERT_TRUE(BuildMainWindow());
  }
  void TearDown() override { DestroyWindows(); }

  static Installer Pack(const std::string& name, const PackagePlan& plan,
                        const std::vector<PackedFile>& files = {},
                        void (*patch)(std::vector<uint8_t>&) = nullptr) {
    Installer i = test::WriteInstaller(name, plan, files, patch);
    EXPECT_FALSE(i.bytes.empty()) << name;
    EXPECT_GT(i.package_offset, 0u) << name;
    return i;
  }
  static StartupOutcome Start(const Installer& i, const std::string& arg = "") {
    return RunStartup(i.path, i.package_offset, arg);
  }
  static MainWindow& M() { return Main(); }
  static bool Shown(HWND c) { return M().Visible(c); }
  static bool On(HWND c) { return M().Enabled(c); }
};

// A folder the automatic install may write into without touching the prefix.
PackagePlan ContainedPlan(const std::string& name) {
  PackagePlan plan = test::BasicPlan(name);
  plan.has_default_folder = true;
  plan.default_folder = test::ScratchFolder() + "\\" + name;
  return plan;
}

TEST_F(HollinWindow, InstallStateAfterStartup) {
  Installer i = Pack("install.exe", test::BasicPlan("Demo Product"),
                     {test::SampleFile("a.txt", 336499)});
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  MainWindow& m = M();
  EXPECT_EQ(m.Text(m.window), "Demo Product");
  EXPECT_EQ(m.Text(m.banner),
            std::string(texts::kBannerNotice) + " total unpack space is need 1 mb");
  struct Expect {
    HWND control;
    const char* name;
    bool visible, enabled;
  } expect[] = {
      {m.banner, "banner", true, true},           {m.log_box, "log box", true, true},
      {m.install_panel, "install panel", true, true}, {m.nav_bar, "nav bar", false, true},
      {m.progress, "progress", false, true},      {m.accept_box, "accept", true, true},
      {m.accept_area, "accept area", true, true}, {m.skip_crc_box, "skip crc", true, true},
      {m.path_box, "path", true, false},          {m.browse_button, "browse", true, false},
      {m.help_button, "help", true, true},        {m.view_button, "view", true, true},
      {m.setup_button, "setup", true, false},     {m.uninstall_button, "uninstall", false, true},
      {m.crc_good_label, "crc good", true, true}, {m.crc_bad_label, "crc bad", false, true},
      {m.maker_label, "maker", false, true},      {m.label7, "label7", false, true},
      {m.label8, "label8", false, true},          {m.label9, "label9", false, true},
  };
  for (const Expect& e : expect) {
    EXPECT_EQ(Shown(e.control), e.visible) << e.name;
    EXPECT_EQ(On(e.control), e.enabled) << e.name;
  }
  EXPECT_FALSE(m.Checked(m.accept_box));
  EXPECT_FALSE(m.Checked(m.skip_crc_box));
  EXPECT_EQ(m.Text(m.label7), "0");
  EXPECT_EQ(m.Text(m.label9), "999");
  EXPECT_EQ(m.Text(m.maker_label), "made by the test");
  EXPECT_NE(m.Text(m.log_box).find("Hollin Installer Licence"), std::string::npos);
  EXPECT_TRUE(Startup().self_check_ran);
  EXPECT_TRUE(Startup().self_check_good);
  EXPECT_EQ(Startup().display_name, "Demo Product");
  EXPECT_EQ(g_end_calls, 0);
}

TEST_F(HollinWindow, UninstallStateAfterStartup) {
  PackagePlan plan = test::BasicPlan("Demo Product");
  plan.has_default_folder = true;
  plan.default_folder = "App";
  Installer i = test::WriteUninstaller("uninstall.exe", plan, {test::SampleFile("a.txt", 10)});
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  MainWindow& m = M();
  EXPECT_EQ(m.Text(m.window), "Demo Product---uninstall");
  EXPECT_EQ(m.Text(m.banner), texts::kBannerNotice);  // no unpack-space text
  EXPECT_TRUE(Shown(m.uninstall_button));
  EXPECT_TRUE(On(m.uninstall_button));
  EXPECT_TRUE(Shown(m.maker_label));
  EXPECT_EQ(m.Text(m.maker_label), "made by the test");
  for (HWND hidden : {m.setup_button, m.view_button, m.path_box, m.skip_crc_box, m.browse_button,
                      m.accept_box, m.help_button, m.crc_good_label, m.crc_bad_label})
    EXPECT_FALSE(Shown(hidden));
  EXPECT_FALSE(Startup().self_check_ran);
  EXPECT_EQ(m.Text(m.path_box), "App");  // no default-folder steps in the uninstaller

  ASSERT_TRUE(BuildBackdropWindow("", true));
  EXPECT_FALSE(IsWindowVisible(Backdrop().window));
  EXPECT_EQ(Backdrop().product_title, "Demo Product---uninstall");
}

TEST_F(HollinWindow, NoViewByteHidesAndDisconnectsView) {
  PackagePlan plan = test::BasicPlan("NoView");
  plan.no_view = true;
  Installer i = Pack("noview.exe", plan);
  ASSERT_EQ(Start(i, "/v"), StartupOutcome::kRunMessageLoop);
  MainWindow& m = M();
  EXPECT_FALSE(Shown(m.view_button));
  EXPECT_FALSE(m.view_connected);
  std::string before = m.Text(m.log_box);
  m.Click(m.view_button);
  EXPECT_EQ(m.Text(m.log_box), before);
  EXPECT_TRUE(Shown(m.install_panel));
}

TEST_F(HollinWindow, SelfCheckGoodBadSilentAndSkipped) {
  struct Case {
    const char* name;
    bool silent;
    bool flip;
    bool self_check_on;
    const char* arg;
    StartupOutcome outcome;
    bool good, bad;
  } cases[] = {
      {"good", false, false, true, "", StartupOutcome::kRunMessageLoop, true, false},
      {"bad", false, true, true, "", StartupOutcome::kRunMessageLoop, false, true},
      {"bad, silent", true, true, true, "", StartupOutcome::kEndProgram, false, false},
      {"good, silent", true, false, true, "", StartupOutcome::kRunMessageLoop, true, false},
      {"bad, check off", false, true, false, "", StartupOutcome::kRunMessageLoop, false, false},
      {"bad, /c", true, true, true, "/c", StartupOutcome::kRunMessageLoop, false, false},
      {"bad, /C is no switch", false, true, true, "/C", StartupOutcome::kRunMessageLoop, false, true},
      {"bad, /v checks", false, true, true, "/v", StartupOutcome::kRunMessageLoop, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DestroyWindows();
    ASSERT_TRUE(BuildMainWindow());
    PackagePlan plan = test::BasicPlan("Checked");
    plan.silent_failure = c.silent;
    plan.self_check_on = c.self_check_on;
    Installer i = Pack("check.exe", plan, {test::SampleFile("f.bin", 5000)},
                       c.flip ? FlipPackageByte : nullptr);
    EXPECT_EQ(Start(i, c.arg), c.outcome);
    EXPECT_EQ(Shown(M().crc_good_label), c.good);
    EXPECT_EQ(Shown(M().crc_bad_label), c.bad);
    if (c.outcome == StartupOutcome::kEndProgram) {
      // Ended before the window was filled.
      EXPECT_EQ(M().Text(M().window), texts::kWindowCaption);
    } else {
      EXPECT_EQ(M().Text(M().window), "Checked");
    }
  }
}

TEST_F(HollinWindow, BadCrcStillLetsTheUserInstall) {
  Installer i = Pack("bad.exe", test::BasicPlan("Bad"), {test::SampleFile("f.bin", 100)},
                     FlipPackageByte);
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  M().Click(M().accept_area);
  EXPECT_TRUE(On(M().setup_button));
}

TEST_F(HollinWindow, BannerAnnouncesMegabytes) {
  struct Case {
    size_t size;
    const char* number;
  } cases[] = {{336499, "1"}, {1048576, "2"}, {0, "1"}};
  for (const Case& c : cases) {
    DestroyWindows();
    ASSERT_TRUE(BuildMainWindow());
    std::vector<PackedFile> files;
    if (c.size) files.push_back(test::SampleFile("big.bin", c.size));
    Installer i = Pack("banner.exe", test::BasicPlan("Banner"), files);
    ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
    EXPECT_EQ(Startup().total_unpacked, c.size);
    EXPECT_EQ(M().Text(M().banner), std::string(texts::kBannerNotice) +
                                        " total unpack space is need " + c.number + " mb");
  }
}

TEST_F(HollinWindow, BigPackageDrawsTheWaitNoticeAndStillChecks) {
  // The size field lies outside the checked bytes, so a patched size keeps the CRC good.
  Installer i = Pack("huge.exe", test::BasicPlan("Huge"), {test::SampleFile("f.bin", 10)},
                     [](std::vector<uint8_t>& b) {
                       uint32_t size = 101u * 1048576u;
                       for (int k = 0; k < 4; ++k) b[kTotalUnpackedSizeOffset + k] = (size >> (8 * k)) & 0xFF;
                     });
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  EXPECT_TRUE(Shown(M().crc_good_label));
  EXPECT_NE(M().Text(M().banner).find(" need 102 mb"), std::string::npos);
}

TEST_F(HollinWindow, TitleColourAndGradientLabels) {
  struct Case {
    const char* name;
    COLORREF colour;
  } cases[] = {{"clred", RGB(255, 0, 0)},   {"ClRed", RGB(255, 255, 255)},
               {"clblack", RGB(0, 0, 0)},   {"clinfobk", GetSysColor(COLOR_INFOBK)},
               {"cllime", RGB(0, 255, 0)}, {"nonsense", RGB(255, 255, 255)}};
  for (const Case& c : cases) {
    DestroyWindows();
    ASSERT_TRUE(BuildMainWindow());
    PackagePlan plan = test::BasicPlan("Colour");
    plan.title_colour = c.name;
    plan.gradient_r = " 12 ";  // used exactly as stored
    plan.gradient_g = "x";
    plan.gradient_b = "";
    Installer i = Pack("colour.exe", plan);
    ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
    EXPECT_EQ(M().label7_colour, c.colour) << c.name;
    EXPECT_EQ(M().Text(M().label7), " 12 ");
    EXPECT_EQ(M().Text(M().label8), "x");
    EXPECT_EQ(M().Text(M().label9), "");
  }
}

TEST_F(HollinWindow, PackagedLicenceReplacesTheBuiltInOne) {
  PackagePlan plan = test::BasicPlan("Licensed");
  plan.has_licence = true;
  plan.licence_text = "First line\nSecond line\r\nThird";
  Installer i = Pack("licence.exe", plan);
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  std::string log = M().Text(M().log_box);
  EXPECT_EQ(log.find("Hollin Installer Licence"), std::string::npos);
  // The rich-edit box may hand paragraph ends back as CR alone.
  std::string normalised;
  for (size_t k = 0; k < log.size(); ++k) {
    if (log[k] == '\r' && (k + 1 >= log.size() || log[k + 1] != '\n')) normalised += "\r\n";
    else normalised += log[k];
  }
  EXPECT_EQ(normalised, "First line\r\nSecond line\r\nThird\r\n");
}

// A licence that begins like RTF is shown as its text lines, not as formatting.
TEST_F(HollinWindow, LicenceThatLooksLikeRtfIsShownAsText) {
  PackagePlan plan = test::BasicPlan("Licensed");
  plan.has_licence = true;
  plan.licence_text = "{\\rtf1\\ansi {\\b bold} plain}\nnext line";
  Installer i = Pack("rtf-licence.exe", plan);
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  std::string log = M().Text(M().log_box);
  std::string normalised;
  for (size_t k = 0; k < log.size(); ++k) {
    if (log[k] == '\r' && (k + 1 >= log.size() || log[k + 1] != '\n')) normalised += "\r\n";
    else normalised += log[k];
  }
  EXPECT_EQ(normalised, "{\\rtf1\\ansi {\\b bold} plain}\r\nnext line\r\n");
  // Log lines go in as text too.
  M().ClearLog();
  M().AppendLog("{\\rtf1 {\\i x}}\r\n");
  EXPECT_EQ(M().Text(M().log_box).find("{\\rtf1 {\\i x}}"), 0u);
}

TEST_F(HollinWindow, DefaultFolderFromRegistry) {
  bool exists = false;
  std::string program_files =
      test::GetMachineString("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "programfilesdir", &exists);
  ASSERT_TRUE(exists);
  ASSERT_FALSE(program_files.empty());
  std::string base = program_files.back() == '\\' ? program_files : program_files + "\\";
  std::string key = "HollinWindowTest" + std::to_string(GetCurrentProcessId());
  ASSERT_TRUE(test::SetMachineString(kUninstallRoot + key, "uninstallstring",
                                     "E:\\Earlier\\Place\\uninstall.exe"));
  struct Case {
    const char* name;
    bool has_folder;
    const char* folder;
    bool with_key;
    std::string expected;
  } cases[] = {
      {"no record", false, "", false, base},
      {"name under Program Files", true, "App", false, base + "App"},
      {"absolute", true, "D:\\App", false, "D:\\App"},
      {"two characters", true, "Ab", false, "Ab"},
      {"earlier install wins", true, "D:\\App", true, "E:\\Earlier\\Place\\"},
  };
  for (const Case& c : cases) {
    DestroyWindows();
    ASSERT_TRUE(BuildMainWindow());
    PackagePlan plan = test::BasicPlan("Folder");
    plan.has_default_folder = c.has_folder;
    plan.default_folder = c.folder;
    plan.has_uninstall_key = true;
    plan.uninstall_key = c.with_key ? key : key + "Missing";
    Installer i = Pack("folder.exe", plan);
    ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
    EXPECT_EQ(M().Text(M().path_box), c.expected) << c.name;
    EXPECT_EQ(Startup().uninstall_key, plan.uninstall_key);
  }
  test::DeleteMachineKey(kUninstallRoot + key);
}

TEST_F(HollinWindow, AutoInstallSwitchAcceptsPressesSetupAndEnds) {
  Installer i = Pack("auto.exe", ContainedPlan("AutoInstall"));
  std::string log_before = M().Text(M().log_box);
  test::BoxWatchdog watchdog(IDOK);
  ASSERT_EQ(Start(i, "/a"), StartupOutcome::kEndProgram);
  EXPECT_TRUE(M().Checked(M().accept_box));
  EXPECT_TRUE(On(M().path_box));
  EXPECT_FALSE(Startup().self_check_ran);  // "/a" skips the self check
  EXPECT_FALSE(Shown(M().crc_good_label));
  EXPECT_EQ(g_end_calls, 0);  // start-up hands the end back to the entry point
  EXPECT_NE(M().Text(M().log_box), log_before);  // Setup ran
  std::string folder = test::ScratchFolder() + "\\AutoInstall";
  EXPECT_NE(GetFileAttributesA((folder + "\\uninstall.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(HollinWindow, SwitchesInTheWrongProgramOrCaseAreIgnored) {
  struct Case {
    const char* arg;
    bool uninstaller;
  } cases[] = {{"/A", false}, {"/u", false}, {"/V", false}, {"/a", true}, {"/v", true},
               {"/U", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arg);
    DestroyWindows();
    ASSERT_TRUE(BuildMainWindow());
    Installer i = Pack("switch.exe", ContainedPlan("Switch"), {}, c.uninstaller ? Uninstaller : nullptr);
    std::string log_before = M().Text(M().log_box);
    EXPECT_EQ(Start(i, c.arg), StartupOutcome::kRunMessageLoop);
    EXPECT_FALSE(M().Checked(M().accept_box));
    EXPECT_EQ(M().Text(M().log_box), log_before);
    EXPECT_TRUE(Shown(M().install_panel));
  }
}

TEST_F(HollinWindow, ViewSwitchStartsReadingAndMinimisesTheBackdrop) {
  Installer i = Pack("view.exe", test::BasicPlan("Viewer"), {test::SampleFile("a.txt", 100)});
  std::string log_before = M().Text(M().log_box);
  ASSERT_EQ(Start(i, "/v"), StartupOutcome::kRunMessageLoop);
  EXPECT_NE(M().Text(M().log_box), log_before);  // the View click reached the reading mode
  MainWindow& m = M();
  EXPECT_TRUE(IsZoomed(m.window));
  EXPECT_FALSE(Shown(m.banner));
  EXPECT_FALSE(Shown(m.install_panel));
  EXPECT_TRUE(Shown(m.nav_bar));
  EXPECT_EQ(SendMessageA(m.file_list, CB_GETCOUNT, 0, 0), 1);
  RECT client, nav, log;
  GetClientRect(m.window, &client);
  GetWindowRect(m.nav_bar, &nav);
  GetWindowRect(m.log_box, &log);
  EXPECT_EQ(nav.bottom - nav.top, 31);
  EXPECT_EQ(log.bottom, nav.top);  // the log box over the navigation bar
  EXPECT_TRUE(Startup().self_check_ran);
  ASSERT_TRUE(BuildBackdropWindow("/v", true));
  EXPECT_TRUE(IsIconic(Backdrop().window));
}

TEST_F(HollinWindow, UninstallSwitchPressesUninstallAndEnds) {
  // In a folder of its own: the uninstaller removes its folder when it can.
  CreateDirectoryA((test::ScratchFolder() + "\\uninstalled").c_str(), nullptr);
  Installer i = test::WriteUninstaller("uninstalled\\autouninstall.exe",
                                       ContainedPlan("AutoUninstall"),
                                       {test::SampleFile("not-installed.txt", 10)});
  std::string log_before = M().Text(M().log_box);
  test::BoxWatchdog watchdog(IDNO);
  ASSERT_EQ(Start(i, "/u"), StartupOutcome::kEndProgram);
  EXPECT_TRUE(watchdog.boxes().empty());  // "/u" asks nothing
  EXPECT_NE(M().Text(M().log_box), log_before);  // the uninstall procedure ran
}

TEST_F(HollinWindow, AcceptToggleEnablesAndDisablesTogether) {
  Installer i = Pack("accept.exe", test::BasicPlan("Accept"));
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  MainWindow& m = M();
  for (bool expected : {true, false, true, false}) {
    m.Click(m.accept_area);
    EXPECT_EQ(m.Checked(m.accept_box), expected);
    EXPECT_EQ(On(m.browse_button), expected);
    EXPECT_EQ(On(m.setup_button), expected);
    EXPECT_EQ(On(m.path_box), expected);
  }
  // A real click lands on the area, which lies over the box.
  RECT box;
  GetWindowRect(m.accept_box, &box);
  POINT centre = {(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  ShowWindow(m.window, SW_SHOW);
  UpdateWindow(m.window);
  HWND hit = ChildWindowFromPointEx(m.install_panel, [&] {
    POINT p = centre;
    ScreenToClient(m.install_panel, &p);
    return p;
  }(), CWP_SKIPINVISIBLE);
  EXPECT_EQ(hit, m.accept_area);
  // The box's own keyboard toggle goes through the same rule.
  SendMessageA(m.accept_box, BM_CLICK, 0, 0);
  test::Pump(50);
  EXPECT_TRUE(m.Checked(m.accept_box));
  EXPECT_TRUE(On(m.setup_button));
}

// A real mouse click on the accept box, as a user makes it.
TEST_F(HollinWindow, MouseClickOnTheAcceptBoxAccepts) {
  Installer i = Pack("mouse.exe", test::BasicPlan("Mouse"));
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  MainWindow& m = M();
  ShowWindow(m.window, SW_SHOW);
  SetForegroundWindow(m.window);
  UpdateWindow(m.window);
  test::Pump(200);
  RECT box;
  GetWindowRect(m.accept_box, &box);
  SetCursorPos(box.left + 8, (box.top + box.bottom) / 2);
  INPUT clicks[2] = {};
  clicks[0].type = clicks[1].type = INPUT_MOUSE;
  clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(2, clicks, sizeof(INPUT));
  for (int waited = 0; waited < 3000 && !m.Checked(m.accept_box); waited += 50) test::Pump(50);
  EXPECT_TRUE(m.Checked(m.accept_box));
  EXPECT_TRUE(On(m.setup_button));
  EXPECT_TRUE(On(m.path_box));
}

TEST_F(HollinWindow, HelpBoxShowsFiveLinesTitledHollin) {
  test::BoxWatchdog watchdog(IDOK);
  M().Click(M().help_button);
  std::vector<test::BoxWatchdog::Box> boxes = watchdog.boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "hollin");
  EXPECT_EQ(boxes[0].text, HelpText());
}

TEST_F(HollinWindow, FolderDialogCancelLeavesThePath) {
  MainWindow& m = M();
  m.SetText(m.path_box, "C:\\Keep");
  test::BoxWatchdog watchdog(IDCANCEL);
  m.Click(m.browse_button);
  EXPECT_EQ(m.Text(m.path_box), "C:\\Keep");
  ASSERT_EQ(watchdog.boxes().size(), 1u);
}

TEST_F(HollinWindow, CloseRequestEndsTheProgram) {
  SendMessageA(M().window, WM_CLOSE, 0, 0);
  EXPECT_EQ(g_end_calls, 1);
  EXPECT_EQ(g_end_code, 0);
  EXPECT_TRUE(IsWindow(M().window));
}

TEST_F(HollinWindow, LogBoxSettingsAndLinkOpening) {
  MainWindow& m = M();
  char cls[64] = {};
  GetClassNameA(m.log_box, cls, sizeof cls);
  EXPECT_TRUE(std::string(cls) == "RichEdit20A" || std::string(cls) == "RichEdit") << cls;
  EXPECT_EQ(SendMessageA(m.log_box, EM_GETLIMITTEXT, 0, 0), 10485760);
  LONG style = GetWindowLongA(m.log_box, GWL_STYLE);
  EXPECT_TRUE(style & ES_MULTILINE);
  EXPECT_FALSE(style & ES_READONLY);
  EXPECT_FALSE(style & ES_AUTOHSCROLL);

  m.SetLogText("see http://example.org/page now");
  ENLINK link = {};
  link.nmhdr.hwndFrom = m.log_box;
  link.nmhdr.idFrom = GetDlgCtrlID(m.log_box);
  link.nmhdr.code = EN_LINK;
  link.msg = WM_LBUTTONUP;
  link.chrg.cpMin = 4;
  link.chrg.cpMax = 27;
  SendMessageA(m.window, WM_NOTIFY, link.nmhdr.idFrom, reinterpret_cast<LPARAM>(&link));
  link.msg = WM_MOUSEMOVE;  // hovering opens nothing
  SendMessageA(m.window, WM_NOTIFY, link.nmhdr.idFrom, reinterpret_cast<LPARAM>(&link));
  ASSERT_EQ(g_links.size(), 1u);
  EXPECT_EQ(g_links[0], "http://example.org/page");

  m.ClearLog();
  m.AppendLog("one\r\n");
  m.AppendLog("two\r\n");
  std::string log = m.Text(m.log_box);
  EXPECT_NE(log.find("one"), std::string::npos);
  EXPECT_LT(log.find("one"), log.find("two"));
  // Appending after a long text lands at its end, line ends included.
  m.SetLogText("first\r\nsecond\r\n");
  SendMessageA(m.log_box, EM_SETSEL, 0, 0);  // caret at the start, as after a click there
  m.AppendLog("third\r\n");
  log = m.Text(m.log_box);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log.find("first"), 0u);
  EXPECT_NE(log.find("third"), std::string::npos);
  EXPECT_GT(log.find("third"), log.find("second"));
}

TEST_F(HollinWindow, CreationOrderWindowStyleAndLayout) {
  MainWindow& m = M();
  auto children = [](HWND parent) {
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
    return out;
  };
  // Creation order is the stacking order: the first child lies on top.
  EXPECT_EQ(children(m.window), (std::vector<HWND>{m.label9, m.label8, m.label7, m.banner,
                                                   m.nav_bar, m.install_panel, m.log_box,
                                                   m.progress}));
  EXPECT_EQ(children(m.install_panel),
            (std::vector<HWND>{m.maker_label, m.crc_good_label, m.accept_area, m.crc_bad_label,
                               m.browse_button, m.view_button, m.path_box, m.setup_button,
                               m.accept_box, m.skip_crc_box, m.help_button, m.uninstall_button}));
  std::vector<HWND> nav = children(m.nav_bar);
  EXPECT_EQ(std::set<HWND>(nav.begin(), nav.end()),
            (std::set<HWND>{m.prev_button, m.next_button, m.file_list}));
  EXPECT_FALSE(GetWindowLongA(m.window, GWL_STYLE) & WS_MINIMIZEBOX);
  // Tab follows the creation order through the install panel's visible, enabled controls.
  ShowWindow(m.window, SW_SHOW);
  EXPECT_EQ(GetNextDlgTabItem(m.window, m.accept_box, FALSE), m.skip_crc_box);
  EXPECT_EQ(GetNextDlgTabItem(m.window, m.skip_crc_box, FALSE), m.help_button);
  // The log box, created after the install panel, comes next.
  EXPECT_EQ(GetNextDlgTabItem(m.window, m.help_button, FALSE), m.log_box);
  RECT client;
  GetClientRect(m.window, &client);
  EXPECT_EQ(client.right, 663);
  EXPECT_EQ(client.bottom, 446);
  RECT outer;
  GetWindowRect(m.window, &outer);
  EXPECT_NEAR((outer.left + outer.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((outer.top + outer.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  auto rect_in_main = [&](HWND c) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, m.window, reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  RECT banner = rect_in_main(m.banner), log = rect_in_main(m.log_box),
       panel = rect_in_main(m.install_panel);
  EXPECT_EQ(banner.top, 0);
  EXPECT_EQ(banner.bottom, 23);
  EXPECT_EQ(log.top, 23);
  EXPECT_EQ(log.bottom, panel.top);
  EXPECT_EQ(panel.bottom, 446);
  EXPECT_EQ(panel.bottom - panel.top, 147);

  m.ShowProgress();
  RECT progress = rect_in_main(m.progress);
  log = rect_in_main(m.log_box);
  EXPECT_EQ(progress.bottom, panel.top);
  EXPECT_EQ(progress.bottom - progress.top, 22);
  EXPECT_EQ(log.bottom, progress.top);
  RECT path = rect_in_main(m.path_box);
  EXPECT_EQ(path.left, 29);
  EXPECT_EQ(path.top, panel.top + 29);
  EXPECT_EQ(path.right - path.left, 425);
}

TEST_F(HollinWindow, ControlColours) {
  MainWindow& m = M();
  HDC dc = CreateCompatibleDC(nullptr);
  struct Case {
    HWND control;
    const char* name;
    COLORREF text;
    bool check_back;
    COLORREF back;
  } cases[] = {
      {m.banner, "banner", RGB(255, 0, 0), true, RGB(0, 255, 0)},
      {m.accept_box, "accept", RGB(255, 0, 0), true, GetSysColor(8)},
      {m.skip_crc_box, "skip", RGB(255, 0, 255), false, 0},
      {m.path_box, "path", RGB(0, 0, 255), true, GetSysColor(5)},
      {m.crc_good_label, "good", RGB(255, 0, 0), false, 0},
      {m.crc_bad_label, "bad", RGB(255, 0, 0), false, 0},
      {m.maker_label, "maker", RGB(0, 0, 255), false, 0},
      {m.label7, "label7", RGB(255, 255, 255), false, 0},
      {m.file_list, "file list", GetSysColor(3), true, GetSysColor(5)},
  };
  for (const Case& c : cases) {
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    UINT msg = c.control == m.path_box ? WM_CTLCOLOREDIT : WM_CTLCOLORSTATIC;
    SendMessageA(GetParent(c.control), msg, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(c.control));
    EXPECT_EQ(GetTextColor(dc), c.text) << c.name;
    if (c.check_back) {
      EXPECT_EQ(GetBkColor(dc), c.back) << c.name;
    }
  }
  DeleteDC(dc);
}

// The backdrop painted into a bitmap: every row has its band's colour.
TEST_F(HollinWindow, BackdropBandsPixelByPixel) {
  struct Case {
    const char *r, *g, *b;
    int height;
  } cases[] = {{"0", "0", "999", 512}, {"999", "999", "999", 300}, {"10", "20", "30", 200},
               {"0", "999", "0", 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.r) + "," + c.g + "," + c.b);
    MainWindow& m = M();
    m.SetText(m.label7, c.r);
    m.SetText(m.label8, c.g);
    m.SetText(m.label9, c.b);
    m.SetText(m.maker_label, "");
    Backdrop().product_title = "";
    const int width = 64;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -c.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_TRUE(bitmap);
    HGDIOBJ old = SelectObject(dc, bitmap);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int k = 0; k < width * c.height; ++k) pixels[k] = 0x00FF00FF;  // never a band colour here
    PaintBackdrop(dc, width, c.height, width + 8, c.height + 30);
    GdiFlush();
    std::vector<Band> bands = GradientBands(c.height, ParseLabelInteger(c.r),
                                            ParseLabelInteger(c.g), ParseLabelInteger(c.b));
    for (const Band& band : bands) {
      for (int y = band.top; y < band.bottom; ++y) {
        uint32_t px = pixels[y * width + width / 2];
        COLORREF got = RGB((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF);
        ASSERT_EQ(got, band.colour) << "row " << y;
      }
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
}

// The real backdrop window on the screen: maximised, disabled, titled, painted.
TEST_F(HollinWindow, BackdropWindowOnScreen) {
  PackagePlan plan = test::BasicPlan("Screen Title");
  plan.maker_notice = "";
  Installer i = Pack("screen.exe", plan);
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  ASSERT_TRUE(BuildBackdropWindow("", true));
  HWND b = Backdrop().window;
  EXPECT_TRUE(IsWindowVisible(b));
  EXPECT_TRUE(IsZoomed(b));
  EXPECT_FALSE(IsWindowEnabled(b));
  char caption[256] = {};
  GetWindowTextA(b, caption, sizeof caption);
  EXPECT_STREQ(caption, "Screen Title");
  EXPECT_EQ(Backdrop().product_title, "Screen Title");
  test::Pump(300);
  RECT client;
  GetClientRect(b, &client);
  RedrawWindow(b, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  HDC dc = GetDC(b);
  COLORREF top = GetPixel(dc, client.right - 3, 1);
  COLORREF bottom = GetPixel(dc, 3, client.bottom - 1);
  ReleaseDC(b, dc);
  EXPECT_EQ(top, RGB(0, 0, 255));
  EXPECT_EQ(bottom, RGB(0, 0, 0));
}

}  // namespace
}  // namespace hollin

namespace hollin {
namespace {

TEST_F(HollinWindow, CorruptBlockSetsTheCaption) {
  Installer i = Pack("caption.exe", test::BasicPlan("Caption"));
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  std::vector<uint8_t> block = {100, 0, 0, 0, 0x78, 0xDA, 0xFF, 0xFF, 0xFF};  // U = 100, bad data
  MemoryStream source(block), dest;
  EXPECT_TRUE(DecodeBlock(source, dest).failed());
  EXPECT_EQ(M().Text(M().window), "zlib decompress error");
}

// The log box's right click opens the reading menu (closed again by a timer).
bool g_menu_seen = false;
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND menu = FindWindowA("#32768", nullptr);
  g_menu_seen = menu && IsWindowVisible(menu);
  EndMenu();
}

TEST_F(HollinWindow, RightClickOnTheLogBoxShowsTheReadingMenu) {
  MainWindow& m = M();
  ASSERT_TRUE(m.reading_menu);
  EXPECT_GT(GetMenuItemCount(m.reading_menu), 0);
  ShowWindow(m.window, SW_SHOW);
  g_menu_seen = false;
  SetTimer(nullptr, 0, 300, CloseMenu);
  MSGFILTER filter = {};
  filter.nmhdr.hwndFrom = m.log_box;
  filter.nmhdr.idFrom = GetDlgCtrlID(m.log_box);
  filter.nmhdr.code = EN_MSGFILTER;
  filter.msg = WM_RBUTTONUP;
  LRESULT swallowed =
      SendMessageA(m.window, WM_NOTIFY, filter.nmhdr.idFrom, reinterpret_cast<LPARAM>(&filter));
  EXPECT_EQ(swallowed, 1);
  EXPECT_TRUE(g_menu_seen);
}

// The installer that hollin-pack made from tests/hollin/fixtures/packed.ini.
TEST_F(HollinWindow, InstallerPackedByThePacker) {
  const char* dir = std::getenv("VELLUMO_BINARY_DIR");
  std::string path =
      test::WindowsPath(std::string(dir ? dir : "") + "/tests/hollin/packed-fixture.exe");
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "no packed fixture (configure with VELLUMO_NATIVE_BUILD_DIR)";
  Installer stub = Pack("stub-offset.exe", test::BasicPlan("x"));
  ASSERT_EQ(RunStartup(path, stub.package_offset, ""), StartupOutcome::kRunMessageLoop);
  MainWindow& m = M();
  EXPECT_EQ(m.Text(m.window), "Packed Fixture 2.1");
  EXPECT_TRUE(Shown(m.crc_good_label));
  EXPECT_EQ(m.label7_colour, RGB(255, 255, 0));
  EXPECT_EQ(m.Text(m.label7), "999");
  EXPECT_NE(m.Text(m.log_box).find("Second line of the licence"), std::string::npos);
  EXPECT_EQ(m.Text(m.maker_label), "packed by the window tests");
  std::string folder = m.Text(m.path_box);
  EXPECT_GE(folder.size(), 15u);
  EXPECT_EQ(folder.substr(folder.size() - 15), "\\Packed Fixture") << folder;
  EXPECT_EQ(Startup().uninstall_key, "HollinPackedFixture");
  // The reading mode lists both packaged files.
  m.Click(m.view_button);
  EXPECT_EQ(SendMessageA(m.file_list, CB_GETCOUNT, 0, 0), 2);
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  DWORD size = GetFileSize(file, nullptr), got = 0;
  bytes.resize(size);
  if (size && !ReadFile(file, bytes.data(), size, &got, nullptr)) got = 0;
  bytes.resize(got);
  CloseHandle(file);
  return bytes;
}

std::vector<uint8_t> Unpacked(const PackedFile& file) {
  MemoryStream source(file.block), dest;
  DecodeBlock(source, dest);
  return dest.bytes();
}

// Setup pumps messages between files and inside every block. Every command that would
// disturb it arrives meanwhile, again and again: View, the reading menu and the file list,
// the accept area, Browse, the skip-CRC box, a second Setup, the close box. All are ignored:
// the files, the uninstaller and the window end as after an undisturbed install.
TEST_F(HollinWindow, CommandsDuringSetupAreIgnoredAndTheInstallIsWhole) {
  const std::string folder = test::ScratchFolder() + "\\Busy";
  PackagePlan plan = ContainedPlan("Busy");
  std::vector<PackedFile> files = {test::SampleFile("a.bin", 3u << 20), test::SampleFile("sub\\b.bin", 3u << 20),
                                   test::SampleFile("c.bin", 2u << 20), test::SampleFile("d.txt", 5000)};
  Installer i = Pack("busy.exe", plan, files);
  ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
  MainWindow& m = M();
  ShowWindow(m.window, SW_SHOW);
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\sub").c_str(), nullptr);
  test::WriteBytes(folder + "\\sub\\b.bin", {1, 2, 3});  // another CRC: overwritten
  m.Click(m.accept_area);
  ASSERT_TRUE(On(m.setup_button));

  struct Post {
    UINT msg;
    WPARAM wp;
    HWND control;
  };
  const Post posts[] = {
      {WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), m.view_button},
      {WM_COMMAND, MAKEWPARAM(0, STN_CLICKED), m.accept_area},
      {WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), m.browse_button},
      {WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), m.skip_crc_box},
      {WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), m.setup_button},
      {WM_COMMAND, MAKEWPARAM(40010, 0), nullptr},  // "-->"
      {WM_COMMAND, MAKEWPARAM(40000, 0), nullptr},  // Return
      {WM_COMMAND, MAKEWPARAM(40015, 0), nullptr},  // Extract Current File
      {WM_COMMAND, MAKEWPARAM(40002, 0), nullptr},  // font size
      {WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), m.file_list},
      {WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), m.next_button},
      {WM_CLOSE, 0, nullptr},
  };
  test::BoxWatchdog watchdog(IDCANCEL);
  std::atomic<bool> running{true};
  std::atomic<int> posted{0};
  HWND window = m.window;
  std::thread poster([&] {
    for (size_t n = 0; running; ++n) {
      const Post& p = posts[n % (sizeof posts / sizeof posts[0])];
      PostMessageA(window, p.msg, p.wp, reinterpret_cast<LPARAM>(p.control));
      ++posted;
      Sleep(1);
    }
  });
  m.Click(m.setup_button);
  running = false;
  poster.join();
  // Commands still queued would now run, rightly: they are dropped unread.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE) ||
         PeekMessageA(&msg, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE)) {
  }
  test::Pump(100);
  EXPECT_GT(posted.load(), 20);

  for (const PackedFile& f : files) EXPECT_EQ(FileBytes(folder + "\\" + f.name), Unpacked(f)) << f.name;
  test::Installer expected = test::WriteUninstaller("busy-uninstall.exe", plan, files);
  EXPECT_EQ(FileBytes(folder + "\\uninstall.exe"), expected.bytes);
  EXPECT_EQ(m.Text(m.setup_button), "exit");
  EXPECT_TRUE(On(m.setup_button));
  EXPECT_TRUE(m.Checked(m.accept_box));
  EXPECT_FALSE(m.Checked(m.skip_crc_box));
  EXPECT_TRUE(Shown(m.install_panel));
  EXPECT_FALSE(Shown(m.nav_bar));
  EXPECT_EQ(m.Text(m.path_box), folder + "\\");
  EXPECT_EQ(g_end_calls, 0);
  EXPECT_TRUE(watchdog.boxes().empty());
  for (HWND c : {m.view_button, m.accept_area, m.skip_crc_box, m.browse_button, m.file_list})
    EXPECT_TRUE(On(c));
}

void CutTheLastBlock(std::vector<uint8_t>& bytes) { bytes.resize(bytes.size() - 200); }

// A run that stops (" is bad") leaves Setup enabled exactly when the licence is accepted.
TEST_F(HollinWindow, AfterAStoppedRunSetupFollowsTheAcceptBox) {
  struct Case {
    const char* name;
    UINT msg;
    WPARAM wp;
    bool accepted;
  } cases[] = {
      {"the accept area clicked during the run", WM_COMMAND, MAKEWPARAM(0, STN_CLICKED), true},
      {"the accept box unticked during the run", BM_SETCHECK, BST_UNCHECKED, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DestroyWindows();
    ASSERT_TRUE(BuildMainWindow());
    Installer i = Pack("stops.exe", ContainedPlan("Stops"),
                       {test::SampleFile("a.bin", 100000), test::SampleFile("b.bin", 100000)},
                       CutTheLastBlock);
    ASSERT_EQ(Start(i), StartupOutcome::kRunMessageLoop);
    MainWindow& m = M();
    m.Click(m.accept_area);
    if (c.msg == WM_COMMAND)
      PostMessageA(m.window, c.msg, c.wp, reinterpret_cast<LPARAM>(m.accept_area));
    else
      PostMessageA(m.accept_box, c.msg, c.wp, 0);
    m.Click(m.setup_button);
    EXPECT_NE(m.Text(m.log_box).find("b.bin is bad"), std::string::npos);
    EXPECT_EQ(m.Text(m.setup_button), "Setup");
    EXPECT_EQ(m.Checked(m.accept_box), c.accepted);
    EXPECT_EQ(On(m.setup_button), c.accepted);
    EXPECT_EQ(On(m.browse_button), c.accepted);
    EXPECT_EQ(On(m.path_box), c.accepted);
  }
}

}  // namespace
}  // namespace hollin
