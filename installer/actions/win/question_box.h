// A modal question box whose two buttons read "y" and "n".
#pragma once
#include <windows.h>

#include <string>

namespace hollin {

// True unless the answer is "n" (the box has no other way to close).
bool AskYesNoBox(HWND owner, const std::string& text, const std::string& caption);

}  // namespace hollin
