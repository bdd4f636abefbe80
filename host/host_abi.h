// What crosses the boundary between the plug-in and the Finale host: the
// records both sides read, the host's FX_ functions and the plug-in's
// FinaleExtension entry points, as the calls carry them.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "winapi/zorv_windows.h"

// Appended as the last argument of every call into the host.
constexpr uint32_t HostCallVersion = 0x1B200000u;

// Entry-data tags read high byte first: 'otAC' names tempo records.
constexpr uint32_t MakeTag(char a, char b, char c, char d) {
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
           (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}
constexpr uint32_t TempoRecordTag = MakeTag('o', 't', 'A', 'C');
static_assert(TempoRecordTag == 0x6F744143u, "tempo tag");

// The host's selection record, as far as the plug-in reads it. Packed to
// two bytes: startPosition sits at byte 6.
#pragma pack(push, 2)
struct ERegion {
    uint8_t hostHead[4];
    int16_t startMeasure;
    int32_t startPosition;
    uint8_t hostMiddle[4];
    int16_t endMeasure;
    int32_t endPosition;
};
#pragma pack(pop)
static_assert(sizeof(ERegion) == 20, "ERegion size");
static_assert(offsetof(ERegion, startMeasure) == 4, "ERegion.startMeasure");
static_assert(offsetof(ERegion, startPosition) == 6, "ERegion.startPosition");
static_assert(offsetof(ERegion, endMeasure) == 14, "ERegion.endMeasure");
static_assert(offsetof(ERegion, endPosition) == 16, "ERegion.endPosition");

// endPosition value meaning "through the end of the measure".
constexpr int32_t ThroughEndOfMeasure = 0x7FFFFFFF;

// The menu record filled by FinaleExtensionEnumerate_UTF16.
struct MenuItemRecord {
    uint16_t menuText[128];
    uint16_t descriptionText[128];
    uint16_t shortTitle[128];
    uint32_t itemWord;
};
static_assert(sizeof(MenuItemRecord) == 772, "MenuItemRecord size");
static_assert(offsetof(MenuItemRecord, descriptionText) == 256, "descriptionText");
static_assert(offsetof(MenuItemRecord, shortTitle) == 512, "shortTitle");
static_assert(offsetof(MenuItemRecord, itemWord) == 768, "itemWord");

// The host's FX_ functions, each with HostCallVersion as its last argument.
typedef int16_t (*FX_LoadEData_Proc)(uint32_t tag, void* key, void* data, uint32_t* size,
                                     uint32_t version);
typedef int16_t (*FX_CreateEData_Proc)(uint32_t tag, void* key, void* data, uint32_t size,
                                       uint32_t version);
typedef int16_t (*FX_DeleteEData_Proc)(uint32_t tag, void* key, uint32_t version);
typedef INT_PTR (*FX_Dialog_Proc)(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one,
                                  LPARAM nothing, uint32_t version);
typedef void (*FX_EndDialog_Proc)(HWND dialog, uint32_t version);
typedef void (*FX_SetDlgFocus_Proc)(HWND dialog, int32_t controlId, uint32_t version);
typedef int16_t (*FX_GetCurERegions_Proc)(void* scratch8, void* scratch24a, void* scratch24b,
                                          uint32_t version);
typedef int32_t (*FX_GetMeasureDuration_Proc)(int32_t zero, int16_t measure, uint32_t version);
typedef int32_t (*FX_GetDlgItemVal_Proc)(HWND dialog, int32_t controlId, int16_t typeCode,
                                         uint32_t version);
typedef void (*FX_SetDlgItemVal_Proc)(HWND dialog, int32_t controlId, int16_t typeCode,
                                      int32_t value, uint32_t version);

// The plug-in's exported entry points.
typedef uint32_t (*FinaleExtensionVersion_Proc)(uint32_t hostWord);
typedef int32_t (*FinaleExtensionInit_Proc)(void* unused, uint32_t* flags);
typedef int16_t (*FinaleExtensionEnumerate_UTF16_Proc)(void* unused, int16_t index,
                                                       MenuItemRecord* record);
typedef int32_t (*FinaleExtensionInvoke_Proc)(HWND window, void* unused, ERegion* region);
typedef LONG (*FinaleExtensionTerminate_Proc)(void);
typedef int32_t (*FinaleExtensionGetMenuStatus_Proc)(void);
