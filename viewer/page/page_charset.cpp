#include "viewer/page/page_charset.h"

#include <cstring>

namespace vellumo {
namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string LowerTrimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  std::string out;
  for (size_t i = begin; i < end; ++i) out += Lower(text[i]);
  return out;
}

struct Label {
  const char* label;
  uint32_t code_page;
};
// Browsers read ISO-8859-1 and US-ASCII as windows-1252; so does this view.
constexpr Label kLabels[] = {
    {"utf-8", kCodePageUtf8}, {"utf8", kCodePageUtf8}, {"unicode-1-1-utf-8", kCodePageUtf8},
    {"utf-16", kCodePageUtf16Le}, {"utf-16le", kCodePageUtf16Le}, {"unicode", kCodePageUtf16Le},
    {"utf-16be", kCodePageUtf16Be},
    {"windows-1250", 1250}, {"windows-1251", 1251}, {"windows-1252", 1252},
    {"windows-1253", 1253}, {"windows-1254", 1254}, {"windows-1255", 1255},
    {"windows-1256", 1256}, {"windows-1257", 1257}, {"windows-1258", 1258},
    {"cp1250", 1250}, {"cp1251", 1251}, {"cp1252", 1252}, {"x-cp1250", 1250}, {"x-cp1251", 1251},
    {"iso-8859-1", 1252}, {"iso8859-1", 1252}, {"latin1", 1252}, {"l1", 1252},
    {"iso_8859-1", 1252}, {"us-ascii", 1252}, {"ascii", 1252},
    {"iso-8859-2", 28592}, {"iso-8859-3", 28593}, {"iso-8859-4", 28594},
    {"iso-8859-5", 28595}, {"iso-8859-6", 28596}, {"iso-8859-7", 28597},
    {"iso-8859-8", 28598}, {"iso-8859-9", 1254}, {"iso-8859-13", 28603},
    {"iso-8859-15", 28605}, {"koi8-r", 20866}, {"koi8-u", 21866},
    {"gb2312", 936}, {"gbk", 936}, {"x-gbk", 936}, {"cp936", 936}, {"gb_2312-80", 936},
    {"euc-cn", 936}, {"gb18030", 54936}, {"big5", 950}, {"big5-hkscs", 950}, {"cp950", 950},
    {"shift_jis", 932}, {"shift-jis", 932}, {"sjis", 932}, {"x-sjis", 932}, {"windows-31j", 932},
    {"euc-jp", 20932}, {"iso-2022-jp", 50220}, {"euc-kr", 949}, {"ks_c_5601-1987", 949},
    {"windows-949", 949}, {"windows-874", 874}, {"tis-620", 874},
};

// Case-insensitive search for `needle` (lower case) in [from, end).
size_t FindLower(const uint8_t* data, size_t from, size_t end, const char* needle) {
  const size_t n = std::strlen(needle);
  for (size_t i = from; i + n <= end; ++i) {
    size_t k = 0;
    while (k < n && Lower(static_cast<char>(data[i + k])) == needle[k]) ++k;
    if (k == n) return i;
  }
  return end;
}

// The value after "charset=" inside `text`, or empty.
std::string CharsetParameter(const std::string& text) {
  std::string lower;
  for (char c : text) lower += Lower(c);
  size_t at = lower.find("charset");
  if (at == std::string::npos) return std::string();
  size_t i = at + 7;
  while (i < lower.size() && IsBlank(lower[i])) ++i;
  if (i >= lower.size() || lower[i] != '=') return std::string();
  ++i;
  while (i < lower.size() && IsBlank(lower[i])) ++i;
  if (i < lower.size() && (lower[i] == '"' || lower[i] == '\'')) ++i;
  size_t end = i;
  while (end < lower.size() && !IsBlank(lower[end]) && lower[end] != ';' && lower[end] != '"' &&
         lower[end] != '\'')
    ++end;
  return lower.substr(i, end - i);
}

// Attributes of one tag starting after "<meta", up to its ">" or `end`.
struct MetaTag {
  std::string charset, http_equiv, content;
};
size_t ReadMetaTag(const uint8_t* data, size_t i, size_t end, MetaTag* tag) {
  while (i < end && data[i] != '>') {
    while (i < end && (IsBlank(static_cast<char>(data[i])) || data[i] == '/')) ++i;
    std::string name;
    while (i < end && data[i] != '=' && data[i] != '>' && !IsBlank(static_cast<char>(data[i])) &&
           data[i] != '/')
      name += Lower(static_cast<char>(data[i++]));
    while (i < end && IsBlank(static_cast<char>(data[i]))) ++i;
    std::string value;
    if (i < end && data[i] == '=') {
      ++i;
      while (i < end && IsBlank(static_cast<char>(data[i]))) ++i;
      if (i < end && (data[i] == '"' || data[i] == '\'')) {
        const uint8_t quote = data[i++];
        while (i < end && data[i] != quote) value += static_cast<char>(data[i++]);
        if (i < end) ++i;
      } else {
        while (i < end && data[i] != '>' && !IsBlank(static_cast<char>(data[i])))
          value += static_cast<char>(data[i++]);
      }
    }
    if (name.empty() && value.empty()) {
      if (i < end && data[i] != '>') ++i;  // a stray byte: step over it
      continue;
    }
    if (name == "charset") tag->charset = value;
    else if (name == "http-equiv") tag->http_equiv = LowerTrimmed(value);
    else if (name == "content") tag->content = value;
  }
  return i;
}

}  // namespace

uint32_t CodePageFromLabel(const std::string& label) {
  const std::string key = LowerTrimmed(label);
  for (const Label& entry : kLabels) {
    if (key == entry.label) return entry.code_page;
  }
  return 0;
}

TextEncoding EncodingFromBom(const uint8_t* data, size_t size) {
  if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
    return {kCodePageUtf8, 3};
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return {kCodePageUtf16Le, 2};
  if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) return {kCodePageUtf16Be, 2};
  return {};
}

TextEncoding DetectHtmlEncoding(const uint8_t* data, size_t size) {
  TextEncoding bom = EncodingFromBom(data, size);
  if (bom.bom_length) return bom;
  const size_t end = size < kCharsetPrescanBytes ? size : kCharsetPrescanBytes;
  size_t i = 0;
  while (i < end) {
    size_t meta = FindLower(data, i, end, "<meta");
    if (meta >= end) break;
    i = meta + 5;
    if (i < end && !IsBlank(static_cast<char>(data[i])) && data[i] != '/') continue;
    MetaTag tag;
    i = ReadMetaTag(data, i, end, &tag);
    std::string label = tag.charset;
    if (label.empty() && tag.http_equiv == "content-type") label = CharsetParameter(tag.content);
    if (label.empty()) continue;
    uint32_t code_page = CodePageFromLabel(label);
    // A page that calls itself UTF-16 but was found by reading it as bytes is not UTF-16.
    if (code_page == kCodePageUtf16Le || code_page == kCodePageUtf16Be) code_page = kCodePageUtf8;
    if (code_page) return {code_page, 0};
  }
  return {};
}

bool IsValidUtf8(const uint8_t* data, size_t size) {
  size_t i = 0;
  while (i < size) {
    const uint8_t b = data[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    size_t extra;
    char32_t cp, min;
    if ((b & 0xE0) == 0xC0) extra = 1, cp = b & 0x1F, min = 0x80;
    else if ((b & 0xF0) == 0xE0) extra = 2, cp = b & 0x0F, min = 0x800;
    else if ((b & 0xF8) == 0xF0) extra = 3, cp = b & 0x07, min = 0x10000;
    else return false;
    if (extra > size - i - 1) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((data[i + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (data[i + k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

TextEncoding DetectTextEncoding(const uint8_t* data, size_t size) {
  TextEncoding bom = EncodingFromBom(data, size);
  if (bom.bom_length) return bom;
  if (IsValidUtf8(data, size)) return {kCodePageUtf8, 0};
  return {};
}

void AppendCodePoint(char32_t cp, std::u16string* out) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x10000) {
    out->push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::u16string DecodeText(const uint8_t* data, size_t size, const TextEncoding& encoding,
                          const CodePageConverter& converter) {
  const size_t skip = encoding.bom_length < size ? encoding.bom_length : size;
  data += skip;
  size -= skip;
  std::u16string out;
  if (encoding.code_page == kCodePageUtf16Le || encoding.code_page == kCodePageUtf16Be) {
    const bool big = encoding.code_page == kCodePageUtf16Be;
    out.reserve(size / 2 + 1);
    for (size_t i = 0; i + 1 < size; i += 2) {
      out.push_back(static_cast<char16_t>(big ? (data[i] << 8) | data[i + 1]
                                              : data[i] | (data[i + 1] << 8)));
    }
    if (size % 2) out.push_back(u'\xFFFD');
    return out;
  }
  if (encoding.code_page == kCodePageUtf8) {
    out.reserve(size);
    size_t i = 0;
    while (i < size) {
      const uint8_t b = data[i];
      if (b < 0x80) {
        out.push_back(b);
        ++i;
        continue;
      }
      size_t extra = 0;
      char32_t cp = 0, min = 0;
      if ((b & 0xE0) == 0xC0) extra = 1, cp = b & 0x1F, min = 0x80;
      else if ((b & 0xF0) == 0xE0) extra = 2, cp = b & 0x0F, min = 0x800;
      else if ((b & 0xF8) == 0xF0) extra = 3, cp = b & 0x07, min = 0x10000;
      size_t k = 1;
      if (extra) {
        while (k <= extra && k < size - i && (data[i + k] & 0xC0) == 0x80) {
          cp = (cp << 6) | (data[i + k] & 0x3F);
          ++k;
        }
      }
      if (!extra || k <= extra || cp < min) {
        out.push_back(u'\xFFFD');  // one replacement per bad lead byte; continuation bytes resync
        i += 1;
        continue;
      }
      AppendCodePoint(cp, &out);
      i += k;
    }
    return out;
  }
  if (converter && size > 0 && converter(encoding.code_page, data, size, &out)) return out;
  out.clear();
  out.reserve(size);
  for (size_t i = 0; i < size; ++i) out.push_back(data[i]);
  return out;
}

}  // namespace vellumo
