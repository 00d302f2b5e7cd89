// Patterns over relative paths, for [files] lines, exclude lines and --extract --only:
// "*" and "?" match within one part of a path, a part "**" matches any number of parts
// (none included). "/" and "\" both separate parts.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace hollin {

// Whether the text holds a wildcard ("*" or "?").
bool IsPattern(std::string_view text);

// Whether `path` matches `pattern`; `fold_case` compares ASCII letters without case.
bool MatchPath(std::string_view pattern, std::string_view path, bool fold_case = false);

// The parts of a path ("a/b\\c" gives a, b, c); empty parts are dropped.
std::vector<std::string> PathParts(std::string_view path);

}  // namespace hollin
