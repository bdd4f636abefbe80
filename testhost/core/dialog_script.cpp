#include "testhost/core/dialog_script.h"

#include <algorithm>

namespace testhost {

namespace {

// Messages that reach the dialog before WM_INITDIALOG carries the script.
DialogScript* activeScript = nullptr;

DialogClosingHook closingHook = nullptr;
void* closingHookContext = nullptr;

void AnnounceClosing(HWND dialog, DialogClosing reason) {
    if (closingHook) closingHook(closingHookContext, dialog, reason);
}

// Controls whose values the report shows after set-up; the two edits are
// read as integers, every other one as a check state.
const int kShownControls[] = {102, 103, 104, 105, 106, 109, 111, 122, 123,
                              124, 125, 126, 129, 131, 142, 143, 144};
constexpr int kRemoveButton = 135;

int16_t TypeCodeOf(int control) { return (control == 111 || control == 131) ? 3 : 2; }

// What the user types is UTF-8; the dialog's narrow text is Latin-1.
std::string Utf8ToLatin1(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint8_t lead = uint8_t(text[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        for (size_t k = 1; k < length && i + k < text.size(); ++k)
            c = (c << 6) | (uint8_t(text[i + k]) & 0x3F);
        out += c <= 0xFF ? char(c) : '?';
        i += length;
    }
    return out;
}

bool IsShown(HWND control) {
    return control && (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

void MoveKeepingSize(HWND window, int x, int y) {
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(window, &rect);
    MoveWindow(window, x, y, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}

void Click(HWND dialog, int id, HWND control) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(control));
}

}  // namespace

void SetDialogClosingHook(DialogClosingHook hook, void* context) {
    closingHook = hook;
    closingHookContext = context;
}

DialogScript::DialogScript(HMODULE pluginModule, HWND hostWindow)
    : plugin_(pluginModule), hostWindow_(hostWindow) {}

void DialogScript::Begin(const Invocation& invocation) {
    invocation_ = invocation;
    report_ = InvocationReport();
    dialog_ = nullptr;
    dialogOpened_ = dialogOpen_ = hostClosing_ = false;
    nextAction_ = nextAnswer_ = 0;
}

InvocationReport DialogScript::Finish() {
    WorkDialogLeftOpen();
    for (size_t i = nextAction_; i < invocation_.user.size(); ++i) report_.skipped.push_back(i);
    std::sort(report_.skipped.begin(), report_.skipped.end());
    if (!dialogOpened_) report_.closedBy = ClosedBy::NoDialog;
    return report_;
}

INT_PTR DialogScript::RunDialog(int32_t resourceId, DLGPROC proc, HWND parent) {
    pluginProc_ = proc;
    activeScript = this;
    if (!dialogWaits_) return OpenWithoutWaiting(resourceId, parent);
    INT_PTR result = DialogBoxParamW(plugin_, MAKEINTRESOURCEW(resourceId), parent,
                                     &DialogScript::HostDialogProc, LPARAM(this));
    activeScript = nullptr;
    dialogOpen_ = false;
    return result;
}

// The dialog is made, set up and shown, and the call returns with it open:
// the plug-in's invocation goes on and returns while the user has not yet
// done anything. Its answer means nothing to the plug-in.
INT_PTR DialogScript::OpenWithoutWaiting(int32_t resourceId, HWND parent) {
    HWND dialog = CreateDialogParamW(plugin_, MAKEINTRESOURCEW(resourceId), parent,
                                     &DialogScript::HostDialogProc, LPARAM(this));
    if (!dialog) {
        activeScript = nullptr;
        return -1;
    }
    leftOpen_ = dialog;
    ShowWindow(dialog, SW_SHOW);
    return 0;
}

// After the invocation: the posted actions are delivered one by one until
// the dialog ends; one that is still open after them gets the host's own
// Cancel, as a modal one does. Either way the host then destroys the window,
// since ending a dialog that has no modal loop only hides it.
void DialogScript::WorkDialogLeftOpen() {
    if (!leftOpen_) return;
    MSG message;
    while (dialogOpen_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    if (dialogOpen_) CloseLeftOpen(leftOpen_);
    DestroyWindow(leftOpen_);
    leftOpen_ = nullptr;
    activeScript = nullptr;
    dialogOpen_ = false;
}

// The plug-in ends the dialog. Only while the user's own actions run does
// that count as the plug-in's closing; during the host's Cancel it is the
// host's doing.
void DialogScript::EndDialog(HWND dialog) {
    BOOL ended = ::EndDialog(dialog, 1);
    if (ended && dialogOpen_ && dialog == dialog_) {
        dialogOpen_ = false;
        report_.closedBy = hostClosing_ ? ClosedBy::Host : ClosedBy::Plugin;
    }
}

INT_PTR CALLBACK DialogScript::HostDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_INITDIALOG && lParam) activeScript = reinterpret_cast<DialogScript*>(lParam);
    DialogScript* script = activeScript;
    if (!script) return FALSE;
    if (message == WM_INITDIALOG) return script->OnInitDialog(dialog, wParam);
    if (message == NextActionMessage) {
        script->OnNextAction(dialog);
        return TRUE;
    }
    return script->pluginProc_ ? script->pluginProc_(dialog, message, wParam, lParam) : FALSE;
}

INT_PTR DialogScript::OnInitDialog(HWND dialog, WPARAM wParam) {
    dialog_ = dialog;
    dialogOpened_ = dialogOpen_ = true;
    MoveKeepingSize(dialog, DialogLeft, DialogTop);
    // The host's own creation parameter of FX_Dialog is null.
    INT_PTR result = pluginProc_ ? pluginProc_(dialog, WM_INITDIALOG, wParam, 0) : TRUE;
    report_.shown = ReadShown(dialog);
    if (dialogOpen_) PostMessageW(dialog, NextActionMessage, 0, 0);
    return result;
}

void DialogScript::OnNextAction(HWND dialog) {
    if (!dialogOpen_ || dialog != dialog_) return;
    if (nextAction_ >= invocation_.user.size()) {
        CloseLeftOpen(dialog);
        return;
    }
    size_t index = nextAction_++;
    if (!Perform(dialog, invocation_.user[index])) report_.skipped.push_back(index);
    if (dialogOpen_) PostMessageW(dialog, NextActionMessage, 0, 0);
}

bool DialogScript::Perform(HWND dialog, const UserAction& action) {
    if (action.kind == ActionKind::Move) {
        MoveKeepingSize(dialog, action.x, action.y);
        return true;
    }
    HWND control = GetDlgItem(dialog, action.control);
    if (!IsShown(control)) return false;
    switch (action.kind) {
        case ActionKind::Set:
            SetDlgItemTextA(dialog, action.control, std::to_string(action.number).c_str());
            break;
        case ActionKind::Text:
            SetDlgItemTextA(dialog, action.control, Utf8ToLatin1(action.text).c_str());
            break;
        case ActionKind::Check:
            CheckDlgButton(dialog, action.control, action.number ? BST_CHECKED : BST_UNCHECKED);
            break;
        case ActionKind::Click:
            if (action.control == IDOK) AnnounceClosing(dialog, DialogClosing::OkClick);
            Click(dialog, action.control, control);
            break;
        case ActionKind::Move:
            break;
    }
    return true;
}

// Whatever closes the dialog from here on, the plug-in answering the host's
// Cancel or the host ending it itself, the report says "host".
void DialogScript::CloseLeftOpen(HWND dialog) {
    AnnounceClosing(dialog, DialogClosing::HostCancel);
    hostClosing_ = true;
    Click(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
    hostClosing_ = false;
    report_.closedBy = ClosedBy::Host;
    if (!dialogOpen_) return;
    ::EndDialog(dialog, IDCANCEL);
    dialogOpen_ = false;
}

ShownDialog DialogScript::ReadShown(HWND dialog) const {
    ShownDialog shown;
    char caption[256] = {0};
    GetWindowTextA(dialog, caption, int(sizeof caption));
    shown.caption = caption;
    for (int id : kShownControls)
        shown.values.emplace_back(id, ReadControlValue(dialog, id, TypeCodeOf(id)));
    shown.removeVisible = IsShown(GetDlgItem(dialog, kRemoveButton));
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(dialog, &rect);
    shown.left = rect.left;
    shown.top = rect.top;
    return shown;
}

int DialogScript::AnswerBox(HWND owner, const char* text, const char* caption, UINT flags) {
    BoxRecord box;
    box.caption = caption ? caption : "";
    box.text = text ? text : "";
    box.flags = flags;
    box.owner = (dialog_ && owner == dialog_) ? "dialog" : owner == hostWindow_ ? "host" : "other";
    int answer = IDOK;
    if ((flags & 0xF) == MB_OK) {
        box.answer = "ok";
    } else {
        bool yes = nextAnswer_ < invocation_.answers.size() && invocation_.answers[nextAnswer_];
        if (nextAnswer_ < invocation_.answers.size()) ++nextAnswer_;
        box.answer = yes ? "yes" : "no";
        answer = yes ? IDYES : IDNO;
    }
    report_.boxes.push_back(box);
    return answer;
}

int DialogScript::AnswerBoxThunk(void* context, HWND owner, const char* text, const char* caption,
                                 UINT flags) {
    return static_cast<DialogScript*>(context)->AnswerBox(owner, text, caption, flags);
}

}  // namespace testhost
