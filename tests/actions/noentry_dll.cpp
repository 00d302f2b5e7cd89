// A library without DllRegisterServer: its self-registration must be reported as failed.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI SomethingElse() { return 0; }
