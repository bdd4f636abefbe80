// The stand-in host's score: measure lengths, tempo records kept per measure
// in index order, and other entry data that tests seed.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <map>
#include <tuple>
#include <vector>

namespace testhost {

struct TempoEntry {
    int32_t position = 0;
    int32_t value = 0;
    int32_t third = 1000;
};

// [measure, position, value, third]
using TempoRow = std::array<int32_t, 4>;

class Score {
public:
    // Measures 1..N; any other measure has length 0.
    std::vector<int32_t> measureLengths;

    int32_t MeasureDuration(int32_t measure) const;

    // Inserted after every record of the measure whose position is less
    // than or equal to the new one's.
    void InsertTempo(int16_t measure, const TempoEntry& entry);
    bool LoadTempo(int16_t measure, int16_t index, TempoEntry* entry) const;
    // Later records of the measure move down by one.
    bool DeleteTempo(int16_t measure, int16_t index);
    size_t TempoCount() const;
    std::vector<TempoRow> AllTempo() const;  // by measure, then index

    // Any other entry data: 12 bytes by (tag, key1, key2).
    using OtherKey = std::tuple<uint32_t, int16_t, int16_t>;
    std::map<OtherKey, std::array<uint8_t, 12>> otherRecords;
    void SeedRecord(uint32_t tag, int16_t key1, int16_t key2, const std::array<uint16_t, 6>& words);

private:
    std::map<int16_t, std::vector<TempoEntry>> tempo_;
};

}  // namespace testhost
