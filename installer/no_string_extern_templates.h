// Forced ahead of every source of the installer's Windows build (installer/CMakeLists.txt).
// The library declares std::string and std::wstring as instantiated in itself, so each
// member the code calls links the library's object holding every member of the class, and
// the MinGW linker cannot drop the unused ones (their unwind tables keep them): about
// 33 KB for each of std::string and std::wstring. With the declarations off, each object
// instantiates just the members it calls, from the same headers. -1 is the library's own setting for
// "no extern templates for basic_string only" (the one _GLIBCXX_ASSERTIONS uses).
#pragma once
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
