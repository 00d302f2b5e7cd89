// Which character set an entry's bytes are in, and their decoding to UTF-16 for the built-in
// view. UTF-8 and UTF-16 are decoded here; every other code page by the platform's converter,
// which the caller passes in (natively, tests pass their own).
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace vellumo {

inline constexpr uint32_t kCodePageAnsi = 0;  // the system's ANSI code page
inline constexpr uint32_t kCodePageUtf16Le = 1200;
inline constexpr uint32_t kCodePageUtf16Be = 1201;
inline constexpr uint32_t kCodePageUtf8 = 65001;

// How far a page is searched for its charset declaration (as browsers pre-scan).
inline constexpr size_t kCharsetPrescanBytes = 1024;

struct TextEncoding {
  uint32_t code_page = kCodePageAnsi;
  size_t bom_length = 0;  // bytes to skip before decoding
};

// The code page of a charset label ("utf-8", "windows-1252", "GB2312", "iso-8859-1" ...),
// labels compared without regard to case and surrounding blanks; 0 when unknown.
uint32_t CodePageFromLabel(const std::string& label);

// A byte-order mark at the start, or none.
TextEncoding EncodingFromBom(const uint8_t* data, size_t size);
// An HTML page: its BOM, else a <meta charset> or http-equiv Content-Type declaration in the
// first kCharsetPrescanBytes, else the ANSI code page.
TextEncoding DetectHtmlEncoding(const uint8_t* data, size_t size);
// A text entry: its BOM, else UTF-8 when the bytes are valid UTF-8, else the ANSI code page.
TextEncoding DetectTextEncoding(const uint8_t* data, size_t size);
bool IsValidUtf8(const uint8_t* data, size_t size);

// Converts bytes in a code page the decoder does not know itself; returns false when it
// cannot (the bytes are then taken as Latin-1).
using CodePageConverter =
    std::function<bool(uint32_t code_page, const uint8_t* data, size_t size, std::u16string* out)>;

// Decodes the bytes after the BOM. Invalid UTF-8 sequences and a lone UTF-16 byte at the end
// become U+FFFD.
std::u16string DecodeText(const uint8_t* data, size_t size, const TextEncoding& encoding,
                          const CodePageConverter& converter);

// Appends a code point as UTF-16 (U+FFFD for surrogates and values above U+10FFFF).
void AppendCodePoint(char32_t code_point, std::u16string* out);
// UTF-16 to UTF-8 (unpaired surrogates become U+FFFD).
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace vellumo
