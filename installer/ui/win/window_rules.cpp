#include "installer/ui/win/window_rules.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "installer/package/file_list.h"
#include "installer/package/package_format.h"
#include "installer/ui/win/texts.h"

namespace hollin {
namespace {

struct ColourName {
  const char* name;
  bool system;
  uint32_t value;
};
constexpr ColourName kColourNames[] = {
    {"clwhite", false, 0xFFFFFF},   {"clgreen", false, 0x008000},
    {"clred", false, 0x0000FF},     {"clblue", false, 0xFF0000},
    {"cllime", false, 0x00FF00},    {"clyellow", false, 0x00FFFF},
    {"clcream", false, 0xF0FBFF},   {"clskyblue", false, 0xF0CAA6},
    {"claqua", false, 0xFFFF00},    {"clmoneygreen", false, 0xC0DCC0},
    {"clfuchsia", false, 0xFF00FF}, {"clsilver", false, 0xC0C0C0},
    {"clinfobk", true, 24},         {"clblack", false, 0x000000},
};

uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(r & 0xFF) | (static_cast<uint32_t>(g & 0xFF) << 8) |
         (static_cast<uint32_t>(b & 0xFF) << 16);
}

// Nearest integer, halves to the even neighbour (the default rounding mode).
int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

NamedColour ColourByName(const std::string& name) {
  for (const ColourName& c : kColourNames) {
    if (name == c.name) return {true, c.system, c.value};
  }
  return {};
}

int ParseLabelInteger(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

std::vector<Band> GradientBands(int height, int r, int g, int b) {
  std::vector<Band> bands;
  bands.reserve(kBandCount);
  double h = static_cast<double>(height) / kBandCount;
  double y = 0.0;
  for (int n = kBandCount - 1; n >= 0; --n) {
    int br = r == kGradientComponent ? n : r;
    int bg = g == kGradientComponent ? n : g;
    int bb = b == kGradientComponent ? n : b;
    bands.push_back({RoundHalfEven(y), RoundHalfEven(y + h), Rgb(br, bg, bb)});
    y += h;
  }
  return bands;
}

Layout ComputeLayout(const LayoutInput& in) {
  Layout out;
  int top = 0, bottom = in.height;
  auto take_bottom = [&](bool visible, int height, Rect* r) {
    if (!visible) return;
    *r = {0, bottom - height, in.width, height};
    bottom -= height;
  };
  if (in.banner) {
    out.banner = {0, 0, in.width, kBannerHeight};
    top = kBannerHeight;
  }
  take_bottom(in.nav_bar, kNavBarHeight, &out.nav_bar);
  take_bottom(in.install_panel, kInstallPanelHeight, &out.install_panel);
  take_bottom(in.progress, kProgressHeight, &out.progress);
  out.log_box = {0, top, in.width, bottom > top ? bottom - top : 0};
  return out;
}

std::string HelpText() {
  std::string text;
  for (const char* line : texts::kHelpLines) {
    if (!text.empty()) text += "\r\n";
    text += line;
  }
  return text;
}

std::string LicenceLogText(const std::string& licence) {
  // Converted in one pass, not through a list of lines: a licence of nothing but line ends
  // would otherwise build millions of strings. The log box bounds what it is given.
  std::string text;
  bool open_line = false;
  for (size_t i = 0; i < licence.size() && licence[i] != '\0'; ++i) {
    char c = licence[i];  // the text ends at its first NUL, as a window text does
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < licence.size() && licence[i + 1] == '\n') ++i;
      text += "\r\n";
      open_line = false;
    } else {
      text += c;
      open_line = true;
    }
  }
  if (open_line) text += "\r\n";
  return text;
}

}  // namespace hollin
