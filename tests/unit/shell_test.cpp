// Loading, version negotiation, the menu record and the menu status.
#include <string.h>

#include <vector>

#include "tests/unit/plugin_fixture.h"

namespace {

std::vector<uint16_t> Units(const char16_t* text) {
    std::vector<uint16_t> units;
    while (*text) units.push_back(uint16_t(*text++));
    return units;
}

// A record the host prefilled with a pattern, so untouched units show.
MenuItemRecord PatternedRecord() {
    MenuItemRecord record;
    memset(&record, 0x5A, sizeof record);
    return record;
}

void ExpectField(const uint16_t* field, const char16_t* text) {
    std::vector<uint16_t> expected = Units(text);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(field[i], expected[i]) << "unit " << i;
    for (size_t i = expected.size(); i < 64; ++i) EXPECT_EQ(field[i], 0) << "unit " << i;
    for (size_t i = 65; i < 128; ++i) EXPECT_EQ(field[i], 0x5A5A) << "unit " << i;
}

TEST(Loading, RefusedWithoutTheHostModule) {
    LoadedPlugin plugin;
    EXPECT_FALSE(plugin.loaded());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DLL_INIT_FAILED));
    EXPECT_FALSE(emu::IsModuleLoaded(u"ZorvTempo64Probe.fxt"));
}

TEST(Loading, RefusedUnderAnotherHostName) {
    HostProcess process({}, u"FINALE2.EXE");
    LoadedPlugin plugin;
    EXPECT_FALSE(plugin.loaded());
}

TEST(Loading, AcceptsTheHostUnderAnyPathAndCase) {
    HostProcess process({}, u"C:\\Program Files\\Finale\\finale.exe");
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    EXPECT_EQ(*plugin.in().hostVersion, 0u);
}

TEST(Loading, TheRealModuleLoadsAndExportsTheSixEntryPoints) {
    HostProcess process;
    LoadedPlugin plugin(u"ZorvTempo64.fxt");
    ASSERT_TRUE(plugin.loaded());
    EXPECT_TRUE(plugin.Version && plugin.Init && plugin.Enumerate && plugin.Invoke &&
                plugin.Terminate && plugin.GetMenuStatus);
    EXPECT_EQ(GetProcAddress(plugin.module(), "ZorvProbeInternals"), nullptr);
}

TEST(Loading, EachLoadStartsWithFreshModuleState) {
    HostProcess process;
    {
        LoadedPlugin plugin;
        ASSERT_TRUE(plugin.loaded());
        plugin.Version(0x1B000000u);
        plugin.GetMenuStatus();
        EXPECT_EQ(process.Lookups("FX_GetCurERegions"), 1);
    }
    LoadedPlugin again;
    ASSERT_TRUE(again.loaded());
    EXPECT_EQ(*again.in().hostVersion, 0u);
    again.GetMenuStatus();
    EXPECT_EQ(process.Lookups("FX_GetCurERegions"), 2);
}

TEST(Version, AnswersWithinTheAcceptedRangeAndKeepsTheWordPassed) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    const uint32_t cases[][2] = {
        {0u, 0x1A200000u},          {0x1A1FFFFFu, 0x1A200000u}, {0x1A200000u, 0x1A200000u},
        {0x1B000000u, 0x1B000000u}, {0x1B200000u, 0x1B200000u}, {0x1B200001u, 0x1B200000u},
        {0xFFFFFFFFu, 0x1B200000u}};
    for (const auto& c : cases) {
        EXPECT_EQ(plugin.Version(c[0]), c[1]) << std::hex << c[0];
        EXPECT_EQ(*plugin.in().hostVersion, c[0]);
    }
}

TEST(Enumerate, FillsTheOneCommandsRecord) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    for (int16_t index : {int16_t(0), int16_t(-1), int16_t(-32768)}) {
        MenuItemRecord record = PatternedRecord();
        EXPECT_EQ(plugin.Enumerate(nullptr, index, &record), 1);
        ExpectField(record.menuText, u"Zorv &Tempo [v1.06]...");
        ExpectField(record.descriptionText, u"Accelerando/diminuendo");
        ExpectField(record.shortTitle, u"Zorv Accel/Rit");
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&record);
        EXPECT_EQ(bytes[768], 0x00);
        EXPECT_EQ(bytes[769], 0x00);
        EXPECT_EQ(bytes[770], 0x01);
        EXPECT_EQ(bytes[771], 0x00);
    }
}

TEST(Enumerate, NoCommandBeyondIndexZero) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    for (int16_t index : {int16_t(1), int16_t(2), int16_t(32767)}) {
        MenuItemRecord record = PatternedRecord();
        EXPECT_EQ(plugin.Enumerate(nullptr, index, &record), 0);
        MenuItemRecord untouched = PatternedRecord();
        EXPECT_EQ(memcmp(&record, &untouched, sizeof record), 0);
    }
}

TEST(MenuText, CutsAfterSixtyFourUnitsAndLeavesTheHostsUnits) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    for (size_t length : {size_t(63), size_t(64), size_t(70)}) {
        std::vector<unsigned short> text(length + 1, 0);
        for (size_t i = 0; i < length; ++i) text[i] = static_cast<unsigned short>('A' + i % 26);
        uint16_t field[128];
        for (auto& unit : field) unit = 0x5A5A;
        plugin.in().CopyMenuText(field, text.data());
        size_t copied = length < 64 ? length : 64;
        for (size_t i = 0; i < copied; ++i) EXPECT_EQ(field[i], text[i]) << length << "/" << i;
        EXPECT_EQ(field[copied], 0) << length;
        for (size_t i = copied; i < 64; ++i) EXPECT_EQ(field[i], 0);
        // Only a text that fills all 64 units gets its zero at unit 64.
        EXPECT_EQ(field[64], copied == 64 ? 0 : 0x5A5A) << length;
        for (size_t i = 65; i < 128; ++i) EXPECT_EQ(field[i], 0x5A5A);
    }
    uint16_t field[128];
    for (auto& unit : field) unit = 0x5A5A;
    plugin.in().CopyMenuText(field, nullptr);
    for (size_t i = 0; i < 64; ++i) EXPECT_EQ(field[i], 0);
    EXPECT_EQ(field[64], 0x5A5A);
}

TEST(MenuStatus, PassesTheHostsAnswerWidenedWithItsSign) {
    HostProcess process;
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    for (int16_t answer : {int16_t(1), int16_t(0), int16_t(-1), int16_t(-32768), int16_t(32767)}) {
        process.host().menuStatus = answer;
        EXPECT_EQ(plugin.GetMenuStatus(), int32_t(answer));
    }
    auto calls = process.host().CallsOf(testhost::Fx::GetCurERegions);
    ASSERT_EQ(calls.size(), 5u);
    for (const auto& call : calls) {
        EXPECT_EQ(call.version, HostCallVersion);
        EXPECT_NE(call.scratch[0], nullptr);
        EXPECT_NE(call.scratch[1], nullptr);
        EXPECT_NE(call.scratch[2], nullptr);
    }
    EXPECT_EQ(process.Lookups("FX_GetCurERegions"), 1);
}

TEST(MenuStatus, ZeroWhenTheHostLacksTheFunction) {
    HostProcess process({"FX_GetCurERegions"});
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    EXPECT_EQ(plugin.GetMenuStatus(), 0);
    EXPECT_EQ(plugin.GetMenuStatus(), 0);
    EXPECT_EQ(process.Lookups("FX_GetCurERegions"), 1);
    EXPECT_EQ(process.host().CallCount(testhost::Fx::GetCurERegions), 0);
    // Everything else still reaches the host.
    EXPECT_EQ(plugin.in().FX_GetMeasureDuration(1), 0);
    EXPECT_EQ(process.host().CallCount(testhost::Fx::GetMeasureDuration), 1);
}

}  // namespace
