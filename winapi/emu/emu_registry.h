// Test control of the emulation's in-memory registry.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "winapi/zorv_windows.h"

namespace emu {

struct RegistryValue {
    DWORD type = REG_BINARY;
    std::vector<unsigned char> bytes;
};

enum class RegistryOperation { Open, Query, Create, Set, Close, DeleteKey, DeleteValue };

// Forgets every key, every open handle, every injected fault and the call log.
void ResetRegistry();
// Keys by full path under HKEY_CURRENT_USER ("Software\\ZorvPlugins\\ZorvTempo"),
// matched without regard to case as Windows does.
void CreateRegistryKey(const std::string& path);
bool RegistryKeyExists(const std::string& path);
void SetRegistryValue(const std::string& path, const std::string& name, const RegistryValue& value);
bool GetRegistryValue(const std::string& path, const std::string& name, RegistryValue* value);
// The next calls of `operation` fail with `error` until cleared (error 0).
// A failed open or create hands out no handle; a failed close still releases
// the handle, so only the status it reports differs.
void FailRegistry(RegistryOperation operation, LONG error);
// How many keys are open right now (every open must be closed).
int OpenRegistryKeys();

// One call of a Reg* function as the caller made it. `path` is the full path
// under the root of the key the call acted on, in the caller's spelling;
// `size` is the byte count passed in (for a query, the buffer's size before
// the call; for a set, the data's size).
struct RegistryCall {
    RegistryOperation operation = RegistryOperation::Open;
    std::string path;
    std::string valueName;
    DWORD options = 0;
    REGSAM access = 0;
    DWORD type = 0;
    DWORD size = 0;
    LONG result = ERROR_SUCCESS;
};
std::vector<RegistryCall> RegistryCalls();

}  // namespace emu
