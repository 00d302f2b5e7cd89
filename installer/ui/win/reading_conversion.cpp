#include "installer/ui/win/reading_conversion.h"

#include <vector>

#include "installer/ui/chinese_forms.h"

namespace hollin {
namespace {

std::string UpToNul(const std::string& text) { return std::string(text.c_str()); }

// The text as UTF-16 in code page `cp`, zero-terminated (an empty vector when a size query
// fails).
std::vector<wchar_t> Widen(const std::string& text, UINT cp) {
  int n = MultiByteToWideChar(cp, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::vector<wchar_t> wide(static_cast<size_t>(n) + 1, L'\0');
  if (!text.empty()) {
    MultiByteToWideChar(cp, 0, text.data(), static_cast<int>(text.size()), wide.data(), n + 1);
  }
  return wide;
}

// The zero-terminated UTF-16 text in code page `cp`, with the code page's own default
// character for what it cannot hold.
std::string Narrow(const std::vector<wchar_t>& wide, UINT cp) {
  if (wide.empty()) return {};
  int m = WideCharToMultiByte(cp, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
  if (m <= 0) return {};
  std::vector<char> result(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(cp, 0, wide.data(), -1, result.data(), m, nullptr, nullptr);
  return std::string(result.data());
}

UINT LocaleCodePage(LCID locale) {
  return locale == kTraditionalChineseLocale ? kBig5CodePage : kGbCodePage;
}

std::string PlatformMap(const std::string& text, LCID locale, DWORD flag) {
  int n = LCMapStringA(locale, flag, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return {};
  std::vector<char> buffer(static_cast<size_t>(n), '\0');
  LCMapStringA(locale, flag, text.c_str(), -1, buffer.data(), n);
  buffer.back() = '\0';
  return std::string(buffer.data());
}

}  // namespace

std::string TranslateCodePage(const std::string& text, UINT source, UINT target) {
  return Narrow(Widen(UpToNul(text), source), target);
}

bool PlatformMapsChineseForms() {
  static const bool maps = [] {
    // 國 in code page 936, simplified by the platform, must come back as 国.
    std::vector<wchar_t> traditional = {0x570B, 0};
    std::string bytes = Narrow(traditional, kGbCodePage);
    std::string mapped = PlatformMap(bytes, kSimplifiedChineseLocale, kMapSimplifiedChinese);
    std::vector<wchar_t> wide = Widen(mapped, kGbCodePage);
    return wide.size() >= 2 && wide[0] == 0x56FD;
  }();
  return maps;
}

std::string MapChineseText(const std::string& input, LCID locale, DWORD flag) {
  std::string text = UpToNul(input);
  if (PlatformMapsChineseForms()) return PlatformMap(text, locale, flag);
  // The same steps LCMapStringA takes: the text in the locale's code page to UTF-16, the
  // change of form, and back.
  UINT cp = LocaleCodePage(locale);
  std::vector<wchar_t> wide = Widen(text, cp);
  if (wide.empty()) return {};
  ChineseForm form =
      flag == kMapTraditionalChinese ? ChineseForm::kTraditional : ChineseForm::kSimplified;
  for (wchar_t& unit : wide) {
    unit = static_cast<wchar_t>(MapChineseCharacter(static_cast<uint16_t>(unit), form));
  }
  return Narrow(wide, cp);
}

std::string ConvertToGb(const std::string& text) {
  return MapChineseText(TranslateCodePage(text, kBig5CodePage, kGbCodePage),
                        kSimplifiedChineseLocale, kMapSimplifiedChinese);
}

std::string ConvertToBig5(const std::string& text) {
  return MapChineseText(TranslateCodePage(text, kGbCodePage, kBig5CodePage),
                        kTraditionalChineseLocale, kMapTraditionalChinese);
}

}  // namespace hollin
