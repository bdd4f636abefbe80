// PLACEHOLDER (engine helper replaces this file)
#include "tempo/region_tempo.h"
bool IsInRegion(const ERegion&, int16_t, int32_t) { return false; }
void ScanRegionTempo(const ERegion*) {}
uint32_t RemoveRegionTempos(const ERegion*) { return 0; }
