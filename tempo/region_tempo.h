// The tempo records inside a selected region: detection and removal.
#pragma once

#include <stdint.h>

#include "host/host_abi.h"

#pragma pack(push, 2)
struct TempoRecordKey {
    int16_t measure;
    int16_t index;
};
struct TempoRecord {
    int32_t position;
    int32_t tempoValue;
    int32_t thirdWord;
};
#pragma pack(pop)
static_assert(sizeof(TempoRecordKey) == 4, "TempoRecordKey size");
static_assert(sizeof(TempoRecord) == 12, "TempoRecord size");

// Whether a record of `measure` at `position` lies inside the region.
bool IsInRegion(const ERegion& region, int16_t measure, int32_t position);

// Sets moduleSettings.regionHasTempo to 1 when a tempo record lies inside
// the region, else 0.
void ScanRegionTempo(const ERegion* region);

// Deletes every tempo record inside the region; returns how many deletions
// were sent to the host (counted in 32 bits).
uint32_t RemoveRegionTempos(const ERegion* region);
