// Vellumo's one window: the entry list, the arrow buttons, the password field and the browser
// host. Handlers read the controls, call the plain functions of form_logic.h and the archive
// component, and write the controls back.
#pragma once
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "viewer/archive/entry_stream.h"
#include "viewer/archive/win/archive.h"
#include "viewer/browser/browser_host.h"

namespace vellumo {

// Control ids; the system-menu command of the credit item.
enum : int {
  kIdBrowserHost1 = 10,
  kIdPanel1,
  kIdPanel2,
  kIdComboBox1,
  kIdLabel1,
  kIdEdit1,
  kIdButton1,
  kIdButton2,
  kIdButton3,
};
inline constexpr UINT kCreditCommand = 100;
// Posted to itself: a combo box change that waited for an operation is taken up.
inline constexpr UINT kWaitingChangeMessage = WM_APP + 1;
// Pictures larger than this are not read for a page shown by the built-in view.
inline constexpr uint64_t kMaxPageResourceBytes = 32u << 20;

// The window as designed; Panel1 and Panel2 are laid out by alignment on every resize.
inline constexpr int kDesignLeft = 156, kDesignTop = 103;
inline constexpr int kDesignClientWidth = 721, kDesignClientHeight = 538;
inline constexpr int kPanel1Height = 37;
inline constexpr int kPanel2Width = 376;

class TForm1 {
 public:
  // Creates the window and its controls and runs FormCreate with the given command line
  // (the program passes GetCommandLineA()). The window is not shown yet.
  explicit TForm1(const std::string& command_line, bool quit_on_close = true);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  HWND Handle() const { return handle_; }

  // The handlers, public so that tests drive them as the controls would.
  void FormCreate(const std::vector<std::string>& args);
  void RefreshList();
  void Button3Click();
  void Button1Click();
  void Button2Click();
  void ComboBox1Change();
  // Returns true when the command was the credit item; others go to default handling.
  bool user_sysmenu(WPARAM command);
  void FormDestroy();
  // True while an extraction or the blank-page wait runs (and lets messages through).
  bool Working() const;
  // A link of a page shown by the built-in view to another entry of the archive.
  void FollowLink(const std::string& entry_name);

  // Replaces the open dialog (tests); returns false for a cancel.
  std::function<bool(std::string* path)> OnChooseArchive;

  HWND Panel1 = nullptr, Panel2 = nullptr, ComboBox1 = nullptr, Label1 = nullptr,
       Edit1 = nullptr, Button1 = nullptr, Button2 = nullptr, Button3 = nullptr;
  TArchive Archive1;
  std::unique_ptr<TBrowserHost> BrowserHost1;

  TEntryStream* CurrentPage() const { return current_page_; }
  bool AutoShowSuppressed() const { return auto_show_suppressed_; }
  // The caption without the text-view note.
  const std::string& BaseCaption() const { return base_caption_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT CALLBACK PanelProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  void LayoutControls();
  void OnCommand(WORD id, WORD code);
  template <class Handler>
  void Guarded(Handler handler) noexcept;
  void ReportFailure() noexcept;
  void SetCaption(const std::string& caption);
  void SetComboText(const std::string& text);
  std::string ComboText() const;
  std::string ItemText(int index) const;
  void PickItem(int index);
  TPageArchive PageArchive();
  bool ShowOpenDialog(std::string* path);

  HWND handle_ = nullptr;
  bool quit_on_close_;
  bool updating_combo_ = false;
  bool auto_show_suppressed_ = false;
  bool destroyed_ = false;
  // Extraction and the blank-page wait let messages through; a close that arrives then waits
  // until the operation is over (the unzip library must not be freed under it).
  int operations_ = 0;
  bool close_requested_ = false;
  bool change_waiting_ = false;  // the combo box changed while an operation ran
  std::string base_caption_;
  TEntryStream own_page_;  // the empty page of a window with no archive yet
  TEntryStream* current_page_ = &own_page_;
  win::GdiObject font_;
  win::GdiObject label_font_;
};

}  // namespace vellumo
