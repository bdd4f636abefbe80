// Finding and deleting the tempo records that lie inside a region.
#include <limits.h>

#include <string>
#include <vector>

#include "tests/unit/plugin_fixture.h"

namespace {

using testhost::Fx;
using testhost::FxName;
using testhost::HostCall;
using testhost::TempoEntry;
using testhost::TempoRow;

class RegionTempo : public ::testing::Test {
protected:
    explicit RegionTempo(const std::set<std::string>& missing = {}) : process(missing) {}
    void SetUp() override { ASSERT_TRUE(plugin.loaded()); }

    void Seed(int16_t measure, int32_t position, int32_t value = 100000) {
        process.host().score.InsertTempo(measure, TempoEntry{position, value, 1000});
    }
    int16_t Scan(const ERegion& region) {
        plugin.in().moduleSettings->regionHasTempo = 7;
        plugin.in().ScanRegionTempo(&region);
        return plugin.in().moduleSettings->regionHasTempo;
    }
    uint32_t Remove(const ERegion& region) { return plugin.in().RemoveRegionTempos(&region); }
    std::vector<int32_t> Positions() const {
        std::vector<int32_t> positions;
        for (const TempoRow& row : process.host().score.AllTempo()) positions.push_back(row[1]);
        return positions;
    }

    HostProcess process;
    LoadedPlugin plugin;
};

void ExpectLoad(const HostCall& call, int16_t measure, int16_t index, bool withData,
                uint32_t size) {
    EXPECT_EQ(call.function, Fx::LoadEData);
    EXPECT_EQ(call.tag, TempoRecordTag);
    EXPECT_EQ(call.key1, measure);
    EXPECT_EQ(call.key2, index);
    EXPECT_EQ(call.hasData, withData);
    EXPECT_TRUE(call.hasSize);
    EXPECT_EQ(call.size, size);
    EXPECT_EQ(call.version, HostCallVersion);
}

void ExpectDelete(const HostCall& call, int16_t measure, int16_t index) {
    EXPECT_EQ(call.function, Fx::DeleteEData);
    EXPECT_EQ(call.tag, TempoRecordTag);
    EXPECT_EQ(call.key1, measure);
    EXPECT_EQ(call.key2, index);
    EXPECT_EQ(call.version, HostCallVersion);
}

TEST_F(RegionTempo, BothEndsAreInclusive) {
    const auto& in = plugin.in();
    const ERegion region = MakeRegion(3, 1000, 5, 2047);
    EXPECT_TRUE(in.IsInRegion(region, 3, 1000));
    EXPECT_FALSE(in.IsInRegion(region, 3, 999));
    EXPECT_TRUE(in.IsInRegion(region, 5, 2047));
    EXPECT_FALSE(in.IsInRegion(region, 5, 2048));
    EXPECT_TRUE(in.IsInRegion(region, 4, 0));
    EXPECT_TRUE(in.IsInRegion(region, 4, INT_MAX));
    EXPECT_TRUE(in.IsInRegion(region, 4, -1));

    const ERegion throughEnd = MakeRegion(3, 0, 5, ThroughEndOfMeasure);
    EXPECT_TRUE(in.IsInRegion(throughEnd, 5, INT_MAX));
    EXPECT_TRUE(in.IsInRegion(throughEnd, 3, 0));
    EXPECT_FALSE(in.IsInRegion(throughEnd, 3, -1));

    const ERegion oneMeasure = MakeRegion(7, 512, 7, 1023);
    EXPECT_FALSE(in.IsInRegion(oneMeasure, 7, 511));
    EXPECT_TRUE(in.IsInRegion(oneMeasure, 7, 512));
    EXPECT_TRUE(in.IsInRegion(oneMeasure, 7, 1023));
    EXPECT_FALSE(in.IsInRegion(oneMeasure, 7, 1024));
}

TEST_F(RegionTempo, ScanFindsOnlyRecordsInsideAndStopsLoadingAMeasureOnAHit) {
    Seed(1, 500);   // before the start
    Seed(3, 3000);  // after the end
    const ERegion region = MakeRegion(1, 1000, 3, 2047);
    EXPECT_EQ(Scan(region), 0);

    Seed(2, 0);
    Seed(2, 1024);
    Seed(3, 100);
    process.host().calls.clear();
    EXPECT_EQ(Scan(region), 1);
    // Measure 1: its one record is outside, the next load fails; measure 2:
    // the first record is inside; measure 3: the first record (at 100) is
    // inside. The scan goes on after the hit in measure 2.
    const auto loads = process.host().CallsOf(Fx::LoadEData);
    ASSERT_EQ(loads.size(), 4u);
    ExpectLoad(loads[0], 1, 0, true, 12);
    ExpectLoad(loads[1], 1, 1, true, 12);
    ExpectLoad(loads[2], 2, 0, true, 12);
    ExpectLoad(loads[3], 3, 0, true, 12);
    EXPECT_EQ(process.host().calls.size(), 4u);
}

TEST_F(RegionTempo, AHitInAnEarlierMeasureStaysSet) {
    Seed(1, 2000);
    EXPECT_EQ(Scan(MakeRegion(1, 0, 4, ThroughEndOfMeasure)), 1);
    EXPECT_EQ(process.host().CallCount(Fx::LoadEData), 1 + 3);
}

// The size word is set once per measure for the scan and the counting pass,
// and before every load of the deleting pass.
TEST_F(RegionTempo, TheSizeWordIsSetPerMeasureForCountingAndPerLoadForDeleting) {
    Seed(1, 0);
    Seed(1, 100);
    Seed(2, 0);
    process.host().rewriteLoadSize = true;
    process.host().loadSizeAnswer = 0xDEAD;
    EXPECT_EQ(Scan(MakeRegion(1, 200, 2, ThroughEndOfMeasure)), 1);
    auto loads = process.host().CallsOf(Fx::LoadEData);
    ASSERT_EQ(loads.size(), 4u);
    EXPECT_EQ(loads[0].size, 12u);
    EXPECT_EQ(loads[1].size, 0xDEADu);
    EXPECT_EQ(loads[2].size, 0xDEADu);  // failed load (1, 2)
    EXPECT_EQ(loads[3].size, 12u);      // measure 2 starts afresh

    process.host().calls.clear();
    EXPECT_EQ(Remove(MakeRegion(1, 0, 1, ThroughEndOfMeasure)), 2u);
    loads = process.host().CallsOf(Fx::LoadEData);
    ASSERT_EQ(loads.size(), 5u);
    EXPECT_EQ(loads[0].size, 12u);
    EXPECT_EQ(loads[1].size, 0xDEADu);
    EXPECT_EQ(loads[2].size, 0xDEADu);
    EXPECT_EQ(loads[3].size, 12u);
    EXPECT_EQ(loads[4].size, 12u);
}

TEST_F(RegionTempo, RemovalCountsThenDeletesFromTheLastIndexDown) {
    Seed(1, 0);
    Seed(1, 500);
    Seed(1, 1000);
    Seed(1, 1500);
    EXPECT_EQ(Remove(MakeRegion(1, 1000, 1, ThroughEndOfMeasure)), 2u);

    const auto& calls = process.host().calls;
    ASSERT_EQ(calls.size(), 11u);
    for (int16_t index = 0; index <= 4; ++index) ExpectLoad(calls[size_t(index)], 1, index, false, 12);
    ExpectLoad(calls[5], 1, 3, true, 12);
    ExpectDelete(calls[6], 1, 3);
    ExpectLoad(calls[7], 1, 2, true, 12);
    ExpectDelete(calls[8], 1, 2);
    ExpectLoad(calls[9], 1, 1, true, 12);
    ExpectLoad(calls[10], 1, 0, true, 12);
    EXPECT_EQ(Positions(), (std::vector<int32_t>{0, 500}));
    EXPECT_EQ(process.Lookups("FX_DeleteEData"), 1);
}

TEST_F(RegionTempo, RemovalKeepsEverythingOutsideTheRegion) {
    for (int16_t measure = 1; measure <= 4; ++measure)
        for (int32_t position : {0, 1000, 2047, 2048, 4000}) Seed(measure, position);
    EXPECT_EQ(Remove(MakeRegion(2, 1000, 3, 2047)), 4u + 3u);
    std::vector<TempoRow> rows = process.host().score.AllTempo();
    std::vector<std::pair<int32_t, int32_t>> left;
    for (const auto& row : rows) left.push_back({row[0], row[1]});
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {1, 0}, {1, 1000}, {1, 2047}, {1, 2048}, {1, 4000}, {2, 0},    {3, 2048},
        {3, 4000}, {4, 0}, {4, 1000}, {4, 2047}, {4, 2048}, {4, 4000}};
    EXPECT_EQ(left, expected);
}

TEST_F(RegionTempo, NothingToFindInAnEmptyOrReversedRegion) {
    EXPECT_EQ(Scan(MakeRegion(1, 0, 3, ThroughEndOfMeasure)), 0);
    EXPECT_EQ(Remove(MakeRegion(1, 0, 3, ThroughEndOfMeasure)), 0u);
    EXPECT_EQ(process.host().CallCount(Fx::DeleteEData), 0);
    EXPECT_EQ(process.Lookups("FX_DeleteEData"), 0);

    Seed(2, 0);
    process.host().calls.clear();
    EXPECT_EQ(Scan(MakeRegion(3, 0, 1, ThroughEndOfMeasure)), 0);
    EXPECT_EQ(Remove(MakeRegion(3, 0, 1, ThroughEndOfMeasure)), 0u);
    EXPECT_TRUE(process.host().calls.empty());
    EXPECT_EQ(process.host().score.TempoCount(), 1u);
}

TEST_F(RegionTempo, RegionEndingAtTheLastMeasureNumberStops) {
    Seed(32766, 0);
    Seed(32767, 0);
    Seed(-32768, 0);
    const ERegion region = MakeRegion(32766, 0, 32767, ThroughEndOfMeasure);
    EXPECT_EQ(Scan(region), 1);
    EXPECT_EQ(Remove(region), 2u);
    for (const auto& call : process.host().calls) EXPECT_GE(call.key1, 32766);
    EXPECT_EQ(process.host().score.AllTempo().size(), 1u);
}

// Many records in one region: the count goes past 65,535 without wrapping.
TEST_F(RegionTempo, RemovalCountIsNotCutTo16Bits) {
    const int16_t measures = 700;
    for (int16_t measure = 1; measure <= measures; ++measure)
        for (int32_t position = 0; position < 100; ++position) Seed(measure, position);
    process.host().recordCalls = false;
    EXPECT_EQ(Remove(MakeRegion(1, 0, measures, ThroughEndOfMeasure)), 70000u);
    EXPECT_EQ(process.host().score.TempoCount(), 0u);
}

// One tempo load or deletion as the host saw it, for comparing long call
// sequences.
struct TempoCall {
    Fx function;
    int16_t measure, index;
    bool withData;
    uint32_t size;
    bool operator==(const TempoCall& o) const {
        return function == o.function && measure == o.measure && index == o.index &&
               withData == o.withData && size == o.size;
    }
};

TempoCall LoadOf(int16_t measure, int16_t index, bool withData) {
    return TempoCall{Fx::LoadEData, measure, index, withData, 12};
}
TempoCall DeleteOf(int16_t measure, int16_t index) {
    return TempoCall{Fx::DeleteEData, measure, index, false, 0};
}

// "" when the host received exactly `expected` (tempo tag, HostCallVersion);
// else the first difference.
std::string CallsDiffer(const std::vector<HostCall>& calls,
                        const std::vector<TempoCall>& expected) {
    for (size_t i = 0; i < calls.size() || i < expected.size(); ++i) {
        if (i >= calls.size()) return "call " + std::to_string(i) + " missing";
        const HostCall& c = calls[i];
        const TempoCall got{c.function, c.key1, c.key2, c.hasData,
                            c.function == Fx::LoadEData ? c.size : 0};
        if (i >= expected.size() || !(got == expected[i]) || c.tag != TempoRecordTag ||
            c.version != HostCallVersion)
            return "call " + std::to_string(i) + ": " + FxName(c.function) + " (" +
                   std::to_string(c.key1) + ", " + std::to_string(c.key2) + ")" +
                   (c.hasData ? " with data" : "") + (i >= expected.size() ? ", not expected" : "");
    }
    return "";
}

// A host whose loads of one measure never fail: the key's 16-bit index
// reaches 32,767 and no further. The scan, the counting pass and the
// deleting pass each stop there instead of wrapping to negative indexes.
TEST_F(RegionTempo, AMeasureWhoseLoadsNeverFailStopsAtIndex32767) {
    constexpr int kLastIndex = 32767;
    struct Case {
        const char* what;
        int32_t recordPosition;  // of every record the endless measure answers
        bool inside;
    };
    // The region starts at (2, 1000): a record at 0 lies outside, at 2000 inside.
    const Case cases[] = {{"records outside the region", 0, false},
                          {"records inside the region", 2000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        process.host().score = testhost::Score();
        process.host().endlessTempo = {{2, TempoEntry{c.recordPosition, 5000, 1000}}};
        Seed(3, 0);  // inside: the scan goes on after the endless measure
        process.host().calls.clear();

        EXPECT_EQ(Scan(MakeRegion(2, 1000, 3, ThroughEndOfMeasure)), 1);
        // Outside: every index of measure 2, then measure 3's first record.
        // Inside: measure 2's first record is already a hit.
        std::vector<TempoCall> scan;
        for (int i = 0; i <= (c.inside ? 0 : kLastIndex); ++i)
            scan.push_back(LoadOf(2, int16_t(i), true));
        scan.push_back(LoadOf(3, 0, true));
        EXPECT_EQ(CallsDiffer(process.host().calls, scan), "");

        process.host().calls.clear();
        EXPECT_EQ(Remove(MakeRegion(2, 1000, 2, ThroughEndOfMeasure)),
                  c.inside ? uint32_t(kLastIndex + 1) : 0u);
        std::vector<TempoCall> removal;
        for (int i = 0; i <= kLastIndex; ++i) removal.push_back(LoadOf(2, int16_t(i), false));
        for (int i = kLastIndex; i >= 0; --i) {
            removal.push_back(LoadOf(2, int16_t(i), true));
            if (c.inside) removal.push_back(DeleteOf(2, int16_t(i)));
        }
        EXPECT_EQ(CallsDiffer(process.host().calls, removal), "");
    }
}

class RegionTempoWithoutDelete : public RegionTempo {
protected:
    RegionTempoWithoutDelete() : RegionTempo({"FX_DeleteEData"}) {}
};

// A deletion the host cannot take is neither sent nor counted.
TEST_F(RegionTempoWithoutDelete, CountsNoDeletionItCouldNotSend) {
    Seed(1, 0);
    Seed(1, 1000);
    Seed(2, 0);
    EXPECT_EQ(Remove(MakeRegion(1, 0, 2, ThroughEndOfMeasure)), 0u);
    EXPECT_EQ(process.host().CallCount(Fx::DeleteEData), 0);
    EXPECT_EQ(process.host().score.TempoCount(), 3u);
    EXPECT_EQ(process.Lookups("FX_DeleteEData"), 1);
    // Loading still works, so the scan still sees the records.
    EXPECT_EQ(Scan(MakeRegion(1, 0, 2, ThroughEndOfMeasure)), 1);
}

class RegionTempoWithoutLoad : public RegionTempo {
protected:
    RegionTempoWithoutLoad() : RegionTempo({"FX_LoadEData"}) {}
};

TEST_F(RegionTempoWithoutLoad, FindsAndRemovesNothing) {
    Seed(1, 0);
    EXPECT_EQ(Scan(MakeRegion(1, 0, 2, ThroughEndOfMeasure)), 0);
    EXPECT_EQ(Remove(MakeRegion(1, 0, 2, ThroughEndOfMeasure)), 0u);
    EXPECT_TRUE(process.host().calls.empty());
    EXPECT_EQ(process.host().score.TempoCount(), 1u);
}

}  // namespace
