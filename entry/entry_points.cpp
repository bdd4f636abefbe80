// The module's load check and the host's version, menu and menu-status
// entry points.
#include <new>

#include "entry/module_state.h"
#include "host/fin_pi_strings.h"
#include "host/host_calls.h"
#include "entry/menu_text.h"

uint32_t hostVersion = 0;
ERegion* currentRegion = nullptr;
UserDialogSettings* currentSettings = nullptr;

namespace {

constexpr uint32_t kOldestHostInterface = 0x1A200000u;
constexpr uint32_t kNewestHostInterface = 0x1B200000u;
constexpr uint32_t kMenuItemWord = 0x10000u;
constexpr int kMenuTextUnits = 64;

const char kMenuText[] = "Zorv &Tempo [v1.06]...";
const char kDescriptionText[] = "Accelerando/diminuendo";
const char kShortTitle[] = "Zorv Accel/Rit";

}  // namespace

// Writes at most 64 units of `text` into a 128-unit host field, then zero
// units through unit 63; a text that fills all 64 gets its zero at unit 64.
// Units beyond belong to the host.
void CopyMenuText(uint16_t* field, const unsigned short* text) {
    static const unsigned short kEmpty[1] = {0};
    if (!text) text = kEmpty;
    int copied = 0;
    while (copied < kMenuTextUnits && text[copied] != 0) {
        field[copied] = text[copied];
        ++copied;
    }
    field[copied] = 0;
    for (int unit = copied + 1; unit < kMenuTextUnits; ++unit) field[unit] = 0;
}

namespace {

void FillMenuText(uint16_t* field, const char* narrow) {
    FinPIVarStringUtf16 text(narrow);
    CopyMenuText(field, text.buffer);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    return HostModule() != nullptr;
}

extern "C" __declspec(dllexport) uint32_t FinaleExtensionVersion(uint32_t hostWord) {
    hostVersion = hostWord;
    if (hostWord < kOldestHostInterface) return kOldestHostInterface;
    return hostWord < kNewestHostInterface ? hostWord : kNewestHostInterface;
}

extern "C" __declspec(dllexport) int16_t FinaleExtensionEnumerate_UTF16(void*, int16_t index,
                                                                       MenuItemRecord* record) {
    if (index >= 1) return 0;
    // Building a UTF-16 text can run out of memory; that must not reach the host.
    try {
        FillMenuText(record->menuText, kMenuText);
        FillMenuText(record->descriptionText, kDescriptionText);
        FillMenuText(record->shortTitle, kShortTitle);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    record->itemWord = kMenuItemWord;
    return 1;
}

extern "C" __declspec(dllexport) int32_t FinaleExtensionGetMenuStatus(void) {
    unsigned char scratch8[8];
    unsigned char scratch24a[24];
    unsigned char scratch24b[24];
    return FX_GetCurERegions(scratch8, scratch24a, scratch24b);
}
