// The tempo value the host stores for a musical tempo statement.
#include "tests/unit/plugin_fixture.h"

namespace {

enum Unit : int16_t { Sixteenth = 0, Eighth = 1, Quarter = 2, Half = 3, Whole = 4 };
enum Modifier : int16_t { Plain = 0, Third = 1, Dotted = 2 };

struct Statement {
    int16_t unit;
    int16_t modifier;
    int16_t tempo;
    int32_t value;
};

class TempoValue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.loaded()); }
    int32_t Value(int16_t unit, int16_t tempo, int16_t modifier) const {
        return plugin.in().HostTempoValue(unit, tempo, modifier);
    }
    HostProcess process;
    LoadedPlugin plugin;
};

TEST_F(TempoValue, MatchesTheHostsScale) {
    const Statement table[] = {
        {Sixteenth, Plain, 20, 5592},      {Quarter, Plain, 20, 22369},
        {Sixteenth, Plain, 120, 33554},    {Quarter, Third, 100, 37246},
        {Eighth, Plain, 100, 55924},       {Quarter, Plain, 60, 67108},
        {Quarter, Plain, 100, 111848},     {Quarter, Plain, 120, 134217},
        {Half, Plain, 60, 134217},         {Quarter, Dotted, 80, 134217},
        {Quarter, Dotted, 100, 167772},    {Quarter, Plain, 200, 223696},
        {Whole, Plain, 60, 268435},        {Quarter, Plain, 264, 295278},
        {Quarter, Plain, 600, 671088},     {Whole, Dotted, 600, 4026531},
        {Half, Plain, 300, 671088},        {Whole, Plain, 130, 581610},
    };
    for (const auto& row : table)
        EXPECT_EQ(Value(row.unit, row.tempo, row.modifier), row.value)
            << "unit " << row.unit << " modifier " << row.modifier << " tempo " << row.tempo;
}

TEST_F(TempoValue, ThirdsAndDotsTruncateThePlainDuration) {
    // A third of each plain duration truncates (85, 170, 341, 682, 1365):
    // at 60 beats per minute the value is duration x 4096 / 60 x 16 / 1000.
    EXPECT_EQ(Value(Sixteenth, 60, Third), 5570);   // 85
    EXPECT_EQ(Value(Eighth, 60, Third), 11141);     // 170
    EXPECT_EQ(Value(Half, 60, Third), 44695);       // 682
    EXPECT_EQ(Value(Whole, 60, Third), 89456);      // 1365
    EXPECT_EQ(Value(Sixteenth, 60, Dotted), Value(Eighth, 45, Plain));
    EXPECT_EQ(Value(Half, 40, Dotted), Value(Quarter, 120, Plain));
}

TEST_F(TempoValue, UnknownUnitsAreQuartersAndUnknownModifiersPlain) {
    for (int16_t unit : {int16_t(5), int16_t(-1), int16_t(32767), int16_t(-32768)}) {
        EXPECT_EQ(Value(unit, 100, Plain), 111848) << unit;
        EXPECT_EQ(Value(unit, 100, Dotted), 167772) << unit;
    }
    for (int16_t modifier : {int16_t(3), int16_t(-1), int16_t(-2), int16_t(32767)})
        EXPECT_EQ(Value(Half, 60, modifier), 134217) << modifier;
}

TEST_F(TempoValue, ZeroAndNegativeTemposTruncateTowardZero) {
    EXPECT_EQ(Value(Quarter, 0, Plain), 0);
    EXPECT_EQ(Value(Quarter, -100, Plain), -111848);
    for (int16_t unit = Sixteenth; unit <= Whole; ++unit)
        for (int16_t tempo : {int16_t(1), int16_t(37), int16_t(264), int16_t(600)})
            EXPECT_EQ(Value(unit, int16_t(-tempo), Dotted), -Value(unit, tempo, Dotted));
}

// Over everything the dialog can state, the two truncations differ from one
// division of D x T x 65536 by 60000 for exactly 17 statements, by one each;
// the values are positive and grow with the tempo.
TEST_F(TempoValue, TwoStepTruncationAcrossTheDialogsRange) {
    const int64_t plain[] = {256, 512, 1024, 2048, 4096};
    int differing = 0;
    for (int16_t unit = Sixteenth; unit <= Whole; ++unit) {
        for (int16_t modifier : {int16_t(Plain), int16_t(Dotted)}) {
            const int64_t duration = modifier == Dotted ? plain[unit] * 15 / 10 : plain[unit];
            int32_t previous = 0;
            for (int16_t tempo = 20; tempo <= 600; ++tempo) {
                const int32_t value = Value(unit, tempo, modifier);
                const int64_t single = duration * tempo * 65536 / 60000;
                ASSERT_GT(value, previous) << unit << "/" << modifier << "/" << tempo;
                ASSERT_TRUE(value == single || value == single - 1) << tempo;
                differing += value != single;
                previous = value;
            }
        }
    }
    EXPECT_EQ(differing, 17);
}

}  // namespace
