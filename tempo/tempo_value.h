#pragma once

#include <stdint.h>

// The host's tempo value for `tempo` beats per minute of the beat given by
// `beatUnit` (0 = 16th ... 4 = whole) and `modifier` (1 = a third, 2 = dotted).
int32_t HostTempoValue(int16_t beatUnit, int16_t tempo, int16_t modifier);
