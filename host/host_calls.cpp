// One-time binding of the host module and of the host's FX_ functions.
#include "host/host_calls.h"

#include <thread>

#include "host/legacy_prefs.h"

namespace {

const char* const kFunctionNames[int(HostFunction::Count)] = {
    "FX_LoadEData",       "FX_CreateEData",   "FX_DeleteEData",    "FX_Dialog",
    "FX_EndDialog",       "FX_SetDlgFocus",   "FX_GetCurERegions", "FX_GetMeasureDuration",
    "FX_GetDlgItemVal",   "FX_SetDlgItemVal"};

const WCHAR kHostModuleName[] = ZORV_WIDE("FINALE.EXE");

// The host module's handle is bound in a word of the same kind.
std::atomic<uintptr_t> hostModuleBinding{NotLookedUp};

// Runs `lookUp` for the binding once, on whichever thread claims it first;
// a thread that comes during the lookup waits for its answer. A lookup that
// found nothing is never repeated.
template <typename LookUp>
void* LookUpOnce(std::atomic<uintptr_t>& binding, LookUp lookUp) {
    uintptr_t state = binding.load(std::memory_order_acquire);
    if (state == NotLookedUp &&
        binding.compare_exchange_strong(state, LookingUp, std::memory_order_acq_rel)) {
        void* found = lookUp();
        state = found ? reinterpret_cast<uintptr_t>(found) : uintptr_t(NotFound);
        binding.store(state, std::memory_order_release);
    }
    while (state == LookingUp) {
        std::this_thread::yield();
        state = binding.load(std::memory_order_acquire);
    }
    return HoldsAddress(state) ? reinterpret_cast<void*>(state) : nullptr;
}

}  // namespace

static_assert(int(HostFunction::Count) == 10, "one NotLookedUp below for each host function");
std::atomic<uintptr_t> hostFunctionBindings[int(HostFunction::Count)] = {
    NotLookedUp, NotLookedUp, NotLookedUp, NotLookedUp, NotLookedUp,
    NotLookedUp, NotLookedUp, NotLookedUp, NotLookedUp, NotLookedUp};

const char* HostFunctionName(HostFunction function) { return kFunctionNames[int(function)]; }

HMODULE HostModule() {
    return static_cast<HMODULE>(LookUpOnce(hostModuleBinding, [] {
        return static_cast<void*>(GetModuleHandleW(kHostModuleName));
    }));
}

// Out of line and cold, so that the wrappers' bound path stays short.
__attribute__((noinline, cold)) void* LookUpHostFunction(HostFunction function) {
    return LookUpOnce(hostFunctionBindings[int(function)], [function] {
        return reinterpret_cast<void*>(GetProcAddress(HostModule(), HostFunctionName(function)));
    });
}

int16_t LoadSpecialEData(uint32_t tag, void* key, void* data, uint32_t* size) {
    bool handled = false;
    int16_t legacyResult = LoadLegacyEData(tag, key, data, size, &handled);
    if (handled) return legacyResult;
    return LoadEDataFromHost(tag, key, data, size);
}
