// The ramp generator over arbitrary regions, settings and measure lengths in
// the stand-in host. Sizes are bounded so that one run stays short: at most
// 48 measures in the score, regions of at most 40 measures, positions and
// lengths within a few whole notes. A host's measure length is a signed
// number: about one score in four has lengths down to minus a few whole
// notes as well.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "entry/module_state.h"
#include "fuzz/fuzz_support.h"
#include "tempo/tempo_ramp.h"
#include "tempo/tempo_value.h"
#include "ui/settings.h"

namespace {

using testhost::Fx;
using testhost::HostCall;

constexpr int32_t kStep = 256;
constexpr int32_t kLargestLength = 4 * 4096;

struct RampInput {
    ERegion region;
    UserDialogSettings settings;
    std::vector<int32_t> lengths;  // measures 1..N
};

int32_t Position(FuzzedDataProvider& in) {
    return in.ConsumeIntegralInRange<int32_t>(-2 * 4096, kLargestLength + 2 * 4096);
}

// Tempos as the dialog lets them through (20 to 600); units, modifiers and
// the after-action are taken as stored, whatever their value.
UserDialogSettings ConsumeSettings(FuzzedDataProvider& in) {
    UserDialogSettings s = {};
    s.startUnit = in.ConsumeIntegral<int16_t>();
    s.startModifier = in.ConsumeIntegral<int16_t>();
    s.startTempo = in.ConsumeIntegralInRange<int16_t>(20, 600);
    s.stopUnit = in.ConsumeIntegral<int16_t>();
    s.stopModifier = in.ConsumeIntegral<int16_t>();
    s.stopTempo = in.ConsumeIntegralInRange<int16_t>(20, 600);
    s.afterAction = in.ConsumeIntegral<int16_t>();
    return s;
}

ERegion ConsumeRegion(FuzzedDataProvider& in) {
    ERegion r;
    memset(&r, 0xA5, sizeof r);
    r.startMeasure = in.ConsumeIntegral<int16_t>();
    const int32_t span = in.ConsumeIntegralInRange<int32_t>(-3, 40);
    r.endMeasure = int16_t(std::clamp<int32_t>(r.startMeasure + span, -32768, 32767));
    r.startPosition = Position(in);
    r.endPosition = in.ConsumeBool() ? ThroughEndOfMeasure : Position(in);
    return r;
}

RampInput ConsumeRampInput(FuzzedDataProvider& in) {
    RampInput input;
    input.settings = ConsumeSettings(in);
    input.region = ConsumeRegion(in);
    const size_t measures = in.ConsumeIntegralInRange<size_t>(0, 48);
    const int32_t shortest = in.ConsumeIntegralInRange<int>(0, 3) == 0 ? -kLargestLength : 0;
    for (size_t i = 0; i < measures; ++i)
        input.lengths.push_back(in.ConsumeIntegralInRange<int32_t>(shortest, kLargestLength));
    return input;
}

// Tempo records already in the score, near the region so that the clearing
// has work to do.
void SeedTempo(FuzzedDataProvider& in, const ERegion& region, testhost::Score& score) {
    const int count = in.ConsumeIntegralInRange<int>(0, 16);
    for (int i = 0; i < count; ++i) {
        const int32_t measure =
            std::clamp<int32_t>(region.startMeasure + in.ConsumeIntegralInRange<int32_t>(-1, 41),
                                -32768, 32767);
        score.InsertTempo(int16_t(measure), {Position(in), in.ConsumeIntegral<int32_t>(), 1000});
    }
}

int32_t LengthOf(const RampInput& input, int32_t measure) {
    if (measure < 1 || size_t(measure) > input.lengths.size()) return 0;
    return input.lengths[size_t(measure - 1)];
}

// The most records a walk can write: one per step, and a measure has one
// step per started 256 units of its part of the region.
int64_t MostWalkRecords(const RampInput& input) {
    const ERegion& r = input.region;
    int64_t steps = 0;
    for (int32_t m = r.startMeasure; m <= r.endMeasure; ++m) {
        const int64_t length = LengthOf(input, m);
        if (length == 0) continue;
        const int64_t from = m == r.startMeasure ? r.startPosition : 0;
        const int64_t to = (m == r.endMeasure && r.endPosition != ThroughEndOfMeasure)
                               ? int64_t(r.endPosition) + 1
                               : length;
        if (to > from) steps += (to - from + kStep - 1) / kStep;
    }
    return steps;
}

bool PositionInside(const RampInput& input, int32_t measure, int32_t position) {
    const int32_t length = LengthOf(input, measure);
    return position >= 0 && (length == 0 ? position == 0 : position < length);
}

bool PositionsInsideMeasures(const RampInput& input) {
    const ERegion& r = input.region;
    return PositionInside(input, r.startMeasure, r.startPosition) &&
           (r.endPosition == ThroughEndOfMeasure ||
            PositionInside(input, r.endMeasure, r.endPosition));
}

bool NoNegativeLength(const RampInput& input) {
    for (int32_t m = input.region.startMeasure; m <= input.region.endMeasure; ++m)
        if (LengthOf(input, m) < 0) return false;
    return true;
}

struct Created {
    int32_t measure, position, value;
};

// Every create must be a well-formed tempo record.
std::vector<Created> CreatedRecords() {
    std::vector<Created> out;
    for (const HostCall& c : testhost::Host().CallsOf(Fx::CreateEData)) {
        FUZZ_CHECK(c.tag == TempoRecordTag && c.hasKey && c.hasData);
        FUZZ_CHECK(c.key2 == -1 && c.size == 12 && c.data[2] == 1000);
        FUZZ_CHECK(c.version == HostCallVersion);
        out.push_back({c.key1, c.data[0], c.data[1]});
    }
    return out;
}

// The closing record, or false when it has nowhere to go (the measure after
// the last one a key can name).
bool ExpectedFinal(const RampInput& input, int32_t a, int32_t b, Created* final) {
    const ERegion& r = input.region;
    const bool through = r.endPosition == ThroughEndOfMeasure;
    if (input.settings.afterAction == 1 || input.settings.afterAction == 2) {
        if (through && r.endMeasure == 32767) return false;
        *final = through ? Created{r.endMeasure + 1, 0, 0} : Created{r.endMeasure, r.endPosition + 1, 0};
        final->value = input.settings.afterAction == 1 ? b : a;
        return true;
    }
    const int32_t lastUnit = through ? std::max(LengthOf(input, r.endMeasure) - 1, 0) : r.endPosition;
    *final = Created{r.endMeasure, lastUnit, b};
    return true;
}

bool Before(const Created& x, const Created& y) {
    return x.measure < y.measure || (x.measure == y.measure && x.position < y.position);
}

void CheckWalk(const RampInput& input, const std::vector<Created>& walk, int32_t a, int32_t b) {
    const ERegion& r = input.region;
    FUZZ_CHECK(int64_t(walk.size()) <= MostWalkRecords(input));
    for (size_t i = 0; i < walk.size(); ++i) {
        const Created& w = walk[i];
        FUZZ_CHECK(w.measure >= r.startMeasure && w.measure <= r.endMeasure);
        FUZZ_CHECK(LengthOf(input, w.measure) != 0);
        if (w.measure == r.startMeasure) FUZZ_CHECK(w.position >= r.startPosition);
        if (w.measure == r.endMeasure && r.endPosition != ThroughEndOfMeasure)
            FUZZ_CHECK(w.position <= r.endPosition);
        if (i > 0) FUZZ_CHECK(Before(walk[i - 1], w));
    }
    if (!walk.empty()) FUZZ_CHECK(walk.front().value == a);
    // The values stay between the two tempos for regions a selection can
    // make: positions inside their measures, no measure of negative length.
    // Positions outside them (before the start, past the end, inside a
    // measure of no length) make the total length differ from what the walk
    // covers, and a negative length walks the elapsed length back; then the
    // interpolation runs on past the stop tempo or back past the start
    // tempo, as its arithmetic says.
    if (!PositionsInsideMeasures(input) || !NoNegativeLength(input)) return;
    for (const Created& w : walk) {
        FUZZ_CHECK(w.value >= std::min(a, b));
        FUZZ_CHECK(w.value <= std::max(a, b));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnsureStandInHost();
    FuzzedDataProvider in(data, size);
    RampInput input = ConsumeRampInput(in);

    testhost::ResetHost();
    testhost::Score& score = testhost::Host().score;
    score.measureLengths = input.lengths;
    SeedTempo(in, input.region, score);
    testhost::Host().calls.clear();

    moduleSettings = input.settings;
    currentSettings = &moduleSettings;
    currentRegion = &input.region;
    WriteTempoRamp();
    currentRegion = nullptr;

    const UserDialogSettings& s = input.settings;
    const int32_t a = HostTempoValue(s.startUnit, s.startTempo, s.startModifier);
    const int32_t b = HostTempoValue(s.stopUnit, s.stopTempo, s.stopModifier);
    std::vector<Created> created = CreatedRecords();
    Created final = {};
    if (ExpectedFinal(input, a, b, &final)) {
        FUZZ_CHECK(!created.empty());
        const Created& last = created.back();
        FUZZ_CHECK(last.measure == final.measure && last.position == final.position &&
                   last.value == final.value);
        created.pop_back();
    }
    CheckWalk(input, created, a, b);
    return 0;
}
