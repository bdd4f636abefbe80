// The walk's values against a plain reference that divides at every record,
// over many seeded random regions: the generator carries its quotients from
// record to record instead of dividing, and must land on the same values.
#include <random>
#include <tuple>
#include <vector>

#include "tests/unit/plugin_fixture.h"
#include "tests/unit/ramp_reference.h"

namespace {

using testhost::Fx;

TEST(TempoRampReference, CarriedQuotientsMatchDivisionOnRandomRegions) {
    std::mt19937 random(20261207);
    const int32_t meters[] = {1024, 2048, 3072, 4096, 1536, 2560, 5120, 768, 7};
    for (int round = 0; round < 90; ++round) {
        HostProcess process;
        process.host().recordCalls = true;
        LoadedPlugin plugin;
        ASSERT_TRUE(plugin.loaded());
        // Short regions divide at nearly every record; long ones and close
        // tempos carry the quotient through every precision range.
        int measures = 1 + int(random() % (round < 30 || round >= 60 ? 24 : round < 50 ? 200 : 1200));
        std::vector<int32_t> lengths;
        for (int m = 0; m < measures + 1; ++m) lengths.push_back(meters[random() % 9]);
        process.host().score.measureLengths = lengths;

        int16_t start = int16_t(1 + random() % measures);
        int16_t end = int16_t(start + random() % (measures - start + 1));
        int32_t startPosition = int32_t(random() % lengths[start - 1]);
        int32_t endPosition = random() % 3 == 0 ? 0x7FFFFFFF : int32_t(random() % lengths[end - 1]);
        if (start == end && endPosition < startPosition) std::swap(startPosition, endPosition);
        // Positions a host should not send: before or past their measures,
        // so that the walk runs past its total or walks back.
        if (round >= 60) {
            startPosition += int32_t(random() % 9000) - 4500;
            if (endPosition != 0x7FFFFFFF) endPosition += int32_t(random() % 9000) - 4500;
        }
        ERegion region = MakeRegion(start, startPosition, end, endPosition);

        UserDialogSettings& settings = *plugin.in().moduleSettings;
        settings.startUnit = int16_t(random() % 5);
        settings.stopUnit = int16_t(random() % 5);
        settings.startModifier = int16_t(random() % 3 == 0 ? 2 : 0);
        settings.stopModifier = int16_t(random() % 3 == 0 ? 2 : 0);
        settings.startTempo = int16_t(20 + random() % 581);
        settings.stopTempo = int16_t(20 + random() % 581);
        if (round % 2 == 1) {
            settings.stopUnit = settings.startUnit;
            settings.stopModifier = settings.startModifier;
            settings.stopTempo = int16_t(settings.startTempo + (random() % 2 ? 1 : -1) *
                                                                   int16_t(1 + random() % 15));
        }
        settings.afterAction = 0;
        *plugin.in().currentRegion = &region;
        *plugin.in().currentSettings = &settings;
        plugin.in().WriteTempoRamp();

        int32_t a = plugin.in().HostTempoValue(settings.startUnit, settings.startTempo,
                                               settings.startModifier);
        int32_t b = plugin.in().HostTempoValue(settings.stopUnit, settings.stopTempo,
                                               settings.stopModifier);
        std::vector<Placed> created;
        for (const auto& call : process.host().CallsOf(Fx::CreateEData))
            created.emplace_back(call.key1, call.data[0], call.data[1]);
        ASSERT_FALSE(created.empty());
        created.pop_back();  // the final record, or the only one
        EXPECT_EQ(created, ReferenceWalk(lengths, region, a, b))
            << "round " << round << ": measures " << start << ".." << end << ", tempo " << a
            << " -> " << b;
    }
}

}  // namespace
