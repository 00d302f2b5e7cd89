// A library that another test library imports: it lies beside that one in the install folder.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT DepBaseAnswer() { return S_OK; }
