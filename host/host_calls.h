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

// What each wrapper calls: null until the wrapper's first call has bound
// the host function; then the host's own function, or for a function the
// host lacks a stand-in that answers 0. Plain globals, fresh with every
// load of the module.
extern std::atomic<void*> hostCallTargets[int(HostFunction::Count)];

// A host function's own signature: the caller's arguments, then the version.
template <typename R, typename... Args>
using HostProc = R (*)(Args..., uint32_t);

template <HostFunction F, typename R, typename... Args>
R MissingHostFunction(Args..., uint32_t) {
    return R();
}

// The first call: binds (one lookup, whichever thread gets there first),
// records what later calls call, and makes this call.
template <HostFunction F, typename R, typename... Args>
__attribute__((noinline, cold)) R BindAndCallHost(Args... args) {
    void* address = ResolveHostFunction(F);
    const HostProc<R, Args...> proc = address ? reinterpret_cast<HostProc<R, Args...>>(address)
                                              : &MissingHostFunction<F, R, Args...>;
    hostCallTargets[int(F)].store(reinterpret_cast<void*>(proc), std::memory_order_release);
    return proc(args..., HostCallVersion);
}

// Calls host function F with the caller's arguments and HostCallVersion
// appended; answers R() (0, or nothing) when the host lacks it. Once bound
// that is one load, one test and the call, much as a call through an
// import table.
template <HostFunction F, typename R, typename... Args>
inline R CallHost(Args... args) {
    void* target = hostCallTargets[int(F)].load(std::memory_order_acquire);
    if (__builtin_expect(target == nullptr, 0)) return BindAndCallHost<F, R, Args...>(args...);
    return reinterpret_cast<HostProc<R, Args...>>(target)(args..., HostCallVersion);
}

// The wrapper with the host function's own signature, the version ignored
// (the wrapper appends it).
template <HostFunction F, typename R, typename... Args>
R CallHostWithVersion(Args... args, uint32_t) {
    return CallHost<F, R, Args...>(args...);
}

// For a loop that makes the same host call many times: once the wrapper
// has bound the function, what the wrapper calls, to be called with
// HostCallVersion and no test per call; before that, the wrapper itself.
// Looks nothing up, so the host sees the same lookups either way.
template <HostFunction F, typename R, typename... Args>
HostProc<R, Args...> HostCallTarget() {
    void* target = hostCallTargets[int(F)].load(std::memory_order_acquire);
    if (target) return reinterpret_cast<HostProc<R, Args...>>(target);
    return &CallHostWithVersion<F, R, Args...>;
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
// The other wrappers are inline too: a wrapper call costs its caller the
// binding check and the host call, not a call of its own.
inline int16_t FX_CreateEData(uint32_t tag, void* key, void* data, uint32_t size) {
    return CallHost<HostFunction::CreateEData, int16_t>(tag, key, data, size);
}
inline int16_t FX_DeleteEData(uint32_t tag, void* key) {
    return CallHost<HostFunction::DeleteEData, int16_t>(tag, key);
}
inline INT_PTR FX_Dialog(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one,
                         LPARAM nothing) {
    return CallHost<HostFunction::Dialog, INT_PTR>(resourceId, proc, parent, one, nothing);
}
inline void FX_EndDialog(HWND dialog) { CallHost<HostFunction::EndDialog, void>(dialog); }
inline void FX_SetDlgFocus(HWND dialog, int32_t controlId) {
    CallHost<HostFunction::SetDlgFocus, void>(dialog, controlId);
}
inline int16_t FX_GetCurERegions(void* scratch8, void* scratch24a, void* scratch24b) {
    return CallHost<HostFunction::GetCurERegions, int16_t>(scratch8, scratch24a, scratch24b);
}
inline int32_t FX_GetMeasureDuration(int16_t measure) {
    return CallHost<HostFunction::GetMeasureDuration, int32_t>(int32_t(0), measure);
}
inline int32_t FX_GetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode) {
    return CallHost<HostFunction::GetDlgItemVal, int32_t>(dialog, controlId, typeCode);
}
inline void FX_SetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value) {
    CallHost<HostFunction::SetDlgItemVal, void>(dialog, controlId, typeCode, value);
}
