// Writes the plug-in's tempo value for every beat unit (0-4), modifier (0-2)
// and 16-bit tempo, in that nesting order, as little-endian 32-bit integers
// on standard output: the native side of the check that the WebAssembly
// module computes the same values.
#include <stdio.h>

#include "tempo/tempo_value.h"

int main() {
    for (int unit = 0; unit <= 4; ++unit) {
        for (int modifier = 0; modifier <= 2; ++modifier) {
            for (int tempo = -32768; tempo <= 32767; ++tempo) {
                const uint32_t value = uint32_t(HostTempoValue(int16_t(unit), int16_t(tempo),
                                                               int16_t(modifier)));
                const unsigned char bytes[4] = {uint8_t(value), uint8_t(value >> 8),
                                                uint8_t(value >> 16), uint8_t(value >> 24)};
                if (fwrite(bytes, 1, 4, stdout) != 4) return 1;
            }
        }
    }
    return fflush(stdout) == 0 ? 0 : 1;
}
