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

// Everything the module knows of one host function, in one word: NotLookedUp
// until it is first needed, LookingUp while one thread asks the host,
// NotFound when the host does not export it, and otherwise the address the
// host gave. The three states are the top three values of the word, where no
// function can be: a Windows process's code lies far below them, and in
// WebAssembly a function's address is its small index in the function table,
// counted from 1. Plain globals initialized to NotLookedUp, not
// function-local statics, so that every load of the module starts afresh.
enum HostBinding : uintptr_t {
    NotFound = UINTPTR_MAX - 2,
    LookingUp = UINTPTR_MAX - 1,
    NotLookedUp = UINTPTR_MAX,
};
extern std::atomic<uintptr_t> hostFunctionBindings[int(HostFunction::Count)];

// Whether a binding word holds an address rather than a state: one
// comparison, on the path of every host call.
constexpr bool HoldsAddress(uintptr_t binding) { return binding < NotFound; }

// The first need of a host function, and every call of one the host lacks:
// asks the host once, whichever thread comes first (the others wait for its
// answer), and never again; null when the host does not export it.
void* LookUpHostFunction(HostFunction function);

// The host function's address, looked up when first needed; null when the
// host does not export it. Once looked up: one load and one test, no lock.
inline void* HostFunctionAddress(HostFunction function) {
    const uintptr_t binding = hostFunctionBindings[int(function)].load(std::memory_order_acquire);
    if (__builtin_expect(HoldsAddress(binding), 1)) return reinterpret_cast<void*>(binding);
    return LookUpHostFunction(function);
}

// The first call of a host function, and every call of one the host
// lacks: binds it, then calls it when the host exports it. Out of line, so
// that the bound path in the caller stays a load, a test and the call.
template <typename HostProc, typename... Args>
__attribute__((noinline, cold)) auto BindAndCallHost(HostFunction function, Args... args) {
    const auto host = reinterpret_cast<HostProc>(LookUpHostFunction(function));
    using Result = decltype(host(args..., HostCallVersion));
    return host ? host(args..., HostCallVersion) : Result();
}

// Calls the host function through its own signature (host_abi.h), which
// checks the arguments, with HostCallVersion appended; answers 0, or
// nothing, when the host does not export it.
template <typename HostProc, typename... Args>
inline auto CallHost(HostFunction function, Args... args) {
    const uintptr_t binding = hostFunctionBindings[int(function)].load(std::memory_order_acquire);
    if (__builtin_expect(HoldsAddress(binding), 1))
        return reinterpret_cast<HostProc>(binding)(args..., HostCallVersion);
    return BindAndCallHost<HostProc>(function, args...);
}

// The wrappers are inline: a wrapper call costs its caller the binding
// test and the host call, not a call of its own.

// The general path of the entry-data load: one host call, its 16-bit answer.
inline int16_t LoadEDataFromHost(uint32_t tag, void* key, void* data, uint32_t* size) {
    return CallHost<FX_LoadEData_Proc>(HostFunction::LoadEData, tag, key, data, size);
}

// Tags the entry-data load may answer itself: the 'pf..' preference tags
// and the 252-byte block tag.
constexpr bool MayBeSpecialLoadTag(uint32_t tag) {
    return (tag >> 16) == 0x7066u || tag == 0x4F156649u;
}
int16_t LoadSpecialEData(uint32_t tag, void* key, void* data, uint32_t* size);

// Binds first, whatever the tag: the host sees the lookup even for a load
// the module answers itself. Every other tag takes the general path.
inline int16_t FX_LoadEData(uint32_t tag, void* key, void* data, uint32_t* size) {
    if (MayBeSpecialLoadTag(tag)) {
        HostFunctionAddress(HostFunction::LoadEData);
        return LoadSpecialEData(tag, key, data, size);
    }
    return LoadEDataFromHost(tag, key, data, size);
}
inline int16_t FX_CreateEData(uint32_t tag, void* key, void* data, uint32_t size) {
    return CallHost<FX_CreateEData_Proc>(HostFunction::CreateEData, tag, key, data, size);
}
inline int16_t FX_DeleteEData(uint32_t tag, void* key) {
    return CallHost<FX_DeleteEData_Proc>(HostFunction::DeleteEData, tag, key);
}
inline INT_PTR FX_Dialog(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one,
                         LPARAM nothing) {
    return CallHost<FX_Dialog_Proc>(HostFunction::Dialog, resourceId, proc, parent, one, nothing);
}
inline void FX_EndDialog(HWND dialog) {
    CallHost<FX_EndDialog_Proc>(HostFunction::EndDialog, dialog);
}
inline void FX_SetDlgFocus(HWND dialog, int32_t controlId) {
    CallHost<FX_SetDlgFocus_Proc>(HostFunction::SetDlgFocus, dialog, controlId);
}
inline int16_t FX_GetCurERegions(void* scratch8, void* scratch24a, void* scratch24b) {
    return CallHost<FX_GetCurERegions_Proc>(HostFunction::GetCurERegions, scratch8, scratch24a,
                                            scratch24b);
}
// The host's first argument is always 0.
inline int32_t FX_GetMeasureDuration(int16_t measure) {
    return CallHost<FX_GetMeasureDuration_Proc>(HostFunction::GetMeasureDuration, int32_t(0),
                                                measure);
}
inline int32_t FX_GetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode) {
    return CallHost<FX_GetDlgItemVal_Proc>(HostFunction::GetDlgItemVal, dialog, controlId,
                                           typeCode);
}
inline void FX_SetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value) {
    CallHost<FX_SetDlgItemVal_Proc>(HostFunction::SetDlgItemVal, dialog, controlId, typeCode,
                                    value);
}
