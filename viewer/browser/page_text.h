// How the text view shows an entry's bytes when there is no HTML engine.
#pragma once
#include <cstddef>
#include <string>

namespace vellumo {

// A lone LF or CR becomes CR LF (the edit control breaks lines only there) and a NUL byte,
// which would end the text, becomes a blank; every other byte is kept as it is.
std::string TextForDisplay(const char* data, size_t size);

}  // namespace vellumo
