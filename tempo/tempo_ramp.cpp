// The accelerando/ritardando generator: clears the region's tempo records,
// then writes records interpolated from the start toward the stop tempo and
// one final record after them.
#include "tempo/tempo_ramp.h"

#include <stdint.h>
#include <string.h>

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

// Where the walk is between measures. Lengths are kept in 64 bits so that
// odd regions cannot overflow them; for real scores they fit in 32.
struct WalkState {
    int64_t walked = 0;
    int64_t lastElapsed = 0;
    int32_t lastValue = 0;
    int32_t recordsWritten = 0;
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

// The walk's values: linear in elapsed from the start value toward the stop
// value, with a precision that drops as the ramp goes on: exact up to
// 15,000 units, then in hundreds, then in thousands. In each range the
// difference is first truncated to that precision, then scaled by
// elapsed / total and truncated again, toward zero.
//
// The quotient of the last record is carried on to the next: between
// neighbouring records the numerator grows by less than the total, so the
// quotient moves by at most one. That gives the very quotient a division
// would, without dividing at every record. Requires total > 0.
class Interpolator {
public:
    Interpolator(int32_t start, int32_t difference, int64_t total)
        : start_(start), difference_(difference), total_(total) {}

    int32_t ValueAt(int64_t elapsed) {
        if (elapsed >= carriedElapsed_ && elapsed <= rangeEnd_ &&
            uint64_t(elapsed - carriedElapsed_) <= maxStride_) {
            remainder_ += magnitude_ * uint64_t(elapsed - carriedElapsed_);
            if (remainder_ >= uint64_t(total_)) {
                remainder_ -= uint64_t(total_);
                ++quotient_;
            }
            carriedElapsed_ = elapsed;
            return int32_t(start_ + int64_t(quotient_) * signedScale_);
        }
        return Divide(elapsed);
    }

private:
    int32_t Divide(int64_t elapsed) {
        const int64_t scale = elapsed <= kExactRangeEnd ? 1 : elapsed <= kHundredsRangeEnd ? 100 : 1000;
        const int64_t factor = difference_ / scale;
        if (elapsed < 0) {
            carriedElapsed_ = INT64_MAX;  // nothing to carry from
            return int32_t(start_ + factor * elapsed / total_ * scale);
        }
        rangeEnd_ = scale == 1 ? kExactRangeEnd : scale == 100 ? kHundredsRangeEnd : INT64_MAX;
        magnitude_ = uint64_t(factor < 0 ? -factor : factor);
        signedScale_ = factor < 0 ? -scale : scale;
        maxStride_ = magnitude_ == 0 ? UINT64_MAX : (uint64_t(total_) - 1) / magnitude_;
        const uint64_t numerator = magnitude_ * uint64_t(elapsed);
        quotient_ = numerator / uint64_t(total_);
        remainder_ = numerator % uint64_t(total_);
        carriedElapsed_ = elapsed;
        return int32_t(start_ + int64_t(quotient_) * signedScale_);
    }

    const int64_t start_;
    const int64_t difference_;
    const int64_t total_;
    int64_t carriedElapsed_ = INT64_MAX;
    int64_t rangeEnd_ = 0;
    uint64_t magnitude_ = 0;
    int64_t signedScale_ = 0;
    uint64_t maxStride_ = 0;
    uint64_t quotient_ = 0;
    uint64_t remainder_ = 0;
};

// With a total of 0 or less there is nothing to interpolate over: the
// measure is only measured, so the host still sees the usual length asks.
void WalkMeasure(const ERegion& region, int32_t measure, int64_t total,
                 Interpolator& interpolator, WalkState& walk) {
    const int32_t length = FX_GetMeasureDuration(int16_t(measure));
    if (length == 0) return;
    const int64_t from = RangeFrom(region, measure);
    const int64_t to = RangeTo(region, measure, length);
    const bool walkStartsHere = walk.walked == 0;
    int64_t lastElapsed = walk.lastElapsed;
    int64_t lastValue = walk.lastValue;
    int32_t written = 0;
    for (int64_t step = 0; total > 0 && from + step < to; step += kStepLength) {
        const int64_t elapsed = walk.walked + step;
        const bool due = (walkStartsHere && step == 0) ||
                         (elapsed - lastElapsed) * lastValue >= kSpacingThreshold;
        if (!due) continue;
        const int32_t value = interpolator.ValueAt(elapsed);
        CreateTempoRecord(int16_t(measure), int32_t(from + step), value);
        ++written;
        lastElapsed = elapsed;
        lastValue = value;
    }
    walk.lastElapsed = lastElapsed;
    walk.lastValue = int32_t(lastValue);
    walk.recordsWritten += written;
    walk.walked += to - from;
}

int32_t WalkRegion(const ERegion& region, const RampValues& values, int64_t total) {
    WalkState walk;
    Interpolator interpolator(values.start, values.difference, total);
    for (int32_t measure = region.startMeasure; measure <= region.endMeasure; ++measure)
        WalkMeasure(region, measure, total, interpolator, walk);
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

// Binds FX_CreateEData itself, on its first call, and calls it directly:
// this is the ramp's one call per record. The key and the data block are
// each filled by whole-word stores, so a host that copies them reads the
// stored words straight back instead of stalling on a load that spans
// several narrower stores.
int16_t CreateTempoRecord(int16_t measure, int32_t position, int32_t tempoValue) {
    TempoRecordKey key;
    const uint32_t keyWords = uint32_t(uint16_t(measure)) | uint32_t(uint16_t(-1)) << 16;
    memcpy(&key, &keyWords, sizeof key);
    TempoRecord record;
    const uint64_t positionAndValue =
        uint64_t(uint32_t(position)) | uint64_t(uint32_t(tempoValue)) << 32;
    memcpy(&record, &positionAndValue, sizeof positionAndValue);
    record.thirdWord = kThirdWord;
    return CallHost<HostFunction::CreateEData, int16_t>(TempoRecordTag, static_cast<void*>(&key),
                                                        static_cast<void*>(&record),
                                                        uint32_t(sizeof record));
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
