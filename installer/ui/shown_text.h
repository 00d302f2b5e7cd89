// How much of a whole text the log box is given: the licence, a packaged file or a
// converted page. Rich-edit boxes that wrap long paragraphs slowly (Wine's takes time and
// memory that grow with a paragraph's length times its wrapped rows, and fails at a few
// megabytes of long lines) get short lines and a bounded total; a real licence or help
// text passes through unchanged.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace hollin {

// At most this many bytes of text, cut at a line end.
constexpr size_t kMaxShownChars = 524288;
// Longer lines are broken into lines of at most this many bytes: after the last blank in
// their second half, else at the last whole character.
constexpr size_t kMaxShownLineChars = 1024;

// `text` as shown, each line ending as it did (CR, LF or CR LF; a broken line's parts end
// with CR LF), with no more than kMaxShownChars bytes and kMaxShownLines lines.
// `lead_bytes` flags the 256 byte values that start a two-byte character in the code page
// the box reads the text in (nullptr: a single-byte code page). When text was left out at
// the end, `cut_mark` follows.
std::string ShownText(std::string_view text, const uint8_t* lead_bytes,
                      std::string_view cut_mark);

}  // namespace hollin
