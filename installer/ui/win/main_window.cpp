// Hollin's main window: creation of every control in its fixed order, the alignment layout,
// the control colours, and the window's own small actions (accept toggle, folder choice,
// help box, link opening, close). The heavy actions are handed to their procedures.
#include "installer/ui/win/main_window.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <ole2.h>
#include <richedit.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>

#include "common/win/dll_search.h"
#include "common/win/system_calls.h"
#include "common/win/handles.h"
#include "installer/package/block.h"
#include "installer/package/message_pump.h"
#include "installer/package/package_format.h"
#include "installer/ui/shown_text.h"
#include "installer/ui/win/install_adapter.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/texts.h"
#include "installer/ui/win/window_rules.h"

#include "installer/ui/win/reading_mode.h"

namespace late = vellumo::win::late;

namespace hollin {
namespace {

constexpr char kMainClass[] = "HollinMainWindow";
constexpr char kPanelClass[] = "HollinPanel";

constexpr COLORREF kLime = RGB(0, 255, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kFuchsia = RGB(255, 0, 255);

constexpr int kClientWidth = 663;
constexpr int kClientHeight = 446;
constexpr int kLabelHeight = 13;
constexpr int kButtonHeight = 25;
constexpr int kButtonWidth = 75;
constexpr int kCheckHeight = 17;
constexpr int kEditHeight = 21;
constexpr int kNavButtonWidth = 49;
constexpr int kFileListDropHeight = 300;

enum ControlId : int {
  kIdLabel9 = 101, kIdLabel8, kIdLabel7, kIdBanner, kIdNavBar, kIdPrevButton, kIdNextButton,
  kIdFileList, kIdInstallPanel, kIdMakerLabel, kIdCrcGoodLabel, kIdAcceptArea, kIdCrcBadLabel,
  kIdBrowseButton, kIdViewButton, kIdPathBox, kIdSetupButton, kIdAcceptBox, kIdSkipCrcBox,
  kIdHelpButton, kIdUninstallButton, kIdLogBox, kIdProgress,
};

MainWindow g_main;
HFONT g_control_font = nullptr;
vellumo::win::GdiObject g_lime_brush;
vellumo::win::Library g_rich_edit_library;
bool g_ole_initialised = false;

void EndProcess(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }
EndProgramHandler g_end_program = EndProcess;

void ShellOpen(const std::string& link) {
  late::ShellExecuteA(nullptr, "open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
LinkOpener g_link_opener = ShellOpen;

std::string SystemPath(const char* file) { return vellumo::win::SystemLibraryPath(file); }

LRESULT CALLBACK PanelProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      // The panels only group controls; the main window handles their events.
      if (g_main.window) return SendMessageA(g_main.window, msg, wp, lp);
      break;
    case WM_ERASEBKGND: {
      LONG_PTR colour = GetWindowLongPtrA(wnd, GWLP_USERDATA);
      RECT r;
      GetClientRect(wnd, &r);
      if (colour) {
        vellumo::win::GdiObject brush(CreateSolidBrush(static_cast<COLORREF>(colour - 1)));
        FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(brush.get()));
      } else {
        FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_BTNFACE));
      }
      return 1;
    }
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND Create(const char* cls, const char* text, DWORD style, int x, int y, int w, int h,
            HWND parent, int id, DWORD ex_style = 0) {
  HWND wnd = CreateWindowExA(ex_style, cls, text, style | WS_CHILD, x, y, w, h, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleA(nullptr), nullptr);
  if (wnd && g_control_font) SendMessageA(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(g_control_font), FALSE);
  return wnd;
}

SIZE TextSize(HWND control, const std::string& text) {
  SIZE size = {0, 0};
  vellumo::win::WindowDC dc(control);
  if (!dc.get()) return size;
  HGDIOBJ old = SelectObject(dc.get(), g_control_font ? g_control_font : GetStockObject(DEFAULT_GUI_FONT));
  GetTextExtentPoint32A(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc.get(), old);
  return size;
}

// Labels and the skip-CRC box that are sized to their text.
void SizeLabelToText(HWND label) {
  SIZE s = TextSize(label, g_main.Text(label));
  SetWindowPos(label, nullptr, 0, 0, s.cx, s.cy > kLabelHeight ? s.cy : kLabelHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
void SizeCheckBoxToText(HWND box) {
  SIZE s = TextSize(box, g_main.Text(box));
  SetWindowPos(box, nullptr, 0, 0, s.cx + GetSystemMetrics(SM_CXMENUCHECK) + 8, kCheckHeight,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

struct ControlColours {
  bool text_set = false;
  COLORREF text = 0;
  bool back_set = false;
  COLORREF back = 0;
  HBRUSH brush = nullptr;  // background brush (not owned)
  bool transparent = false;
};

ControlColours ColoursFor(HWND control) {
  ControlColours c;
  auto text = [&](COLORREF t) { c.text_set = true; c.text = t; };
  auto back_sys = [&](int index) {
    c.back_set = true;
    c.back = GetSysColor(index);
    c.brush = GetSysColorBrush(index);
  };
  auto back_lime = [&]() {
    c.back_set = true;
    c.back = kLime;
    c.brush = static_cast<HBRUSH>(g_lime_brush.get());
  };
  const MainWindow& m = g_main;
  if (control == m.banner) {
    text(kRed);
    back_lime();
  } else if (control == m.accept_box) {
    text(kRed);
    back_sys(8);
  } else if (control == m.skip_crc_box) {
    text(kFuchsia);
    back_lime();
  } else if (control == m.path_box) {
    text(kBlue);
    back_sys(5);
  } else if (control == m.crc_good_label || control == m.crc_bad_label) {
    text(kRed);
    back_lime();
  } else if (control == m.maker_label) {
    text(kBlue);
    back_lime();
  } else if (control == m.accept_area) {
    // Lies over the accept box; drawn as nothing so the box shows through.
    c.transparent = true;
    c.brush = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  } else if (control == m.label7) {
    text(m.label7_colour);
  } else if (m.file_list && (control == m.file_list || GetParent(control) == m.file_list ||
                             GetWindow(control, GW_OWNER) == m.file_list)) {
    text(GetSysColor(3));
    back_sys(5);
  } else if (m.install_panel && GetParent(control) == m.install_panel) {
    back_lime();
  }
  return c;
}

LRESULT ControlColour(HDC dc, HWND control, LRESULT fallback) {
  ControlColours c = ColoursFor(control);
  if (c.transparent) {
    SetBkMode(dc, TRANSPARENT);
    return reinterpret_cast<LRESULT>(c.brush);
  }
  if (!c.text_set && !c.back_set) return fallback;
  if (c.text_set) SetTextColor(dc, c.text);
  if (c.back_set) {
    SetBkColor(dc, c.back);
    return reinterpret_cast<LRESULT>(c.brush);
  }
  return fallback;
}

// Accept toggle: the accept box flips, and the folder choice and Setup follow it.
void AcceptToggle() {
  MainWindow& m = g_main;
  bool accepted = !m.Checked(m.accept_box);
  m.SetChecked(m.accept_box, accepted);
  m.Enable(m.browse_button, accepted);
  m.Enable(m.setup_button, accepted);
  m.Enable(m.path_box, accepted);
}

}  // namespace

int CALLBACK CentreFolderDialog(HWND dialog, UINT msg, LPARAM, LPARAM) {
  if (msg == BFFM_INITIALIZED) {
    RECT r;
    GetWindowRect(dialog, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return 0;
}

namespace {

void ChooseFolder() {
  MainWindow& m = g_main;
  ProcedureScope scope(m);  // the dialog runs its own message loop
  if (!scope.entered()) return;
  BROWSEINFOA info = {};
  info.hwndOwner = m.window;
  info.lpszTitle = texts::kFolderDialogTitle;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = CentreFolderDialog;
  LPITEMIDLIST chosen = late::SHBrowseForFolderA(&info);
  if (!chosen) return;
  char path[MAX_PATH] = {};
  BOOL ok = late::SHGetPathFromIDListA(chosen, path);
  late::CoTaskMemFree(chosen);
  if (ok && path[0]) m.SetText(m.path_box, path);
}

void ShowHelp() {
  MessageBoxA(g_main.window, HelpText().c_str(), texts::kApplicationCaption, MB_OK);
}

void OpenLink(const ENLINK& link) {
  if (link.msg != WM_LBUTTONUP) return;
  LONG length = link.chrg.cpMax - link.chrg.cpMin;
  if (length <= 0 || length > 65536) return;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  TEXTRANGEA range;
  range.chrg = link.chrg;
  range.lpstrText = &text[0];
  LRESULT n = SendMessageA(g_main.log_box, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
  if (n <= 0) return;
  text.resize(static_cast<size_t>(n) < text.size() ? static_cast<size_t>(n) : text.size() - 1);
  if (g_link_opener) g_link_opener(text);
}

void ShowReadingMenu(int x, int y) {
  MainWindow& m = g_main;
  if (!m.reading_menu) return;
  if (x == -1 && y == -1) {
    RECT r;
    GetWindowRect(m.log_box, &r);
    x = r.left + 10;
    y = r.top + 10;
  }
  TrackPopupMenu(m.reading_menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, m.window, nullptr);
}

bool HandleControlCommand(HWND control, int code) {
  MainWindow& m = g_main;
  if (control == m.file_list) {
    if (code == CBN_SELCHANGE) OnFileListSelChange(m);  // ignored while a procedure runs
    return true;
  }
  if (code != BN_CLICKED && code != STN_CLICKED) return false;
  m.Click(control);
  return true;
}

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  MainWindow& m = g_main;
  switch (msg) {
    case WM_CLOSE:
      // Closing ends the program at once, except while a procedure runs: an install cut off
      // halfway would leave files and no uninstaller.
      if (!m.busy) EndProgram(0);
      return 0;
    case WM_SIZE:
      if (m.window == wnd) m.Relayout();
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
      LRESULT fallback = DefWindowProcA(wnd, msg, wp, lp);
      return ControlColour(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp), fallback);
    }
    case WM_COMMAND: {
      HWND control = reinterpret_cast<HWND>(lp);
      if (control && HandleControlCommand(control, HIWORD(wp))) return 0;
      if (!control && OnReadingCommand(m, LOWORD(wp))) return 0;
      break;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      if (header && header->hwndFrom == m.log_box && m.log_box) {
        if (header->code == EN_LINK) {
          OpenLink(*reinterpret_cast<ENLINK*>(lp));
          return 0;
        }
        if (header->code == EN_MSGFILTER) {
          auto* filter = reinterpret_cast<MSGFILTER*>(lp);
          if (filter->msg == WM_RBUTTONUP) {
            POINT p;
            GetCursorPos(&p);
            ShowReadingMenu(p.x, p.y);
            return 1;  // swallowed: no second menu from the control itself
          }
          return 0;
        }
      }
      break;
    }
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wp) == m.log_box) {
        ShowReadingMenu(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
        return 0;
      }
      break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

bool RegisterClasses() {
  static bool done = false;
  if (done) return true;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA main = {};
  main.lpfnWndProc = MainProc;
  main.hInstance = instance;
  main.hCursor = LoadCursor(nullptr, IDC_ARROW);
  main.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  if (!main.hIcon) main.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  main.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  main.lpszClassName = kMainClass;
  WNDCLASSA panel = {};
  panel.lpfnWndProc = PanelProc;
  panel.hInstance = instance;
  panel.hCursor = LoadCursor(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  if (!RegisterClassA(&main) || !RegisterClassA(&panel)) return false;
  done = true;
  return true;
}

// The log box: the newer rich-edit class when OLE is there, else the older one.
HWND CreateLogBox(HWND parent) {
  if (!g_ole_initialised) g_ole_initialised = SUCCEEDED(late::OleInitialize(nullptr));
  const DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                      ES_WANTRETURN | ES_NOHIDESEL;
  HWND box = nullptr;
  if (g_ole_initialised) {
    if (!g_rich_edit_library) g_rich_edit_library.reset(LoadLibraryA(SystemPath("riched20.dll").c_str()));
    box = Create("RichEdit20A", "", style, 0, 0, 10, 10, parent, kIdLogBox, WS_EX_CLIENTEDGE);
    g_main.rich_edit_20 = box != nullptr;
  }
  if (!box) {
    static vellumo::win::Library older(LoadLibraryA(SystemPath("riched32.dll").c_str()));
    box = Create("RichEdit", "", style, 0, 0, 10, 10, parent, kIdLogBox, WS_EX_CLIENTEDGE);
    g_main.rich_edit_20 = false;
  }
  if (!box) return nullptr;
  SendMessageA(box, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(kLogTextLimit));
  LRESULT options = SendMessageA(box, EM_GETLANGOPTIONS, 0, 0);
  SendMessageA(box, EM_SETLANGOPTIONS, 0, options | IMF_AUTOKEYBOARD);
  SendMessageA(box, EM_AUTOURLDETECT, TRUE, 0);
  SendMessageA(box, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
  SendMessageA(box, EM_SETEVENTMASK, 0, ENM_LINK | ENM_MOUSEEVENTS | ENM_CHANGE);
  return box;
}

// Above this many characters the log box is replaced instead of emptied: some rich-edit
// boxes (Wine's) take seconds to delete 100 KB of text and about a minute for a megabyte,
// far longer than filling them took, and a new box is there in milliseconds.
constexpr LRESULT kLongLogText = 32000;

// Puts an empty log box in the place of the present one: same class, place, stacking and
// tab position, visibility, enabled and read-only state, focus, character format and
// background. False (nothing changed) when no new box can be made.
bool ReplaceLogBox(MainWindow& m) {
  HWND old = m.log_box;
  HWND box = CreateLogBox(m.window);
  if (!box) return false;
  RECT r;
  GetWindowRect(old, &r);
  MapWindowPoints(nullptr, m.window, reinterpret_cast<POINT*>(&r), 2);
  SetWindowPos(box, old, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
  if (HFONT font = reinterpret_cast<HFONT>(SendMessageA(old, WM_GETFONT, 0, 0)))
    SendMessageA(box, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  CHARFORMATA format = {};
  format.cbSize = sizeof format;
  SendMessageA(old, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  SendMessageA(box, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  // The only way to read the background is to set it: it answers the one it had.
  SendMessageA(box, EM_SETBKGNDCOLOR, 0, SendMessageA(old, EM_SETBKGNDCOLOR, 0, 0));
  const LONG style = GetWindowLongA(old, GWL_STYLE);
  SendMessageA(box, EM_SETREADONLY, (style & ES_READONLY) != 0, 0);
  EnableWindow(box, IsWindowEnabled(old));
  if (!(style & WS_VISIBLE)) ShowWindow(box, SW_HIDE);
  const bool focused = GetFocus() == old;
  m.log_box = box;
  DestroyWindow(old);
  if (focused) SetFocus(box);
  return true;
}

}  // namespace

MainWindow& Main() { return g_main; }

void SetEndProgramHandler(EndProgramHandler handler) {
  g_end_program = handler ? handler : EndProcess;
}
void EndProgram(int exit_code) { g_end_program(exit_code); }
void SetLinkOpener(LinkOpener opener) { g_link_opener = opener; }

bool BuildMainWindow() {
  if (!RegisterClasses()) return false;
  // comctl32 is not one of the DLLs the system always maps from its own folder: by full path.
  vellumo::win::InitSystemCommonControls(ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES);
  if (!g_control_font) g_control_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (!g_lime_brush) g_lime_brush.reset(CreateSolidBrush(kLime));

  MainWindow& m = g_main;
  m = MainWindow();
  const DWORD style = WS_OVERLAPPEDWINDOW & ~WS_MINIMIZEBOX;
  RECT frame = {186, 130, 186 + kClientWidth, 130 + kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, WS_EX_CONTROLPARENT);
  m.window = CreateWindowExA(WS_EX_CONTROLPARENT, kMainClass, texts::kWindowCaption, style, frame.left, frame.top,
                             frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  if (!m.window) return false;

  // Folder dialog: set up when it opens. Reading menu and colour dialog next.
  m.reading_menu = BuildReadingMenu();
  m.reading_accelerators = BuildReadingAccelerators();
  for (COLORREF& c : m.custom_colours) c = RGB(255, 255, 255);
  m.colour_dialog.lStructSize = sizeof m.colour_dialog;
  m.colour_dialog.hwndOwner = m.window;
  m.colour_dialog.lpCustColors = m.custom_colours;
  m.colour_dialog.Flags = CC_FULLOPEN;

  HWND w = m.window;
  m.label9 = Create("STATIC", texts::kLabel9, 0, 488, 112, 10, kLabelHeight, w, kIdLabel9);
  m.label8 = Create("STATIC", texts::kLabel8, 0, 480, 56, 10, kLabelHeight, w, kIdLabel8);
  m.label7 = Create("STATIC", texts::kLabel7, 0, 456, 32, 10, kLabelHeight, w, kIdLabel7);
  m.banner = Create("STATIC", texts::kBannerNotice, WS_VISIBLE | SS_LEFT | SS_CENTERIMAGE |
                    SS_NOPREFIX, 0, 0, kClientWidth, kBannerHeight, w, kIdBanner);

  m.nav_bar = Create(kPanelClass, "", WS_CLIPCHILDREN, 0, 0, kClientWidth, kNavBarHeight, w,
                     kIdNavBar, WS_EX_CONTROLPARENT);
  m.prev_button = Create("BUTTON", texts::kPreviousButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                         549, 5, kNavButtonWidth, kButtonHeight - 4, m.nav_bar, kIdPrevButton);
  m.next_button = Create("BUTTON", texts::kNextButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 613,
                         5, kNavButtonWidth, kButtonHeight - 4, m.nav_bar, kIdNextButton);
  m.file_list = Create("COMBOBOX", "", WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST |
                       CBS_SORT | CBS_NOINTEGRALHEIGHT, 0, 5, 548, kFileListDropHeight,
                       m.nav_bar, kIdFileList);

  m.install_panel = Create(kPanelClass, "", WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, kClientWidth,
                           kInstallPanelHeight, w, kIdInstallPanel, WS_EX_CONTROLPARENT);
  SetWindowLongPtrA(m.install_panel, GWLP_USERDATA, static_cast<LONG_PTR>(kLime) + 1);
  HWND p = m.install_panel;
  m.maker_label = Create("STATIC", texts::kMakerNoticeInitial, SS_NOPREFIX, 333, 125, 10,
                         kLabelHeight, p, kIdMakerLabel);
  m.crc_good_label = Create("STATIC", texts::kCrcGood, SS_NOPREFIX, 461, 69, 177, kLabelHeight, p,
                            kIdCrcGoodLabel);
  m.accept_area = Create("STATIC", "", WS_VISIBLE | SS_NOTIFY, 29, 5, 265, kCheckHeight, p,
                         kIdAcceptArea, WS_EX_TRANSPARENT);
  m.crc_bad_label = Create("STATIC", texts::kCrcBad, SS_NOPREFIX, 5, 101, 657, 25, p,
                           kIdCrcBadLabel);
  m.browse_button = Create("BUTTON", texts::kBrowseButton, WS_VISIBLE | WS_TABSTOP | WS_DISABLED |
                           BS_PUSHBUTTON, 477, 29, 89, kButtonHeight, p, kIdBrowseButton);
  m.view_button = Create("BUTTON", texts::kViewButton, WS_TABSTOP | BS_PUSHBUTTON, 141, 58, 81,
                         kButtonHeight, p, kIdViewButton);
  m.path_box = Create("EDIT", "", WS_VISIBLE | WS_TABSTOP | WS_DISABLED | ES_AUTOHSCROLL, 29, 29,
                      425, kEditHeight, p, kIdPathBox, WS_EX_CLIENTEDGE);
  m.setup_button = Create("BUTTON", texts::kSetupButton, WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON,
                          237, 61, 129, kButtonHeight, p, kIdSetupButton);
  // Not an automatic check box: every way of ticking it goes through the accept toggle.
  m.accept_box = Create("BUTTON", texts::kAcceptBox, WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX, 29, 5,
                        233, kCheckHeight, p, kIdAcceptBox);
  // Ticked through Click, so that it cannot change while an install reads it.
  m.skip_crc_box = Create("BUTTON", texts::kSkipCrcBox, WS_VISIBLE | WS_TABSTOP | BS_CHECKBOX,
                          29, 61, 100, kCheckHeight, p, kIdSkipCrcBox);
  m.help_button = Create("BUTTON", texts::kHelpButton, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                         573, 29, kButtonWidth, kButtonHeight, p, kIdHelpButton);
  m.uninstall_button = Create("BUTTON", texts::kUninstallButton, WS_TABSTOP | BS_PUSHBUTTON, 373,
                              61, 80, kButtonHeight, p, kIdUninstallButton);

  m.log_box = CreateLogBox(w);
  m.progress = Create(PROGRESS_CLASSA, "", 0, 0, 0, kClientWidth, kProgressHeight, w, kIdProgress);
  if (!m.label9 || !m.banner || !m.nav_bar || !m.file_list || !m.install_panel ||
      !m.accept_box || !m.uninstall_button || !m.log_box || !m.progress)
    return false;

  for (HWND label : {m.label7, m.label8, m.label9, m.maker_label}) SizeLabelToText(label);
  SizeCheckBoxToText(m.skip_crc_box);
  m.SetText(m.log_box, texts::kBuiltInLicence);
  m.Relayout();

  RECT r;
  GetWindowRect(m.window, &r);
  int width = r.right - r.left, height = r.bottom - r.top;
  SetWindowPos(m.window, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void MainWindow::Relayout() {
  if (!window) return;
  if (layout_holds > 0) {
    layout_pending = true;
    return;
  }
  layout_pending = false;
  RECT client;
  GetClientRect(window, &client);
  LayoutInput in;
  in.width = client.right;
  in.height = client.bottom;
  in.banner = Visible(banner);
  in.nav_bar = Visible(nav_bar);
  in.install_panel = Visible(install_panel);
  in.progress = Visible(progress);
  Layout l = ComputeLayout(in);
  auto place = [this](HWND control, const Rect& r) {
    if (!control) return;
    RECT now;
    GetWindowRect(control, &now);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&now), 2);
    if (now.left != r.left || now.top != r.top || now.right - now.left != r.width ||
        now.bottom - now.top != r.height)
      MoveWindow(control, r.left, r.top, r.width, r.height, TRUE);
  };
  if (in.banner) place(banner, l.banner);
  if (in.nav_bar) place(nav_bar, l.nav_bar);
  if (in.install_panel) place(install_panel, l.install_panel);
  if (in.progress) place(progress, l.progress);
  place(log_box, l.log_box);
}

void MainWindow::Show(HWND control, bool visible) {
  if (!control) return;
  ShowWindow(control, visible ? SW_SHOWNA : SW_HIDE);
  if (control == banner || control == nav_bar || control == install_panel ||
      control == progress || control == log_box)
    Relayout();
}

bool MainWindow::Visible(HWND control) const {
  return control && (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void MainWindow::Enable(HWND control, bool enabled) {
  if (control) EnableWindow(control, enabled ? TRUE : FALSE);
}

bool MainWindow::Enabled(HWND control) const {
  return control && (GetWindowLongA(control, GWL_STYLE) & WS_DISABLED) == 0;
}

bool MainWindow::Checked(HWND check_box) const {
  return SendMessageA(check_box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetChecked(HWND check_box, bool checked) {
  SendMessageA(check_box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindow::Click(HWND control) {
  if (!control) return;
  if (busy && control != help_button) return;  // see ProcedureScope
  if (control == accept_area || control == accept_box) {
    AcceptToggle();
  } else if (control == skip_crc_box) {
    SetChecked(skip_crc_box, !Checked(skip_crc_box));
  } else if (control == browse_button) {
    ChooseFolder();
  } else if (control == help_button) {
    ShowHelp();
  } else if (control == view_button) {
    if (view_connected) EnterReadingMode(*this);
  } else if (control == setup_button) {
    RunInstallFromWindow();
  } else if (control == uninstall_button) {
    RunUninstallFromWindow();
  } else if (control == prev_button) {
    ReadingPreviousFile(*this);
  } else if (control == next_button) {
    ReadingNextFile(*this);
  }
}

namespace {

void EnableCommands(MainWindow& m, bool enabled) {
  for (HWND control : {m.view_button, m.accept_area, m.accept_box, m.skip_crc_box,
                       m.uninstall_button, m.file_list, m.prev_button, m.next_button})
    m.Enable(control, enabled);
  // Nothing can be installed and no folder chosen without an accepted licence.
  const bool accepted = enabled && m.Checked(m.accept_box);
  for (HWND control : {m.browse_button, m.setup_button, m.path_box}) m.Enable(control, accepted);
  if (HMENU system = m.window ? GetSystemMenu(m.window, FALSE) : nullptr)
    EnableMenuItem(system, SC_CLOSE, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace

ProcedureScope::ProcedureScope(MainWindow& window) : window_(window), entered_(!window.busy) {
  if (!entered_) return;
  window_.busy = true;
  EnableCommands(window_, false);
}

ProcedureScope::~ProcedureScope() {
  if (!entered_) return;
  window_.busy = false;
  if (window_.window) EnableCommands(window_, true);
}

std::string MainWindow::Text(HWND control) const {
  if (!control) return std::string();
  LRESULT length = SendMessageA(control, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::string();
  // Rich-edit boxes may count line ends differently from what WM_GETTEXT returns.
  std::string text(static_cast<size_t>(length) * 2 + 2, '\0');
  LRESULT n = SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

void MainWindow::SetText(HWND control, const std::string& text) {
  if (control) SetWindowTextA(control, text.c_str());
}

void MainWindow::ClearLog() {
  if (!log_box) return;
  if (SendMessageA(log_box, WM_GETTEXTLENGTH, 0, 0) > kLongLogText && ReplaceLogBox(*this)) return;
  SetText(log_box, std::string());
}

namespace {

struct TextSource {
  const char* data;
  size_t size;
  size_t at;
};

DWORD CALLBACK ReadTextSource(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* got) {
  auto* source = reinterpret_cast<TextSource*>(cookie);
  size_t left = source->size - source->at;
  size_t n = left < static_cast<size_t>(wanted) ? left : static_cast<size_t>(wanted);
  if (n) memcpy(buffer, source->data + source->at, n);
  source->at += n;
  *got = static_cast<LONG>(n);
  return 0;
}

// Streamed in as plain text: text that begins with "{\rtf" (a licence, a log line with a
// folder name, a converted page) must show as the characters it is, never as formatting.
void StreamInText(HWND box, const char* data, size_t size, bool at_selection) {
  TextSource source = {data, size, 0};
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadTextSource;
  SendMessageA(box, EM_STREAMIN, SF_TEXT | (at_selection ? SFF_SELECTION : 0),
               reinterpret_cast<LPARAM>(&stream));
}

}  // namespace

void MainWindow::StreamInLog(const void* data, size_t size) {
  if (!log_box) return;
  // Lines are cut by the code page the box reads the text in, never inside a character.
  uint8_t lead_bytes[256];
  for (int b = 0; b < 256; ++b) lead_bytes[b] = IsDBCSLeadByte(static_cast<BYTE>(b)) ? 1 : 0;
  std::string shown = ShownText(std::string_view(static_cast<const char*>(data), size),
                                lead_bytes, texts::kRestNotShown);
  ClearLog();  // replacing a long text is faster through an empty box
  StreamInText(log_box, shown.data(), shown.size(), false);
}

void MainWindow::AppendLog(const std::string& text) {
  if (!log_box) return;
  // The caret goes to the end of the text (character positions count a line end once).
  GETTEXTLENGTHEX count = {GTL_NUMCHARS, CP_ACP};
  LRESULT length = SendMessageA(log_box, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&count), 0);
  if (length <= 0) length = SendMessageA(log_box, WM_GETTEXTLENGTH, 0, 0);
  CHARRANGE end = {static_cast<LONG>(length), static_cast<LONG>(length)};
  SendMessageA(log_box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  StreamInText(log_box, text.data(), text.size(), true);
  SendMessageA(log_box, EM_SCROLLCARET, 0, 0);
}

void MainWindow::SetLogText(const std::string& text) { StreamInLog(text.data(), text.size()); }

void MainWindow::ShowProgress() { Show(progress, true); }
void MainWindow::SetProgressMax(int maximum) {
  SendMessageA(progress, PBM_SETRANGE32, 0, maximum);
}
void MainWindow::SetProgress(int position) { SendMessageA(progress, PBM_SETPOS, position, 0); }

void InstallProgramHooks() {
  SetMessagePump(PumpWindowMessages);
  SetDecodeFailureHandler([] {
    if (g_main.window) SetWindowTextA(g_main.window, kDecodeErrorCaption);
  });
}

void PumpWindowMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      EndProgram(static_cast<int>(msg.wParam));
      return;
    }
    if (g_main.reading_accelerators && g_main.window &&
        TranslateAcceleratorA(g_main.window, g_main.reading_accelerators, &msg))
      continue;
    if (g_main.window && IsDialogMessageA(g_main.window, &msg)) continue;  // Tab between controls
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

int RunMessageLoop() {
  MainWindow& m = g_main;
  ShowWindow(m.window, SW_SHOW);
  UpdateWindow(m.window);
  MSG msg;
  BOOL got;
  while ((got = GetMessageA(&msg, nullptr, 0, 0)) != 0) {
    if (got == -1) break;
    if (m.reading_accelerators && m.window &&
        TranslateAcceleratorA(m.window, m.reading_accelerators, &msg))
      continue;
    if (m.window && IsDialogMessageA(m.window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void DestroyMainWindowOnly() {
  MainWindow& m = g_main;
  if (m.window) DestroyWindow(m.window);
  if (m.reading_menu) DestroyMenu(m.reading_menu);
  if (m.reading_accelerators) DestroyAcceleratorTable(m.reading_accelerators);
  m = MainWindow();
}

}  // namespace hollin
