// Pieces of the C++ runtime defined in the stub itself so that the linker leaves the much
// larger library objects they come in out of it. With --gc-sections the MinGW linker still
// keeps every function of an object it pulls in (their unwind tables hold on to them), so
// each library object the stub touches costs its whole size.
// (stub_runtime_cow.cpp holds the pieces that need the old string class.)
#include <cstdlib>
#include <string>

// The library's short-string helper behind the exception classes' messages needs these two
// members; the library's copy of them comes with every other member of std::string
// (about 30 KB).
// The rest of the stub instantiates the members it uses itself
// (no_string_extern_templates.h).
template char* std::string::_M_create(std::string::size_type&, std::string::size_type);
template void std::string::_M_assign(const std::string&);

// The default terminate handler demangles the exception's type name for a message on
// stderr, which a windowed program does not have; the demangler alone is 46 KB. An
// uncaught exception still ends the program the same way.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
