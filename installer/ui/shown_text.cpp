#include "installer/ui/shown_text.h"

#include "installer/package/package_format.h"

namespace hollin {

std::string ShownText(std::string_view text, const uint8_t* lead_bytes,
                      std::string_view cut_mark) {
  const char* p = text.data();
  const size_t n = text.size();
  auto line_end = [&](size_t k) { return p[k] == '\r' || p[k] == '\n'; };
  std::string out;
  size_t at = 0, lines = 0;
  while (at < n) {
    // The next line: up to its line end, or as many whole characters as a line may hold.
    size_t end = at;
    while (end < n && !line_end(end)) {
      bool pair = lead_bytes && lead_bytes[static_cast<uint8_t>(p[end])] && end + 1 < n &&
                  !line_end(end + 1);
      size_t step = pair ? 2 : 1;
      if (end + step - at > kMaxShownLineChars) break;
      end += step;
    }
    const bool part = end < n && !line_end(end);  // an over-long line's first part
    size_t next = end;
    if (part) {
      // Broken after its last blank in the second half, where there is one.
      for (size_t k = end; k > at + kMaxShownLineChars / 2; --k) {
        if (p[k - 1] == ' ' || p[k - 1] == '\t') {
          end = next = k;
          break;
        }
      }
    } else if (end < n) {
      next += (p[end] == '\r' && end + 1 < n && p[end + 1] == '\n') ? 2 : 1;
    }
    const size_t size = part ? end - at + 2 : next - at;
    if (lines == kMaxShownLines || out.size() + size > kMaxShownChars) break;
    out.append(p + at, part ? end - at : next - at);
    if (part) out.append("\r\n", 2);
    ++lines;
    at = next;
  }
  if (at < n) out.append(cut_mark.data(), cut_mark.size());
  return out;
}

}  // namespace hollin
