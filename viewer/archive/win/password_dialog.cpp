#include "viewer/archive/win/password_dialog.h"

#include <vector>

#include "common/win/handles.h"

namespace vellumo {

using namespace password_layout;

TPasswordDlg::TPasswordDlg(HWND owner, std::string ok_caption, std::string cancel_caption)
    : owner_(owner), ok_caption_(std::move(ok_caption)), cancel_caption_(std::move(cancel_caption)) {}

std::string TPasswordDlg::Prompt(const std::string& title, const std::string& prompt_line) {
  title_ = title;
  prompt_line_ = prompt_line;
  text_.clear();
  accepted_ = false;
  // An empty template: the controls are made with pixel positions when the dialog starts.
  struct alignas(4) EmptyTemplate {
    DLGTEMPLATE header;
    WORD menu, window_class, title;
  } dialog_template = {};
  dialog_template.header.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  win::GdiObject font(::CreateFontA(kFontHeight, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontName));
  font_ = static_cast<HFONT>(font.get());
  INT_PTR result = ::DialogBoxIndirectParamA(::GetModuleHandleA(nullptr), &dialog_template.header,
                                             owner_, DialogProc, reinterpret_cast<LPARAM>(this));
  font_ = nullptr;
  if (result != IDOK || !accepted_) return std::string();
  return text_;
}

void TPasswordDlg::Build(HWND dialog) {
  ::SetWindowTextA(dialog, title_.c_str());
  int left = (::GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
  int top = (::GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
  ::SetWindowPos(dialog, nullptr, left, top, kWidth, kHeight, SWP_NOZORDER);
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  HWND label = ::CreateWindowExA(0, "STATIC", prompt_line_.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                                 kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight, dialog,
                                 reinterpret_cast<HMENU>(kLabelId), instance, nullptr);
  HWND edit = ::CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_PASSWORD | ES_AUTOHSCROLL,
                                kEditLeft, kEditTop, kEditWidth, kEditHeight, dialog,
                                reinterpret_cast<HMENU>(kEditId), instance, nullptr);
  ::SendMessageA(edit, EM_SETPASSWORDCHAR, '*', 0);
  ::SendMessageA(edit, EM_SETLIMITTEXT, kMaxLength, 0);
  HWND ok = ::CreateWindowExA(0, "BUTTON", ok_caption_.c_str(),
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kOkLeft,
                              kButtonTop, kButtonWidth, kButtonHeight, dialog,
                              reinterpret_cast<HMENU>(IDOK), instance, nullptr);
  HWND cancel = ::CreateWindowExA(0, "BUTTON", cancel_caption_.c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, kCancelLeft,
                                  kButtonTop, kButtonWidth, kButtonHeight, dialog,
                                  reinterpret_cast<HMENU>(IDCANCEL), instance, nullptr);
  for (HWND control : {label, edit, ok, cancel})
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  ::SetFocus(edit);
}

INT_PTR CALLBACK TPasswordDlg::DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<TPasswordDlg*>(::GetWindowLongPtrA(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      reinterpret_cast<TPasswordDlg*>(lparam)->Build(dialog);
      return FALSE;  // focus already set on the edit
    case WM_COMMAND:
      if (!self) break;
      if (LOWORD(wparam) == IDOK) {
        // A dialog procedure: nothing may unwind into the system; without memory for the
        // text the prompt counts as cancelled.
        try {
          HWND edit = ::GetDlgItem(dialog, kEditId);
          int length = ::GetWindowTextLengthA(edit);
          std::vector<char> buffer(static_cast<size_t>(length) + 1, '\0');
          ::GetWindowTextA(edit, buffer.data(), length + 1);
          self->text_.assign(buffer.data());
          self->accepted_ = true;
        } catch (...) {
          self->accepted_ = false;
        }
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {  // the Cancel button, Escape and the close box
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      break;
    default: break;
  }
  return FALSE;
}

}  // namespace vellumo
