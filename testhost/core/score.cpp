#include "testhost/core/score.h"

#include <string.h>

namespace testhost {

int32_t Score::MeasureDuration(int32_t measure) const {
    if (measure < 1 || size_t(measure) > measureLengths.size()) return 0;
    return measureLengths[size_t(measure - 1)];
}

void Score::InsertTempo(int16_t measure, const TempoEntry& entry) {
    auto& records = tempo_[measure];
    auto at = records.begin();
    while (at != records.end() && at->position <= entry.position) ++at;
    records.insert(at, entry);
}

bool Score::LoadTempo(int16_t measure, int16_t index, TempoEntry* entry) const {
    auto it = tempo_.find(measure);
    if (it == tempo_.end() || index < 0 || size_t(index) >= it->second.size()) return false;
    if (entry) *entry = it->second[size_t(index)];
    return true;
}

bool Score::DeleteTempo(int16_t measure, int16_t index) {
    auto it = tempo_.find(measure);
    if (it == tempo_.end() || index < 0 || size_t(index) >= it->second.size()) return false;
    it->second.erase(it->second.begin() + index);
    if (it->second.empty()) tempo_.erase(it);
    return true;
}

size_t Score::TempoCount() const {
    size_t count = 0;
    for (const auto& [measure, records] : tempo_) count += records.size();
    return count;
}

std::vector<TempoRow> Score::AllTempo() const {
    std::vector<TempoRow> rows;
    for (const auto& [measure, records] : tempo_)
        for (const auto& r : records) rows.push_back({measure, r.position, r.value, r.third});
    return rows;
}

void Score::SeedRecord(uint32_t tag, int16_t key1, int16_t key2,
                       const std::array<uint16_t, 6>& words) {
    std::array<uint8_t, 12> bytes;
    for (size_t i = 0; i < 6; ++i) {
        bytes[2 * i] = uint8_t(words[i] & 0xFF);
        bytes[2 * i + 1] = uint8_t(words[i] >> 8);
    }
    otherRecords[{tag, key1, key2}] = bytes;
}

}  // namespace testhost
