#include "viewer/form1.h"

#include <commdlg.h>

#include <new>

#include "viewer/archive/message_ids.h"
#include "viewer/form_logic.h"
#include "viewer/list_fill.h"
#include "viewer/texts.h"

namespace vellumo {
namespace {

constexpr char kFormClass[] = "TForm1";
constexpr char kPanelClass[] = "VellumoPanel";
constexpr int kComboDropHeight = 300;  // the closed combo is 21 high; this is its list
constexpr COLORREF kLabelColour = RGB(255, 0, 0);

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIcon(inst, MAKEINTRESOURCE(1));
  if (!wc.hIcon) wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kFormClass;
  RegisterClassA(&wc);
  wc.hIcon = nullptr;
  wc.lpszClassName = kPanelClass;
  RegisterClassA(&wc);
  done = true;
}

HFONT MakeFont(int height) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, texts::kWindowFont);
}

std::string WindowText(HWND wnd) {
  int len = GetWindowTextLengthA(wnd);
  if (len <= 0) return std::string();
  std::string text(static_cast<size_t>(len) + 1, '\0');
  int got = GetWindowTextA(wnd, &text[0], len + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

}  // namespace

TForm1::TForm1(const std::string& command_line, bool quit_on_close)
    : quit_on_close_(quit_on_close) {
  RegisterClasses();
  RECT rc{0, 0, kDesignClientWidth, kDesignClientHeight};
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  AdjustWindowRect(&rc, style, FALSE);
  handle_ = CreateWindowExA(0, kFormClass, texts::kCaptionAtRest, style, kDesignLeft, kDesignTop,
                            rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (!handle_) return;
  SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::WindowProc));
  base_caption_ = texts::kCaptionAtRest;
  CreateControls();
  LayoutControls();
  Guarded([&] { FormCreate(SplitCommandLine(command_line)); });
}

TForm1::~TForm1() {
  if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
}

void TForm1::CreateControls() {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  font_.reset(MakeFont(-11));
  label_font_.reset(MakeFont(-13));
  auto make = [&](DWORD ex, const char* cls, const char* text, DWORD style, int x, int y, int w,
                  int h, HWND parent, int id) {
    HWND wnd = CreateWindowExA(ex, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    SendMessageA(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return wnd;
  };
  // Creation order is the tab order within each parent.
  RECT browser{0, 0, kDesignClientWidth, kDesignClientHeight - kPanel1Height};
  BrowserHost1 = std::make_unique<TBrowserHost>(handle_, browser, kIdBrowserHost1);
  BrowserHost1->SetDownloadOptions(download::kViewerDefault);
  BrowserHost1->SetPageArchive(PageArchive());

  Panel1 = make(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CLIPSIBLINGS, 0,
                kDesignClientHeight - kPanel1Height, kDesignClientWidth, kPanel1Height, handle_,
                kIdPanel1);
  ComboBox1 = make(0, "COMBOBOX", "",
                   WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_SORT | CBS_AUTOHSCROLL, 0, 8,
                   345, kComboDropHeight, Panel1, kIdComboBox1);
  SendMessageA(ComboBox1, CB_SETITEMHEIGHT, 0, 13);
  Panel2 = make(WS_EX_CONTROLPARENT, kPanelClass, "", WS_CLIPSIBLINGS, 344, 1, kPanel2Width, 35,
                Panel1, kIdPanel2);
  Button1 = make(0, "BUTTON", texts::kPreviousButton, WS_TABSTOP | BS_PUSHBUTTON, 214, 8, 75, 25,
                 Panel2, kIdButton1);
  Button2 = make(0, "BUTTON", texts::kNextButton, WS_TABSTOP | BS_PUSHBUTTON, 294, 8, 75, 25,
                 Panel2, kIdButton2);
  Button3 = make(0, "BUTTON", texts::kOpenButton, WS_TABSTOP | BS_PUSHBUTTON, 136, 8, 75, 25,
                 Panel2, kIdButton3);
  Edit1 = make(WS_EX_CLIENTEDGE, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, 39, 8, 97, 21, Panel2,
               kIdEdit1);
  Label1 = make(0, "STATIC", texts::kPasswordLabel, SS_LEFT, 7, 8, 33, 16, Panel2, kIdLabel1);
  SendMessageA(Label1, WM_SETFONT, reinterpret_cast<WPARAM>(label_font_.get()), FALSE);
  for (HWND panel : {Panel1, Panel2}) {
    SetWindowLongPtrA(panel, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TForm1::PanelProc));
  }
  SetApplicationDialogWindow(handle_);
}

// Alignment: the browser fills what Panel1 (bottom, 37 high) leaves; Panel2 sits at the right
// of Panel1 inside its one-pixel bevel.
void TForm1::LayoutControls() {
  RECT rc;
  GetClientRect(handle_, &rc);
  const int width = rc.right, height = rc.bottom;
  const int panel_top = height > kPanel1Height ? height - kPanel1Height : 0;
  if (Panel1) MoveWindow(Panel1, 0, panel_top, width, kPanel1Height, TRUE);
  if (Panel2) MoveWindow(Panel2, width - 1 - kPanel2Width, 1, kPanel2Width, kPanel1Height - 2, TRUE);
  if (BrowserHost1) BrowserHost1->SetBounds(RECT{0, 0, width, panel_top});
}

void TForm1::FormCreate(const std::vector<std::string>& args) {
  HMENU menu = GetSystemMenu(handle_, FALSE);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, kCreditCommand, texts::kCreditMenuItem);
  current_page_ = &own_page_;
  Archive1.SetOwnerWindow(handle_);
  Archive1.SetPasswordReqCount(3);
  Archive1.LoadUnzipLibrary();
  if (args.size() < 2 || !IsArchiveArgument(args[1])) return;
  Archive1.SetZipFileName(args[1]);
  if (args.size() > 2 && !args[2].empty()) SetWindowTextA(Edit1, args[2].c_str());
  RefreshList();
}

void TForm1::RefreshList() {
  auto_show_suppressed_ = false;
  SetComboText("");
  SendMessageA(ComboBox1, CB_RESETCONTENT, 0, 0);
  SetCaption(Archive1.ZipFileName());
  if (Archive1.EntryCount() == 0) return;
  const std::vector<DirEntry>& entries = Archive1.EntryList();
  std::vector<const char*> names;
  names.reserve(entries.size());
  for (const DirEntry& entry : entries) {
    if (entry.Encrypted) auto_show_suppressed_ = true;
    names.push_back(entry.FileName.c_str());
  }
  if (auto_show_suppressed_) SetCaption(ListedCaption(Archive1.ZipFileName(), true));
  FillSortedList(ComboBox1, &names);
  if (!auto_show_suppressed_) Button2Click();
}

bool TForm1::ShowOpenDialog(std::string* path) {
  if (OnChooseArchive) return OnChooseArchive(path);
  std::string filter = texts::kOpenFilter;
  for (char& c : filter) {
    if (c == '|') c = '\0';
  }
  filter.push_back('\0');
  char file[MAX_PATH * 4] = "";
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = handle_;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&ofn)) return false;
  *path = file;
  return true;
}

void TForm1::Button3Click() {
  if (Working()) return;
  std::string path;
  if (ShowOpenDialog(&path)) Archive1.SetZipFileName(path);
  RefreshList();
}

void TForm1::Button1Click() {
  if (Working()) return;
  int count = static_cast<int>(SendMessageA(ComboBox1, CB_GETCOUNT, 0, 0));
  if (count <= 0) return;
  int selected = static_cast<int>(SendMessageA(ComboBox1, CB_GETCURSEL, 0, 0));
  SendMessageA(ComboBox1, CB_SETCURSEL, PreviousIndex(selected, count), 0);
  ComboBox1Change();
}

void TForm1::Button2Click() {
  if (Working()) return;
  int count = static_cast<int>(SendMessageA(ComboBox1, CB_GETCOUNT, 0, 0));
  if (count <= 0) return;
  int selected = static_cast<int>(SendMessageA(ComboBox1, CB_GETCURSEL, 0, 0));
  SendMessageA(ComboBox1, CB_SETCURSEL, NextIndex(selected, count), 0);
  ComboBox1Change();
}

bool TForm1::Working() const { return operations_ > 0 || Archive1.Busy(); }

void TForm1::ComboBox1Change() {
  // Busy first: while the library writes into the component's block, or the browser host
  // waits with the page, the current page stream is that block and must stay as it is.
  if (Working()) {
    change_waiting_ = true;
    return;
  }
  struct Operation {
    TForm1* form;
    explicit Operation(TForm1* f) : form(f) { ++form->operations_; }
    ~Operation() {
      if (--form->operations_ > 0 || !form->handle_) return;
      if (form->close_requested_) {
        PostMessageA(form->handle_, WM_CLOSE, 0, 0);
      } else if (form->change_waiting_) {
        PostMessageA(form->handle_, kWaitingChangeMessage, 0, 0);
      }
    }
  } operation(this);
  change_waiting_ = false;
  if (current_page_->Size() > 0) current_page_->Clear();
  Archive1.SetPassword(CutPassword(WindowText(Edit1)));
  TEntryStream* page = Archive1.ExtractEntryToStream(ComboText());
  // No stream: the previous page stays as it is.
  if (!page || !BrowserHost1) return;
  current_page_ = page;
  BrowserHost1->LoadPage(*page, ComboText());
}

// The built-in view reads a page's pictures and follows its links through these.
TPageArchive TForm1::PageArchive() {
  TPageArchive archive;
  archive.FindEntry = [this](const std::string& name) {
    // The first entry in directory order that the component would extract for this name.
    for (const DirEntry& entry : Archive1.EntryList()) {
      if (lstrcmpiA(entry.FileName.c_str(), name.c_str()) == 0) return entry.FileName;
    }
    return std::string();
  };
  archive.ReadEntry = [this](const std::string& name, std::vector<uint8_t>* bytes) {
    for (const DirEntry& entry : Archive1.EntryList()) {
      if (entry.FileName != name) continue;
      if (entry.UncompressedSize > kMaxPageResourceBytes) return false;
      TEntryStream resource;
      if (!Archive1.ExtractEntryQuietly(name, resource)) return false;
      const auto* data = static_cast<const uint8_t*>(resource.Memory());
      bytes->assign(data, data + resource.Size());
      return true;
    }
    return false;
  };
  archive.ShowEntry = [this](const std::string& name) { FollowLink(name); };
  return archive;
}

// A link to another entry: exactly a pick of that entry in the list, so while an extraction
// or the blank-page wait runs it waits as a pick does (ComboBox1Change).
void TForm1::FollowLink(const std::string& entry_name) {
  Guarded([&] {
    const int count = static_cast<int>(SendMessageA(ComboBox1, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
      if (ItemText(index) == entry_name) {
        PickItem(index);
        return;
      }
    }
  });
}

std::string TForm1::ItemText(int index) const {
  int len = static_cast<int>(SendMessageA(ComboBox1, CB_GETLBTEXTLEN, index, 0));
  if (len < 0) return std::string();
  std::string item(static_cast<size_t>(len) + 1, '\0');
  SendMessageA(ComboBox1, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&item[0]));
  item.resize(static_cast<size_t>(len));
  return item;
}

// What a pick of item `index` in the list does.
void TForm1::PickItem(int index) {
  SendMessageA(ComboBox1, CB_SETCURSEL, index, 0);
  // The edit part still shows the old text while the selection changes: take the item's.
  SetComboText(ItemText(index));
  ComboBox1Change();
}

bool TForm1::user_sysmenu(WPARAM command) {
  if (LOWORD(command) != kCreditCommand) return false;
  std::string text = texts::kCreditText;
  if (BrowserHost1 && BrowserHost1->ShowingText()) text += texts::kBuiltInViewNote;
  MessageBoxA(handle_, text.c_str(), texts::kApplicationTitle, MB_OK);
  return true;
}

void TForm1::FormDestroy() { Archive1.UnloadUnzipLibrary(); }

void TForm1::SetCaption(const std::string& caption) {
  base_caption_ = caption;
  SetWindowTextA(handle_, caption.c_str());
}

void TForm1::SetComboText(const std::string& text) {
  updating_combo_ = true;
  SetWindowTextA(ComboBox1, text.c_str());
  updating_combo_ = false;
}

std::string TForm1::ComboText() const { return WindowText(ComboBox1); }

// Where the window meets the component. An extraction (the library's callback) and the
// blank-page wait (the browser host) let window messages through, so any command can arrive
// in the middle of one (Working()). What each does then:
//   ">>>", "<<<"        ignored: the selection stays on the entry being shown.
//   "..."              ignored: no new directory is read under a running extraction.
//   combo box: a pick from the list, typing, deleting the text
//                      waits: the text changes at once; when the running operation ends,
//                      the entry the text names then is shown (one extraction, the latest).
//   a link in the built-in view
//                      waits: it is a pick of the linked entry (FollowLink).
//   the built-in view reading a page's pictures
//                      runs inside the operation that shows the page, into a stream of its
//                      own, and never while the component is Busy (ExtractEntryQuietly).
//   Enter              ignored (the window has no default button).
//   closing the window waits: WM_CLOSE is taken up again when the operation ends, so the
//                      library is never freed under itself.
//   system menu Credit safe: a modal box; the operation resumes when it is closed.
//   password field, Tab, resizing, painting
//                      safe: they touch no shared state (the password is read at the next
//                      selection).
// The component's block is also held by the component itself while the library has its
// address, so no caller can release or resize it then.
void TForm1::OnCommand(WORD id, WORD code) {
  switch (id) {
    case kIdButton1:
      if (code == BN_CLICKED) Button1Click();
      break;
    case kIdButton2:
      if (code == BN_CLICKED) Button2Click();
      break;
    case kIdButton3:
      if (code == BN_CLICKED) Button3Click();
      break;
    case kIdComboBox1:
      if (updating_combo_) break;
      if (code == CBN_SELCHANGE) {
        int index = static_cast<int>(SendMessageA(ComboBox1, CB_GETCURSEL, 0, 0));
        if (index >= 0) PickItem(index);
      } else if (code == CBN_EDITCHANGE) {
        ComboBox1Change();
      }
      break;
    default:
      break;
  }
}

LRESULT TForm1::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case kWaitingChangeMessage:
      if (change_waiting_ && !Working()) ComboBox1Change();
      return 0;
    case WM_SIZE:
      LayoutControls();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_CLOSE:
      if (operations_ > 0) {
        close_requested_ = true;
        return 0;
      }
      close_requested_ = false;
      DestroyWindow(handle_);
      return 0;
    case WM_SYSCOMMAND:
      if (user_sysmenu(wp)) return 0;
      break;
    case WM_DESTROY:
      if (!destroyed_) {
        destroyed_ = true;
        FormDestroy();
        BrowserHost1.reset();
        if (ApplicationDialogWindow() == handle_) SetApplicationDialogWindow(nullptr);
        if (quit_on_close_) PostQuitMessage(0);
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcA(handle_, msg, wp, lp);
}

LRESULT CALLBACK TForm1::WindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(wnd, msg, wp, lp);
  LRESULT result = 0;
  self->Guarded([&] { result = self->HandleMessage(msg, wp, lp); });
  if (msg == WM_NCDESTROY) self->handle_ = nullptr;
  return result;
}

// Nothing unwinds into the system's dispatch: a failure in a handler is told to the user
// through the component's messages, and the window goes on.
template <class Handler>
void TForm1::Guarded(Handler handler) noexcept {
  try {
    handler();
  } catch (...) {
    ReportFailure();
  }
}

// Called inside a catch block: rethrows the failure being handled to tell its kind.
void TForm1::ReportFailure() noexcept {
  try {
    try {
      throw;
    } catch (const EArchive& error) {
      Archive1.ShowException(error);
    } catch (const std::bad_alloc&) {
      Archive1.ShowArchiveMessage(msg::kMemoryNotAvailable);
    } catch (const std::exception& error) {
      Archive1.ShowMessageText(std::string(texts::kUnexpectedFailure) + error.what());
    } catch (...) {
      Archive1.ShowMessageText(texts::kUnexpectedFailure);
    }
  } catch (...) {
    // Reporting itself failed (no memory even for the text): the window still goes on.
  }
}

// Panels draw a raised bevel, pass their children's commands to the window and colour the
// password label.
LRESULT CALLBACK TForm1::PanelProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
      if (self) self->Guarded([&] { self->OnCommand(LOWORD(wp), HIWORD(wp)); });
      return 0;
    case WM_CTLCOLORSTATIC:
      if (self && reinterpret_cast<HWND>(lp) == self->Label1) {
        HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, kLabelColour);
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(wnd, &ps);
      RECT rc;
      GetClientRect(wnd, &rc);
      DrawEdge(dc, &rc, BDR_RAISEDINNER, BF_RECT);
      EndPaint(wnd, &ps);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace vellumo
