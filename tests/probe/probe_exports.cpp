// The test probe: the plug-in's inner functions and module state, handed to
// tests through one extra export of a separately built copy of the module.
#include "tests/probe/probe.h"

#include "entry/menu_text.h"
#include "entry/module_state.h"
#include "host/fin_pi_strings.h"
#include "host/host_calls.h"
#include "host/legacy_prefs.h"
#include "tempo/region_tempo.h"
#include "tempo/tempo_ramp.h"
#include "tempo/tempo_value.h"
#include "ui/settings.h"
#include "ui/tempo_dialog.h"

namespace {

int16_t LoadEData(uint32_t tag, void* key, void* data, uint32_t* size) {
    return FX_LoadEData(tag, key, data, size);
}
int32_t GetMeasureDuration(int16_t measure) { return FX_GetMeasureDuration(measure); }
int16_t CreateEData(uint32_t tag, void* key, void* data, uint32_t size) {
    return FX_CreateEData(tag, key, data, size);
}
int16_t DeleteEData(uint32_t tag, void* key) { return FX_DeleteEData(tag, key); }
INT_PTR Dialog(int32_t id, DLGPROC proc, HWND parent, int32_t one, LPARAM nothing) {
    return FX_Dialog(id, proc, parent, one, nothing);
}
void EndDialogCall(HWND dialog) { FX_EndDialog(dialog); }
void SetDlgFocus(HWND dialog, int32_t id) { FX_SetDlgFocus(dialog, id); }
int16_t GetCurERegions(void* a, void* b, void* c) { return FX_GetCurERegions(a, b, c); }
int32_t GetDlgItemVal(HWND dialog, int32_t id, int16_t type) {
    return FX_GetDlgItemVal(dialog, id, type);
}
void SetDlgItemVal(HWND dialog, int32_t id, int16_t type, int32_t value) {
    FX_SetDlgItemVal(dialog, id, type, value);
}

void* BoundAddress(int function) { return HostFunctionAddress(HostFunction(function)); }

const PluginInternals kInternals = {
    &hostVersion,
    &currentRegion,
    &currentSettings,
    &moduleSettings,
    &LoadEData,
    &CreateEData,
    &DeleteEData,
    &Dialog,
    &EndDialogCall,
    &SetDlgFocus,
    &GetCurERegions,
    &GetMeasureDuration,
    &GetDlgItemVal,
    &SetDlgItemVal,
    &CopyMenuText,
    &HostTempoValue,
    &IsInRegion,
    &ScanRegionTempo,
    &RemoveRegionTempos,
    &CreateTempoRecord,
    &WriteTempoRamp,
    &LoadSettings,
    &SaveSettings,
    &TempoDialogProc,
    &EmulateLegacyPref,
    &BoundAddress,
};

}  // namespace

extern "C" __declspec(dllexport) const PluginInternals* ZorvProbeInternals() {
    return &kInternals;
}
