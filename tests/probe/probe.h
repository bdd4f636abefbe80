// What the test probe module hands to tests: its inner functions and the
// addresses of its module state.
#pragma once

#include <stdint.h>

#include "host/host_abi.h"
#include "host/legacy_prefs.h"
#include "ui/settings.h"

struct PluginInternals {
    uint32_t* hostVersion;
    ERegion** currentRegion;
    UserDialogSettings** currentSettings;
    UserDialogSettings* moduleSettings;
    // the ten wrappers
    int16_t (*FX_LoadEData)(uint32_t, void*, void*, uint32_t*);
    int16_t (*FX_CreateEData)(uint32_t, void*, void*, uint32_t);
    int16_t (*FX_DeleteEData)(uint32_t, void*);
    INT_PTR (*FX_Dialog)(int32_t, DLGPROC, HWND, int32_t, LPARAM);
    void (*FX_EndDialog)(HWND);
    void (*FX_SetDlgFocus)(HWND, int32_t);
    int16_t (*FX_GetCurERegions)(void*, void*, void*);
    int32_t (*FX_GetMeasureDuration)(int16_t);
    int32_t (*FX_GetDlgItemVal)(HWND, int32_t, int16_t);
    void (*FX_SetDlgItemVal)(HWND, int32_t, int16_t, int32_t);
    // inner operations
    void (*CopyMenuText)(uint16_t*, const unsigned short*);
    int32_t (*HostTempoValue)(int16_t, int16_t, int16_t);
    bool (*IsInRegion)(const ERegion&, int16_t, int32_t);
    void (*ScanRegionTempo)(const ERegion*);
    uint32_t (*RemoveRegionTempos)(const ERegion*);
    int16_t (*CreateTempoRecord)(int16_t, int32_t, int32_t);
    int32_t (*WriteTempoRamp)();
    void (*LoadSettings)();
    LONG (*SaveSettings)();
    INT_PTR (*TempoDialogProc)(HWND, UINT, WPARAM, LPARAM);
    int16_t (*EmulateLegacyPref)(void*, uint32_t*, LegacyPrefField*, int16_t);
    // the binding: a host function's address by its index in HostFunction,
    // looked up when first asked; null when the host does not export it
    void* (*HostFunctionAddress)(int);
};

typedef const PluginInternals* (*ZorvProbeInternals_Proc)();
