// The module's one settings record and its registry persistence.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "winapi/zorv_windows.h"

// Stored byte for byte as the registry value "UserDialog": the layout is a
// stored format and must not change.
#pragma pack(push, 2)
struct UserDialogSettings {
    int16_t startUnit;
    int16_t startModifier;
    int16_t startTempo;
    int16_t startReserved;
    int16_t stopUnit;
    int16_t stopModifier;
    int16_t stopTempo;
    int16_t stopReserved;
    int16_t afterAction;
    int16_t reserved1;
    int16_t reserved2;
    int16_t regionHasTempo;
    int16_t dialogLeft;
    int16_t dialogTop;
};
#pragma pack(pop)
static_assert(sizeof(UserDialogSettings) == 28, "UserDialogSettings is a 28-byte stored record");
static_assert(offsetof(UserDialogSettings, afterAction) == 16, "afterAction offset");
static_assert(offsetof(UserDialogSettings, regionHasTempo) == 22, "regionHasTempo offset");
static_assert(offsetof(UserDialogSettings, dialogTop) == 26, "dialogTop offset");

// Screen coordinate meaning "no saved dialog position".
constexpr int16_t NoSavedPosition = -32768;

extern UserDialogSettings moduleSettings;

// Defaults first, then the stored value when there is one.
void LoadSettings();
// Writes the whole record; 0 or the registry's error code.
LONG SaveSettings();
