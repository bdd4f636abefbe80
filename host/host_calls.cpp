// One-time binding of the host's FX_ functions and the wrappers over them.
#include "host/host_calls.h"

#include <atomic>
#include <thread>

#include "host/legacy_prefs.h"

namespace {

enum SlotState : int { Unresolved = 0, Resolving = 1, Resolved = BindingResolved };

BindingSlot hostModuleSlot = {{Unresolved}, nullptr};

const char* const kFunctionNames[int(HostFunction::Count)] = {
    "FX_LoadEData",       "FX_CreateEData",   "FX_DeleteEData",    "FX_Dialog",
    "FX_EndDialog",       "FX_SetDlgFocus",   "FX_GetCurERegions", "FX_GetMeasureDuration",
    "FX_GetDlgItemVal",   "FX_SetDlgItemVal"};

const WCHAR kHostModuleName[] = ZORV_WIDE("FINALE.EXE");

// Runs `resolve` once for the slot. A thread that arrives while another is
// resolving waits for it; afterwards every thread reads the same address
// without taking a lock.
template <typename Resolve>
void* ResolveOnce(BindingSlot& slot, Resolve resolve) {
    if (slot.state.load(std::memory_order_acquire) == Resolved) return slot.address;
    int expected = Unresolved;
    if (slot.state.compare_exchange_strong(expected, Resolving, std::memory_order_acq_rel)) {
        slot.address = resolve();
        slot.state.store(Resolved, std::memory_order_release);
        return slot.address;
    }
    while (slot.state.load(std::memory_order_acquire) != Resolved) std::this_thread::yield();
    return slot.address;
}

template <typename Proc>
Proc Bound(HostFunction function) {
    return reinterpret_cast<Proc>(BoundHostFunction(function));
}

}  // namespace

const char* HostFunctionName(HostFunction function) { return kFunctionNames[int(function)]; }

HMODULE HostModule() {
    return static_cast<HMODULE>(ResolveOnce(hostModuleSlot, [] {
        return static_cast<void*>(GetModuleHandleW(kHostModuleName));
    }));
}

BindingSlot hostFunctionSlots[int(HostFunction::Count)] = {};

// Kept out of line so the wrappers' bound path stays one check, one load
// and the call.
__attribute__((noinline, cold)) void* ResolveHostFunction(HostFunction function) {
    return ResolveOnce(hostFunctionSlots[int(function)], [function] {
        return reinterpret_cast<void*>(GetProcAddress(HostModule(), HostFunctionName(function)));
    });
}


int16_t LoadSpecialEData(uint32_t tag, void* key, void* data, uint32_t* size) {
    bool handled = false;
    int16_t legacyResult = LoadLegacyEData(tag, key, data, size, &handled);
    if (handled) return legacyResult;
    return LoadEDataFromHost(tag, key, data, size);
}

int16_t FX_CreateEData(uint32_t tag, void* key, void* data, uint32_t size) {
    auto create = Bound<FX_CreateEData_Proc>(HostFunction::CreateEData);
    return create ? create(tag, key, data, size, HostCallVersion) : 0;
}

int16_t FX_DeleteEData(uint32_t tag, void* key) {
    auto erase = Bound<FX_DeleteEData_Proc>(HostFunction::DeleteEData);
    return erase ? erase(tag, key, HostCallVersion) : 0;
}

INT_PTR FX_Dialog(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one, LPARAM nothing) {
    auto dialog = Bound<FX_Dialog_Proc>(HostFunction::Dialog);
    return dialog ? dialog(resourceId, proc, parent, one, nothing, HostCallVersion) : 0;
}

void FX_EndDialog(HWND dialog) {
    if (auto end = Bound<FX_EndDialog_Proc>(HostFunction::EndDialog)) end(dialog, HostCallVersion);
}

void FX_SetDlgFocus(HWND dialog, int32_t controlId) {
    if (auto focus = Bound<FX_SetDlgFocus_Proc>(HostFunction::SetDlgFocus))
        focus(dialog, controlId, HostCallVersion);
}

int16_t FX_GetCurERegions(void* scratch8, void* scratch24a, void* scratch24b) {
    auto regions = Bound<FX_GetCurERegions_Proc>(HostFunction::GetCurERegions);
    return regions ? regions(scratch8, scratch24a, scratch24b, HostCallVersion) : 0;
}


int32_t FX_GetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode) {
    auto get = Bound<FX_GetDlgItemVal_Proc>(HostFunction::GetDlgItemVal);
    return get ? get(dialog, controlId, typeCode, HostCallVersion) : 0;
}

void FX_SetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value) {
    if (auto set = Bound<FX_SetDlgItemVal_Proc>(HostFunction::SetDlgItemVal))
        set(dialog, controlId, typeCode, value, HostCallVersion);
}
