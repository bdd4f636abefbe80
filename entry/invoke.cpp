// The menu command: checks for a selection, marks whether it already holds
// tempo records, and has the host run the tempo dialog, inside which all of
// the command's work is done.
#include "entry/module_state.h"
#include "host/host_calls.h"
#include "tempo/region_tempo.h"
#include "ui/settings.h"
#include "ui/tempo_dialog.h"

namespace {

const char kNoSelectionText[] =
    "Please select the area (with the mass mover tool) where you want the accelerando or "
    "ritardando before using the plug-in. You can use partial measures if needed.";
const char kNoSelectionCaption[] = "Zorv Accel/Rit - No area selected";

// What the host expects in the dialog call's fourth and fifth arguments.
constexpr int32_t kDialogFlag = 1;
constexpr LPARAM kNoDialogData = 0;

}  // namespace

extern "C" __declspec(dllexport) int32_t FinaleExtensionInvoke(HWND window, void*, ERegion* region) {
    if (!region) {
        MessageBoxA(window, kNoSelectionText, kNoSelectionCaption, MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    ScanRegionTempo(region);
    currentRegion = region;
    currentSettings = &moduleSettings;
    // The dialog's answer carries nothing: OK, Cancel and Remove have all
    // done their work by the time the host returns.
    FX_Dialog(TempoDialogId, TempoDialogProc, window, kDialogFlag, kNoDialogData);
    // The region is the host's and lives only for this call: no pointer to
    // it may outlast the dialog.
    currentRegion = nullptr;
    currentSettings = nullptr;
    return 1;
}
