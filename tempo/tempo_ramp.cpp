// The accelerando/ritardando generator: clears the region's tempo records,
// then writes records interpolated from the start toward the stop tempo and
// one final record after them.
#include "tempo/tempo_ramp.h"

#include "entry/module_state.h"
#include "host/host_calls.h"
#include "tempo/region_tempo.h"
#include "tempo/tempo_value.h"

namespace {

constexpr int32_t kStepLength = 256;  // a 16th note
constexpr int32_t kThirdWord = 1000;
constexpr int32_t kLastMeasure = 32767;
// A record is due once (elapsed since the last record) x (its value) reaches
// this: 80,004 steps of 256 units scaled by the tempo value, so faster
// tempos get denser records.
constexpr int64_t kSpacingThreshold = 20481024;
constexpr int64_t kExactRangeEnd = 15000;
constexpr int64_t kHundredsRangeEnd = 200000;

enum AfterAction : int16_t { kAfterNone = 0, kAfterStopTempo = 1, kAfterStartTempo = 2 };

struct RampValues {
    int32_t start;
    int32_t stop;
    int32_t difference;
};

// The quotient |factor| x elapsed / total of the last record, carried on to
// the next one. Neighbouring records are close, so the numerator mostly
// grows by less than the total and the quotient moves by at most one: the
// same truncated quotient a division gives, without dividing per record.
struct QuotientCarry {
    int range = -1;
    int64_t elapsed = 0;
    uint64_t quotient = 0;
    uint64_t remainder = 0;
};

// Where the walk is between measures. Lengths are kept in 64 bits so that
// odd regions cannot overflow them; for real scores they fit in 32.
struct WalkState {
    int64_t walked = 0;
    int64_t lastElapsed = 0;
    int32_t lastValue = 0;
    int32_t recordsWritten = 0;
    QuotientCarry carry;
};

RampValues ConvertTempos(const UserDialogSettings& settings) {
    RampValues values;
    values.start =
        HostTempoValue(settings.startUnit, settings.startTempo, settings.startModifier);
    values.stop = HostTempoValue(settings.stopUnit, settings.stopTempo, settings.stopModifier);
    values.difference = int32_t(int64_t(values.stop) - values.start);
    return values;
}

bool ThroughEnd(const ERegion& region) { return region.endPosition == ThroughEndOfMeasure; }

int32_t RangeFrom(const ERegion& region, int32_t measure) {
    return measure == region.startMeasure ? region.startPosition : 0;
}

int64_t RangeTo(const ERegion& region, int32_t measure, int32_t length) {
    if (measure == region.endMeasure && !ThroughEnd(region)) return int64_t(region.endPosition) + 1;
    return length;
}

// Every measure of the range counts, an empty one too.
int64_t TotalLength(const ERegion& region) {
    int64_t total = 0;
    for (int32_t measure = region.startMeasure; measure <= region.endMeasure; ++measure) {
        const int32_t length = FX_GetMeasureDuration(int16_t(measure));
        total += RangeTo(region, measure, length) - RangeFrom(region, measure);
    }
    return total;
}

// The precision drops as the ramp goes on: exact first, then in hundreds,
// then in thousands; in each range the difference is truncated to that
// precision first, then scaled by elapsed / total and truncated again.
struct PrecisionRange {
    int64_t factor;      // the difference in this range's units
    int64_t scale;       // 1, 100 or 1000
    uint64_t maxStride;  // the largest elapsed stride that moves the quotient by at most one
};

struct Interpolation {
    int64_t total;
    PrecisionRange ranges[3];
};

Interpolation PlanInterpolation(int32_t difference, int64_t total) {
    Interpolation plan;
    plan.total = total;
    const int64_t scales[3] = {1, 100, 1000};
    for (int r = 0; r < 3; ++r) {
        PrecisionRange& range = plan.ranges[r];
        range.scale = scales[r];
        range.factor = difference / scales[r];
        const uint64_t magnitude = uint64_t(range.factor < 0 ? -range.factor : range.factor);
        range.maxStride = (magnitude == 0 || total <= 0) ? 0 : (uint64_t(total) - 1) / magnitude;
    }
    return plan;
}

int RangeOf(int64_t elapsed) {
    if (elapsed <= kExactRangeEnd) return 0;
    return elapsed <= kHundredsRangeEnd ? 1 : 2;
}

uint64_t CarriedQuotient(QuotientCarry& carry, int r, const Interpolation& plan, int64_t elapsed) {
    const PrecisionRange& range = plan.ranges[r];
    const uint64_t magnitude = uint64_t(range.factor < 0 ? -range.factor : range.factor);
    const uint64_t total = uint64_t(plan.total);
    if (carry.range == r && elapsed >= carry.elapsed &&
        uint64_t(elapsed - carry.elapsed) <= range.maxStride) {
        carry.remainder += magnitude * uint64_t(elapsed - carry.elapsed);
        if (carry.remainder >= total) {
            carry.remainder -= total;
            ++carry.quotient;
        }
        carry.elapsed = elapsed;
        return carry.quotient;
    }
    const uint64_t numerator = magnitude * uint64_t(elapsed);
    carry = {r, elapsed, numerator / total, numerator % total};
    return carry.quotient;
}

// Requires total > 0. Truncation toward zero of factor x elapsed / total is
// the quotient of the magnitudes with the factor's sign, for elapsed >= 0.
int64_t Increment(int64_t elapsed, const Interpolation& plan, QuotientCarry& carry) {
    const int r = RangeOf(elapsed);
    const PrecisionRange& range = plan.ranges[r];
    if (elapsed < 0) return range.factor * elapsed / plan.total * range.scale;
    const int64_t quotient = int64_t(CarriedQuotient(carry, r, plan, elapsed));
    return (range.factor < 0 ? -quotient : quotient) * range.scale;
}

bool RecordIsDue(const WalkState& walk, int64_t step, int64_t elapsed) {
    if (walk.walked == 0 && step == 0) return true;
    return (elapsed - walk.lastElapsed) * walk.lastValue >= kSpacingThreshold;
}

// `total` > 0 is a precondition of the interpolation; with none the measure
// is only measured, so the host still sees the usual length asks.
void WalkMeasure(const ERegion& region, int32_t measure, const RampValues& values,
                 const Interpolation& plan, WalkState& walk) {
    const int64_t total = plan.total;
    const int32_t length = FX_GetMeasureDuration(int16_t(measure));
    if (length == 0) return;
    const int64_t from = RangeFrom(region, measure);
    const int64_t to = RangeTo(region, measure, length);
    for (int64_t step = 0; total > 0 && from + step < to; step += kStepLength) {
        const int64_t elapsed = walk.walked + step;
        if (!RecordIsDue(walk, step, elapsed)) continue;
        const int32_t value =
            int32_t(values.start + Increment(elapsed, plan, walk.carry));
        CreateTempoRecord(int16_t(measure), int32_t(from + step), value);
        ++walk.recordsWritten;
        walk.lastElapsed = elapsed;
        walk.lastValue = value;
    }
    walk.walked += to - from;
}

int32_t WalkRegion(const ERegion& region, const RampValues& values, int64_t total) {
    WalkState walk;
    const Interpolation plan = PlanInterpolation(values.difference, total);
    for (int32_t measure = region.startMeasure; measure <= region.endMeasure; ++measure)
        WalkMeasure(region, measure, values, plan, walk);
    return walk.recordsWritten;
}

// The region's last unit; through the end of a measure that is the
// measure's length - 1, but never before the measure's start.
int32_t LastUnitOfRegion(const ERegion& region) {
    if (!ThroughEnd(region)) return region.endPosition;
    const int32_t length = FX_GetMeasureDuration(region.endMeasure);
    return length > 0 ? length - 1 : 0;
}

// Returns whether a record was written. Directly after a region that runs
// through measure 32767 there is no measure a 16-bit key can name, so
// nothing is written rather than a record at measure -32768.
bool WriteFinalRecord(const ERegion& region, int16_t afterAction, const RampValues& values) {
    // Asked whatever the action: a region run through its last measure
    // always costs the host one more length ask.
    const int32_t lastUnit = LastUnitOfRegion(region);
    if (afterAction != kAfterStopTempo && afterAction != kAfterStartTempo) {
        CreateTempoRecord(region.endMeasure, lastUnit, values.stop);
        return true;
    }
    const int32_t value = afterAction == kAfterStopTempo ? values.stop : values.start;
    if (!ThroughEnd(region)) {
        CreateTempoRecord(region.endMeasure, region.endPosition + 1, value);
        return true;
    }
    if (region.endMeasure >= kLastMeasure) return false;
    CreateTempoRecord(int16_t(region.endMeasure + 1), 0, value);
    return true;
}

}  // namespace

int16_t CreateTempoRecord(int16_t measure, int32_t position, int32_t tempoValue) {
    TempoRecordKey key = {measure, -1};
    TempoRecord record = {position, tempoValue, kThirdWord};
    return FX_CreateEData(TempoRecordTag, &key, &record, sizeof record);
}

// Returns the number of records it asked the host to create.
int32_t WriteTempoRamp() {
    if (!currentRegion || !currentSettings) return 0;
    const ERegion region = *currentRegion;
    const UserDialogSettings settings = *currentSettings;
    const RampValues values = ConvertTempos(settings);
    const int64_t total = TotalLength(region);
    RemoveRegionTempos(currentRegion);
    int32_t written = WalkRegion(region, values, total);
    if (WriteFinalRecord(region, settings.afterAction, values)) ++written;
    return written;
}
