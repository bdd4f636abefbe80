// The scripted user: runs the plug-in's dialog through the platform's own
// dialog manager, performs the invocation's actions one posted message at a
// time and answers the plug-in's message boxes. Only Win32 calls, so the
// same code drives the emulated dialog natively and the real one under Wine.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

#include "testhost/core/fx_host.h"
#include "testhost/core/report.h"
#include "testhost/core/scenario.h"
#include "winapi/zorv_windows.h"

namespace testhost {

// Posted to the dialog to perform the next scripted action.
constexpr UINT NextActionMessage = WM_APP + 1;
// The host places every dialog here before the plug-in's set-up runs.
constexpr int DialogLeft = 100;
constexpr int DialogTop = 80;

// Why the scripted session is about to close the dialog.
enum class DialogClosing { OkClick, HostCancel };
// Called with the dialog right before each scripted click on OK and before
// the host's own Cancel, while the dialog is still on the screen: FINALE.EXE
// photographs the dialog there. No hook is installed by default.
using DialogClosingHook = void (*)(void* context, HWND dialog, DialogClosing reason);
void SetDialogClosingHook(DialogClosingHook hook, void* context);

class DialogScript : public DialogRunner {
public:
    DialogScript(HMODULE pluginModule, HWND hostWindow);

    // Whether the host's FX_Dialog waits for the dialog to end (a modal
    // dialog, the default) or returns as soon as the dialog is set up.
    void SetDialogWaits(bool waits) { dialogWaits_ = waits; }

    // Starts an invocation: its actions, answers and a fresh record.
    void Begin(const Invocation& invocation);
    // What happened during the invocation; actions that never ran are
    // listed as skipped. A dialog that the host's call left open is worked
    // and closed here first, after the invocation has returned.
    InvocationReport Finish();

    INT_PTR RunDialog(int32_t resourceId, DLGPROC proc, HWND parent) override;
    void EndDialog(HWND dialog) override;

    // Answers one message box and records it: IDOK, IDYES or IDNO.
    int AnswerBox(HWND owner, const char* text, const char* caption, UINT flags);
    static int AnswerBoxThunk(void* context, HWND owner, const char* text, const char* caption,
                              UINT flags);

private:
    static INT_PTR CALLBACK HostDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                           LPARAM lParam);
    INT_PTR OpenWithoutWaiting(int32_t resourceId, HWND parent);
    void WorkDialogLeftOpen();
    INT_PTR OnInitDialog(HWND dialog, WPARAM wParam);
    void OnNextAction(HWND dialog);
    bool Perform(HWND dialog, const UserAction& action);
    void CloseLeftOpen(HWND dialog);
    ShownDialog ReadShown(HWND dialog) const;

    HMODULE plugin_;
    HWND hostWindow_;
    DLGPROC pluginProc_ = nullptr;
    HWND dialog_ = nullptr;  // the running dialog, or null
    bool dialogOpened_ = false;
    bool dialogOpen_ = false;
    bool hostClosing_ = false;  // the host's own Cancel is under way
    bool dialogWaits_ = true;
    HWND leftOpen_ = nullptr;   // made by a call that did not wait, not yet destroyed
    size_t nextAction_ = 0;
    size_t nextAnswer_ = 0;
    Invocation invocation_;
    InvocationReport report_;
};

}  // namespace testhost
