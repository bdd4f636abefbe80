// The plug-in's hot paths against the lean host: the largest ramp against a
// replay of its own host calls, one bound wrapper call against a direct
// call, the ramp's heap allocations, and the removal of a dense region.
#include <benchmark/benchmark.h>
#include <string.h>

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

void BM_RampPlugin(benchmark::State& state) {
    Host();
    LargestRamp ramp;
    ramp.Run();  // binds the host functions outside the timing
    for (auto _ : state) ramp.Run();
    state.counters["records"] = double(lean::CreatedCount());
}
BENCHMARK(BM_RampPlugin)->Unit(benchmark::kMillisecond);

void BM_RampReplay(benchmark::State& state) {
    Host();
    LargestRamp ramp;
    std::vector<lean::HostCall> calls;
    calls.reserve(1 << 20);
    lean::RecordCalls(&calls);
    ramp.Run();
    lean::RecordCalls(nullptr);
    for (auto _ : state) {
        lean::ClearCreated();
        lean::Replay(calls);
    }
    state.counters["records"] = double(lean::CreatedCount());
    state.counters["calls"] = double(calls.size());
}
BENCHMARK(BM_RampReplay)->Unit(benchmark::kMillisecond);

void BM_WrapperCall(benchmark::State& state) {
    Host();
    HWND dialog = nullptr;
    int32_t control = 111;
    for (auto _ : state) {
        benchmark::DoNotOptimize(control);
        benchmark::DoNotOptimize(FX_GetDlgItemVal(dialog, control, 3));
    }
}
BENCHMARK(BM_WrapperCall);

void BM_DirectCall(benchmark::State& state) {
    Host();
    HWND dialog = nullptr;
    int32_t control = 111;
    for (auto _ : state) {
        benchmark::DoNotOptimize(control);
        benchmark::DoNotOptimize(lean::GetDlgItemVal(dialog, control, 3, HostCallVersion));
    }
}
BENCHMARK(BM_DirectCall);

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
