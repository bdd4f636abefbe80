// The accelerando/ritardando written into a region.
#include <algorithm>
#include <tuple>

#include "tests/unit/plugin_fixture.h"
#include "tests/unit/ramp_reference.h"

namespace {

using testhost::Fx;
using testhost::TempoEntry;

struct Tempo {
    int16_t unit;
    int16_t tempo;
    int16_t modifier;
};
constexpr Tempo Quarter(int16_t tempo) { return Tempo{2, tempo, 0}; }

enum : int16_t { AfterNone = 0, AfterStopTempo = 1, AfterStartTempo = 2 };

int32_t MeasureOf(const Placed& p) { return std::get<0>(p); }
int32_t PositionOf(const Placed& p) { return std::get<1>(p); }
int32_t ValueOf(const Placed& p) { return std::get<2>(p); }

class TempoRamp : public ::testing::Test {
protected:
    explicit TempoRamp(const std::set<std::string>& missing = {}) : process(missing) {}
    void SetUp() override { ASSERT_TRUE(plugin.loaded()); }

    void Measures(size_t count, int32_t length) {
        process.host().score.measureLengths.assign(count, length);
    }
    void Seed(int16_t measure, int32_t position, int32_t value) {
        process.host().score.InsertTempo(measure, TempoEntry{position, value, 1000});
    }
    // Runs the ramp as the dialog does, from a clean call log.
    void Run(const ERegion& where, Tempo start, Tempo stop, int16_t afterAction) {
        region = where;
        UserDialogSettings& settings = *plugin.in().moduleSettings;
        settings.startUnit = start.unit;
        settings.startTempo = start.tempo;
        settings.startModifier = start.modifier;
        settings.stopUnit = stop.unit;
        settings.stopTempo = stop.tempo;
        settings.stopModifier = stop.modifier;
        settings.afterAction = afterAction;
        *plugin.in().currentRegion = &region;
        *plugin.in().currentSettings = &settings;
        process.host().calls.clear();
        written = plugin.in().WriteTempoRamp();
    }
    std::vector<Placed> Created() const {
        std::vector<Placed> placed;
        for (const auto& call : process.host().CallsOf(Fx::CreateEData))
            placed.emplace_back(call.key1, call.data[0], call.data[1]);
        return placed;
    }
    // The records of the walk, without the final one.
    std::vector<Placed> Ramp() const {
        std::vector<Placed> placed = Created();
        if (!placed.empty()) placed.pop_back();
        return placed;
    }
    std::vector<int16_t> MeasureAsks() const {
        std::vector<int16_t> asked;
        for (const auto& call : process.host().CallsOf(Fx::GetMeasureDuration)) {
            EXPECT_EQ(call.zero, 0);
            EXPECT_EQ(call.version, HostCallVersion);
            asked.push_back(call.measure);
        }
        return asked;
    }

    HostProcess process;
    LoadedPlugin plugin;
    ERegion region = {};
    int32_t written = -1;
};

// Quarter = 60 to 120 over two 4/4 measures.
const std::vector<Placed> kTwoMeasureRamp = {
    {1, 0, 67108},     {1, 512, 71302},   {1, 1024, 75496},  {1, 1536, 79690},
    {1, 2048, 83885},  {1, 2304, 85982},  {1, 2560, 88079},  {1, 2816, 90176},
    {1, 3072, 92273},  {1, 3328, 94371},  {1, 3584, 96468},  {1, 3840, 98565},
    {2, 0, 100662},    {2, 256, 102759},  {2, 512, 104856},  {2, 768, 106953},
    {2, 1024, 109051}, {2, 1280, 111148}, {2, 1536, 113245}, {2, 1792, 115342},
    {2, 2048, 117439}, {2, 2304, 119536}, {2, 2560, 121634}, {2, 2816, 123731},
    {2, 3072, 125828}, {2, 3328, 127925}, {2, 3584, 130022}, {2, 3840, 132119}};

TEST_F(TempoRamp, TwoMeasureAccelerandoRecordByRecord) {
    Measures(3, 4096);
    plugin.in().moduleSettings->regionHasTempo = 1;
    Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);

    std::vector<Placed> expected = kTwoMeasureRamp;
    expected.emplace_back(2, 4095, 134217);
    EXPECT_EQ(Created(), expected);
    EXPECT_EQ(written, 29);
    for (const auto& call : process.host().CallsOf(Fx::CreateEData)) {
        EXPECT_EQ(call.tag, TempoRecordTag);
        EXPECT_EQ(call.key2, -1);
        EXPECT_TRUE(call.hasData);
        EXPECT_EQ(call.data[2], 1000);
        EXPECT_EQ(call.size, 12u);
        EXPECT_EQ(call.version, HostCallVersion);
    }
    EXPECT_EQ(process.host().score.TempoCount(), 29u);
    EXPECT_EQ(plugin.in().moduleSettings->regionHasTempo, 1);

    // Lengths for the total, the removal's loads, then each measure's length
    // again before its records, and the last measure's once more at the end.
    EXPECT_EQ(MeasureAsks(), (std::vector<int16_t>{1, 2, 1, 2, 2}));
    const auto& calls = process.host().calls;
    std::vector<Fx> order;
    for (const auto& call : calls)
        if (order.empty() || order.back() != call.function) order.push_back(call.function);
    EXPECT_EQ(order, (std::vector<Fx>{Fx::GetMeasureDuration, Fx::LoadEData,
                                      Fx::GetMeasureDuration, Fx::CreateEData,
                                      Fx::GetMeasureDuration, Fx::CreateEData,
                                      Fx::GetMeasureDuration, Fx::CreateEData}));
    EXPECT_EQ(process.host().CallCount(Fx::LoadEData), 2);
}

// The host may write into the key and the data block that a create hands
// it, and may refuse the create: every record is still sent, each from a
// key and a block filled afresh, whatever the host did with the last ones.
TEST_F(TempoRamp, EveryCreateGetsAFreshKeyAndBlockWhateverTheHostDoes) {
    struct Case {
        const char* what;
        bool overwrite, refuse;
    };
    const Case cases[] = {{"host overwrites", true, false},
                          {"host refuses", false, true},
                          {"host overwrites and refuses", true, true}};
    for (const Case& c : cases) {
        for (int16_t action : {AfterNone, AfterStopTempo, AfterStartTempo}) {
            SCOPED_TRACE(testing::Message() << c.what << ", after action " << action);
            process.host().score = testhost::Score();
            Measures(3, 4096);
            process.host().overwriteCreateArguments = c.overwrite;
            process.host().refuseCreates = c.refuse;
            Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), action);

            std::vector<Placed> expected = kTwoMeasureRamp;
            expected.push_back(action == AfterNone        ? Placed(2, 4095, 134217)
                               : action == AfterStopTempo ? Placed(3, 0, 134217)
                                                          : Placed(3, 0, 67108));
            EXPECT_EQ(Created(), expected);
            EXPECT_EQ(written, 29);
            for (const auto& call : process.host().CallsOf(Fx::CreateEData)) {
                EXPECT_EQ(call.tag, TempoRecordTag);
                EXPECT_EQ(call.key2, -1);
                EXPECT_EQ(call.data[2], 1000);
                EXPECT_EQ(call.size, 12u);
            }
            EXPECT_EQ(process.host().score.TempoCount(), c.refuse ? 0u : 29u);
        }
    }
}

// A host may answer a negative measure length. Only a length of 0 skips a
// measure: a negative one counts in the total and walks the elapsed length
// back, so the next measure's steps start before the last record and its
// first record waits until 256 units have passed since that record.
TEST_F(TempoRamp, NegativeMeasureLengthsCountAsTheyAre) {
    struct Case {
        std::vector<int32_t> lengths;
        ERegion region;
        Placed final;
    };
    const Case cases[] = {
        // L = 7,168; measure 3 starts at e = 3,072, below measure 1's last
        // record at 3,840.
        {{4096, -1024, 4096}, MakeRegion(1, 0, 3, ThroughEndOfMeasure), {3, 4095, 134217}},
        // Only the region's end decides the last measure's range.
        {{4096, -4096, 4096}, MakeRegion(1, 0, 2, 1023), {2, 1023, 134217}},
        // L = 0: no walk at all.
        {{-4096, 4096}, MakeRegion(1, 0, 2, ThroughEndOfMeasure), {2, 4095, 134217}},
        // L = 2,048: the walk runs past the total; the last unit of a
        // measure with no units is its start.
        {{4096, -2048}, MakeRegion(1, 0, 2, ThroughEndOfMeasure), {2, 0, 134217}},
        {{-100}, MakeRegion(1, 0, 1, ThroughEndOfMeasure), {1, 0, 134217}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lengths.size() << " measures, first "
                                        << c.lengths[0] << ", last " << c.lengths.back());
        process.host().score = testhost::Score();
        process.host().score.measureLengths = c.lengths;
        Run(c.region, Quarter(60), Quarter(120), AfterNone);
        EXPECT_EQ(Ramp(), ReferenceWalk(c.lengths, c.region, 67108, 134217));
        ASSERT_FALSE(Created().empty());
        EXPECT_EQ(Created().back(), c.final);
    }
    // The first case by hand: nothing in the negative measure, and measure
    // 3's first record at position 1,024 (e = 4,096).
    process.host().score = testhost::Score();
    process.host().score.measureLengths = {4096, -1024, 4096};
    Run(MakeRegion(1, 0, 3, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
    std::vector<Placed> ramp = Ramp();
    const auto third = std::find_if(ramp.begin(), ramp.end(),
                                    [](const Placed& p) { return MeasureOf(p) == 3; });
    ASSERT_NE(third, ramp.end());
    EXPECT_EQ(PositionOf(*third), 1024);
    EXPECT_EQ(ValueOf(*third), 67108 + 4096 * 67109 / 7168);
    for (const Placed& p : ramp) EXPECT_NE(MeasureOf(p), 2);
}

TEST_F(TempoRamp, FinalRecordFollowsTheAfterAction) {
    Measures(3, 4096);
    const std::pair<int16_t, Placed> finals[] = {
        {AfterStopTempo, {3, 0, 134217}},
        {AfterStartTempo, {3, 0, 67108}},
        {AfterNone, {2, 4095, 134217}},
        {int16_t(3), {2, 4095, 134217}},
        {int16_t(-1), {2, 4095, 134217}}};
    for (const auto& [action, final] : finals) {
        Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), action);
        std::vector<Placed> created = Created();
        ASSERT_EQ(created.size(), 29u) << action;
        EXPECT_EQ(created.back(), final) << action;
        created.pop_back();
        EXPECT_EQ(created, kTwoMeasureRamp) << action;
        EXPECT_EQ(MeasureAsks(), (std::vector<int16_t>{1, 2, 1, 2, 2})) << action;
    }
}

// Sixty measures pass e = 200,000, where the increment moves to thousands.
TEST_F(TempoRamp, LongRampDropsToCoarserPrecision) {
    Measures(60, 4096);
    Run(MakeRegion(1, 0, 60, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
    const std::vector<Placed> ramp = Ramp();
    auto valueAt = [&ramp](int32_t measure, int32_t position) {
        for (const auto& p : ramp)
            if (MeasureOf(p) == measure && PositionOf(p) == position) return ValueOf(p);
        return -1;
    };
    EXPECT_EQ(valueAt(49, 3072), 121608);
    EXPECT_EQ(valueAt(49, 3328), 121608);
    EXPECT_EQ(valueAt(49, 3584), 121108);
    EXPECT_EQ(ramp.back(), Placed(60, 3840, 133108));
    EXPECT_EQ(Created().back(), Placed(60, 4095, 134217));
    const int32_t start = 67108;
    for (const auto& p : ramp) {
        const int32_t elapsed = (MeasureOf(p) - 1) * 4096 + PositionOf(p);
        if (elapsed > 200000) {
            EXPECT_EQ((ValueOf(p) - start) % 1000, 0) << elapsed;
        } else if (elapsed > 15000) {
            EXPECT_EQ((ValueOf(p) - start) % 100, 0) << elapsed;
        }
    }
}

// e x d passes 2^31 here; a 32-bit product would wrap.
TEST_F(TempoRamp, WideProductsDoNotWrap) {
    Measures(8, 4096);
    Run(MakeRegion(1, 0, 8, ThroughEndOfMeasure), Quarter(60), Quarter(200), AfterNone);
    const std::vector<Placed> ramp = Ramp();
    ASSERT_FALSE(ramp.empty());
    EXPECT_EQ(ramp.front(), Placed(1, 0, 67108));
    bool seen = false;
    for (size_t i = 0; i < ramp.size(); ++i) {
        if (MeasureOf(ramp[i]) == 4 && PositionOf(ramp[i]) == 2560) {
            EXPECT_EQ(ValueOf(ramp[i]), 138061);
            seen = true;
        }
        if (i > 0) {
            EXPECT_GE(ValueOf(ramp[i]), ValueOf(ramp[i - 1])) << i;
        }
        EXPECT_LT(ValueOf(ramp[i]), 223696);
    }
    EXPECT_TRUE(seen);
}

TEST_F(TempoRamp, RitardandoFallsTowardTheStopTempo) {
    Measures(4, 4096);
    Run(MakeRegion(1, 0, 4, ThroughEndOfMeasure), Quarter(120), Quarter(60), AfterStartTempo);
    const std::vector<Placed> ramp = Ramp();
    ASSERT_GT(ramp.size(), 2u);
    EXPECT_EQ(ramp.front(), Placed(1, 0, 134217));
    for (size_t i = 1; i < ramp.size(); ++i) {
        EXPECT_LT(ValueOf(ramp[i]), ValueOf(ramp[i - 1])) << i;
        EXPECT_GT(ValueOf(ramp[i]), 67108) << i;
    }
    EXPECT_EQ(Created().back(), Placed(5, 0, 134217));
}

TEST_F(TempoRamp, EqualValuesGiveAFlatRamp) {
    Measures(2, 4096);
    Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(120), Tempo{3, 60, 0}, AfterNone);
    ASSERT_EQ(Created().size(), 33u);  // every 256 units, and the final record
    for (const auto& p : Created()) EXPECT_EQ(ValueOf(p), 134217);
}

TEST_F(TempoRamp, SlowStartSpacesRecordsByTheTempoJustWritten) {
    Measures(2, 4096);
    Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(20), Quarter(120), AfterNone);
    const std::vector<Placed> ramp = Ramp();
    ASSERT_GT(ramp.size(), 2u);
    EXPECT_EQ(ramp[0], Placed(1, 0, 22369));
    EXPECT_EQ(MeasureOf(ramp[1]), 1);
    EXPECT_EQ(PositionOf(ramp[1]), 1024);
}

// Quarter = 30 writes 40,002 at 768; 512 units on, the product is
// 512 x 40,002 = 20,481,024, the threshold itself: the record is due there,
// not a step later.
TEST_F(TempoRamp, ARecordFallsOnTheStepWhoseProductMeetsTheThreshold) {
    Measures(5, 4096);
    Run(MakeRegion(1, 0, 4, ThroughEndOfMeasure), Quarter(30), Quarter(153), AfterNone);
    const std::vector<Placed> ramp = Ramp();
    ASSERT_GT(ramp.size(), 3u);
    EXPECT_EQ(ramp[1], Placed(1, 768, 40002));
    EXPECT_EQ(ramp[2], Placed(1, 1280, 44301));
}

TEST_F(TempoRamp, RegionEndingInsideAMeasure) {
    Measures(6, 4096);
    const std::pair<int16_t, Placed> finals[] = {{AfterNone, {5, 2047, 134217}},
                                                 {AfterStopTempo, {5, 2048, 134217}},
                                                 {AfterStartTempo, {5, 2048, 67108}}};
    for (const auto& [action, final] : finals) {
        Run(MakeRegion(1, 0, 5, 2047), Quarter(60), Quarter(120), action);
        const std::vector<Placed> ramp = Ramp();
        ASSERT_FALSE(ramp.empty());
        EXPECT_EQ(MeasureOf(ramp.back()), 5);
        EXPECT_EQ(PositionOf(ramp.back()), 1792);
        EXPECT_EQ(Created().back(), final) << action;
        EXPECT_EQ(MeasureAsks(), (std::vector<int16_t>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5}));
    }
}

TEST_F(TempoRamp, StartInsideAMeasureStepsFromThere) {
    Measures(3, 4096);
    Run(MakeRegion(1, 1000, 3, ThroughEndOfMeasure), Quarter(100), Quarter(200), AfterNone);
    const std::vector<Placed> ramp = Ramp();
    ASSERT_GT(ramp.size(), 10u);
    EXPECT_EQ(ramp.front(), Placed(1, 1000, 111848));
    bool laterMeasures = false;
    for (const auto& p : ramp) {
        if (MeasureOf(p) == 1) {
            EXPECT_EQ((PositionOf(p) - 1000) % 256, 0) << PositionOf(p);
        } else {
            EXPECT_EQ(PositionOf(p) % 256, 0) << PositionOf(p);
            laterMeasures = true;
        }
    }
    EXPECT_TRUE(laterMeasures);
}

// An empty measure adds nothing to the length and gets no records: the ramp
// reads as if the measure were absent.
TEST_F(TempoRamp, EmptyMeasureIsSkipped) {
    process.host().score.measureLengths = {4096, 4096};
    Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
    const std::vector<Placed> without = Ramp();

    process.host().score = testhost::Score();
    process.host().score.measureLengths = {4096, 0, 4096};
    Run(MakeRegion(1, 0, 3, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
    std::vector<Placed> with = Ramp();
    for (auto& p : with) {
        EXPECT_NE(MeasureOf(p), 2);
        if (MeasureOf(p) == 3) std::get<0>(p) = 2;
    }
    EXPECT_EQ(with, without);

    // An empty first measure: the walk's first step moves to the next one.
    process.host().score = testhost::Score();
    process.host().score.measureLengths = {0, 4096};
    Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
    ASSERT_FALSE(Ramp().empty());
    EXPECT_EQ(Ramp().front(), Placed(2, 0, 67108));
}

TEST_F(TempoRamp, ReplacesRecordsInsideAndKeepsTheOneDirectlyAfter) {
    Measures(3, 4096);
    Seed(1, 0, 11111);
    Seed(2, 1000, 22222);
    Seed(2, 2048, 33333);
    Seed(3, 0, 44444);
    Run(MakeRegion(1, 0, 2, 2047), Quarter(60), Quarter(120), AfterStopTempo);
    std::vector<Placed> after;
    for (const auto& row : process.host().score.AllTempo())
        if ((row[0] == 2 && row[1] >= 2048) || row[0] == 3) after.emplace_back(row[0], row[1], row[2]);
    EXPECT_EQ(after, (std::vector<Placed>{{2, 2048, 33333}, {2, 2048, 134217}, {3, 0, 44444}}));
    for (const auto& row : process.host().score.AllTempo()) {
        EXPECT_NE(row[2], 11111);
        EXPECT_NE(row[2], 22222);
    }
}

// A region the interpolation cannot divide over: its total length is zero
// or less while a later measure still has steps.
TEST_F(TempoRamp, NoRampWithoutAPositiveLength) {
    Measures(2, 4096);
    for (int32_t start : {8192, 9000}) {
        Seed(2, 100, 55555);
        Run(MakeRegion(1, start, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
        EXPECT_EQ(Created(), (std::vector<Placed>{{2, 4095, 134217}})) << start;
        EXPECT_EQ(process.host().CallCount(Fx::DeleteEData), 1) << start;
        EXPECT_EQ(MeasureAsks(), (std::vector<int16_t>{1, 2, 1, 2, 2}));
        process.host().score = testhost::Score();
        Measures(2, 4096);
    }
}

// After measure 32767 there is no measure a 16-bit key can name.
TEST_F(TempoRamp, NothingAfterTheLastMeasureNumber) {
    Measures(32767, 4096);
    for (int16_t action : {AfterStopTempo, AfterStartTempo, AfterNone}) {
        Run(MakeRegion(32766, 0, 32767, ThroughEndOfMeasure), Quarter(60), Quarter(120), action);
        const std::vector<Placed> created = Created();
        ASSERT_FALSE(created.empty());
        for (const auto& p : created) EXPECT_GE(MeasureOf(p), 32766) << action;
        const Placed last = action == AfterNone ? Placed(32767, 4095, 134217)
                                                : Placed(32767, 3840, 132119);
        EXPECT_EQ(created.back(), last) << action;
        EXPECT_EQ(written, int32_t(created.size()));
        for (int16_t measure : MeasureAsks()) EXPECT_GE(measure, 32766);
    }
}

// The walk never starts (its first measure ends before the region does) and
// nothing may follow measure 32767: not one record, so the host's create is
// never even looked up.
TEST_F(TempoRamp, ARampThatWritesNothingLooksNothingUp) {
    Measures(32767, 4096);
    Run(MakeRegion(32766, 5000, 32767, ThroughEndOfMeasure), Quarter(60), Quarter(120),
        AfterStopTempo);
    EXPECT_EQ(written, 0);
    EXPECT_TRUE(Created().empty());
    EXPECT_EQ(process.Lookups("FX_CreateEData"), 0);
    EXPECT_EQ(MeasureAsks(), (std::vector<int16_t>{32766, 32767, 32766, 32767, 32767}));
}

TEST_F(TempoRamp, LastUnitOfAnEmptyMeasureIsItsStart) {
    process.host().score.measureLengths = {4096, 0};
    Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
    EXPECT_EQ(Created().back(), Placed(2, 0, 134217));
}

class TempoRampWithoutCreate : public TempoRamp {
protected:
    TempoRampWithoutCreate() : TempoRamp({"FX_CreateEData"}) {}
};

TEST_F(TempoRampWithoutCreate, StillClearsTheRegion) {
    Measures(2, 4096);
    Seed(1, 0, 11111);
    Run(MakeRegion(1, 0, 2, ThroughEndOfMeasure), Quarter(60), Quarter(120), AfterNone);
    EXPECT_EQ(process.host().score.TempoCount(), 0u);
    EXPECT_EQ(process.host().CallCount(Fx::CreateEData), 0);
    EXPECT_EQ(process.Lookups("FX_CreateEData"), 1);
}

class TempoRampWithoutMeasureLengths : public TempoRamp {
protected:
    TempoRampWithoutMeasureLengths() : TempoRamp({"FX_GetMeasureDuration"}) {}
};

TEST_F(TempoRampWithoutMeasureLengths, WritesOnlyTheFinalRecord) {
    Measures(2, 4096);
    Run(MakeRegion(1, 0, 2, 2047), Quarter(60), Quarter(120), AfterStopTempo);
    EXPECT_EQ(Created(), (std::vector<Placed>{{2, 2048, 134217}}));
    EXPECT_EQ(process.host().CallCount(Fx::GetMeasureDuration), 0);
}

}  // namespace
