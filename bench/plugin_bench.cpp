// The plug-in's hot paths against the lean host: the largest ramp against a
// replay of its own host calls, a bound wrapper call against a call of the
// host function itself, the ramp's heap allocations, and the removal of a
// dense region.
#include <benchmark/benchmark.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/allocation_counter.h"
#include "bench/lean_host.h"
#include "entry/module_state.h"
#include "host/fin_pi_strings.h"
#include "host/host_calls.h"
#include "tempo/region_tempo.h"
#include "tempo/tempo_ramp.h"
#include "ui/settings.h"

namespace {

constexpr int16_t kLastMeasure = 32767;
constexpr int32_t kWholeNote = 4096;
// Quarter = 72 is the slowest tempo that still gets a record at every 16th.
constexpr int16_t kStartQuarter = 72;
constexpr int16_t kStopQuarter = 120;

ERegion Region(int16_t startMeasure, int16_t endMeasure) {
    ERegion region;
    memset(&region, 0, sizeof region);
    region.startMeasure = startMeasure;
    region.startPosition = 0;
    region.endMeasure = endMeasure;
    region.endPosition = ThroughEndOfMeasure;
    return region;
}

// The whole score, quarter = 72 to quarter = 120, nothing after the region.
struct LargestRamp {
    ERegion region = Region(1, kLastMeasure);

    LargestRamp() {
        lean::SetMeasures(kLastMeasure, kWholeNote);
        lean::ClearTempo();
        lean::ReserveCreated(size_t(kLastMeasure) * (kWholeNote / 256) + 1);
        moduleSettings = UserDialogSettings{};
        moduleSettings.startUnit = 2, moduleSettings.startTempo = kStartQuarter;
        moduleSettings.stopUnit = 2, moduleSettings.stopTempo = kStopQuarter;
        moduleSettings.afterAction = 0;
        currentSettings = &moduleSettings;
        currentRegion = &region;
    }
    ~LargestRamp() { currentRegion = nullptr; }

    void Run() {
        lean::ClearCreated();
        WriteTempoRamp();
    }
};

lean::HostModule& Host() {
    static lean::HostModule host;
    return host;
}

// Two pieces of work timed in turn, pair after pair: whatever else the
// machine does at the time slows both sides of a pair alike, so the median
// of the pairs' ratios is steadier than a ratio of separate runs.
class PairedTimes {
public:
    template <typename Work, typename Baseline>
    double TimePair(Work work, Baseline baseline) {
        const double baselineSeconds = Seconds(baseline);
        const double workSeconds = Seconds(work);
        work_.push_back(workSeconds);
        baseline_.push_back(baselineSeconds);
        ratios_.push_back(workSeconds / baselineSeconds);
        return workSeconds + baselineSeconds;
    }
    double MedianRatio() const { return Median(ratios_); }
    double MedianWork() const { return Median(work_); }
    double MedianBaseline() const { return Median(baseline_); }

private:
    template <typename Work>
    static double Seconds(Work work) {
        const auto start = std::chrono::steady_clock::now();
        work();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    static double Median(std::vector<double> values) {
        if (values.empty()) return 0;
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    }

    std::vector<double> work_, baseline_, ratios_;
};

// The largest ramp against a replay of its exact host calls on the same
// host: the ratio is the plug-in's own overhead.
void BM_RampOverhead(benchmark::State& state) {
    Host();
    LargestRamp ramp;
    std::vector<lean::HostCall> calls;
    calls.reserve(1 << 20);
    lean::RecordCalls(&calls);
    ramp.Run();  // also binds the host functions outside the timing
    lean::RecordCalls(nullptr);
    const size_t records = lean::CreatedCount();
    PairedTimes times;
    for (auto _ : state) {
        const double seconds = times.TimePair([&] { ramp.Run(); },
                                              [&] {
                                                  lean::ClearCreated();
                                                  lean::Replay(calls);
                                              });
        state.SetIterationTime(seconds);
    }
    if (lean::CreatedCount() != records) state.SkipWithError("the replay wrote other records");
    state.counters["ratio"] = times.MedianRatio();
    state.counters["plugin_ms"] = times.MedianWork() * 1e3;
    state.counters["replay_ms"] = times.MedianBaseline() * 1e3;
    state.counters["records"] = double(records);
    state.counters["calls"] = double(calls.size());
}
BENCHMARK(BM_RampOverhead)->UseManualTime()->Unit(benchmark::kMillisecond);

// A bound wrapper call against the same host function called as a plug-in
// without the wrapper would call it: through the address the host module's
// export gives. A function in another module is reached through an address
// however it is called (a DLL's import table holds addresses too), so this
// is the call the wrapper adds its work to. The address is held in a
// register, the cheapest way. Calls go in batches, each batch timed.
void BM_WrapperOverhead(benchmark::State& state) {
    Host();
    const auto proc = lean::Exported<decltype(&lean::GetDlgItemVal)>("FX_GetDlgItemVal");
    if (!proc) {
        state.SkipWithError("the lean host does not export FX_GetDlgItemVal");
        return;
    }
    constexpr int kBatch = 4096;
    HWND dialog = nullptr;
    int32_t control = 111;
    FX_GetDlgItemVal(dialog, control, 3);  // binds outside the timing
    PairedTimes times;
    for (auto _ : state) {
        const double seconds = times.TimePair(
            [&] {
                for (int i = 0; i < kBatch; ++i) {
                    benchmark::DoNotOptimize(control);
                    benchmark::DoNotOptimize(FX_GetDlgItemVal(dialog, control, 3));
                }
            },
            [&] {
                for (int i = 0; i < kBatch; ++i) {
                    benchmark::DoNotOptimize(control);
                    benchmark::DoNotOptimize(proc(dialog, control, 3, HostCallVersion));
                }
            });
        state.SetIterationTime(seconds);
    }
    state.counters["ratio"] = times.MedianRatio();
    state.counters["wrapper_ns"] = times.MedianWork() * 1e9 / kBatch;
    state.counters["direct_ns"] = times.MedianBaseline() * 1e9 / kBatch;
}
BENCHMARK(BM_WrapperOverhead)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Heap allocations of one whole ramp once the host is bound (binding looks
// functions up once per process and is not part of a ramp).
void BM_RampAllocations(benchmark::State& state) {
    Host();
    // A zero would prove nothing if the counter missed the plug-in's heap:
    // building a UTF-16 text allocates with new[] and with calloc.
    allocations::StartCounting();
    { FinPIVarStringUtf16 text("Zorv"); }
    if (allocations::StopCounting() < 2) {
        state.SkipWithError("the allocation counter does not see the plug-in's allocations");
        return;
    }
    LargestRamp ramp;
    ramp.Run();
    size_t most = 0;
    for (auto _ : state) {
        allocations::StartCounting();
        ramp.Run();
        const size_t counted = allocations::StopCounting();
        if (counted > most) most = counted;
    }
    state.counters["allocations"] = double(most);
}
BENCHMARK(BM_RampAllocations)->Iterations(3)->Unit(benchmark::kMillisecond);

// 1,000 measures of 16 records each, all inside the region; the seeding is
// not timed.
void BM_RemoveRegionTempos(benchmark::State& state) {
    Host();
    const int16_t measures = 1000;
    const int perMeasure = 16;
    const ERegion region = Region(1, measures);
    for (auto _ : state) {
        state.PauseTiming();
        lean::ClearTempo();
        lean::SeedTempo(1, measures, perMeasure);
        state.ResumeTiming();
        const uint32_t removed = RemoveRegionTempos(&region);
        if (removed != uint32_t(measures * perMeasure)) {
            state.SkipWithError("the removal did not remove every record");
            break;
        }
    }
    state.counters["records"] = double(measures * perMeasure);
}
BENCHMARK(BM_RemoveRegionTempos)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
