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

}  // namespace vellumo::unzip::win
