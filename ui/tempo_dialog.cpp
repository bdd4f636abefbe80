// The tempo dialog: shows the settings, validates and stores the user's
// entries, and starts the ramp or the removal of the region's tempo records.
//
// Control values pass through the host (FX_GetDlgItemVal / FX_SetDlgItemVal)
// with a type code fixed per control; placement, caption and message boxes
// go straight to Windows.
#include "ui/tempo_dialog.h"

#include "entry/module_state.h"
#include "host/host_calls.h"
#include "tempo/region_tempo.h"
#include "tempo/tempo_ramp.h"
#include "tempo/tempo_value.h"
#include "ui/settings.h"

namespace {

// Controls of template 20128.
constexpr int kOkButton = 1;
constexpr int kCancelButton = 2;
constexpr int kStartFirstUnit = 102;  // 102..106: 16th .. whole
constexpr int kStartDotted = 109;
constexpr int kStartTempoEdit = 111;
constexpr int kStartUpDown = 112;     // not in the template; the range send finds nothing
constexpr int kStopFirstUnit = 122;   // 122..126
constexpr int kStopDotted = 129;
constexpr int kStopTempoEdit = 131;
constexpr int kStopUpDown = 132;      // not in the template either
constexpr int kRemoveButton = 135;
constexpr int kAfterNone = 142;
constexpr int kAfterStopTempo = 143;
constexpr int kAfterStartTempo = 144;

constexpr int kUnitButtons = 5;
// Only the first four unit buttons are read back; none checked means whole.
constexpr int kReadUnitButtons = 4;
constexpr int16_t kFallbackUnit = 4;
constexpr int16_t kFallbackAfterAction = 2;
constexpr int16_t kDottedModifier = 2;

// The host's type codes. The two "Dotted" boxes are read and written with
// different codes, and that must be kept.
constexpr int16_t kTypeStartDotted = 1;
constexpr int16_t kTypeCheck = 2;
constexpr int16_t kTypeInteger = 3;

constexpr int32_t kMinTempo = 20;
constexpr int32_t kMaxTempo = 600;
// UDM_SETRANGE packs the upper bound in the low word, the lower in the high.
constexpr LPARAM kUpDownRange = (LPARAM(kMinTempo) << 16) | LPARAM(kMaxTempo);

const char kDialogCaption[] = "Zorv Tempo v1.06";
const char kOutOfRangeFormat[] =
    "The %s value is out of range. Only values between %d and %d are allowed.";
const char kOutOfRangeCaption[] = "Out of range error";
const char kSameTempoText[] = "Start tempo is the same as stop tempo.";
const char kSameTempoCaption[] = "No Tempo Change";
const char kRemoveQuestion[] = "Remove all tempo data within the selected region?";
const char kRemoveQuestionCaption[] = "Are you sure?";
const char kRemovedFormat[] = "%d tempo data item%s removed";
const char kRemovedCaption[] = "Remove Information";

constexpr size_t kOutOfRangeBufferSize = 200;
constexpr size_t kRemovedBufferSize = 100;

void WriteUnitButtons(HWND dialog, int firstButton, int16_t unit) {
    for (int i = 0; i < kUnitButtons; ++i)
        FX_SetDlgItemVal(dialog, firstButton + i, kTypeCheck, unit == i ? 1 : 0);
}

int16_t ReadUnitButtons(HWND dialog, int firstButton) {
    for (int16_t i = 0; i < kReadUnitButtons; ++i)
        if (FX_GetDlgItemVal(dialog, firstButton + i, kTypeCheck) != 0) return i;
    return kFallbackUnit;
}

int32_t DottedCheckState(int16_t modifier) { return modifier == kDottedModifier ? 1 : 0; }

int16_t ReadDotted(HWND dialog, int button, int16_t typeCode) {
    int16_t checked = int16_t(FX_GetDlgItemVal(dialog, button, typeCode));
    return checked != 0 ? kDottedModifier : 0;
}

int16_t ReadAfterAction(HWND dialog) {
    if (FX_GetDlgItemVal(dialog, kAfterNone, kTypeCheck) != 0) return 0;
    if (FX_GetDlgItemVal(dialog, kAfterStopTempo, kTypeCheck) != 0) return 1;
    return kFallbackAfterAction;
}

// Tested on the whole integer the host returns, so an entry such as 65636
// cannot pass as its low 16 bits (100). One unsigned comparison also turns
// negative entries away.
bool TempoInRange(int32_t entry) {
    return uint32_t(entry) - uint32_t(kMinTempo) <= uint32_t(kMaxTempo - kMinTempo);
}

void SendUpDownRanges(HWND dialog) {
    SendDlgItemMessageW(dialog, kStartUpDown, UDM_SETRANGE, 0, kUpDownRange);
    SendDlgItemMessageW(dialog, kStopUpDown, UDM_SETRANGE, 0, kUpDownRange);
}

void WriteControls(HWND dialog, const UserDialogSettings& settings) {
    WriteUnitButtons(dialog, kStartFirstUnit, settings.startUnit);
    FX_SetDlgItemVal(dialog, kStartDotted, kTypeStartDotted, DottedCheckState(settings.startModifier));
    FX_SetDlgItemVal(dialog, kStartTempoEdit, kTypeInteger, settings.startTempo);
    WriteUnitButtons(dialog, kStopFirstUnit, settings.stopUnit);
    FX_SetDlgItemVal(dialog, kStopDotted, kTypeCheck, DottedCheckState(settings.stopModifier));
    FX_SetDlgItemVal(dialog, kStopTempoEdit, kTypeInteger, settings.stopTempo);
    FX_SetDlgItemVal(dialog, kAfterNone, kTypeCheck, settings.afterAction == 0 ? 1 : 0);
    FX_SetDlgItemVal(dialog, kAfterStopTempo, kTypeCheck, settings.afterAction == 1 ? 1 : 0);
    FX_SetDlgItemVal(dialog, kAfterStartTempo, kTypeCheck, settings.afterAction == 2 ? 1 : 0);
}

void OnInitDialog(HWND dialog) {
    RestoreDialogPosition(dialog, &currentSettings->dialogLeft, &currentSettings->dialogTop);
    InitTempoDialog(dialog);
}

void OnOk(HWND dialog) {
    if (!ReadTempoDialog(dialog)) return;
    SaveDialogPosition(dialog, &currentSettings->dialogLeft, &currentSettings->dialogTop);
    WriteTempoRamp();
    FX_EndDialog(dialog);
}

void OnCancel(HWND dialog) {
    SaveDialogPosition(dialog, &currentSettings->dialogLeft, &currentSettings->dialogTop);
    FX_EndDialog(dialog);
}

void OnRemove(HWND dialog) {
    if (MessageBoxA(dialog, kRemoveQuestion, kRemoveQuestionCaption, MB_YESNO | MB_ICONQUESTION) !=
        IDYES)
        return;
    ReportRemovedCount(dialog, RemoveRegionTempos(currentRegion));
    // Hidden even when nothing was found: the region is now known to be empty.
    currentSettings->regionHasTempo = 0;
    UpdateRemoveButton(dialog);
}

void OnCommand(HWND dialog, int controlId) {
    switch (controlId) {
    case kOkButton: OnOk(dialog); break;
    case kCancelButton: OnCancel(dialog); break;
    case kRemoveButton: OnRemove(dialog); break;
    default: break;
    }
}

// The region and the settings belong to the host's dialog call. A host
// whose call returns before the dialog ends, or a message that arrives late,
// reaches the procedure when neither is there any more.
bool InvocationRuns() { return currentRegion != nullptr && currentSettings != nullptr; }

// A dialog outside its invocation has nothing left to show, write or
// remove: it reads no control and touches neither the settings nor the
// score. It is ended at set-up and by every button that would act (OK,
// Cancel, Remove), as a dialog the plug-in no longer answers for; other
// commands, such as a radio button's click, leave it as it is.
void OnCommandWithoutInvocation(HWND dialog, int controlId) {
    if (controlId == kOkButton || controlId == kCancelButton || controlId == kRemoveButton)
        FX_EndDialog(dialog);
}

}  // namespace

INT_PTR CALLBACK TempoDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        if (InvocationRuns())
            OnInitDialog(dialog);
        else
            FX_EndDialog(dialog);
        return 1;
    case WM_COMMAND:
        if (InvocationRuns())
            OnCommand(dialog, LOWORD(wParam));
        else
            OnCommandWithoutInvocation(dialog, LOWORD(wParam));
        return 1;
    default:
        return 0;
    }
}

void InitTempoDialog(HWND dialog) {
    SetWindowTextA(dialog, kDialogCaption);
    SendUpDownRanges(dialog);
    WriteControls(dialog, *currentSettings);
    UpdateRemoveButton(dialog);
}

void UpdateRemoveButton(HWND dialog) {
    ShowWindow(GetDlgItem(dialog, kRemoveButton),
               currentSettings->regionHasTempo != 0 ? SW_SHOW : SW_HIDE);
}

int ReadTempoDialog(HWND dialog) {
    const int32_t startEntry = FX_GetDlgItemVal(dialog, kStartTempoEdit, kTypeInteger);
    const int32_t stopEntry = FX_GetDlgItemVal(dialog, kStopTempoEdit, kTypeInteger);
    if (!TempoInRange(startEntry)) {
        ReportOutOfRange(dialog, true);
        FX_SetDlgFocus(dialog, kStartTempoEdit);
        return 0;
    }
    if (!TempoInRange(stopEntry)) {
        ReportOutOfRange(dialog, false);
        FX_SetDlgFocus(dialog, kStopTempoEdit);
        return 0;
    }
    const int16_t startTempo = int16_t(startEntry);
    const int16_t stopTempo = int16_t(stopEntry);

    const int16_t startUnit = ReadUnitButtons(dialog, kStartFirstUnit);
    const int16_t startModifier = ReadDotted(dialog, kStartDotted, kTypeStartDotted);
    const int16_t stopUnit = ReadUnitButtons(dialog, kStopFirstUnit);
    const int16_t stopModifier = ReadDotted(dialog, kStopDotted, kTypeCheck);

    // Equal entries are not the test: a quarter at 120 and a half at 60 are
    // the same tempo, and a ramp between them would change nothing.
    const int32_t stopValue = HostTempoValue(stopUnit, stopTempo, stopModifier);
    const int32_t startValue = HostTempoValue(startUnit, startTempo, startModifier);
    if (stopValue == startValue) {
        MessageBoxA(dialog, kSameTempoText, kSameTempoCaption, MB_OK);
        return 0;
    }
    const int16_t afterAction = ReadAfterAction(dialog);

    currentSettings->afterAction = afterAction;
    currentSettings->startTempo = startTempo;
    currentSettings->stopTempo = stopTempo;
    currentSettings->startUnit = startUnit;
    currentSettings->stopUnit = stopUnit;
    currentSettings->startModifier = startModifier;
    currentSettings->stopModifier = stopModifier;
    return 1;
}

void ReportOutOfRange(HWND dialog, bool startFailed) {
    char text[kOutOfRangeBufferSize];
    sprintf_s(text, sizeof text, kOutOfRangeFormat, startFailed ? "start" : "stop", kMinTempo,
              kMaxTempo);
    MessageBoxA(dialog, text, kOutOfRangeCaption, MB_ICONERROR);
}

void ReportRemovedCount(HWND dialog, uint32_t count) {
    char text[kRemovedBufferSize];
    // Measures and indices are 16-bit, so a region never holds 2^31 records
    // and the count prints whole as a signed number.
    sprintf_s(text, sizeof text, kRemovedFormat, int(count), count == 1 ? " was" : "s were");
    MessageBoxA(dialog, text, kRemovedCaption, MB_ICONINFORMATION);
}

void SaveDialogPosition(HWND dialog, int16_t* left, int16_t* top) {
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(dialog, &rect);
    *left = int16_t(rect.left);
    *top = int16_t(rect.top);
}

void RestoreDialogPosition(HWND dialog, const int16_t* left, const int16_t* top) {
    if (*left == NoSavedPosition || *top == NoSavedPosition) return;
    const int16_t screenWidth = int16_t(GetSystemMetrics(SM_CXSCREEN));
    const int16_t screenHeight = int16_t(GetSystemMetrics(SM_CYSCREEN));
    // A negative edge may be a monitor left of or above the primary one,
    // which is not checked for: such a position is dropped.
    if (*left > screenWidth || *top > screenHeight || *left < 0 || *top < 0) return;
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(dialog, &rect);
    MoveWindow(dialog, *left, *top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
}
