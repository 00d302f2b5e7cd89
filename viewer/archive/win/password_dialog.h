// TPasswordDlg: the archive password prompt, a modal dialog built in code (no layout
// resource): a prompt line, a masked edit of at most 80 characters, OK and Cancel.
#pragma once
#include <windows.h>

#include <string>

namespace vellumo {

namespace password_layout {
constexpr int kWidth = 344, kHeight = 137;  // outer size
constexpr int kLabelLeft = 20, kLabelTop = 8, kLabelWidth = 297, kLabelHeight = 18;
constexpr int kEditLeft = 20, kEditTop = 40, kEditWidth = 297, kEditHeight = 21;
constexpr int kOkLeft = 44, kCancelLeft = 205, kButtonTop = 72, kButtonWidth = 90,
              kButtonHeight = 28;
constexpr int kMaxLength = 80;
constexpr int kFontHeight = -12;
constexpr char kFontName[] = "Arial";
constexpr int kLabelId = 101, kEditId = 102;
}  // namespace password_layout

class TPasswordDlg {
 public:
  TPasswordDlg(HWND owner, std::string ok_caption, std::string cancel_caption);
  // Shows the dialog modally with `title` as caption and `prompt_line` as the label;
  // returns the edit's text when OK was clicked, else empty. The window is gone afterwards.
  std::string Prompt(const std::string& title, const std::string& prompt_line);
  bool Accepted() const { return accepted_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  void Build(HWND dialog);

  HWND owner_;
  std::string ok_caption_, cancel_caption_, title_, prompt_line_, text_;
  bool accepted_ = false;
  HFONT font_ = nullptr;
};

}  // namespace vellumo
