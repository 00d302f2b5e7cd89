// The named character references of HTML 4 ("&amp;", "&eacute;", "&hearts;" ...).
#pragma once
#include <cstddef>

namespace vellumo {

// The code point a reference name (without "&" and ";", case-sensitive) stands for, or 0.
char32_t LookUpNamedReference(const char* name, size_t length);
size_t NamedReferenceCount();

}  // namespace vellumo
