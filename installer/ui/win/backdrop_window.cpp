// The backdrop: a disabled, maximised window behind the main window, painted with the
// package's colour gradient, the product title and the maker notice.
#include <windows.h>

#include "common/win/handles.h"
#include "installer/ui/win/main_window.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/texts.h"
#include "installer/ui/win/window_rules.h"

namespace hollin {

void DestroyMainWindowOnly();  // main_window.cpp

namespace {

constexpr char kBackdropClass[] = "HollinBackdrop";
BackdropWindow g_backdrop;

vellumo::win::GdiObject MakeFont(int height, int width, bool bold) {
  return vellumo::win::GdiObject(CreateFontA(height, width, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                                             FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                             DEFAULT_QUALITY, DEFAULT_PITCH, "Arial"));
}

void PaintWindow(HWND wnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(wnd, &ps);
  // Nothing is painted while the uninstaller's button shows.
  if (dc && !Main().Visible(Main().uninstall_button)) {
    RECT client, outer;
    GetClientRect(wnd, &client);
    GetWindowRect(wnd, &outer);
    PaintBackdrop(dc, client.right, client.bottom, outer.right - outer.left,
                  outer.bottom - outer.top);
  }
  EndPaint(wnd, &ps);
}

LRESULT CALLBACK BackdropProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      PaintWindow(wnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the bands cover the whole client area
    case WM_SIZE:
      InvalidateRect(wnd, nullptr, FALSE);
      return 0;
    case WM_CLOSE:
      return 0;  // only the main window ends the program
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

BackdropWindow& Backdrop() { return g_backdrop; }

void PaintBackdrop(HDC dc, int client_width, int client_height, int window_width,
                   int window_height) {
  MainWindow& m = Main();
  int r = ParseLabelInteger(m.Text(m.label7));
  int g = ParseLabelInteger(m.Text(m.label8));
  int b = ParseLabelInteger(m.Text(m.label9));
  for (const Band& band : GradientBands(client_height, r, g, b)) {
    RECT rect = {0, band.top, client_width, band.bottom};
    vellumo::win::GdiObject brush(CreateSolidBrush(band.colour));
    FillRect(dc, &rect, static_cast<HBRUSH>(brush.get()));
  }

  vellumo::win::GdiObject title_font = MakeFont(44, 44, true);
  HGDIOBJ old_font = SelectObject(dc, title_font.get());
  int old_mode = SetBkMode(dc, TRANSPARENT);
  COLORREF old_colour = SetTextColor(dc, m.label7_colour);
  std::string title = g_backdrop.product_title;
  RECT title_rect = {10, 10, window_width, window_height / 2};
  DrawTextA(dc, title.c_str(), static_cast<int>(title.size()), &title_rect,
            DT_WORDBREAK | DT_NOPREFIX);

  vellumo::win::GdiObject notice_font = MakeFont(14, 14, false);
  SelectObject(dc, notice_font.get());
  std::string notice = m.Text(m.maker_label);
  RECT notice_rect = {10, window_height - 50, window_width, window_height};
  DrawTextA(dc, notice.c_str(), static_cast<int>(notice.size()), &notice_rect,
            DT_NOPREFIX | DT_WORDBREAK | DT_BOTTOM | DT_RIGHT);

  SetTextColor(dc, old_colour);
  SetBkMode(dc, old_mode);
  SelectObject(dc, old_font);
}

bool BuildBackdropWindow(const std::string& first_argument, bool show) {
  static bool registered = false;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!registered) {
    WNDCLASSA cls = {};
    cls.lpfnWndProc = BackdropProc;
    cls.hInstance = instance;
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    cls.lpszClassName = kBackdropClass;
    if (!RegisterClassA(&cls)) return false;
    registered = true;
  }
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_DISABLED;
  RECT frame = {170, 69, 170 + 808, 69 + 606};
  AdjustWindowRectEx(&frame, style, FALSE, 0);
  g_backdrop.window = CreateWindowExA(0, kBackdropClass, texts::kWindowCaption, style, frame.left,
                                      frame.top, frame.right - frame.left,
                                      frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
  if (!g_backdrop.window) return false;

  MainWindow& m = Main();
  bool hidden = m.Visible(m.uninstall_button);
  bool minimised = first_argument == "/v";
  if (g_backdrop.product_title.empty()) g_backdrop.product_title = m.Text(m.window);
  SetWindowTextA(g_backdrop.window, g_backdrop.product_title.c_str());
  if (show && !hidden) {
    ShowWindow(g_backdrop.window, minimised ? SW_SHOWMINNOACTIVE : SW_SHOWMAXIMIZED);
    UpdateWindow(g_backdrop.window);
  }
  return true;
}

void DestroyWindows() {
  if (g_backdrop.window) DestroyWindow(g_backdrop.window);
  g_backdrop = BackdropWindow();
  DestroyMainWindowOnly();
}

}  // namespace hollin
