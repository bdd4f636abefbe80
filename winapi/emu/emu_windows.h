// Test control of the emulation's windows, dialogs and message boxes.
//
// Dialogs are built from the dialog template in a loaded module's compiled
// resources (the same .res image the DLL carries), never from a second list
// of controls. The screen is 1024 x 768.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "winapi/zorv_windows.h"

namespace emu {

// Every MessageBoxA call, in order.
struct MessageBoxCall {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT flags = 0;
    int answer = 0;
};
// Decides the answer of a message box (IDOK, IDYES, IDNO, ...). Without a
// handler a box answers IDOK, or IDNO when it has Yes and No buttons.
using MessageBoxHandler =
    std::function<int(HWND owner, const std::string& text, const std::string& caption, UINT flags)>;
void SetMessageBoxHandler(MessageBoxHandler handler);
const std::vector<MessageBoxCall>& MessageBoxLog();

// Every SendDlgItemMessageW call, in order, with whether the item existed.
struct DlgItemMessage {
    HWND dialog = nullptr;
    int id = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    bool itemFound = false;
};
const std::vector<DlgItemMessage>& DlgItemMessageLog();

// Builds the dialog of template `templateId` from the module's resources as
// a modeless window tree, without sending WM_INITDIALOG; null when the
// module has no such template. For tests that drive a dialog procedure
// message by message; with a `proc`, SendMessageW and posted messages reach
// it as they reach a modal dialog's.
HWND CreateDialogFromResource(HMODULE module, int templateId, HWND owner,
                              DLGPROC proc = nullptr);
void DestroyDialog(HWND dialog);
// Whether EndDialog was called for the dialog, and with which result.
bool DialogEnded(HWND dialog, INT_PTR* result = nullptr);
// The control that has the keyboard focus after SetFocus.
HWND FocusedWindow();

// A top-level window that stands for the host's main window.
HWND CreateHostWindow();

// Forgets every window, the logs and the handler.
void ResetWindows();

}  // namespace emu
