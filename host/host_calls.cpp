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


}  // namespace

const char* HostFunctionName(HostFunction function) { return kFunctionNames[int(function)]; }

HMODULE HostModule() {
    return static_cast<HMODULE>(ResolveOnce(hostModuleSlot, [] {
        return static_cast<void*>(GetModuleHandleW(kHostModuleName));
    }));
}

BindingSlot hostFunctionSlots[int(HostFunction::Count)] = {};
std::atomic<void*> hostCallTargets[int(HostFunction::Count)] = {};

// Kept out of line: only first calls and presence checks before binding
// come here.
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
