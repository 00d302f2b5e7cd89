#include "unzip/win/windows_code_pages.h"

#include <windows.h>

#include <vector>

namespace vellumo::unzip::win {

char WindowsCodePages::OemByteToAnsi(unsigned char oem) const {
  char in = static_cast<char>(oem);
  char out = in;
  OemToCharBuffA(&in, &out, 1);
  return out;
}

std::string WindowsCodePages::Utf8ToAnsi(const std::string& utf8) const {
  if (utf8.empty()) return std::string();
  int wide = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (wide <= 0) return utf8;
  std::vector<wchar_t> w(static_cast<size_t>(wide));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
  int bytes = WideCharToMultiByte(CP_ACP, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return utf8;
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), wide, &out[0], bytes, nullptr, nullptr);
  return out;
}

bool WindowsCodePages::EqualIgnoringCase(const std::string& a, const std::string& b) const {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                        b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

namespace {

bool SortOrderLeavesAsciiPlain() {
  // The user's sort order decides. Many languages fold ASCII letters in ways of their
  // own: Turkish "I" is not "i" ignoring case, Hungarian takes "ccs" as "cscs", Czech,
  // Slovak, Spanish (traditional), Croatian, Danish, Welsh and others join letter pairs
  // (by their case). Only languages whose order leaves printable ASCII as it is are
  // listed; every other one keeps the locale's comparison for every name.
  LANGID language = PRIMARYLANGID(LANGIDFROMLCID(GetUserDefaultLCID()));
  switch (language) {
    case LANG_ENGLISH:
    case LANG_GERMAN:
    case LANG_FRENCH:
    case LANG_ITALIAN:
    case LANG_PORTUGUESE:
    case LANG_DUTCH:
    case LANG_RUSSIAN:
    case LANG_UKRAINIAN:
    case LANG_GREEK:
    case LANG_JAPANESE:
    case LANG_CHINESE:
    case LANG_KOREAN:
      return true;
    default:
      return false;
  }
}

}  // namespace

WindowsCodePages::WindowsCodePages() : asciiIsPlain_(SortOrderLeavesAsciiPlain()) {}

}  // namespace vellumo::unzip::win
