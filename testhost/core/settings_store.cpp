#include "testhost/core/settings_store.h"

namespace testhost {

const char kSettingsKey[] = "Software\\ZorvPlugins\\ZorvTempo";
const char kSettingsValue[] = "UserDialog";

namespace {

bool OpenSettingsKey(REGSAM access, RegistryKey* key) {
    return RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, access, key->Receive()) ==
           ERROR_SUCCESS;
}

bool CreateSettingsKey(RegistryKey* key) {
    return RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_WRITE, nullptr, key->Receive(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

bool SettingsKeyExists() {
    RegistryKey key;
    return OpenSettingsKey(KEY_READ, &key);
}

bool CreateSettingsKey() {
    RegistryKey key;
    return CreateSettingsKey(&key);
}

void DeleteSettingsKey() { RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey); }

// The data is passed from a buffer that holds one 0 byte past the counted
// bytes. For the string types (1, 2, 7) Windows looks at that byte: when the
// last counted byte is not 0 and the next one is, it stores that 0 as well.
// With the 0 always there, the stored value never depends on whatever
// happened to lie past the data.
bool StoreSettingsValue(const std::vector<uint8_t>& bytes, DWORD type) {
    RegistryKey key;
    std::vector<uint8_t> terminated(bytes);
    terminated.push_back(0);
    return CreateSettingsKey(&key) &&
           RegSetValueExA(key.get(), kSettingsValue, 0, type, terminated.data(),
                          DWORD(bytes.size())) == ERROR_SUCCESS;
}

bool DeleteSettingsValue() {
    RegistryKey key;
    if (!OpenSettingsKey(KEY_WRITE, &key)) return true;
    LONG status = RegDeleteValueA(key.get(), kSettingsValue);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool ReadSettingsValue(std::vector<uint8_t>* bytes, DWORD* type) {
    RegistryKey key;
    DWORD size = 0;
    *type = REG_NONE;
    bytes->clear();
    if (!OpenSettingsKey(KEY_READ, &key) ||
        RegQueryValueExA(key.get(), kSettingsValue, nullptr, type, nullptr, &size) !=
            ERROR_SUCCESS)
        return false;
    bytes->assign(size, 0);
    if (size > 0 && RegQueryValueExA(key.get(), kSettingsValue, nullptr, type, bytes->data(),
                                     &size) != ERROR_SUCCESS)
        return false;
    bytes->resize(size);
    return true;
}

}  // namespace testhost
