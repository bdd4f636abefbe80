// Finding and deleting the tempo records that lie inside a selected region.
#include "tempo/region_tempo.h"

#include "host/host_calls.h"
#include "ui/settings.h"

namespace {

constexpr uint32_t kTempoRecordSize = sizeof(TempoRecord);
// The highest index a 16-bit key can address; a measure never holds more
// records than the key can reach, and counting on would wrap the index.
constexpr int32_t kLastRecordIndex = 32767;

TempoRecordKey KeyOf(int32_t measure, int32_t index) {
    return TempoRecordKey{int16_t(measure), int16_t(index)};
}

// Whether the measure holds a record inside the region. The size word is
// set once for the measure: the host may rewrite it, and the loads after
// the first one pass it on as the host left it.
bool MeasureHasTempoInRegion(const ERegion& region, int32_t measure) {
    uint32_t size = kTempoRecordSize;
    for (int32_t index = 0; index <= kLastRecordIndex; ++index) {
        TempoRecordKey key = KeyOf(measure, index);
        TempoRecord record = {};
        if (FX_LoadEData(TempoRecordTag, &key, &record, &size) == 0) return false;
        if (IsInRegion(region, int16_t(measure), record.position)) return true;
    }
    return false;
}

// The number of tempo records the measure holds, learnt by loading without
// a data block until a load fails.
int32_t CountMeasureTempos(int32_t measure) {
    uint32_t size = kTempoRecordSize;
    int32_t count = 0;
    while (count <= kLastRecordIndex) {
        TempoRecordKey key = KeyOf(measure, count);
        if (FX_LoadEData(TempoRecordTag, &key, nullptr, &size) == 0) break;
        ++count;
    }
    return count;
}

// Deletes from the last index down, so that each deletion leaves the
// indexes still to be visited where they were.
uint32_t RemoveMeasureTempos(const ERegion& region, int32_t measure) {
    uint32_t removed = 0;
    for (int32_t index = CountMeasureTempos(measure) - 1; index >= 0; --index) {
        uint32_t size = kTempoRecordSize;
        TempoRecordKey key = KeyOf(measure, index);
        TempoRecord record = {};
        if (FX_LoadEData(TempoRecordTag, &key, &record, &size) == 0) break;
        if (!IsInRegion(region, int16_t(measure), record.position)) continue;
        // A deletion the host cannot receive must not be reported as done.
        if (!HostFunctionAddress(HostFunction::DeleteEData)) continue;
        FX_DeleteEData(TempoRecordTag, &key);
        ++removed;
    }
    return removed;
}

}  // namespace

bool IsInRegion(const ERegion& region, int16_t measure, int32_t position) {
    const bool notBeforeStart = measure != region.startMeasure || position >= region.startPosition;
    const bool notAfterEnd = measure != region.endMeasure || position <= region.endPosition;
    return notBeforeStart && notAfterEnd;
}

// Measure loops run on a 32-bit counter so that a region ending at measure
// 32767 stops there instead of wrapping to -32768.
void ScanRegionTempo(const ERegion* region) {
    moduleSettings.regionHasTempo = 0;
    if (!region) return;
    for (int32_t measure = region->startMeasure; measure <= region->endMeasure; ++measure) {
        if (MeasureHasTempoInRegion(*region, measure)) moduleSettings.regionHasTempo = 1;
    }
}

uint32_t RemoveRegionTempos(const ERegion* region) {
    if (!region) return 0;
    uint32_t removed = 0;
    for (int32_t measure = region->startMeasure; measure <= region->endMeasure; ++measure)
        removed += RemoveMeasureTempos(*region, measure);
    return removed;
}
