// PLACEHOLDER: each helper moves its functions out of here into its own file.
#include "winapi/zorv_windows.h"
extern "C" {
LSTATUS RegOpenKeyExA(HKEY, LPCSTR, DWORD, REGSAM, PHKEY) { return ERROR_FILE_NOT_FOUND; }
LSTATUS RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) { return ERROR_FILE_NOT_FOUND; }
LSTATUS RegCreateKeyExA(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM, const LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD) { return ERROR_ACCESS_DENIED; }
LSTATUS RegSetValueExA(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) { return ERROR_ACCESS_DENIED; }
LSTATUS RegCloseKey(HKEY) { return ERROR_SUCCESS; }
LSTATUS RegDeleteKeyA(HKEY, LPCSTR) { return ERROR_FILE_NOT_FOUND; }
LSTATUS RegDeleteValueA(HKEY, LPCSTR) { return ERROR_FILE_NOT_FOUND; }
_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler) { return nullptr; }
void _invalid_parameter_noinfo(void) {}
int sprintf_s(char*, size_t, const char*, ...) { return -1; }
errno_t memcpy_s(void*, size_t, const void*, size_t) { return EINVAL; }
}
extern "C" {
}
