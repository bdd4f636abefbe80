// The settings record: its defaults, its copy in the current user's registry,
// and the two entry points through which the host has it loaded and saved.
#include "ui/settings.h"

#include <string.h>

#include "entry/module_state.h"

UserDialogSettings moduleSettings;

namespace {

// Set by the first FinaleExtensionInit since the module loaded. Until then
// moduleSettings holds no settings at all (it is all zero), and a save would
// put that zero record over the user's stored value.
bool settingsLoaded = false;

const char kSettingsKey[] = "Software\\ZorvPlugins\\ZorvTempo";
const char kSettingsValue[] = "UserDialog";

// Hosts from this interface generation on read bit 0 of the flags word.
constexpr int32_t kFlaggedHostVersion = 0x0C000000;
constexpr uint32_t kInitFlag = 1u;

// regionHasTempo is not a setting: the region scan owns it.
void WriteDefaults(UserDialogSettings* settings) {
    settings->startUnit = 2;
    settings->startModifier = 0;
    settings->startTempo = 100;
    settings->startReserved = 3;
    settings->stopUnit = 2;
    settings->stopModifier = 0;
    settings->stopTempo = 100;
    settings->stopReserved = 3;
    settings->afterAction = 1;
    settings->reserved1 = 0;
    settings->reserved2 = 0;
    settings->dialogLeft = NoSavedPosition;
    settings->dialogTop = NoSavedPosition;
}

// The low word of the version is a build number and does not count; a word
// that is negative as a signed number is no newer host.
bool HostWantsInitFlag(uint32_t version) {
    return static_cast<int32_t>(version & 0xFFFF0000u) >= kFlaggedHostVersion;
}

}  // namespace

void LoadSettings() {
    WriteDefaults(&moduleSettings);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    unsigned char stored[sizeof(UserDialogSettings)];
    DWORD type = 0;
    DWORD size = sizeof stored;
    LONG status = RegQueryValueExA(key, kSettingsValue, nullptr, &type, stored, &size);
    // A value shorter than the record replaces only the bytes it holds, so
    // nothing the registry did not supply ever lands in the record. Any type
    // is accepted: earlier runs and hand edits may have stored another.
    if (status == ERROR_SUCCESS && size <= sizeof stored) memcpy(&moduleSettings, stored, size);
    RegCloseKey(key);
}

LONG SaveSettings() {
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, &disposition);
    if (status != ERROR_SUCCESS) return status;
    LONG written = RegSetValueExA(key, kSettingsValue, 0, REG_BINARY,
                                  reinterpret_cast<const BYTE*>(&moduleSettings),
                                  sizeof moduleSettings);
    LONG closed = RegCloseKey(key);
    // A lost write must not be reported to the host as a successful save.
    return written != ERROR_SUCCESS ? written : closed;
}

extern "C" __declspec(dllexport) int32_t FinaleExtensionInit(void*, uint32_t* flags) {
    if (flags && HostWantsInitFlag(hostVersion)) *flags |= kInitFlag;
    LoadSettings();
    settingsLoaded = true;
    return 1;
}

// Without an Init since the module loaded there is nothing to save: the
// stored value stays as it is, and the host hears success.
extern "C" __declspec(dllexport) LONG FinaleExtensionTerminate(void) {
    if (!settingsLoaded) return ERROR_SUCCESS;
    return SaveSettings();
}
