// Header strings are stored scrambled: each stored byte is the text byte XOR the high byte
// of a running 16-bit key, and the key advances over the stored byte.
#pragma once
#include <string>
#include <string_view>

namespace hollin {

std::string UnscrambleHeaderString(std::string_view stored);
std::string ScrambleHeaderString(std::string_view text);

}  // namespace hollin
