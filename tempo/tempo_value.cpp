// PLACEHOLDER (engine helper replaces this file)
#include "tempo/tempo_value.h"
int32_t HostTempoValue(int16_t, int16_t, int16_t) { return 0; }
