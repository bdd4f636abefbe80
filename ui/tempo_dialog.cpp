// PLACEHOLDER (dialog helper replaces this file)
#include "ui/tempo_dialog.h"
INT_PTR CALLBACK TempoDialogProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
