// The ten host functions under the names the plug-in looks up in
// FINALE.EXE; each hands its call to the shared host logic unchanged.
#include "testhost/core/fx_host.h"

#define FX_EXPORT extern "C" __declspec(dllexport)

FX_EXPORT int16_t FX_LoadEData(uint32_t tag, void* key, void* data, uint32_t* size,
                               uint32_t version) {
    return testhost::FxLoadEData(tag, key, data, size, version);
}

FX_EXPORT int16_t FX_CreateEData(uint32_t tag, void* key, void* data, uint32_t size,
                                 uint32_t version) {
    return testhost::FxCreateEData(tag, key, data, size, version);
}

FX_EXPORT int16_t FX_DeleteEData(uint32_t tag, void* key, uint32_t version) {
    return testhost::FxDeleteEData(tag, key, version);
}

FX_EXPORT INT_PTR FX_Dialog(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one,
                            LPARAM nothing, uint32_t version) {
    return testhost::FxDialog(resourceId, proc, parent, one, nothing, version);
}

FX_EXPORT void FX_EndDialog(HWND dialog, uint32_t version) {
    testhost::FxEndDialog(dialog, version);
}

FX_EXPORT void FX_SetDlgFocus(HWND dialog, int32_t controlId, uint32_t version) {
    testhost::FxSetDlgFocus(dialog, controlId, version);
}

FX_EXPORT int16_t FX_GetCurERegions(void* scratch8, void* scratch24a, void* scratch24b,
                                    uint32_t version) {
    return testhost::FxGetCurERegions(scratch8, scratch24a, scratch24b, version);
}

FX_EXPORT int32_t FX_GetMeasureDuration(int32_t zero, int16_t measure, uint32_t version) {
    return testhost::FxGetMeasureDuration(zero, measure, version);
}

FX_EXPORT int32_t FX_GetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode,
                                   uint32_t version) {
    return testhost::FxGetDlgItemVal(dialog, controlId, typeCode, version);
}

FX_EXPORT void FX_SetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value,
                                uint32_t version) {
    testhost::FxSetDlgItemVal(dialog, controlId, typeCode, value, version);
}
