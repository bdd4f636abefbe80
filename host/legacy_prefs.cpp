// PLACEHOLDER (legacy helper replaces this file)
#include "host/legacy_prefs.h"
int16_t LoadLegacyEData(uint32_t, void*, void*, uint32_t*, bool* handled) { *handled = false; return 0; }
int16_t EmulateLegacyPref(void*, uint32_t*, LegacyPrefField*, int16_t) { return 0; }
