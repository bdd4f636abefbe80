// The emulated windows as the dialog tests and the scenario runner use
// them: dialogs built from the module's own template, the modal loop over
// posted messages, controls, focus, message boxes and bad handles.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "plugin_fixture.h"
#include "winapi/emu/emu_windows.h"

namespace {

constexpr int kTempoDialog = 20128;

struct Message {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// What the recording procedure saw, and what it does in reply.
struct Recorder {
    std::vector<Message> messages;
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> onMessage;

    std::vector<UINT> MessageNumbers() const {
        std::vector<UINT> out;
        for (const auto& m : messages) out.push_back(m.message);
        return out;
    }
};
Recorder* recorder = nullptr;

INT_PTR CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    recorder->messages.push_back({window, message, wParam, lParam});
    return recorder->onMessage ? recorder->onMessage(window, message, wParam, lParam) : 0;
}

std::string WindowText(HWND window) {
    char text[128];
    GetWindowTextA(window, text, int(sizeof text));
    return text;
}

std::string ClassName(HWND window) {
    char name[64];
    GetClassNameA(window, name, int(sizeof name));
    return name;
}

RECT Rect(HWND window) {
    RECT rect{-1, -1, -1, -1};
    GetWindowRect(window, &rect);
    return rect;
}

bool Visible(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

class EmuWindows : public ::testing::Test {
protected:
    void SetUp() override {
        emu::ResetWindows();
        recorder = &record;
        ASSERT_TRUE(plugin.loaded());
        host = emu::CreateHostWindow();
    }
    void TearDown() override {
        emu::ResetWindows();
        recorder = nullptr;
    }

    INT_PTR RunModal(LPARAM initParam = 0) {
        return DialogBoxParamW(plugin.module(), MAKEINTRESOURCEW(kTempoDialog), host,
                               RecordingProc, initParam);
    }
    HWND Modeless() { return emu::CreateDialogFromResource(plugin.module(), kTempoDialog, host); }

    HostProcess process;
    LoadedPlugin plugin{u"ZorvTempo64.fxt"};
    Recorder record;
    HWND host = nullptr;
};

}  // namespace

TEST_F(EmuWindows, ModalDialogIsBuiltFromTheModulesTemplate) {
    std::vector<int> ids;
    HWND dialog = nullptr;
    record.onMessage = [&](HWND h, UINT message, WPARAM wParam, LPARAM lParam) -> INT_PTR {
        if (message != WM_INITDIALOG) return 0;
        dialog = h;
        EXPECT_EQ(lParam, 0x1234);
        EXPECT_EQ(reinterpret_cast<HWND>(wParam), GetDlgItem(h, 1)) << "first tab stop is OK";
        EXPECT_EQ(WindowText(h), "Zorv Tempo");
        EXPECT_EQ(ClassName(h), "#32770");
        EXPECT_EQ(DWORD(GetWindowLongW(h, GWL_STYLE)), 0x80D800C8u) << "not yet shown";
        EXPECT_EQ(GetParent(h), host);
        EXPECT_EQ(GetWindow(h, GW_OWNER), host);
        for (HWND child = GetWindow(h, 5 /* GW_CHILD */); child; child = GetWindow(child, 2))
            ids.push_back(GetDlgCtrlID(child));
        HWND edit = GetDlgItem(h, 111);
        EXPECT_EQ(ClassName(edit), "Edit");
        EXPECT_EQ(ClassName(GetDlgItem(h, 110)), "Static");
        EXPECT_EQ(ClassName(GetDlgItem(h, 135)), "Button");
        EXPECT_EQ(WindowText(GetDlgItem(h, 141)), "Action directly after selection:");
        EXPECT_EQ(DWORD(GetWindowLongW(edit, GWL_STYLE)), 0x50810080u);
        EXPECT_EQ(GetWindowLongW(edit, GWL_ID), 111);
        EXPECT_EQ(GetParent(edit), h);
        EXPECT_EQ(GetWindow(edit, GW_OWNER), nullptr);
        EndDialog(h, 7);
        return TRUE;
    };
    EXPECT_EQ(RunModal(0x1234), 7);
    EXPECT_EQ(ids, (std::vector<int>{1,   2,   101, 102, 103, 104, 105, 106, 109,
                                     110, 111, 121, 122, 123, 124, 125, 126, 129,
                                     130, 131, 141, 142, 143, 144, 135}));
    // Ended during set-up: nothing else was dispatched, and the windows are gone.
    EXPECT_EQ(record.MessageNumbers(), (std::vector<UINT>{WM_INITDIALOG, WM_DESTROY}));
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(EmuWindows, ModalLoopDispatchesPostedMessagesInOrderUntilEndDialog) {
    HWND dialog = nullptr;
    record.onMessage = [&](HWND h, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            dialog = h;
            PostMessageW(h, WM_APP + 1, 0, 0);
            PostMessageW(h, WM_APP + 2, 0, 0);
        } else if (message == WM_APP + 1) {
            EXPECT_TRUE(Visible(h)) << "a modal dialog shows after set-up";
            // Queued behind what is already waiting.
            PostMessageW(h, WM_APP + 3, 0, 0);
        } else if (message == WM_APP + 3) {
            EXPECT_TRUE(EndDialog(h, 42));
            PostMessageW(h, WM_APP + 4, 0, 0);
        }
        return TRUE;
    };
    EXPECT_EQ(RunModal(), 42);
    EXPECT_EQ(record.MessageNumbers(), (std::vector<UINT>{WM_INITDIALOG, WM_APP + 1, WM_APP + 2,
                                                          WM_APP + 3, WM_DESTROY}));
    INT_PTR result = 0;
    EXPECT_TRUE(emu::DialogEnded(dialog, &result));
    EXPECT_EQ(result, 42);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(PostMessageW(dialog, WM_APP, 0, 0)) << "no posting to a destroyed dialog";
}

TEST_F(EmuWindows, ModalDialogEndsWithMinusOneWhenNothingIsLeftToDo) {
    HWND dialog = nullptr;
    record.onMessage = [&](HWND h, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) dialog = h;
        return TRUE;
    };
    EXPECT_EQ(RunModal(), -1);
    INT_PTR result = 0;
    EXPECT_TRUE(emu::DialogEnded(dialog, &result));
    EXPECT_EQ(result, -1);

    // Without a template there is no dialog and no call of the procedure.
    EXPECT_EQ(DialogBoxParamW(plugin.module(), MAKEINTRESOURCEW(999), host, RecordingProc, 0), -1);
    EXPECT_EQ(DialogBoxParamW(reinterpret_cast<HINSTANCE>(0x7777), MAKEINTRESOURCEW(kTempoDialog),
                              host, RecordingProc, 0),
              -1);
    EXPECT_EQ(record.messages.size(), 2u) << "only the first dialog's set-up and destruction";
}

TEST_F(EmuWindows, SetUpFocusGoesToTheFirstTabStopUnlessTheProcedureDeclines) {
    HWND focusAfterInit = nullptr;
    INT_PTR initAnswer = TRUE;
    record.onMessage = [&](HWND h, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            PostMessageW(h, WM_APP, 0, 0);
            return initAnswer;
        }
        if (message == WM_APP) {
            focusAfterInit = GetFocus();
            EXPECT_EQ(GetDlgCtrlID(focusAfterInit), initAnswer ? 1 : 0);
            EndDialog(h, 1);
        }
        return 0;
    };
    RunModal();
    EXPECT_NE(focusAfterInit, nullptr);
    EXPECT_EQ(GetFocus(), nullptr) << "the focus dies with the dialog";

    initAnswer = FALSE;
    SetFocus(nullptr);
    RunModal();
    EXPECT_EQ(focusAfterInit, nullptr);
}

TEST_F(EmuWindows, WindowRectanglesFollowDialogUnitsAndMoveWindow) {
    HWND dialog = Modeless();
    ASSERT_NE(dialog, nullptr);
    HWND ok = GetDlgItem(dialog, 1);
    RECT okRect = Rect(ok);
    EXPECT_EQ(okRect.right - okRect.left, 50 * 6 / 4);
    EXPECT_EQ(okRect.bottom - okRect.top, 14 * 13 / 8);
    RECT before = Rect(dialog);
    EXPECT_GE(before.right - before.left, 242 * 6 / 4) << "client area plus frame";
    EXPECT_GE(before.bottom - before.top, 181 * 13 / 8);

    // The host's placement of a new dialog: keep the size, move the corner.
    ASSERT_TRUE(MoveWindow(dialog, 100, 80, before.right - before.left,
                           before.bottom - before.top, TRUE));
    RECT after = Rect(dialog);
    EXPECT_EQ(after.left, 100);
    EXPECT_EQ(after.top, 80);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    // Controls ride along with their dialog.
    RECT okAfter = Rect(ok);
    EXPECT_EQ(okAfter.left - after.left, okRect.left - before.left);
    EXPECT_EQ(okAfter.top - after.top, okRect.top - before.top);
    // A control moves within its dialog's client area.
    ASSERT_TRUE(MoveWindow(ok, 0, 0, 10, 10, TRUE));
    RECT okMoved = Rect(ok);
    EXPECT_EQ(okMoved.left - okAfter.left, -(128 * 6 / 4));
    EXPECT_EQ(okMoved.right - okMoved.left, 10);

    // Off-screen and negative positions are kept as given.
    MoveWindow(dialog, -50, 2000, 10, 10, TRUE);
    EXPECT_EQ(Rect(dialog).left, -50);
    EXPECT_EQ(Rect(dialog).top, 2000);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 768);
}

TEST_F(EmuWindows, ShowWindowTogglesVisibilityAndReportsThePreviousState) {
    HWND dialog = Modeless();
    HWND remove = GetDlgItem(dialog, 135);
    ASSERT_TRUE(Visible(remove));
    EXPECT_TRUE(ShowWindow(remove, SW_HIDE));
    EXPECT_FALSE(Visible(remove));
    EXPECT_FALSE(ShowWindow(remove, SW_HIDE));
    EXPECT_FALSE(ShowWindow(remove, SW_SHOW));
    EXPECT_TRUE(Visible(remove));
    EXPECT_TRUE(ShowWindow(remove, SW_SHOW));
    // Hiding one control leaves the others alone.
    ShowWindow(remove, SW_HIDE);
    EXPECT_TRUE(Visible(GetDlgItem(dialog, 1)));
    EXPECT_EQ(DWORD(GetWindowLongW(remove, GWL_STYLE)), 0x50010000u & ~DWORD(WS_VISIBLE));
}

TEST_F(EmuWindows, AbsentItemsAnswerNothingAndAreLogged) {
    HWND dialog = Modeless();
    EXPECT_EQ(SendDlgItemMessageW(dialog, 112, UDM_SETRANGE, 0, 0x00140258), 0);
    SendDlgItemMessageW(dialog, 109, BM_SETCHECK, BST_CHECKED, 0);
    const auto& log = emu::DlgItemMessageLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].dialog, dialog);
    EXPECT_EQ(log[0].id, 112);
    EXPECT_EQ(log[0].message, UINT(UDM_SETRANGE));
    EXPECT_EQ(log[0].wParam, 0u);
    EXPECT_EQ(log[0].lParam, 0x00140258);
    EXPECT_FALSE(log[0].itemFound);
    EXPECT_TRUE(log[1].itemFound);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 109), UINT(BST_CHECKED)) << "a found item gets the message";

    EXPECT_EQ(GetDlgItem(dialog, 112), nullptr);
    char text[8] = "junk";
    EXPECT_EQ(GetDlgItemTextA(dialog, 132, text, int(sizeof text)), 0u);
    EXPECT_STREQ(text, "");
    EXPECT_FALSE(SetDlgItemTextA(dialog, 132, "5"));
    EXPECT_FALSE(CheckDlgButton(dialog, 112, BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 112), 0u);
}

TEST_F(EmuWindows, EditTextRoundTripsThroughNarrowAndWideCalls) {
    HWND dialog = Modeless();
    HWND edit = GetDlgItem(dialog, 111);
    char text[32];
    EXPECT_EQ(GetDlgItemTextA(dialog, 111, text, int(sizeof text)), 0u) << "starts empty";

    ASSERT_TRUE(SetDlgItemTextA(dialog, 111, "120"));
    EXPECT_EQ(GetDlgItemTextA(dialog, 111, text, int(sizeof text)), 3u);
    EXPECT_STREQ(text, "120");
    EXPECT_EQ(GetDlgItemTextA(dialog, 111, text, 3), 2u) << "cut to the buffer, terminated";
    EXPECT_STREQ(text, "12");

    char16_t wide[8];
    EXPECT_EQ(SendMessageW(edit, WM_GETTEXT, 8, reinterpret_cast<LPARAM>(wide)), 3);
    EXPECT_EQ(std::u16string(wide), u"120");
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"-5"));
    GetDlgItemTextA(dialog, 111, text, int(sizeof text));
    EXPECT_STREQ(text, "-5");

    // 8-bit texts keep every byte.
    SetDlgItemTextA(dialog, 131, "a\xE9z");
    GetDlgItemTextA(dialog, 131, text, int(sizeof text));
    EXPECT_STREQ(text, "a\xE9z");
    GetDlgItemTextA(dialog, 111, text, int(sizeof text));
    EXPECT_STREQ(text, "-5") << "each edit has its own text";

    ASSERT_TRUE(SetWindowTextA(dialog, "Zorv Tempo v1.06"));
    EXPECT_EQ(WindowText(dialog), "Zorv Tempo v1.06");
}

TEST_F(EmuWindows, CheckStatesBelongToCheckableButtonsAlone) {
    HWND dialog = Modeless();
    // Setting a radio button's state programmatically leaves its group alone.
    CheckDlgButton(dialog, 102, BST_CHECKED);
    CheckDlgButton(dialog, 103, BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 102), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 103), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 104), UINT(BST_UNCHECKED));
    CheckDlgButton(dialog, 102, BST_UNCHECKED);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 102), UINT(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 103), UINT(BST_CHECKED));

    // Push buttons, group boxes and edits have no check state.
    for (int id : {1, 135, 101, 111}) {
        CheckDlgButton(dialog, id, BST_CHECKED);
        EXPECT_EQ(IsDlgButtonChecked(dialog, id), UINT(BST_UNCHECKED)) << id;
    }
    // A two-state box takes "indeterminate" as checked.
    CheckDlgButton(dialog, 129, 2);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 129), UINT(BST_CHECKED));
}

TEST_F(EmuWindows, MessageBoxesAreAnsweredByTheHandlerAndLogged) {
    HWND dialog = Modeless();
    EXPECT_EQ(MessageBoxA(dialog, "Note", "Info", MB_ICONINFORMATION), IDOK);
    EXPECT_EQ(MessageBoxA(dialog, "Sure?", "Are you sure?", MB_YESNO | MB_ICONQUESTION), IDNO);

    std::vector<std::string> seenOwnerText;
    emu::SetMessageBoxHandler([&](HWND owner, const std::string& text, const std::string& caption,
                                  UINT flags) {
        // The handler may use the emulation while the box is up.
        seenOwnerText.push_back(WindowText(owner));
        SetDlgItemTextA(owner, 111, "77");
        return (flags & 0xF) == MB_YESNO && caption == "Are you sure?" && text == "Remove?" ? IDYES
                                                                                            : IDOK;
    });
    EXPECT_EQ(MessageBoxA(dialog, "Remove?", "Are you sure?", 0x24), IDYES);
    EXPECT_EQ(MessageBoxA(host, "No area", nullptr, MB_OK), IDOK);

    const auto& log = emu::MessageBoxLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].owner, dialog);
    EXPECT_EQ(log[0].text, "Note");
    EXPECT_EQ(log[0].caption, "Info");
    EXPECT_EQ(log[0].flags, UINT(MB_ICONINFORMATION));
    EXPECT_EQ(log[0].answer, IDOK);
    EXPECT_EQ(log[1].answer, IDNO);
    EXPECT_EQ(log[2].flags, 0x24u);
    EXPECT_EQ(log[2].answer, IDYES);
    EXPECT_EQ(log[3].owner, host);
    EXPECT_EQ(log[3].caption, "Error") << "Windows' caption when none is given";
    EXPECT_EQ(seenOwnerText, (std::vector<std::string>{"Zorv Tempo", "Finale"}));
    char text[8];
    GetDlgItemTextA(dialog, 111, text, int(sizeof text));
    EXPECT_STREQ(text, "77");

    emu::ResetWindows();
    EXPECT_TRUE(emu::MessageBoxLog().empty());
    EXPECT_EQ(MessageBoxA(nullptr, "q", "c", MB_YESNO), IDNO) << "the handler is gone too";
}

TEST_F(EmuWindows, MessagesToAModelessDialogReachItsProcedure) {
    HWND dialog = emu::CreateDialogFromResource(plugin.module(), kTempoDialog, host, RecordingProc);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(record.messages.empty()) << "no WM_INITDIALOG for a modeless dialog";
    EXPECT_FALSE(Visible(dialog));

    record.onMessage = [](HWND, UINT message, WPARAM, LPARAM) -> INT_PTR {
        return message == WM_COMMAND ? 5 : 0;
    };
    EXPECT_EQ(SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(2, BN_CLICKED), 0), 5);
    // A caption change passes the procedure first, then takes effect.
    SetWindowTextA(dialog, "New");
    EXPECT_EQ(record.MessageNumbers(), (std::vector<UINT>{WM_COMMAND, WM_SETTEXT}));
    EXPECT_EQ(WindowText(dialog), "New");

    EXPECT_FALSE(emu::DialogEnded(dialog));
    EXPECT_TRUE(EndDialog(dialog, 3));
    INT_PTR result = 0;
    EXPECT_TRUE(emu::DialogEnded(dialog, &result));
    EXPECT_EQ(result, 3);
    EXPECT_TRUE(IsWindow(dialog)) << "a modeless dialog lives until destroyed";
    EXPECT_FALSE(EndDialog(GetDlgItem(dialog, 1), 1)) << "a control is not a dialog";

    emu::DestroyDialog(dialog);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(record.messages.back().message, UINT(WM_DESTROY));
    EXPECT_EQ(emu::CreateDialogFromResource(plugin.module(), 4711, host), nullptr);
}

// A host whose dialog call returns at once: the dialog is set up inside the
// creating call, then its posted messages wait for the host's own loop.
TEST_F(EmuWindows, ADialogMadeWithoutWaitingIsSetUpThenWorkedByTheCallersLoop) {
    HWND other = Modeless();
    PostMessageW(other, WM_APP + 5, 0, 0);
    record.onMessage = [](HWND h, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) PostMessageW(h, WM_APP + 1, 0, 0);
        if (message == WM_APP + 1) EndDialog(h, 9);
        return TRUE;
    };
    HWND dialog = CreateDialogParamW(plugin.module(), MAKEINTRESOURCEW(kTempoDialog), host,
                                     RecordingProc, 77);
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(record.messages.size(), 1u);
    EXPECT_EQ(record.messages[0].message, UINT(WM_INITDIALOG));
    EXPECT_EQ(record.messages[0].lParam, 77);
    HWND firstTabStop = reinterpret_cast<HWND>(record.messages[0].wParam);
    EXPECT_NE(firstTabStop, nullptr);
    EXPECT_EQ(GetFocus(), firstTabStop) << "set-up focuses the first tab stop, as for a modal one";
    EXPECT_FALSE(Visible(dialog)) << "the template does not ask to be shown";

    MSG message{};
    EXPECT_TRUE(PeekMessageW(&message, dialog, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(message.message, UINT(WM_APP + 1)) << "only the dialog's own messages";
    EXPECT_TRUE(PeekMessageW(&message, dialog, 0, 0, PM_REMOVE)) << "left in the queue";
    EXPECT_EQ(message.hwnd, dialog);
    EXPECT_EQ(record.messages.size(), 1u) << "taking a message does not deliver it";
    DispatchMessageW(&message);
    EXPECT_TRUE(emu::DialogEnded(dialog));
    EXPECT_TRUE(IsWindow(dialog)) << "ending a dialog without a modal loop does not destroy it";

    PostMessageW(dialog, WM_APP + 2, 0, 0);
    EXPECT_TRUE(DestroyWindow(dialog));
    EXPECT_EQ(record.messages.back().message, UINT(WM_DESTROY));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(DestroyWindow(dialog));
    EXPECT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.hwnd, other) << "the destroyed dialog's message is gone";
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) << "an empty queue";
    EXPECT_EQ(CreateDialogParamW(plugin.module(), MAKEINTRESOURCEW(999), host, RecordingProc, 0),
              nullptr);
}

TEST_F(EmuWindows, FocusMovesWithSetFocusAndEndsWithTheWindow) {
    HWND dialog = Modeless();
    HWND start = GetDlgItem(dialog, 111);
    HWND stop = GetDlgItem(dialog, 131);
    EXPECT_EQ(SetFocus(start), nullptr);
    EXPECT_EQ(emu::FocusedWindow(), start);
    EXPECT_EQ(SetFocus(stop), start);
    EXPECT_EQ(GetFocus(), stop);
    EXPECT_EQ(SetFocus(reinterpret_cast<HWND>(0x5150)), nullptr) << "a bad handle takes no focus";
    EXPECT_EQ(GetFocus(), stop);
    emu::DestroyDialog(dialog);
    EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(EmuWindows, BadHandlesFailWithoutHarm) {
    HWND destroyed = Modeless();
    HWND destroyedControl = GetDlgItem(destroyed, 111);
    emu::DestroyDialog(destroyed);
    const HWND bad[] = {nullptr, reinterpret_cast<HWND>(0xDEADBEEF), destroyed, destroyedControl};
    for (HWND window : bad) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(window));
        char text[8] = "junk";
        RECT rect{1, 2, 3, 4};
        EXPECT_FALSE(IsWindow(window));
        EXPECT_EQ(GetDlgItem(window, 1), nullptr);
        EXPECT_FALSE(ShowWindow(window, SW_SHOW));
        EXPECT_FALSE(SetWindowTextA(window, "x"));
        EXPECT_EQ(GetWindowTextA(window, text, int(sizeof text)), 0);
        EXPECT_STREQ(text, "");
        EXPECT_FALSE(GetWindowRect(window, &rect));
        EXPECT_FALSE(MoveWindow(window, 1, 1, 1, 1, TRUE));
        EXPECT_EQ(SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"x")), 0);
        EXPECT_EQ(SendDlgItemMessageW(window, 111, WM_SETTEXT, 0, 0), 0);
        EXPECT_FALSE(PostMessageW(window, WM_APP, 0, 0));
        EXPECT_FALSE(EndDialog(window, 1));
        EXPECT_EQ(GetWindowLongW(window, GWL_STYLE), 0);
        EXPECT_EQ(GetDlgCtrlID(window), 0);
        EXPECT_EQ(GetClassNameA(window, text, int(sizeof text)), 0);
        EXPECT_EQ(GetParent(window), nullptr);
        EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
        EXPECT_FALSE(CheckDlgButton(window, 109, BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(window, 109), 0u);
        EXPECT_FALSE(emu::DialogEnded(window));
    }
    // A live dialog does not answer for the destroyed one's handles.
    HWND live = Modeless();
    EXPECT_NE(live, destroyed);
    EXPECT_NE(GetDlgItem(live, 111), destroyedControl);
    EXPECT_FALSE(GetWindowRect(live, nullptr));
}
