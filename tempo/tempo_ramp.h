#pragma once

#include <stdint.h>

// Writes one tempo record (index -1, thirdWord 1000) through FX_CreateEData.
int16_t CreateTempoRecord(int16_t measure, int32_t position, int32_t tempoValue);

// Writes the accelerando or ritardando of currentSettings into currentRegion.
int32_t WriteTempoRamp();
