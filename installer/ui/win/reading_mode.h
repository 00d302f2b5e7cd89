// Hollin's reading mode: the log box shows one packaged file at a time, picked in the
// navigation bar's file list; the log box's right-click menu and its accelerators set the
// font, background, copying, moving between files, extraction and the display settings.
#pragma once
#include <windows.h>

#include <string>

namespace hollin {

struct MainWindow;

// WM_COMMAND ids of the reading menu and its accelerators: kReadingCommandBase plus the
// item's number in the menu template (submenu parents have no command).
constexpr unsigned kReadingCommandBase = 40000;
enum ReadingCommand : unsigned {
  kCmdReturn = kReadingCommandBase + 0,
  kCmdFontMax = kReadingCommandBase + 2,
  kCmdFontBig = kReadingCommandBase + 3,
  kCmdFontNormal = kReadingCommandBase + 4,
  kCmdFontSmall = kReadingCommandBase + 5,
  kCmdFontMin = kReadingCommandBase + 6,
  kCmdBackgroundColour = kReadingCommandBase + 7,
  kCmdCopyAll = kReadingCommandBase + 8,
  kCmdPreviousFile = kReadingCommandBase + 9,
  kCmdNextFile = kReadingCommandBase + 10,
  kCmdMethodNone = kReadingCommandBase + 12,
  kCmdMethodOne = kReadingCommandBase + 13,
  kCmdMethodSecond = kReadingCommandBase + 14,
  kCmdExtractCurrent = kReadingCommandBase + 15,
  kCmdSetAuto = kReadingCommandBase + 17,
  kCmdSetDefault = kReadingCommandBase + 18,
  kCmdLanguageNone = kReadingCommandBase + 20,
  kCmdLanguageGb = kReadingCommandBase + 21,
  kCmdLanguageBig5 = kReadingCommandBase + 22,
};
constexpr unsigned kReadingCommandLast = kCmdLanguageBig5;

// The popup menu built from the reading menu template; the main window keeps it in
// MainWindow::reading_menu and shows it on the log box's right click.
HMENU BuildReadingMenu();
// The accelerators of every menu shortcut; the message loop translates them for the main
// window in every state.
HACCEL BuildReadingAccelerators();

// A WM_COMMAND from the reading menu or its accelerators: radio and check items change their
// state, then the item's action runs. False when `id` is not a reading command.
bool OnReadingCommand(MainWindow& window, unsigned id);

// The View button.
void EnterReadingMode(MainWindow& window);
// CBN_SELCHANGE of the navigation bar's file list: loads and shows the selected file.
void OnFileListSelChange(MainWindow& window);
// The navigation bar's "-" and "+" buttons (and the menu's "<--" and "-->").
void ReadingPreviousFile(MainWindow& window);
void ReadingNextFile(MainWindow& window);

// Extract Current File asks for its folder through this (the folder dialog by default;
// tests answer it). It returns the chosen folder's path, or empty for a cancel.
using ReadingFolderChooser = std::string (*)();
void SetReadingFolderChooser(ReadingFolderChooser chooser);

}  // namespace hollin
