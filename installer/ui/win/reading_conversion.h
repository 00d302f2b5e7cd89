// GB and Big5 conversions of the reading mode through the platform's national-language
// services: the code page first (MultiByteToWideChar, WideCharToMultiByte), the character
// form second (LCMapStringA). Every step works up to the text's first NUL byte.
#pragma once
#include <windows.h>

#include <string>

namespace hollin {

constexpr UINT kGbCodePage = 936;
constexpr UINT kBig5CodePage = 950;
constexpr LCID kSimplifiedChineseLocale = 2052;
constexpr LCID kTraditionalChineseLocale = 1028;
constexpr DWORD kMapSimplifiedChinese = 0x02000000;   // LCMAP_SIMPLIFIED_CHINESE
constexpr DWORD kMapTraditionalChinese = 0x04000000;  // LCMAP_TRADITIONAL_CHINESE

// The text re-encoded from code page `source` to `target`; characters the target cannot hold
// become its default character. An empty result when a size query fails.
std::string TranslateCodePage(const std::string& text, UINT source, UINT target);

// LCMapStringA(locale, flag) over the text; where the platform leaves Chinese characters
// unmapped (probed once), the same change through the generated character tables in the
// locale's code page.
std::string MapChineseText(const std::string& text, LCID locale, DWORD flag);

// "GB": a Big5 text becomes a GB text in simplified characters.
std::string ConvertToGb(const std::string& text);
// "Big5": a GB text becomes a Big5 text in traditional characters.
std::string ConvertToBig5(const std::string& text);

// Whether LCMapStringA itself maps between the two character forms (probed on first use).
bool PlatformMapsChineseForms();

}  // namespace hollin
