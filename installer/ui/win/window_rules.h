// The main and backdrop windows' decisions as plain functions (no Windows calls): title
// colour by name, the labels' integer texts, the backdrop's gradient bands, the alignment
// layout and the help text. Colours are 0x00BBGGRR values.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace hollin {

struct NamedColour {
  bool found = false;
  bool system = false;    // true: `value` is a system-colour index
  uint32_t value = 0;
};
// Exact, case-sensitive lookup in the colour-name table (first match wins).
NamedColour ColourByName(const std::string& name);

// Optional "-" or "+", then decimal digits up to the first non-digit; no digits give 0.
// Values beyond the int range saturate.
int ParseLabelInteger(const std::string& text);

// A component that reads exactly this follows the gradient step.
constexpr int kGradientComponent = 999;
constexpr int kBandCount = 256;

struct Band {
  int top, bottom;   // rows [top, bottom); left is 0, right the client width
  uint32_t colour;   // 0x00BBGGRR
};
// The 256 bands from the top of a client area `height` pixels high to its bottom.
std::vector<Band> GradientBands(int height, int r, int g, int b);

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
};
struct LayoutInput {
  int width = 0, height = 0;  // client area
  bool banner = true, nav_bar = false, install_panel = true, progress = false;
};
struct Layout {
  Rect banner, nav_bar, install_panel, log_box, progress;
};
constexpr int kBannerHeight = 23;
constexpr int kNavBarHeight = 31;
constexpr int kInstallPanelHeight = 147;
constexpr int kProgressHeight = 22;
// Alignment in creation order: banner at the top; navigation bar, install panel and
// progress bar stacked upwards from the bottom; the log box fills the rest. Hidden
// controls take no room.
Layout ComputeLayout(const LayoutInput& in);

// The help box text: its lines joined by CR LF.
std::string HelpText();

// Lines each followed by CR LF, as the log box is given a packaged licence: up to its first
// NUL (the box shows no more of it than ShownText lets through).
std::string LicenceLogText(const std::string& licence);

}  // namespace hollin
