// A library that registers itself by writing a registry value, so a test can see that the
// installer really called its DllRegisterServer. It answers 1: positive results count as success.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\HollinActionsTest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                      &key, nullptr) != ERROR_SUCCESS)
    return E_FAIL;
  static const char kYes[] = "yes";
  RegSetValueExA(key, "dll_registered", 0, REG_SZ, reinterpret_cast<const BYTE*>(kYes), sizeof kYes);
  RegCloseKey(key);
  return 1;
}
