// Answers the legacy preference tags of the entry-data load from the host's
// newer 'ot..' records.
#pragma once

#include <stdint.h>

struct LegacyPrefField {
    int16_t done;
    char subTag[2];
    int16_t key1;
    int16_t key2;
    int16_t outOffset;
    int16_t wordIndex;
    int16_t width;
    int32_t conversion;
};

constexpr uint32_t LegacyBlockTag = 0x4F156649u;

// The tag dispatch of the FX_LoadEData wrapper, after binding: handles the
// four legacy tags and the 252-byte block tag; sets *handled to false for
// every other tag (the caller then takes the general path).
int16_t LoadLegacyEData(uint32_t tag, void* key, void* data, uint32_t* size, bool* handled);

int16_t EmulateLegacyPref(void* output, uint32_t* sizeOut, LegacyPrefField* table,
                          int16_t rowCount);
