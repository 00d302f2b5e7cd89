// Pieces of the C++ runtime defined in the stub itself so that the linker leaves the much
// larger library objects they come in out of it. With --gc-sections the MinGW linker still
// keeps every function of an object it pulls in (their unwind tables hold on to them), so
// each library object the stub touches costs its whole size.
#include <cstdlib>
#include <new>
#include <string>

// The stub instantiates the std::string members it uses itself
// (no_string_extern_templates.h): the library's copy of any one of them comes with every
// other member (about 30 KB).

// The default terminate handler demangles the exception's type name for a message on
// stderr, which a windowed program does not have; the demangler alone is 46 KB. An
// uncaught exception still ends the program the same way.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The library keeps its __throw_* helpers in one object together with every standard
// exception class and their old-string messages (about 20 KB with what they pull in). The
// stub's containers and strings only ever throw these; each is defined here instead. A size
// beyond what a container can hold is memory that cannot be had: it arrives as
// std::bad_alloc, which the procedures catch at their boundaries (a crafted size field never
// ends the program). The other two mean a bug, not input: the program ends as it would on an
// uncaught exception.
namespace std {
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_alloc(); }
void __throw_length_error(const char*) { throw bad_alloc(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
}  // namespace std
