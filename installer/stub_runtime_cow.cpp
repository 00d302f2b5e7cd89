// The standard exception classes (std::length_error and the others, which the stub's
// containers throw and its code catches) keep their message in the old reference-counted
// string. Their library object needs only the seven members of that class below, but the
// library's copy of them is the whole old string class (30 KB), which pulls in further
// objects after it. The members are instantiated here from the same library headers
// instead. This file is compiled with _GLIBCXX_USE_CXX11_ABI=0: std::string is the old
// class here. See stub_runtime.cpp for why each library object counts.
#include <string>

template char* std::string::_S_construct(std::string::size_type, char, const std::allocator<char>&);
template std::string::_Rep* std::string::_Rep::_S_create(std::string::size_type,
                                                         std::string::size_type,
                                                         const std::allocator<char>&);
template char* std::string::_Rep::_M_clone(const std::allocator<char>&, std::string::size_type);
template void std::string::_Rep::_M_destroy(const std::allocator<char>&);
template void std::string::_Rep::_M_dispose(const std::allocator<char>&);
template void std::string::swap(std::string&);
template std::string& std::string::assign(const std::string&);
