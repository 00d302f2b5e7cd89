// A library whose DllRegisterServer needs depbase.dll, found only beside it: the installer must
// let the loader search the library's own folder for its imports.
#include <windows.h>

extern "C" __declspec(dllimport) HRESULT DepBaseAnswer();

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() { return DepBaseAnswer(); }
