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

enum class RegistryOperation { Open, Query, Create, Set, Close };

// Forgets every key and every injected fault.
void ResetRegistry();
// Keys by full path under HKEY_CURRENT_USER ("Software\\ZorvPlugins\\ZorvTempo"),
// matched without regard to case as Windows does.
void CreateRegistryKey(const std::string& path);
bool RegistryKeyExists(const std::string& path);
void SetRegistryValue(const std::string& path, const std::string& name, const RegistryValue& value);
bool GetRegistryValue(const std::string& path, const std::string& name, RegistryValue* value);
// The next calls of `operation` fail with `error` until cleared (error 0).
void FailRegistry(RegistryOperation operation, LONG error);
// How many keys are open right now (every open must be closed).
int OpenRegistryKeys();

}  // namespace emu
