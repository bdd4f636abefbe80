// The one seam between the plug-in and Windows.
//
// The plug-in includes this header instead of <windows.h>. On Windows it is
// <windows.h>. Elsewhere it declares the small Win32 subset the plug-in and
// the stand-in host use, with Windows' own names, widths and values, and the
// emulation library (winapi/emu) implements it over in-memory state.
#pragma once

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

// Wide literals: wchar_t is the UTF-16 unit on Windows.
#define ZORV_WIDE(s) L##s

#else  // the Linux emulation

#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <stdint.h>

// Wide literals: char16_t is the UTF-16 unit of the emulation (wchar_t is
// 32 bits on Linux).
#define ZORV_WIDE(s) u##s

#define WINAPI
#define CALLBACK
#define APIENTRY
// Exports: the emulation loads the plug-in as a shared library built with
// hidden visibility; what Windows code marks dllexport becomes visible.
#define __declspec(x) __attribute__((visibility("default")))

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int INT;
typedef unsigned int UINT;
typedef short SHORT;
typedef unsigned short USHORT;
typedef char CHAR;
typedef char16_t WCHAR;
typedef int64_t LONG_PTR;
typedef uint64_t ULONG_PTR;
typedef int64_t INT_PTR;
typedef uint64_t UINT_PTR;
typedef uint64_t SIZE_T;
typedef ULONG_PTR DWORD_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef LONG LSTATUS;
typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef DWORD* LPDWORD;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef BOOL* LPBOOL;

struct HWND__;
typedef struct HWND__* HWND;
struct HINSTANCE__;
typedef struct HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;
struct HKEY__;
typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef void* HANDLE;

typedef INT_PTR (*FARPROC)();
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

#define TRUE 1
#define FALSE 0

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#define MAKEINTRESOURCEW(i) ((LPCWSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCEA(i) ((LPCSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

// DllMain notifications
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// Error codes
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_DLL_INIT_FAILED 1114L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L

// Code pages
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x00000008

// Registry
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

// Messages
#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_USER 0x0400
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BN_CLICKED 0
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define UDM_SETRANGE (WM_USER + 101)

// Window styles
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define DS_MODALFRAME 0x80L
#define DS_SETFONT 0x40L
#define DS_FIXEDSYS 0x0008L
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_RADIOBUTTON 0x00000004L
#define BS_GROUPBOX 0x00000007L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL
#define SS_LEFT 0x00000000L
#define ES_LEFT 0x0000L
#define ES_AUTOHSCROLL 0x0080L

#define WM_APP 0x8000
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_ID (-12)
#define GW_OWNER 4

// PeekMessageW
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// ShowWindow
#define SW_HIDE 0
#define SW_SHOW 5

// GetSystemMetrics
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

// Message boxes
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Resources
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)

#ifdef __cplusplus
extern "C" {
#endif

// Modules
HMODULE LoadLibraryW(LPCWSTR fileName);
BOOL FreeLibrary(HMODULE module);
HMODULE GetModuleHandleW(LPCWSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
DWORD GetLastError(void);
void SetLastError(DWORD error);

// Strings
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteCount,
                        LPWSTR wideChar, int wideCharCount);

// Registry (narrow forms)
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                         LPBYTE data, LPDWORD dataSize);
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                        REGSAM desired, const LPSECURITY_ATTRIBUTES security, PHKEY result,
                        LPDWORD disposition);
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);

// Windows and dialogs
HWND GetDlgItem(HWND dialog, int id);
BOOL ShowWindow(HWND window, int command);
BOOL SetWindowTextA(HWND window, LPCSTR text);
BOOL GetWindowRect(HWND window, LPRECT rect);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
int GetSystemMetrics(int index);
LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// ... and what the stand-in host uses to run and drive a dialog
INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam);
BOOL EndDialog(HWND dialog, INT_PTR result);
// ... and a dialog that stays open after the call that made it returns
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam);
BOOL DestroyWindow(HWND window);
BOOL PeekMessageW(LPMSG message, HWND window, UINT first, UINT last, UINT remove);
LRESULT DispatchMessageW(const MSG* message);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount);
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
LONG GetWindowLongW(HWND window, int index);
int GetDlgCtrlID(HWND window);
int GetClassNameA(HWND window, LPSTR className, int maxCount);
HWND SetFocus(HWND window);
HWND GetFocus(void);
BOOL IsWindow(HWND window);
HWND GetParent(HWND window);
HWND GetWindow(HWND window, UINT command);

// The C runtime's secure forms, as the Windows runtime has them
typedef void (*_invalid_parameter_handler)(const WCHAR* expression, const WCHAR* function,
                                           const WCHAR* file, unsigned int line,
                                           uintptr_t reserved);
_invalid_parameter_handler _set_invalid_parameter_handler(_invalid_parameter_handler handler);
void _invalid_parameter_noinfo(void);
int sprintf_s(char* buffer, size_t bufferCount, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
typedef int errno_t;
errno_t memcpy_s(void* dest, size_t destSize, const void* src, size_t count);

#ifdef __cplusplus
}
#endif

#endif  // _WIN32

#ifndef _WIN32
// The emulation's loader finds the module's load notification by name.
#ifdef __cplusplus
extern "C"
#endif
    __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE instance, DWORD reason,
                                                        LPVOID reserved);
#endif
