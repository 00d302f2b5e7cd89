// Where a link of a page shown by the built-in view leads: another entry of the same archive,
// a place in the same page, or somewhere outside, which the view never opens.
#pragma once
#include <string>

namespace vellumo {

enum class LinkKind { Entry, SamePage, Outside };

struct LinkTarget {
  LinkKind kind = LinkKind::Outside;
  std::string path;      // Entry: the archive path, "\" separators, UTF-8, not yet matched
  std::string fragment;  // after "#", %XX decoded; empty for none
};

// Resolves `href` (as written in the page, UTF-8) against the entry `current` ("\" or "/"
// separators): "./", "../" and a leading "/" or "\" for the archive root, %XX escapes decoded,
// "?query" dropped. A link with a scheme ("http:", "mailto:", "javascript:" ...) or a network
// path ("//host") is Outside; "#name" alone, or an empty path, is SamePage. Whether the path
// names an entry, and whether that entry is `current` itself, is for the caller to decide.
LinkTarget ResolveLink(const std::string& current, const std::string& href);

// "%41" -> "A"; malformed escapes stay as they are.
std::string PercentDecode(const std::string& text);

}  // namespace vellumo
