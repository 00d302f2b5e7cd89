// Turning an HTML page into readable text for the reading mode: two single left-to-right
// passes over an 8-bit string, no parser. Every tag becomes one CR; method Second also
// decodes six character entities. Both stop at the text's first NUL byte.
#pragma once
#include <string>
#include <string_view>

namespace hollin {

// Tag removal: everything from a "<" to the next ">" (or to the end) becomes one CR.
std::string ConvertMethodOne(std::string_view text);
// Tag removal, then the entity pass over its result.
std::string ConvertMethodSecond(std::string_view text);
// The entity pass alone: &lt; &gt; &amp; &copy; &quot; &nbsp; in any letter case.
std::string DecodeEntities(std::string_view text);

}  // namespace hollin
