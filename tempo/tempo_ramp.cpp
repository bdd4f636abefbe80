// PLACEHOLDER (engine helper replaces this file)
#include "tempo/tempo_ramp.h"
int16_t CreateTempoRecord(int16_t, int32_t, int32_t) { return 0; }
int32_t WriteTempoRamp() { return 0; }
