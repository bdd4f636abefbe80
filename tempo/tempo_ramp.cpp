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

// Hands one tempo record to the host: the ramp's one host call per record.
// The key and the data block are each filled by whole-word stores, so a
// host that copies them reads the stored words straight back instead of
// stalling on a load that spans several narrower stores. Both are filled
// afresh for every record: the host may have written to them.
inline int16_t WriteTempoRecord(int16_t measure, int32_t position, int32_t tempoValue) {
    TempoRecordKey key;
    const uint32_t keyWords = uint32_t(uint16_t(measure)) | uint32_t(uint16_t(-1)) << 16;
    memcpy(&key, &keyWords, sizeof key);
    TempoRecord record;
    const uint64_t positionAndValue =
        uint64_t(uint32_t(position)) | uint64_t(uint32_t(tempoValue)) << 32;
    memcpy(&record, &positionAndValue, sizeof positionAndValue);
    record.thirdWord = kThirdWord;
    return FX_CreateEData(TempoRecordTag, &key, &record, uint32_t(sizeof record));
}

// The walk over the region in steps of 256 units. The walk's very first
// step always gets a record; every later step gets one once (elapsed since
// the last record) x (the last record's value) reaches the threshold.
//
// The values are linear in elapsed from the start value toward the stop
// value, with a precision that drops as the ramp goes on: exact up to
// 15,000 units, then in hundreds, then in thousands. In each range the
// difference is first truncated to that precision, then scaled by
// elapsed / total and truncated again, toward zero.
//
// The quotient of the last record is carried on to the next: between
// neighbouring records the numerator grows by less than the total, so the
// quotient moves by at most one. That gives the very value a division
// would, without dividing at every record.
//
// Lengths are kept in 64 bits so that odd regions cannot overflow them; for
// real scores they fit in 32.
class RampWalk {
public:
    RampWalk(const ERegion& region, const RampValues& values, int64_t total)
        : region_(region), start_(values.start), difference_(values.difference), total_(total) {}

    // With a total of 0 or less there is nothing to interpolate over: the
    // measure is only measured, so the host still sees the usual length asks.
    void WalkMeasure(int32_t measure) {
        const int32_t length = FX_GetMeasureDuration(int16_t(measure));
        if (length == 0) return;
        const int64_t from = RangeFrom(region_, measure);
        const int64_t to = RangeTo(region_, measure, length);
        if (total_ > 0 && from < to) WriteMeasureRecords(int16_t(measure), from, to);
        walked_ += to - from;
    }

    int32_t RecordsWritten() const { return recordsWritten_; }

private:
    // Once per record the host is called, so whatever changes from record
    // to record is held in locals, which stay in registers across the call.
    void WriteMeasureRecords(int16_t measure, int64_t from, int64_t to) {
        const int64_t elapsedToPosition = from - walked_;
        const int64_t end = walked_ + (to - from);
        int64_t elapsed = walked_;
        if (elapsed == 0) {
            Restart(0);
            CreateTempoRecord(measure, int32_t(from), int32_t(value_));
            ++recordsWritten_;
            elapsed += kStepLength;
        }
        int64_t lastElapsed = lastElapsed_;
        int64_t value = value_;
        uint64_t remainder = remainder_;
        int32_t written = 0;
        for (; elapsed < end; elapsed += kStepLength) {
            if ((elapsed - lastElapsed) * int64_t(int32_t(value)) < kSpacingThreshold) continue;
            // Unsigned, a step back looks like a stride far too long to carry.
            const uint64_t stride = uint64_t(elapsed) - uint64_t(lastElapsed);
            if (stride <= maxStride_ && elapsed <= rangeEnd_) {
                remainder += magnitude_ * stride;
                if (remainder >= uint64_t(total_)) {
                    remainder -= uint64_t(total_);
                    value += signedScale_;
                }
            } else {
                Restart(elapsed);
                value = value_;
                remainder = remainder_;
            }
            lastElapsed = elapsed;
            WriteTempoRecord(measure, int32_t(elapsed + elapsedToPosition), int32_t(value));
            ++written;
        }
        lastElapsed_ = lastElapsed;
        value_ = value;
        remainder_ = remainder;
        recordsWritten_ += written;
    }

    // Divides afresh at `elapsed` and sets up the carry from there. Out of
    // line: it runs about once per precision range, and inlined it would
    // take registers from the record-to-record path.
    __attribute__((noinline)) void Restart(int64_t elapsed) {
        const int64_t scale = elapsed <= kExactRangeEnd ? 1 : elapsed <= kHundredsRangeEnd ? 100 : 1000;
        const int64_t factor = difference_ / scale;
        lastElapsed_ = elapsed;
        if (elapsed < 0) {
            // Only the same elapsed again may reuse this value.
            maxStride_ = 0;
            value_ = start_ + factor * elapsed / total_ * scale;
            return;
        }
        rangeEnd_ = scale == 1 ? kExactRangeEnd : scale == 100 ? kHundredsRangeEnd : INT64_MAX;
        magnitude_ = uint64_t(factor < 0 ? -factor : factor);
        signedScale_ = factor < 0 ? -scale : scale;
        // Beyond this stride the remainder could pass the total twice. Kept
        // below 2^63 so that a step back never counts as a stride.
        maxStride_ = magnitude_ == 0 ? uint64_t(INT64_MAX) : (uint64_t(total_) - 1) / magnitude_;
        const uint64_t numerator = magnitude_ * uint64_t(elapsed);
        remainder_ = numerator % uint64_t(total_);
        value_ = start_ + int64_t(numerator / uint64_t(total_)) * signedScale_;
    }

    const ERegion& region_;
    const int64_t start_;
    const int64_t difference_;
    const int64_t total_;
    int64_t walked_ = 0;
    int32_t recordsWritten_ = 0;
    // The last record's elapsed and value; a value of 0 before the first
    // record, so that no step is due until the walk's first step.
    int64_t lastElapsed_ = 0;
    int64_t value_ = 0;
    // The carry: valid for strides up to maxStride_ that stay within the
    // precision range ending at rangeEnd_.
    uint64_t maxStride_ = 0;
    int64_t rangeEnd_ = 0;
    uint64_t magnitude_ = 0;
    int64_t signedScale_ = 0;
    uint64_t remainder_ = 0;
};

int32_t WalkRegion(const ERegion& region, const RampValues& values, int64_t total) {
    RampWalk walk(region, values, total);
    for (int32_t measure = region.startMeasure; measure <= region.endMeasure; ++measure)
        walk.WalkMeasure(measure);
    return walk.RecordsWritten();
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
    return WriteTempoRecord(measure, position, tempoValue);
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
