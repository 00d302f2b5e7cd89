// Every text the reading mode shows, in one table: the menu template and the captions,
// log lines and questions. Kept byte for byte, spelling included.
#pragma once

namespace hollin::reading_texts {

// The reading menu template, in menu order: "(" opens the submenu of the item before it and
// ")" closes it; a leading "+" or "-" makes a check item (checked or not), "!" after the sign
// a radio item; a tab separates the caption from the shortcut.
constexpr const char* kMenuTemplate[] = {
    "Return\tCtrl+R",
    "Font Set",
    "(",
    "Max\tCtrl+F1",
    "Big\tCtrl+F2",
    "Normal\tCtrl+F3",
    "Small\tCtrl+F4",
    "Min\tCtrl+F5",
    ")",
    "Background Color\tCtrl+F10",
    "Copy All\tCtrl+A",
    "<--\tCtrl+-",
    "-->\tCtrl++",
    "Convert methods",
    "(",
    "+!None\tCtrl+F6",
    "-!One\tCtrl+F7",
    "-!Second\tCtrl+F8",
    ")",
    "Extract Current File\tCtrl+E",
    "Convert set",
    "(",
    "+!Auto\tAlt+A",
    "-!Default\tAlt+D",
    ")",
    "Language Convert Set",
    "(",
    "+!None\tAlt+N",
    "-!GB\tAlt+G",
    "-!Big5\tAlt+B",
    ")",
};
// The menu's default item (shown bold): "None" of "Convert methods".
constexpr int kDefaultMenuItem = 12;

constexpr char kLogHeaderPrefix[] = "view logs by Quill installer -12.2 ";
constexpr char kLogHint[] = "right click me ,show a menu,can set font,and more function...";
constexpr char kStreamIsBig[] = "stream is big,skip read";
constexpr char kStreamIsBad[] = "stream is bad";
constexpr char kExtractFinish[] = "extract finish...";
constexpr char kFolderDialogTitle[] = "please select a folder to install";
constexpr char kQuestionCaption[] = "hollin";  // the application's name
constexpr char kOverwriteSuffix[] = " is exists,overwrite?";
constexpr char kOverwriteYes[] = "yes";
constexpr char kOverwriteNo[] = "NO";

}  // namespace hollin::reading_texts
