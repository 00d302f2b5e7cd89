// Start-up's and the windows' decisions: switches, self-check rule, banner number, default
// folder, colour names, label integers, gradient bands and the alignment layout.
#include <gtest/gtest.h>

#include "installer/package/package_format.h"

#include <set>

#include "installer/package/win/startup_rules.h"
#include "installer/ui/win/window_rules.h"

namespace hollin {
namespace {

TEST(StartSwitches, ExactCaseAndOnlyForTheirOwnProgram) {
  struct Case {
    const char* arg;
    bool uninstaller;
    StartSwitch expected;
  } cases[] = {
      {"/a", false, StartSwitch::kAutoInstall}, {"/v", false, StartSwitch::kView},
      {"/c", false, StartSwitch::kSkipCheck},   {"/u", false, StartSwitch::kNone},
      {"/A", false, StartSwitch::kNone},        {"/V", false, StartSwitch::kNone},
      {"/a ", false, StartSwitch::kNone},       {"", false, StartSwitch::kNone},
      {"/u", true, StartSwitch::kAutoUninstall}, {"/U", true, StartSwitch::kNone},
      {"/a", true, StartSwitch::kNone},         {"/v", true, StartSwitch::kNone},
      {"/c", true, StartSwitch::kNone},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecideSwitch(c.arg, c.uninstaller), c.expected) << c.arg << " " << c.uninstaller;
}

TEST(SelfCheck, RunsOnlyInTheInstallerWhenAskedAndNotSkipped) {
  EXPECT_TRUE(SelfCheckApplies(false, true, ""));
  EXPECT_TRUE(SelfCheckApplies(false, true, "/v"));
  EXPECT_TRUE(SelfCheckApplies(false, true, "/C"));  // upper case is no switch
  EXPECT_FALSE(SelfCheckApplies(false, true, "/c"));
  EXPECT_FALSE(SelfCheckApplies(false, true, "/a"));
  EXPECT_FALSE(SelfCheckApplies(false, false, ""));
  EXPECT_FALSE(SelfCheckApplies(true, true, ""));
  EXPECT_FALSE(SelfCheckApplies(true, true, "/u"));
  EXPECT_FALSE(SelfCheckNoticeApplies(100u * 1048576u + 1048575u));
  EXPECT_TRUE(SelfCheckNoticeApplies(101u * 1048576u));
}

TEST(UnpackSpace, MegabytesAreShiftedPlusOne) {
  struct Case {
    uint32_t bytes, mb;
  } cases[] = {{0, 1}, {336499, 1}, {1048575, 1}, {1048576, 2}, {0xFFFFFFFFu, 4096}};
  for (const Case& c : cases) EXPECT_EQ(UnpackSpaceMegabytes(c.bytes), c.mb) << c.bytes;
  EXPECT_EQ(BannerWithUnpackSpace("Hi", 1048576), "Hi total unpack space is need 2 mb");
}

TEST(DefaultFolder, ProgramFilesEarlierInstallAndFallback) {
  struct Case {
    const char* name;
    DefaultFolderInputs in;
    const char* expected;
  } cases[] = {
      {"no record: Program Files itself", {false, "", "C:\\Program Files", "", ""},
       "C:\\Program Files\\"},
      {"separator not doubled", {false, "", "C:\\Program Files\\", "", ""}, "C:\\Program Files\\"},
      {"folder name under Program Files", {true, "App", "C:\\Program Files", "", ""},
       "C:\\Program Files\\App"},
      {"absolute path stays", {true, "D:\\App", "C:\\Program Files", "", ""}, "D:\\App"},
      {"two characters stay", {true, "Ab", "C:\\Program Files", "", ""}, "Ab"},
      {"three characters do not", {true, "Abc", "C:\\PF", "", ""}, "C:\\PF\\Abc"},
      {"unreadable Program Files keeps the proposal", {true, "App", "", "", ""}, "App"},
      {"nothing at all", {false, "", "", "", ""}, "c:\\"},
      {"earlier install wins", {true, "D:\\App", "C:\\PF", "Key", "E:\\Old\\App\\uninstall.exe"},
       "E:\\Old\\App\\"},
      {"earlier install folder by colon", {true, "App", "C:\\PF", "Key", "E:uninstall.exe"},
       "E:"},
      {"earlier install without folder part", {true, "App", "C:\\PF", "Key", "uninstall.exe"},
       "C:\\PF\\App"},
      {"no key name: value ignored", {true, "App", "C:\\PF", "", "E:\\Old\\u.exe"}, "C:\\PF\\App"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecideDefaultFolder(c.in), c.expected) << c.name;
}

TEST(ColourNames, ExactCaseSensitiveTable) {
  struct Case {
    const char* name;
    bool found, system;
    uint32_t value;
  } cases[] = {
      {"clwhite", true, false, 0xFFFFFF},   {"clgreen", true, false, 0x008000},
      {"clred", true, false, 0x0000FF},     {"clblue", true, false, 0xFF0000},
      {"cllime", true, false, 0x00FF00},    {"clyellow", true, false, 0x00FFFF},
      {"clcream", true, false, 0xF0FBFF},   {"clskyblue", true, false, 0xF0CAA6},
      {"claqua", true, false, 0xFFFF00},    {"clmoneygreen", true, false, 0xC0DCC0},
      {"clfuchsia", true, false, 0xFF00FF}, {"clsilver", true, false, 0xC0C0C0},
      {"clinfobk", true, true, 24},         {"clblack", true, false, 0x000000},
      {"ClRed", false, false, 0},           {"clred ", false, false, 0},
      {"", false, false, 0},
  };
  for (const Case& c : cases) {
    NamedColour got = ColourByName(c.name);
    EXPECT_EQ(got.found, c.found) << c.name;
    EXPECT_EQ(got.system, c.system) << c.name;
    EXPECT_EQ(got.value, c.value) << c.name;
  }
}

TEST(LabelIntegers, SignDigitsAndStop) {
  struct Case {
    const char* text;
    int value;
  } cases[] = {{"999", 999}, {"0", 0},     {"+12", 12}, {"-7", -7},   {"12abc", 12},
               {"abc", 0},   {"", 0},      {" 5", 0},   {"-", 0},     {"+-3", 0},
               {"0999", 999}, {"99999999999999", 2147483647}, {"-99999999999999", -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(ParseLabelInteger(c.text), c.value) << c.text;
}

TEST(GradientBands, BlueTopToBlackBottomIn256Bands) {
  std::vector<Band> bands = GradientBands(512, 0, 0, 999);
  ASSERT_EQ(bands.size(), 256u);
  EXPECT_EQ(bands.front().colour, 0xFF0000u);  // pure blue
  EXPECT_EQ(bands.back().colour, 0x000000u);
  for (size_t i = 0; i < bands.size(); ++i) {
    EXPECT_EQ(bands[i].top, static_cast<int>(2 * i));
    EXPECT_EQ(bands[i].bottom, static_cast<int>(2 * i + 2));
    EXPECT_EQ(bands[i].colour, static_cast<uint32_t>(255 - i) << 16);
  }
  std::vector<Band> white = GradientBands(256, 999, 999, 999);
  EXPECT_EQ(white.front().colour, 0xFFFFFFu);
  EXPECT_EQ(white[1].colour, 0xFEFEFEu);
  std::vector<Band> flat = GradientBands(300, 10, 20, 30);
  std::set<uint32_t> colours;
  for (const Band& b : flat) colours.insert(b.colour);
  EXPECT_EQ(colours, std::set<uint32_t>{0x1E140Au});
}

TEST(GradientBands, HalvesRoundToEvenAndEveryRowIsCovered) {
  // 640 / 256 = 2.5: band edges 0, 2 (2.5), 5, 8 (7.5), 10, ...
  std::vector<Band> bands = GradientBands(640, 0, 999, 0);
  EXPECT_EQ(bands[0].top, 0);
  EXPECT_EQ(bands[0].bottom, 2);
  EXPECT_EQ(bands[1].top, 2);
  EXPECT_EQ(bands[1].bottom, 5);
  EXPECT_EQ(bands[2].bottom, 8);
  EXPECT_EQ(bands[3].bottom, 10);
  for (int height : {1, 37, 100, 255, 256, 257, 640, 1001}) {
    std::vector<Band> b = GradientBands(height, 1, 2, 999);
    EXPECT_EQ(b.front().top, 0);
    EXPECT_EQ(b.back().bottom, height);
    for (size_t i = 1; i < b.size(); ++i) EXPECT_EQ(b[i].top, b[i - 1].bottom) << height;
    std::vector<bool> painted(height, false);
    for (const Band& band : b)
      for (int y = band.top; y < band.bottom; ++y) painted[y] = true;
    for (int y = 0; y < height; ++y) EXPECT_TRUE(painted[y]) << height << " row " << y;
  }
}

TEST(Layout, AlignmentInCreationOrder) {
  LayoutInput install{663, 446, true, false, true, false};
  Layout l = ComputeLayout(install);
  EXPECT_EQ(l.banner.top, 0);
  EXPECT_EQ(l.banner.height, 23);
  EXPECT_EQ(l.install_panel.top, 446 - 147);
  EXPECT_EQ(l.log_box.top, 23);
  EXPECT_EQ(l.log_box.height, 446 - 147 - 23);
  EXPECT_EQ(l.log_box.width, 663);

  LayoutInput installing{663, 446, true, false, true, true};
  l = ComputeLayout(installing);
  EXPECT_EQ(l.progress.top, 446 - 147 - 22);  // just above the install panel
  EXPECT_EQ(l.log_box.height, 446 - 147 - 22 - 23);

  LayoutInput reading{800, 600, false, true, false, false};
  l = ComputeLayout(reading);
  EXPECT_EQ(l.nav_bar.top, 600 - 31);
  EXPECT_EQ(l.log_box.top, 0);
  EXPECT_EQ(l.log_box.height, 600 - 31);

  LayoutInput tiny{100, 50, true, true, true, true};
  l = ComputeLayout(tiny);
  EXPECT_EQ(l.log_box.height, 0);  // never negative
}

TEST(Texts, HelpLinesJoinedByCrLfAndLicenceLines) {
  EXPECT_EQ(HelpText(),
            "install app use paramst /a autoinstall\r\n"
            "/v start goto view model,/c skip crccheck\r\n"
            "uninstall.exe supports /u autouninstall iteself\r\n"
            "if repaire or update a software please choose the old location\r\n"
            "update a software is not necessary uninstall old version");
  EXPECT_EQ(LicenceLogText("a\r\nb\nc"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(LicenceLogText(""), "");
  EXPECT_EQ(LicenceLogText("\r\r\n\n"), "\r\n\r\n\r\n");
  // Up to the first NUL; what the log box shows of a long licence is bounded by the box
  // (see the shown-text tests), so every line end is converted.
  EXPECT_EQ(LicenceLogText(std::string("a\nb\0c\n", 6)), "a\r\nb\r\n");
  EXPECT_EQ(LicenceLogText(std::string(6000, '\n')), [] {
    std::string ends;
    for (int i = 0; i < 6000; ++i) ends += "\r\n";
    return ends;
  }());
}

}  // namespace
}  // namespace hollin
