// The plug-in's settings value in the real registry (or the emulation's), as
// the stand-in host sets it up before a session and reads it back after.
#pragma once

#include <stdint.h>

#include <vector>

#include "winapi/zorv_windows.h"

namespace testhost {

extern const char kSettingsKey[];    // under HKEY_CURRENT_USER
extern const char kSettingsValue[];  // "UserDialog"

// An open registry key, closed when it goes out of scope.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* Receive() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool SettingsKeyExists();
bool CreateSettingsKey();
void DeleteSettingsKey();
// Creates the key when needed. Stored with RegSetValueExA from a buffer that
// holds a 0 byte after the data, so that a string type (1, 2, 7) whose last
// byte is not 0 is stored with one 0 byte appended, every time.
bool StoreSettingsValue(const std::vector<uint8_t>& bytes, DWORD type = REG_BINARY);
// True also when there was no value to delete.
bool DeleteSettingsValue();
// False when the key or the value is missing.
bool ReadSettingsValue(std::vector<uint8_t>* bytes, DWORD* type);

}  // namespace testhost
