// The one-time binding of host functions and what every wrapper passes.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/unit/plugin_fixture.h"

namespace {

using testhost::Fx;

const std::set<std::string> kAllHostFunctions = {
    "FX_LoadEData",       "FX_CreateEData",   "FX_DeleteEData",    "FX_Dialog",
    "FX_EndDialog",       "FX_SetDlgFocus",   "FX_GetCurERegions", "FX_GetMeasureDuration",
    "FX_GetDlgItemVal",   "FX_SetDlgItemVal"};

// Calls every wrapper once with recognisable arguments.
void CallEveryWrapper(const PluginInternals& in) {
    int16_t key[2] = {7, 3};
    int32_t data[3] = {1, 2, 3};
    uint32_t size = 12;
    HWND dialog = reinterpret_cast<HWND>(uintptr_t(0x1234));
    unsigned char scratch[3][24];
    in.FX_LoadEData(TempoRecordTag, key, data, &size);
    in.FX_CreateEData(TempoRecordTag, key, data, 12);
    in.FX_DeleteEData(TempoRecordTag, key);
    in.FX_Dialog(20128, nullptr, dialog, 1, 0);
    in.FX_EndDialog(dialog);
    in.FX_SetDlgFocus(dialog, 111);
    in.FX_GetCurERegions(scratch[0], scratch[1], scratch[2]);
    in.FX_GetMeasureDuration(5);
    in.FX_GetDlgItemVal(dialog, 111, 3);
    in.FX_SetDlgItemVal(dialog, 131, 3, -42);
}

TEST(HostBinding, EveryCallCarriesTheInterfaceWordAndItsArgumentsUnchanged) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    // The word answered to the host does not change what is passed.
    EXPECT_EQ(plugin.Version(0), 0x1A200000u);
    CallEveryWrapper(plugin.in());
    const auto& calls = process.host().calls;
    ASSERT_EQ(calls.size(), 10u);
    for (const auto& call : calls) EXPECT_EQ(call.version, 0x1B200000u) << FxName(call.function);

    EXPECT_EQ(calls[0].function, Fx::LoadEData);
    EXPECT_EQ(calls[0].tag, TempoRecordTag);
    EXPECT_EQ(calls[0].key1, 7);
    EXPECT_EQ(calls[0].key2, 3);
    EXPECT_TRUE(calls[0].hasData);
    EXPECT_EQ(calls[0].size, 12u);
    EXPECT_EQ(calls[1].function, Fx::CreateEData);
    EXPECT_EQ(calls[1].size, 12u);
    EXPECT_EQ(calls[1].data[2], 3);
    EXPECT_EQ(calls[2].function, Fx::DeleteEData);
    EXPECT_EQ(calls[2].key1, 7);
    EXPECT_EQ(calls[3].function, Fx::Dialog);
    EXPECT_EQ(calls[3].resourceId, 20128);
    EXPECT_EQ(calls[3].one, 1);
    EXPECT_EQ(calls[3].nothing, 0);
    EXPECT_EQ(calls[4].function, Fx::EndDialog);
    EXPECT_EQ(calls[5].controlId, 111);
    EXPECT_EQ(calls[6].function, Fx::GetCurERegions);
    EXPECT_EQ(calls[7].function, Fx::GetMeasureDuration);
    EXPECT_EQ(calls[7].zero, 0);
    EXPECT_EQ(calls[7].measure, 5);
    EXPECT_EQ(calls[8].typeCode, 3);
    EXPECT_EQ(calls[9].controlId, 131);
    EXPECT_EQ(calls[9].value, -42);
}

TEST(HostBinding, EachFunctionIsLookedUpOnceOnItsFirstCall) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    for (const auto& name : kAllHostFunctions) EXPECT_EQ(process.Lookups(name), 0) << name;
    plugin.in().FX_GetMeasureDuration(1);
    EXPECT_EQ(process.Lookups("FX_GetMeasureDuration"), 1);
    EXPECT_EQ(process.Lookups("FX_LoadEData"), 0);
    for (int round = 0; round < 3; ++round) CallEveryWrapper(plugin.in());
    for (const auto& name : kAllHostFunctions) EXPECT_EQ(process.Lookups(name), 1) << name;
    EXPECT_EQ(process.host().calls.size(), 31u);
}

TEST(HostBinding, AHostWithoutAnyFunctionIsSkippedSilentlyAndAskedOnce) {
    HostProcess process(kAllHostFunctions);
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    const PluginInternals& in = plugin.in();
    int16_t key[2] = {1, 0};
    int32_t data[3] = {0, 0, 0};
    uint32_t size = 12;
    unsigned char scratch[24];
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(in.FX_LoadEData(TempoRecordTag, key, data, &size), 0);
        EXPECT_EQ(in.FX_CreateEData(TempoRecordTag, key, data, 12), 0);
        EXPECT_EQ(in.FX_DeleteEData(TempoRecordTag, key), 0);
        EXPECT_EQ(in.FX_Dialog(20128, nullptr, nullptr, 1, 0), 0);
        in.FX_EndDialog(nullptr);
        in.FX_SetDlgFocus(nullptr, 111);
        EXPECT_EQ(in.FX_GetCurERegions(scratch, scratch, scratch), 0);
        EXPECT_EQ(in.FX_GetMeasureDuration(1), 0);
        EXPECT_EQ(in.FX_GetDlgItemVal(nullptr, 111, 3), 0);
        in.FX_SetDlgItemVal(nullptr, 111, 3, 5);
    }
    EXPECT_TRUE(process.host().calls.empty());
    for (const auto& name : kAllHostFunctions) EXPECT_EQ(process.Lookups(name), 1) << name;
}

TEST(HostBinding, ThreadsRacingTheFirstCallShareOneLookup) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        HostProcess process;
        process.host().recordCalls = false;
        process.host().score.measureLengths = {3072};
        LoadedPlugin plugin;
        ASSERT_TRUE(plugin.loaded());
        std::atomic<bool> go{false};
        std::vector<int32_t> answers(8, -1);
        std::vector<std::thread> threads;
        for (size_t t = 0; t < answers.size(); ++t)
            threads.emplace_back([&, t] {
                while (!go.load()) std::this_thread::yield();
                answers[t] = plugin.in().FX_GetMeasureDuration(1);
            });
        go = true;
        for (auto& thread : threads) thread.join();
        for (int32_t answer : answers) EXPECT_EQ(answer, 3072);
        EXPECT_EQ(process.Lookups("FX_GetMeasureDuration"), 1);
    }
}

// Holds the lookup of FX_GetMeasureDuration open until a second caller is
// on its way, and a little longer, so that the second call comes while the
// first one's lookup runs.
std::atomic<int> stretchedLookups{0};
std::atomic<bool> lookupStarted{false};
std::atomic<bool> secondCallerCalling{false};

void StretchMeasureLookup(const char* name) {
    if (strcmp(name, "FX_GetMeasureDuration") != 0) return;
    stretchedLookups.fetch_add(1);
    lookupStarted = true;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!secondCallerCalling && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST(HostBinding, ACallerArrivingDuringTheLookupWaitsForItsAnswer) {
    for (bool exported : {true, false}) {
        SCOPED_TRACE(exported ? "exported" : "not exported");
        HostProcess process(exported ? std::set<std::string>{}
                                     : std::set<std::string>{"FX_GetMeasureDuration"});
        process.host().recordCalls = false;
        process.host().score.measureLengths = {3072};
        LoadedPlugin plugin;
        ASSERT_TRUE(plugin.loaded());
        stretchedLookups = 0;
        lookupStarted = false;
        secondCallerCalling = false;
        emu::SetLookupHook(&StretchMeasureLookup);

        int32_t first = -1;
        int32_t second = -1;
        std::thread looking([&] { first = plugin.in().FX_GetMeasureDuration(1); });
        while (!lookupStarted) std::this_thread::yield();
        std::thread arriving([&] {
            secondCallerCalling = true;
            second = plugin.in().FX_GetMeasureDuration(1);
        });
        looking.join();
        arriving.join();
        emu::SetLookupHook(nullptr);

        EXPECT_EQ(first, exported ? 3072 : 0);
        EXPECT_EQ(second, exported ? 3072 : 0);
        EXPECT_EQ(stretchedLookups.load(), 1);
        EXPECT_EQ(process.Lookups("FX_GetMeasureDuration"), 1);
    }
}

// In WebAssembly a function's address is its index in the function table,
// counted from 1: a host's functions may well sit at 1 and 2. Such an address
// is bound and kept like any other, never taken for a state of the lookup
// (where a lookup in progress would wait forever, or a function would count
// as missing).
TEST(HostBinding, TheSmallestAddressesAreBoundLikeAnyOther) {
    testhost::ResetHost();
    emu::ExportTable exports = testhost::FxExportTable();
    exports["FX_Dialog"] = reinterpret_cast<void*>(uintptr_t(2));
    exports["FX_GetMeasureDuration"] = reinterpret_cast<void*>(uintptr_t(1));
    struct Registered {
        HMODULE module;
        ~Registered() { emu::UnregisterModule(module); }
    } host{emu::RegisterModule(u"FINALE.EXE", exports)};
    {
        LoadedPlugin plugin;
        ASSERT_TRUE(plugin.loaded());
        const auto address = plugin.in().HostFunctionAddress;
        const int dialog = 3, measureDuration = 7;  // their places in HostFunction
        for (int call = 0; call < 2; ++call)
            ASSERT_EQ(address(dialog), reinterpret_cast<void*>(uintptr_t(2))) << "call " << call;
        // Taken for "looking up", the lookup would wait for itself: a
        // watchdog ends the test rather than leave it hanging.
        std::atomic<bool> answered{false};
        std::thread watchdog([&] {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (!answered && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!answered) {
                fprintf(stderr, "the lookup of a function at address 1 never ended\n");
                std::_Exit(1);
            }
        });
        void* first = address(measureDuration);
        void* second = address(measureDuration);
        answered = true;
        watchdog.join();
        EXPECT_EQ(first, reinterpret_cast<void*>(uintptr_t(1)));
        EXPECT_EQ(second, reinterpret_cast<void*>(uintptr_t(1)));
        EXPECT_EQ(emu::LookupCount(host.module, "FX_Dialog"), 1);
        EXPECT_EQ(emu::LookupCount(host.module, "FX_GetMeasureDuration"), 1);
    }
}

// A legacy preference tag is answered by the module itself; the host still
// sees FX_LoadEData looked up, as it would for any other load.
TEST(HostBinding, ALoadTheModuleAnswersItselfStillLooksTheHostFunctionUp) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    int16_t key[2] = {0, 0};
    uint32_t size = 0;
    EXPECT_EQ(plugin.in().FX_LoadEData(MakeTag('p', 'f', '0', '5'), key, nullptr, &size), 1);
    EXPECT_NE(size, 0u);
    EXPECT_TRUE(process.host().calls.empty());
    EXPECT_EQ(process.Lookups("FX_LoadEData"), 1);
}

TEST(HostBinding, AnOrdinaryTagWithoutABufferGoesToTheHostUnchanged) {
    HostProcess process;
    process.host().score.InsertTempo(2, {512, 67108, 1000});
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    int16_t present[2] = {2, 0};
    int16_t absent[2] = {2, 1};
    uint32_t size = 99;
    EXPECT_EQ(plugin.in().FX_LoadEData(TempoRecordTag, present, nullptr, &size), 1);
    EXPECT_EQ(plugin.in().FX_LoadEData(TempoRecordTag, absent, nullptr, &size), 0);
    auto loads = process.host().CallsOf(Fx::LoadEData);
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_FALSE(loads[0].hasData);
    EXPECT_EQ(loads[0].size, 99u);
    EXPECT_EQ(loads[1].key2, 1);
}

}  // namespace
