// The reading mode over Hollin's main window: the reading menu and its accelerators, View
// and Return, the file loader and the menu's actions. The display settings live only in the
// menu's check marks.
#include "installer/ui/win/reading_mode.h"

#include <commdlg.h>
#include <richedit.h>
#include <shlobj.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/win/handles.h"
#include "common/win/system_calls.h"
#include "installer/actions/paths.h"
#include "installer/package/block.h"
#include "installer/package/file_list.h"
#include "installer/package/message_pump.h"
#include "installer/package/package_format.h"
#include "installer/package/win/startup.h"
#include "installer/ui/html_to_text.h"
#include "installer/ui/reading_rules.h"
#include "installer/ui/reading_texts.h"
#include "installer/ui/win/main_window.h"
#include "installer/ui/win/program.h"
#include "installer/ui/win/reading_conversion.h"

namespace late = vellumo::win::late;

namespace hollin {
namespace {

namespace rt = reading_texts;

// What the reading mode keeps between commands: the file list read on entry, the block
// base, the colour dialog's current choice and the log box font it made.
struct ReadingState {
  std::vector<std::string> file_list;
  uint64_t block_base = 0;
  COLORREF colour_choice = RGB(0, 0, 0);  // black the first time
  vellumo::win::GdiObject font;
  ReadingFolderChooser folder_chooser = nullptr;
};

ReadingState& State() {
  static ReadingState state;
  return state;
}

const std::vector<ReadingMenuItem>& Items() {
  static const std::vector<ReadingMenuItem> items = ReadingMenuItems();
  return items;
}

unsigned CommandOf(int number) { return kReadingCommandBase + static_cast<unsigned>(number); }

// Position of an item among the items of its own (sub)menu.
int PositionInMenu(int number) {
  const auto& items = Items();
  int position = 0;
  for (int i = 0; i < number; ++i) {
    if (items[i].parent == items[number].parent) ++position;
  }
  return position;
}

// The popup that holds item `number` inside the reading menu.
HMENU MenuHolding(HMENU menu, int number) {
  int parent = Items()[number].parent;
  if (parent < 0) return menu;
  HMENU outer = MenuHolding(menu, parent);
  return outer ? GetSubMenu(outer, PositionInMenu(parent)) : nullptr;
}

HMENU BuildSubmenu(int parent) {
  HMENU menu = CreatePopupMenu();
  if (!menu) return nullptr;
  UINT position = 0;
  for (const ReadingMenuItem& item : Items()) {
    if (item.parent != parent) continue;
    std::string text = item.caption;
    if (!item.shortcut.empty()) text += "\t" + item.shortcut;
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING | MIIM_FTYPE | MIIM_STATE | MIIM_ID;
    info.fType = item.radio ? MFT_RADIOCHECK : MFT_STRING;
    info.fState = (item.checked ? MFS_CHECKED : 0) | (item.is_default ? MFS_DEFAULT : 0);
    info.wID = item.submenu ? 0 : CommandOf(item.number);
    info.dwTypeData = &text[0];
    if (item.submenu) {
      info.fMask |= MIIM_SUBMENU;
      info.hSubMenu = BuildSubmenu(item.number);
    }
    InsertMenuItemA(menu, position++, TRUE, &info);
  }
  return menu;
}

bool IsChecked(const MainWindow& m, unsigned id) {
  if (!m.reading_menu) return false;
  UINT state = GetMenuState(m.reading_menu, id, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

// Checks a radio item and unchecks the rest of its contiguous group.
void CheckRadio(const MainWindow& m, int number) {
  int first = 0, last = 0;
  if (!m.reading_menu || !RadioRun(Items(), number, &first, &last)) return;
  HMENU holder = MenuHolding(m.reading_menu, number);
  if (!holder) return;
  CheckMenuRadioItem(holder, PositionInMenu(first), PositionInMenu(last),
                     PositionInMenu(number), MF_BYPOSITION);
}

void SetCaption(MainWindow& m, const char* text) { m.SetText(m.window, text); }

int ListCount(const MainWindow& m) {
  if (!m.file_list) return 0;
  LRESULT n = SendMessageA(m.file_list, CB_GETCOUNT, 0, 0);
  return n == CB_ERR ? 0 : static_cast<int>(n);
}

// The list box's current text: the selected entry, or empty without a selection.
std::string ListCurrentText(const MainWindow& m) {
  LRESULT at = SendMessageA(m.file_list, CB_GETCURSEL, 0, 0);
  if (at == CB_ERR) return std::string();
  LRESULT length = SendMessageA(m.file_list, CB_GETLBTEXTLEN, at, 0);
  if (length == CB_ERR || length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT n = SendMessageA(m.file_list, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(&text[0]));
  text.resize(n == CB_ERR ? 0 : static_cast<size_t>(n));
  return text;
}

// Shows one decoded file according to the display settings.
void ShowDecodedFile(MainWindow& m, const MemoryStream& decoded) {
  const std::vector<uint8_t>& bytes = decoded.bytes();
  if (IsChecked(m, kCmdMethodOne) || IsChecked(m, kCmdMethodSecond)) {
    try {
      std::string text = JoinTextLines(
          std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
      text = IsChecked(m, kCmdMethodOne) ? ConvertMethodOne(text) : ConvertMethodSecond(text);
      if (IsChecked(m, kCmdLanguageGb)) {
        text = ConvertToGb(text);
      } else if (IsChecked(m, kCmdLanguageBig5)) {
        text = ConvertToBig5(text);
      }
      m.ClearLog();
      m.SetLogText(text);
    } catch (const std::bad_alloc&) {
      // A file too large to convert in memory is reported like one too large to decode.
      SetCaption(m, kDecodeErrorCaption);
    }
    return;
  }
  m.StreamInLog(bytes.data(), bytes.size());
}

// The selected file's method under the convert set Auto: Second for HTML-like names.
void SelectMethodForName(MainWindow& m, const std::string& name) {
  if (!IsChecked(m, kCmdSetAuto)) return;
  CheckRadio(m, static_cast<int>((IsHtmlLikeName(name) ? kCmdMethodSecond : kCmdMethodNone) -
                                 kReadingCommandBase));
}

// Copies the block at `position` into `block`. When the package ends first, the bytes that
// are there are copied instead and false is returned.
bool CopyBlock(Stream& package, uint64_t position, uint64_t length, MemoryStream* block) {
  uint64_t size = package.Size();
  bool whole = size != UINT64_MAX && position <= size && length <= size - position;
  uint64_t take = whole ? length : (size != UINT64_MAX && position < size ? size - position : 0);
  if (take == 0) return whole;
  if (!block->Reserve(static_cast<size_t>(take))) return false;
  // A read that fails midway leaves what was read; it counts as a package that ends early.
  return StreamCopyFrom(*block, package, position, take) == take && whole;
}

std::string DefaultFolderChooser() {
  BROWSEINFOA info = {};
  info.hwndOwner = Main().window;
  info.lpszTitle = rt::kFolderDialogTitle;
  info.ulFlags = BIF_RETURNONLYFSDIRS;
  info.lpfn = CentreFolderDialog;  // centred like the browse dialog
  LPITEMIDLIST chosen = late::SHBrowseForFolderA(&info);
  if (!chosen) return std::string();
  char path[MAX_PATH] = {};
  BOOL ok = late::SHGetPathFromIDListA(chosen, path);
  late::CoTaskMemFree(chosen);
  return ok ? std::string(path) : std::string();
}

// The question box's buttons carry the reading mode's own captions.
HHOOK g_question_hook = nullptr;

LRESULT CALLBACK QuestionHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wp);
    SetDlgItemTextA(box, IDYES, rt::kOverwriteYes);
    SetDlgItemTextA(box, IDNO, rt::kOverwriteNo);
  }
  return CallNextHookEx(g_question_hook, code, wp, lp);
}

// True unless the user answers "NO".
bool AskOverwrite(MainWindow& m, const std::string& target) {
  std::string question = target + rt::kOverwriteSuffix;
  g_question_hook = SetWindowsHookExA(WH_CBT, QuestionHook, nullptr, GetCurrentThreadId());
  int answer = MessageBoxA(m.window, question.c_str(), rt::kQuestionCaption,
                           MB_YESNO | MB_ICONQUESTION);
  if (g_question_hook) UnhookWindowsHookEx(g_question_hook);
  g_question_hook = nullptr;
  return answer != IDNO;
}

// Creates the folders of `path` below `folder` that do not exist yet.
void CreateParentFolders(const std::string& folder, const std::string& name) {
  for (size_t at = name.find_first_of("\\/"); at != std::string::npos;
       at = name.find_first_of("\\/", at + 1)) {
    CreateDirectoryA((folder + name.substr(0, at)).c_str(), nullptr);
  }
}

// Extracts one file; false when the command must stop.
bool ExtractOne(MainWindow& m, Stream& package, const std::string& folder,
                const FileBlockLocation& location) {
  const std::string& name = location.line.name;
  // The installer's own name rule: inside the folder, and no device name such as "COM1",
  // "NUL" or "con.txt" that the system would open instead of a file.
  if (!IsContainedName(name)) {
    SetCaption(m, rt::kStreamIsBad);
    return false;
  }
  std::string target = folder + name;
  DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (!AskOverwrite(m, target)) return false;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(target.c_str(), 0);
  }
  CreateParentFolders(folder, name);
  MemoryStream block;
  bool whole = CopyBlock(package, location.position, location.line.block_length, &block);
  std::unique_ptr<FileStream> file = FileStream::Open(target, FileStream::Mode::kCreate);
  if (!file) {
    SetCaption(m, rt::kStreamIsBad);
    return false;
  }
  DecodeBlock(block, *file);
  file.reset();
  if (!whole) {
    SetCaption(m, rt::kStreamIsBad);
    return false;
  }
  SetCaption(m, rt::kExtractFinish);
  return true;
}

LOGFONTA LogFontFromCharFormat(HWND box) {
  LOGFONTA font = {};
  GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
  CHARFORMATA format = {};
  format.cbSize = sizeof format;
  SendMessageA(box, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
  if (format.dwMask & CFM_FACE) {
    lstrcpynA(font.lfFaceName, format.szFaceName, LF_FACESIZE);
    font.lfPitchAndFamily = format.bPitchAndFamily;
  }
  if (format.dwMask & CFM_CHARSET) font.lfCharSet = format.bCharSet;
  if (format.dwMask & CFM_BOLD) font.lfWeight = (format.dwEffects & CFE_BOLD) ? FW_BOLD : FW_NORMAL;
  if (format.dwMask & CFM_ITALIC) font.lfItalic = (format.dwEffects & CFE_ITALIC) ? 1 : 0;
  if (format.dwMask & CFM_UNDERLINE) font.lfUnderline = (format.dwEffects & CFE_UNDERLINE) ? 1 : 0;
  if (format.dwMask & CFM_STRIKEOUT) font.lfStrikeOut = (format.dwEffects & CFE_STRIKEOUT) ? 1 : 0;
  return font;
}

void SetFontSize(MainWindow& m, int size) {
  if (!m.log_box) return;
  ReadingState& s = State();
  // The box's font: its own when it tells (rich-edit boxes often do not), else the one made
  // here last, else the face and attributes of its default character format.
  HFONT current = reinterpret_cast<HFONT>(SendMessageA(m.log_box, WM_GETFONT, 0, 0));
  if (!current) current = static_cast<HFONT>(s.font.get());
  LOGFONTA font = {};
  if (!current || !GetObjectA(current, sizeof font, &font)) font = LogFontFromCharFormat(m.log_box);
  font.lfWidth = size;
  font.lfHeight = size;
  HFONT made = CreateFontIndirectA(&font);
  if (!made) return;
  SendMessageA(m.log_box, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
  s.font.reset(made);  // the box uses the new font from here on; the old one can go
}

void ChooseBackgroundColour(MainWindow& m) {
  ReadingState& s = State();
  CHOOSECOLORA& dialog = m.colour_dialog;
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = nullptr;
  dialog.lpCustColors = m.custom_colours;
  dialog.Flags = CC_RGBINIT | CC_FULLOPEN;
  dialog.rgbResult = s.colour_choice;
  if (!late::ChooseColorA(&dialog)) return;
  s.colour_choice = dialog.rgbResult;
  SendMessageA(m.log_box, EM_SETBKGNDCOLOR, 0, dialog.rgbResult);
}

void CopyAll(MainWindow& m) {
  std::string text = m.Text(m.log_box);
  if (!OpenClipboard(nullptr)) return;
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  if (memory) {
    if (void* p = GlobalLock(memory)) {
      memcpy(p, text.c_str(), text.size() + 1);
      GlobalUnlock(memory);
      if (!SetClipboardData(CF_TEXT, memory)) GlobalFree(memory);
    } else {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
}

void Return(MainWindow& m) {
  LayoutHold hold(m);  // the log box keeps the shown file: lay it out once, not per change
  for (int i = 0; i < 2 && m.window && (IsZoomed(m.window) || IsIconic(m.window)); ++i) {
    ShowWindow(m.window, SW_RESTORE);  // a minimised window may restore to maximised first
  }
  if (m.file_list) SendMessageA(m.file_list, CB_RESETCONTENT, 0, 0);
  m.Show(m.nav_bar, false);
  m.Show(m.install_panel, true);
}

void ExtractCurrentFile(MainWindow& m) {
  if (ListCount(m) == 0) return;
  ReadingState& s = State();
  std::string folder = s.folder_chooser ? s.folder_chooser() : DefaultFolderChooser();
  if (folder.empty()) return;
  folder = FolderWithSeparator(folder);
  Stream* package = Startup().package.get();
  if (!package) return;
  std::string current = ListCurrentText(m);
  std::vector<FileBlockLocation> blocks = LocateFileBlocks(s.file_list, s.block_base);
  for (const FileBlockLocation& block : blocks) {
    PumpMessages();
    if (!block.parsed || block.line.name != current) continue;
    if (!ExtractOne(m, *package, folder, block)) return;
  }
}

}  // namespace

void SetReadingFolderChooser(ReadingFolderChooser chooser) { State().folder_chooser = chooser; }

HMENU BuildReadingMenu() { return BuildSubmenu(-1); }

HACCEL BuildReadingAccelerators() {
  std::vector<ACCEL> table;
  for (const ReadingMenuItem& item : Items()) {
    if (item.shortcut.empty()) continue;
    ReadingShortcut key = ParseShortcut(item.shortcut);
    if (!key.virtual_key) continue;
    ACCEL accel = {};
    accel.fVirt = static_cast<BYTE>(FVIRTKEY | (key.control ? FCONTROL : 0) | (key.alt ? FALT : 0));
    accel.key = key.virtual_key;
    accel.cmd = static_cast<WORD>(CommandOf(item.number));
    table.push_back(accel);
  }
  if (table.empty()) return nullptr;
  return CreateAcceleratorTableA(table.data(), static_cast<int>(table.size()));
}

// The commands below run inside a ProcedureScope: their work pumps messages, and a second
// command arriving meanwhile is ignored instead of running inside the first.

namespace {

void LoadSelectedFile(MainWindow& m) {
  ReadingState& s = State();
  if (ListCount(m) == 0 || s.file_list.empty()) return;
  Stream* package = Startup().package.get();
  if (!package) return;
  std::string current = ListCurrentText(m);
  std::vector<FileBlockLocation> blocks = LocateFileBlocks(s.file_list, s.block_base);
  for (const FileBlockLocation& block : blocks) {
    PumpMessages();
    if (!block.parsed || block.line.name != current) continue;
    if (ReadingBlockTooBig(block.line.block_length)) {
      SetCaption(m, rt::kStreamIsBig);
      return;
    }
    MemoryStream packed;
    bool whole = CopyBlock(*package, block.position, block.line.block_length, &packed);
    MemoryStream decoded;
    DecodeBlock(packed, decoded, kLogTextLimit);  // no more than the log box shows
    packed = MemoryStream();
    if (whole) SelectMethodForName(m, current);
    ShowDecodedFile(m, decoded);
    if (!whole) {
      SetCaption(m, rt::kStreamIsBad);
      return;
    }
  }
}

void Select(MainWindow& m, int delta) {
  int count = ListCount(m);
  if (count == 0) return;
  LRESULT at = SendMessageA(m.file_list, CB_GETCURSEL, 0, 0);
  int chosen;
  if (delta < 0) {
    chosen = (at == CB_ERR || at <= 0) ? count - 1 : static_cast<int>(at) - 1;
  } else {
    chosen = (at == CB_ERR || at + 1 >= count) ? 0 : static_cast<int>(at) + 1;
  }
  SendMessageA(m.file_list, CB_SETCURSEL, chosen, 0);
  LoadSelectedFile(m);
}

void Enter(MainWindow& m) {
  ReadingState& s = State();
  LayoutHold hold(m);
  m.Show(m.progress, false);

  char date[128] = {}, time[128] = {};
  GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
  GetTimeFormatA(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, time, sizeof time);
  m.ClearLog();
  m.AppendLog(std::string(rt::kLogHeaderPrefix) + date + " " + time + "\r\n");
  m.AppendLog(std::string(rt::kLogHint) + "\r\n");

  // The list is read anew on every entry; the blocks follow it back to back.
  s.file_list.clear();
  s.block_base = 0;
  StartupValues& startup = Startup();
  if (startup.package) {
    s.file_list = ReadFileListLines(*startup.package, startup.file_list_position);
    s.block_base = startup.package->Position();
  }
  if (m.file_list) {
    SendMessageA(m.file_list, CB_RESETCONTENT, 0, 0);
    // Every line's text before its first "|", also of a line that does not parse.
    for (const std::string& line : s.file_list)
      SendMessageA(m.file_list, CB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(line.substr(0, line.find('|')).c_str()));
  }

  m.Show(m.install_panel, false);
  m.Show(m.banner, false);
  if (m.window) ShowWindow(m.window, SW_MAXIMIZE);
  m.Show(m.nav_bar, true);
}

// Memory that cannot be had ends the command the way a bad block does.
void RunCommand(MainWindow& m, void (*work)(MainWindow&, unsigned), unsigned id = 0) {
  ProcedureScope scope(m);
  if (!scope.entered()) return;
  try {
    work(m, id);
  } catch (const std::bad_alloc&) {
    SetCaption(m, kDecodeErrorCaption);
  }
}

void RunReadingCommand(MainWindow& m, unsigned id) {
  int number = static_cast<int>(id - kReadingCommandBase);
  const ReadingMenuItem& item = Items()[number];
  if (item.radio) {
    CheckRadio(m, number);
  } else if (item.check && m.reading_menu) {
    CheckMenuItem(m.reading_menu, id, MF_BYCOMMAND | (IsChecked(m, id) ? MF_UNCHECKED : MF_CHECKED));
  }
  switch (id) {
    case kCmdReturn: Return(m); break;
    case kCmdFontMax: SetFontSize(m, 72); break;
    case kCmdFontBig: SetFontSize(m, 44); break;
    case kCmdFontNormal: SetFontSize(m, 36); break;
    case kCmdFontSmall: SetFontSize(m, 32); break;
    case kCmdFontMin: SetFontSize(m, 28); break;
    case kCmdBackgroundColour: ChooseBackgroundColour(m); break;
    case kCmdCopyAll: CopyAll(m); break;
    case kCmdPreviousFile: Select(m, -1); break;
    case kCmdNextFile: Select(m, 1); break;
    case kCmdExtractCurrent: ExtractCurrentFile(m); break;
    default: break;  // the settings items only change their check marks
  }
}

}  // namespace

bool OnReadingCommand(MainWindow& m, unsigned id) {
  if (id < kReadingCommandBase || id > kReadingCommandLast) return false;
  if (Items()[id - kReadingCommandBase].submenu) return false;
  RunCommand(m, RunReadingCommand, id);
  return true;
}

void EnterReadingMode(MainWindow& m) { RunCommand(m, [](MainWindow& w, unsigned) { Enter(w); }); }
void OnFileListSelChange(MainWindow& m) { RunCommand(m, [](MainWindow& w, unsigned) { LoadSelectedFile(w); }); }
void ReadingPreviousFile(MainWindow& m) { RunCommand(m, [](MainWindow& w, unsigned) { Select(w, -1); }); }
void ReadingNextFile(MainWindow& m) { RunCommand(m, [](MainWindow& w, unsigned) { Select(w, 1); }); }

}  // namespace hollin
