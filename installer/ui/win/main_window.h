// Hollin's main window: every control of it in one program-wide record, and the few
// operations the install, uninstall and reading procedures perform on it.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include <string>

namespace hollin {

struct MainWindow {
  // Controls, in creation order after the window itself (also tab and stacking order).
  HWND window = nullptr;
  HWND label9 = nullptr, label8 = nullptr, label7 = nullptr;
  HWND banner = nullptr;
  HWND nav_bar = nullptr, prev_button = nullptr, next_button = nullptr, file_list = nullptr;
  HWND install_panel = nullptr, maker_label = nullptr, crc_good_label = nullptr,
       accept_area = nullptr, crc_bad_label = nullptr, browse_button = nullptr,
       view_button = nullptr, path_box = nullptr, setup_button = nullptr, accept_box = nullptr,
       skip_crc_box = nullptr, help_button = nullptr, uninstall_button = nullptr;
  HWND log_box = nullptr;
  HWND progress = nullptr;

  HMENU reading_menu = nullptr;         // right-click menu of the log box
  HACCEL reading_accelerators = nullptr;
  COLORREF label7_colour = RGB(255, 255, 255);  // title colour on the backdrop
  bool view_connected = true;           // false: the View button's click does nothing
  bool rich_edit_20 = false;            // log box class: RichEdit20A (true) or RichEdit
  // A long procedure (install, uninstall, reading mode's list, loader or extraction) is
  // running; see ProcedureScope.
  bool busy = false;
  // Colour dialog of the reading mode: 16 custom colours, opens fully expanded.
  COLORREF custom_colours[16] = {};
  CHOOSECOLORA colour_dialog = {};

  // Redoes the alignment layout (banner top; navigation bar, install panel, progress bar
  // bottom; log box the rest), after controls were shown or hidden. Controls already in
  // place are not moved: every move makes the rich-edit log box lay out all its text again,
  // which takes seconds for a long text on some systems. Under a LayoutHold the layout
  // waits until the hold ends.
  void Relayout();
  int layout_holds = 0;
  bool layout_pending = false;
  void Show(HWND control, bool visible);  // also relayouts when an aligned control changes
  bool Visible(HWND control) const;
  void Enable(HWND control, bool enabled);
  bool Enabled(HWND control) const;
  bool Checked(HWND check_box) const;
  void SetChecked(HWND check_box, bool checked);
  // Presses a button (or the accept click area) the way a click does.
  void Click(HWND control);

  std::string Text(HWND control) const;
  void SetText(HWND control, const std::string& text);
  void ClearLog();
  // Appends text at the end of the log box; the caller includes the CR LF.
  void AppendLog(const std::string& text);
  // Replaces the whole log box content. Log text always goes in as plain text, and only
  // what ShownText lets through, with a last line saying so when the end was left out.
  void SetLogText(const std::string& text);
  void StreamInLog(const void* data, size_t size);

  void ShowProgress();
  void SetProgressMax(int maximum);
  void SetProgress(int position);
};

// Several visibility changes and window resizes laid out once, when the hold ends.
class LayoutHold {
 public:
  explicit LayoutHold(MainWindow& window) : window_(window) { ++window_.layout_holds; }
  ~LayoutHold() {
    if (--window_.layout_holds == 0 && window_.layout_pending) window_.Relayout();
  }
  LayoutHold(const LayoutHold&) = delete;
  LayoutHold& operator=(const LayoutHold&) = delete;

 private:
  MainWindow& window_;
};

// The one program-wide record (valid after BuildMainWindow).
MainWindow& Main();

// Held by every long procedure. Its work pumps window messages, so while it runs every
// command that would disturb it (View, Setup, Uninstall, the reading menu and its
// accelerators, the file list and its buttons, the accept area, Browse, the path and
// skip-CRC boxes, the close box) is disabled and, should its message still arrive, ignored.
// When it ends, the controls are enabled again, the licence-dependent ones (Setup, Browse,
// the path box) exactly when the accept box is ticked. A scope opened while another runs
// does not enter: the command is ignored.
class ProcedureScope {
 public:
  explicit ProcedureScope(MainWindow& window);
  ~ProcedureScope();
  ProcedureScope(const ProcedureScope&) = delete;
  ProcedureScope& operator=(const ProcedureScope&) = delete;
  bool entered() const { return entered_; }

 private:
  MainWindow& window_;
  bool entered_;
};

struct BackdropWindow {
  HWND window = nullptr;
  std::string product_title;  // empty until the backdrop is built
};
BackdropWindow& Backdrop();

}  // namespace hollin
