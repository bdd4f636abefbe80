// Lazily bound calls into the Finale host. Each wrapper carries the name of
// the host function it calls, passes its arguments through unchanged and
// appends HostCallVersion. A function the host does not export is skipped:
// the wrapper does nothing and answers 0.
#pragma once

#include <stdint.h>

#include <atomic>

#include "host/host_abi.h"

enum class HostFunction : int {
    LoadEData,
    CreateEData,
    DeleteEData,
    Dialog,
    EndDialog,
    SetDlgFocus,
    GetCurERegions,
    GetMeasureDuration,
    GetDlgItemVal,
    SetDlgItemVal,
    Count
};

// The host function's exported name, e.g. "FX_LoadEData".
const char* HostFunctionName(HostFunction function);

// Resolves the host module "FINALE.EXE" once per load of the module; later
// calls return the same handle (null when the host is not in the process).
HMODULE HostModule();

// One lookup result and its one-time state (unresolved, resolving,
// resolved). Plain globals, not function-local statics: they must start
// fresh with every load of the module.
struct BindingSlot {
    std::atomic<int> state;
    void* address;
};
constexpr int BindingResolved = 2;
extern BindingSlot hostFunctionSlots[int(HostFunction::Count)];

// The first lookup of a host function; waits while another thread does it.
void* ResolveHostFunction(HostFunction function);

// The host function's address, looked up once (a failed lookup is never
// repeated); null when the host does not export it. Safe when several
// threads ask first at the same time; once resolved it costs one check and
// one load, without a lock.
inline void* BoundHostFunction(HostFunction function) {
    BindingSlot& slot = hostFunctionSlots[int(function)];
    if (__builtin_expect(slot.state.load(std::memory_order_acquire) == BindingResolved, 1))
        return slot.address;
    return ResolveHostFunction(function);
}

// Calls host function F with the caller's arguments and HostCallVersion
// appended; answers R() (0, or nothing) when the host lacks it. The first
// call binds through a separate function, so the bound path keeps no
// registers aside: one check, one load, one null test and the call.
template <HostFunction F, typename R, typename... Args>
R CallHost(Args... args);

template <HostFunction F, typename R, typename... Args>
__attribute__((noinline, cold)) R BindAndCallHost(Args... args) {
    ResolveHostFunction(F);
    return CallHost<F, R, Args...>(args...);
}

template <HostFunction F, typename R, typename... Args>
inline R CallHost(Args... args) {
    BindingSlot& slot = hostFunctionSlots[int(F)];
    if (__builtin_expect(slot.state.load(std::memory_order_acquire) != BindingResolved, 0))
        return BindAndCallHost<F, R, Args...>(args...);
    auto proc = reinterpret_cast<R (*)(Args..., uint32_t)>(slot.address);
    if (!proc) return R();
    return proc(args..., HostCallVersion);
}

// The general path of the entry-data load: one host call, its 16-bit answer.
inline int16_t LoadEDataFromHost(uint32_t tag, void* key, void* data, uint32_t* size) {
    return CallHost<HostFunction::LoadEData, int16_t>(tag, key, data, size);
}

// Tags the entry-data load may answer itself: the 'pf..' preference tags
// and the 252-byte block tag.
constexpr bool MayBeSpecialLoadTag(uint32_t tag) {
    return (tag >> 16) == 0x7066u || tag == 0x4F156649u;
}
int16_t LoadSpecialEData(uint32_t tag, void* key, void* data, uint32_t* size);

// Binds first, whatever the tag; every other tag takes the general path.
inline int16_t FX_LoadEData(uint32_t tag, void* key, void* data, uint32_t* size) {
    BoundHostFunction(HostFunction::LoadEData);
    if (MayBeSpecialLoadTag(tag)) return LoadSpecialEData(tag, key, data, size);
    return LoadEDataFromHost(tag, key, data, size);
}
int16_t FX_CreateEData(uint32_t tag, void* key, void* data, uint32_t size);
int16_t FX_DeleteEData(uint32_t tag, void* key);
INT_PTR FX_Dialog(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one, LPARAM nothing);
void FX_EndDialog(HWND dialog);
void FX_SetDlgFocus(HWND dialog, int32_t controlId);
int16_t FX_GetCurERegions(void* scratch8, void* scratch24a, void* scratch24b);
inline int32_t FX_GetMeasureDuration(int16_t measure) {
    return CallHost<HostFunction::GetMeasureDuration, int32_t>(int32_t(0), measure);
}
int32_t FX_GetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode);
void FX_SetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value);
