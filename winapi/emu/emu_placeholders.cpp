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
HWND GetDlgItem(HWND, int) { return nullptr; }
BOOL ShowWindow(HWND, int) { return FALSE; }
BOOL SetWindowTextA(HWND, LPCSTR) { return FALSE; }
BOOL GetWindowRect(HWND, LPRECT) { return FALSE; }
BOOL MoveWindow(HWND, int, int, int, int, BOOL) { return FALSE; }
int GetSystemMetrics(int) { return 0; }
LRESULT SendDlgItemMessageW(HWND, int, UINT, WPARAM, LPARAM) { return 0; }
int MessageBoxA(HWND, LPCSTR, LPCSTR, UINT) { return IDOK; }
_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler) { return nullptr; }
void _invalid_parameter_noinfo(void) {}
int sprintf_s(char*, size_t, const char*, ...) { return -1; }
errno_t memcpy_s(void*, size_t, const void*, size_t) { return EINVAL; }
}
extern "C" {
INT_PTR DialogBoxParamW(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM) { return -1; }
BOOL EndDialog(HWND, INT_PTR) { return FALSE; }
LRESULT SendMessageW(HWND, UINT, WPARAM, LPARAM) { return 0; }
BOOL PostMessageW(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
UINT GetDlgItemTextA(HWND, int, LPSTR t, int n) { if (n > 0) t[0] = 0; return 0; }
BOOL SetDlgItemTextA(HWND, int, LPCSTR) { return FALSE; }
BOOL CheckDlgButton(HWND, int, UINT) { return FALSE; }
UINT IsDlgButtonChecked(HWND, int) { return 0; }
int GetWindowTextA(HWND, LPSTR t, int n) { if (n > 0) t[0] = 0; return 0; }
LONG GetWindowLongW(HWND, int) { return 0; }
int GetDlgCtrlID(HWND) { return 0; }
int GetClassNameA(HWND, LPSTR t, int n) { if (n > 0) t[0] = 0; return 0; }
HWND SetFocus(HWND) { return nullptr; }
HWND GetFocus(void) { return nullptr; }
BOOL IsWindow(HWND) { return FALSE; }
HWND GetParent(HWND) { return nullptr; }
HWND GetWindow(HWND, UINT) { return nullptr; }
}
