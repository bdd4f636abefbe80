// The host's tempo value: duration units per millisecond as a fixed-point
// number with 16 fraction bits.
#include "tempo/tempo_value.h"

namespace {

int64_t PlainBeatDuration(int16_t beatUnit) {
    switch (beatUnit) {
        case 0: return 256;
        case 1: return 512;
        case 3: return 2048;
        case 4: return 4096;
        default: return 1024;
    }
}

int64_t BeatDuration(int16_t beatUnit, int16_t modifier) {
    const int64_t plain = PlainBeatDuration(beatUnit);
    if (modifier == 1) return plain / 3;
    if (modifier == 2) return plain * 15 / 10;
    return plain;
}

}  // namespace

// The host truncates twice, first per minute and then per thousand; one
// combined division would differ by one for some tempos (quarter = 264), and
// equal tempos must compare equal to what the host stores.
int32_t HostTempoValue(int16_t beatUnit, int16_t tempo, int16_t modifier) {
    const int64_t unitsPerMinute = BeatDuration(beatUnit, modifier) * 4096 * int64_t(tempo);
    const int64_t scaledPerSecond = unitsPerMinute / 60;
    return int32_t(scaledPerSecond * 16 / 1000);
}
