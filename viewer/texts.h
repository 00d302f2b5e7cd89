// Every text that Vellumo's own window shows, in one place; tests compare against the same
// constants. The archive component keeps its numbered messages in its own table.
#pragma once

namespace vellumo::texts {

inline constexpr char kApplicationTitle[] = "Vellumo";
inline constexpr char kCaptionAtRest[] = "Vellumo 2.0";
inline constexpr char kEncryptedSuffix[] = " encrypted,please enter pass";
inline constexpr char kCreditMenuItem[] = "Credit";
inline constexpr char kCreditText[] =
    "Vellumo 2.0\n\n"
    "Shows the entries of a ZIP archive, or of a self-extracting archive, without extracting "
    "them to disk: each entry is unpacked into memory and shown from there.\n\n"
    "Archive component by the Vellumo team.";
// Added to the credit text once pages are shown by the built-in view.
inline constexpr char kBuiltInViewNote[] =
    "\n\nThis system has no HTML engine: pages are shown by Vellumo's built-in view.";
// Filter of the open dialog: pairs of description and pattern, separated by "|".
inline constexpr char kOpenFilter[] = "zip files|*.zip|zip self extract file|*.exe|all files|*.*";
inline constexpr char kPasswordLabel[] = "pass:";
inline constexpr char kOpenButton[] = "...";
inline constexpr char kPreviousButton[] = "<<<";
inline constexpr char kNextButton[] = ">>>";
inline constexpr char kInterfaceNotSupported[] = "Interface not supported";
// A failure inside a handler that has no message of its own; the failure's text follows.
inline constexpr char kUnexpectedFailure[] = "Unexpected failure: ";
inline constexpr char kWindowFont[] = "MS Sans Serif";

}  // namespace vellumo::texts
