// Legacy preference records rebuilt from 'ot..' records, the 252-byte block
// load, and the runtime's checked copy and format behind them.
#include <errno.h>
#include <string.h>
#include <sys/mman.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

#include "tests/unit/plugin_fixture.h"
#include "winapi/emu/emu_crt.h"

namespace {

using testhost::Fx;
using Words = std::array<uint16_t, 6>;

constexpr uint32_t BlockTag = 0x4F156649u;

uint32_t TagOf(const char* name) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

// The host's answers for the table tests: every 'otO?' record (any letter)
// under the key (0, k) for k = 0 to 16 holds the six words
//   0x8000 + (the letter's code) x 256 + k x 8 + (the word's index),
// and 'otPG' under (-2, 0) holds 0xFF00 + (the word's index). Nothing else
// exists, so a row that names another record or key reads a failed load.
void SeedHostAnswers(testhost::Score& score) {
    for (const char* letters : {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz"}) {
        for (const char* letter = letters; *letter; ++letter) {
            for (int16_t k = 0; k <= 16; ++k) {
                Words words;
                for (uint16_t i = 0; i < 6; ++i)
                    words[i] = uint16_t(0x8000 + uint8_t(*letter) * 256 + k * 8 + i);
                score.SeedRecord(0x6F744F00u | uint8_t(*letter), 0, k, words);
            }
        }
    }
    score.SeedRecord(TagOf("otPG"), -2, 0, {0xFF00, 0xFF01, 0xFF02, 0xFF03, 0xFF04, 0xFF05});
}

// What each legacy tag delivers for those answers, worked out row by row
// from the documented layout of the four legacy records, not from the
// module's tables: the reported size; the caller's buffer after the load,
// which is the record followed by 4 bytes no row writes (filled with 0xCC
// before the load); and the records loaded, in order, as the tag's last two
// letters and the key. In 'pfMS', bytes 72-75 are 'otOM' word 0 then 'otPG'
// word 3 (the row after it overwrites the upper half), and bytes 106-107 are
// never written; 'otPG' is loaded under its first key word -2.
struct ExpectedTable {
    const char* tag;
    uint32_t size;
    const char* bytes;
    const char* loads;
};

const ExpectedTable kExpectedTables[] = {
    {"pf05", 24,
     "03d202d20acb08da09da13d504d503c100f414d112d113d1cccccccc",
     "OR0,0 OK0,1 OZ0,1 OU0,2 OU0,0 OA0,0 Ot0,0 OQ0,2"},
    {"pfDP", 72,
     "00c101c104c105c101ce02ce03ce0cc20dc212c213c202e203e202da03da04da"
     "03c401c404c400c403c703cb05cb04cb08cb15d118d108f309f311f500f510f5"
     "01f502f515d518d5cccccccc",
     "OA0,0 ON0,0 OB0,1 OB0,2 Ob0,0 OZ0,0 OD0,0 OG0,0 OK0,0 OK0,1 OQ0,2 OQ0,3 Os0,1 Ou0,2 Ou0,0 "
     "OU0,2 OU0,3"},
    {"pfMS", 108,
     "08c200c201c202c204c205c2000004e205e201e205da00da01da02ec02c402c7"
     "04c709cb01cb02cb00cb0bcb0cf50af50bf50af37cf17df180f181f103d404d4"
     "05d402f201f200f200cd03ff02cd10ec11ec12ec13ec10d909d900d901d914d9"
     "05cd04f30ada0ccb0df5cccccccccccc",
     "OB0,1 OB0,0 Ob0,0 OZ0,0 Ol0,0 OD0,0 OG0,0 OK0,1 OK0,0 Ou0,1 Os0,1 Oq0,15 Oq0,16 OT0,0 "
     "Or0,0 OM0,0 PG-2,0 Ol0,2 OY0,2 OY0,1 OY0,0 Os0,0 OZ0,1"},
    {"pfSI", 54,
     "0bc20ac210c211c208e209e200e201c700c705c703ec09ec0aec0bec00ec0cec"
     "01ec14ec15ec01f302f300f303f305f322f423f414d5cccccccc",
     "OB0,1 OB0,2 Ob0,1 Ob0,0 OG0,0 Ol0,0 Ol0,1 Ol0,2 Os0,0 Ot0,4 OU0,2"},
};

std::vector<uint8_t> FromHex(const char* hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes.push_back(uint8_t(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return bytes;
}

// The host's loads as "OR0,0 OK0,1 ...", each checked to be an 'ot..' load
// of 12 bytes into a buffer.
std::string LoadsOf(const testhost::HostState& host) {
    std::string loads;
    for (const auto& call : host.CallsOf(Fx::LoadEData)) {
        EXPECT_EQ(call.tag >> 16, 0x6F74u);
        EXPECT_TRUE(call.hasData);
        EXPECT_EQ(call.size, 12u);
        if (!loads.empty()) loads += ' ';
        loads += char(call.tag >> 8);
        loads += char(call.tag);
        loads += std::to_string(call.key1) + "," + std::to_string(call.key2);
    }
    return loads;
}

LegacyPrefField Row(char c, char d, int16_t key1, int16_t key2, int16_t offset, int16_t word,
                    int16_t width, int32_t conversion) {
    return LegacyPrefField{0, {c, d}, key1, key2, offset, word, width, conversion};
}

class LegacyPrefs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.loaded()); }
    testhost::HostState& host() { return process.host(); }
    int16_t Load(uint32_t tag, void* key, void* data, uint32_t* size) {
        return plugin.in().FX_LoadEData(tag, key, data, size);
    }

    HostProcess process;
    LoadedPlugin plugin;
};

TEST_F(LegacyPrefs, SizeQueriesAnswerWithoutAskingTheHost) {
    for (const ExpectedTable& table : kExpectedTables) {
        SCOPED_TRACE(table.tag);
        int16_t key[2] = {5, 6};
        uint32_t size = 0xDEADBEEF;
        EXPECT_EQ(Load(TagOf(table.tag), key, nullptr, &size), 1);
        EXPECT_EQ(size, table.size);
    }
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 0);
}

TEST_F(LegacyPrefs, EachTableDeliversEveryFieldWithOneLoadPerRecord) {
    SeedHostAnswers(host().score);
    for (const ExpectedTable& table : kExpectedTables) {
        SCOPED_TRACE(table.tag);
        host().calls.clear();
        std::vector<uint8_t> out(table.size + 4, 0xCC);
        uint32_t size = 1;  // too small, and not consulted
        EXPECT_EQ(Load(TagOf(table.tag), nullptr, out.data(), &size), 1);
        EXPECT_EQ(size, table.size);
        EXPECT_EQ(out, FromHex(table.bytes));
        EXPECT_EQ(LoadsOf(host()), table.loads);
    }
}

TEST_F(LegacyPrefs, TheCallersKeyAndByteCountChangeNothing) {
    SeedHostAnswers(host().score);
    const ExpectedTable& table = kExpectedTables[1];
    for (bool withKey : {false, true}) {
        SCOPED_TRACE(withKey);
        host().calls.clear();
        std::vector<uint8_t> out(table.size + 4, 0xCC);
        int16_t key[2] = {-2, 40};
        uint32_t size = withKey ? 100000 : 0;
        EXPECT_EQ(Load(TagOf(table.tag), withKey ? key : nullptr, out.data(), &size), 1);
        EXPECT_EQ(out, FromHex(table.bytes));
        EXPECT_EQ(LoadsOf(host()), table.loads);
    }
}

TEST_F(LegacyPrefs, LogicalNotFieldFollowsItsWord) {
    const uint32_t otOB = TagOf("otOB");
    for (uint16_t word : {uint16_t(0), uint16_t(1), uint16_t(0x8000)}) {
        host().score.SeedRecord(otOB, 0, 0, {7, 7, 7, word, 7, 7});
        uint8_t out[108];
        uint32_t size = 0;
        Load(TagOf("pfMS"), nullptr, out, &size);
        EXPECT_EQ(out[12] | out[13] << 8, word == 0 ? 1 : 0) << "word " << word;
    }
}

TEST_F(LegacyPrefs, FieldsOfRecordsTheHostLacksReadZero) {
    // Only 'pf05''s first record exists: rows 1 and 2 take its words 3 and
    // 2; the later rows must not inherit its words.
    host().score.SeedRecord(TagOf("otOR"), 0, 0, {0x1101, 0x2202, 0x3303, 0x4404, 0x5505, 0x6606});
    std::vector<uint8_t> out(28, 0xCC);
    uint32_t size = 0;
    EXPECT_EQ(Load(TagOf("pf05"), nullptr, out.data(), &size), 1);
    std::vector<uint8_t> expected(28, 0);
    expected[0] = 0x04, expected[1] = 0x44, expected[2] = 0x03, expected[3] = 0x33;
    for (size_t i = 24; i < 28; ++i) expected[i] = 0xCC;
    EXPECT_EQ(out, expected);
}

TEST(LegacyPrefsWithoutHostLoad, StillDeliversZerosAndTheSize) {
    HostProcess process({"FX_LoadEData"});
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    std::vector<uint8_t> out(24, 0xCC);
    uint32_t size = 0;
    EXPECT_EQ(plugin.in().FX_LoadEData(TagOf("pf05"), nullptr, out.data(), &size), 1);
    EXPECT_EQ(size, 24u);
    EXPECT_EQ(out, std::vector<uint8_t>(24, 0));
}

TEST_F(LegacyPrefs, NullSizePointerDoesNothing) {
    SeedHostAnswers(host().score);
    std::vector<uint8_t> out(24, 0xCC);
    EXPECT_EQ(Load(TagOf("pf05"), nullptr, out.data(), nullptr), 0);
    EXPECT_EQ(out, std::vector<uint8_t>(24, 0xCC));
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 0);
}

TEST_F(LegacyPrefs, ConversionCodesAndWidths) {
    host().score.SeedRecord(TagOf("otCV"), 0, 0, {0x1234, 0xABCD, 0x0000, 0x80FE, 0x5678, 0x9ABC});
    LegacyPrefField table[] = {
        Row('C', 'V', 0, 0, 0, 1, 2, 0),   // the word as loaded
        Row('C', 'V', 0, 0, 2, 2, 2, 3),   // not 0 -> 1
        Row('C', 'V', 0, 0, 4, 3, 2, 3),   // not nonzero -> 0
        Row('C', 'V', 0, 0, 6, 3, 2, 4),   // low byte only
        Row('C', 'V', 0, 0, 8, 0, 2, 9),   // unknown code: as loaded
        Row('C', 'V', 0, 0, 10, 0, 4, 1),  // first word high
        Row('C', 'V', 0, 0, 14, 0, 4, 2),  // record bytes in order
        Row('C', 'V', 0, 0, 18, 4, 4, 0),  // other codes give zero
        Row('C', 'V', 0, 0, 22, 4, 4, 7),
        Row('C', 'V', 0, 0, 26, 4, 3, 0),  // not 4: a 2-byte store
        Row('C', 'V', 0, 0, 29, 5, 4, 2),  // the word past the record reads 0
    };
    std::vector<uint8_t> out(34, 0xEE);
    uint32_t size = 0;
    EXPECT_EQ(plugin.in().EmulateLegacyPref(out.data(), &size, table, 11), 1);
    EXPECT_EQ(size, 33u);
    const std::vector<uint8_t> expected = {
        0xCD, 0xAB, 0x01, 0x00, 0x00, 0x00, 0xFE, 0x00, 0x34, 0x12, 0xCD, 0xAB,
        0x34, 0x12, 0x34, 0x12, 0xCD, 0xAB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x78, 0x56, 0xEE, 0xBC, 0x9A, 0x00, 0x00, 0xEE};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 1);
}

TEST_F(LegacyPrefs, ZeroFirstKeyBecomesMinusTwoForDigitSeries) {
    LegacyPrefField table[] = {
        Row('1', 'A', 0, 0, 0, 0, 2, 0),  Row('9', 'z', 0, 3, 2, 0, 2, 0),
        Row(':', 'z', 0, 0, 4, 0, 2, 0),  Row(char(0x80), 'z', 0, 0, 6, 0, 2, 0),
        Row('1', 'A', -2, 0, 8, 0, 2, 0), Row('1', 'A', 4, 0, 10, 0, 2, 0),
        Row('A', 'B', 0, 0, 12, 0, 2, 0),
    };
    uint8_t out[14];
    uint32_t size = 0;
    EXPECT_EQ(plugin.in().EmulateLegacyPref(out, &size, table, 7), 1);
    // Rows group by the key as listed, so 0 and -2 load separately.
    const std::vector<std::tuple<uint32_t, int16_t, int16_t>> expected = {
        {0x6F743141u, -2, 0}, {0x6F74397Au, -2, 3}, {0x6F743A7Au, 0, 0}, {0x6F74807Au, -2, 0},
        {0x6F743141u, -2, 0}, {0x6F743141u, 4, 0},  {0x6F744142u, 0, 0}};
    auto calls = host().CallsOf(Fx::LoadEData);
    ASSERT_EQ(calls.size(), expected.size());
    for (size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(std::make_tuple(calls[i].tag, calls[i].key1, calls[i].key2), expected[i]) << i;
}

TEST_F(LegacyPrefs, EveryLoadClearsAndSetsTheDoneFlags) {
    LegacyPrefField table[] = {Row('D', 'F', 0, 0, 0, 0, 2, 0), Row('D', 'G', 0, 0, 2, 0, 2, 0),
                               Row('D', 'F', 0, 0, 4, 1, 2, 0)};
    table[1].done = 1;  // stale flags from an earlier load must not skip rows
    for (uint16_t round : {uint16_t(10), uint16_t(20)}) {
        host().score.SeedRecord(TagOf("otDF"), 0, 0, {round, uint16_t(round + 1), 0, 0, 0, 0});
        host().score.SeedRecord(TagOf("otDG"), 0, 0, {uint16_t(round + 2), 0, 0, 0, 0, 0});
        uint16_t out[3] = {0, 0, 0};
        uint32_t size = 0;
        EXPECT_EQ(plugin.in().EmulateLegacyPref(out, &size, table, 3), 1);
        EXPECT_EQ(out[0], round);
        EXPECT_EQ(out[1], round + 2);
        EXPECT_EQ(out[2], round + 1);
        for (const auto& row : table) EXPECT_EQ(row.done, 1);
    }
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 4);
}

TEST_F(LegacyPrefs, RepeatedLoadOfATagDeliversEverythingAgain) {
    SeedHostAnswers(host().score);
    const ExpectedTable& table = kExpectedTables[3];
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        host().calls.clear();
        std::vector<uint8_t> out(table.size + 4, 0xCC);
        uint32_t size = 0;
        EXPECT_EQ(Load(TagOf(table.tag), nullptr, out.data(), &size), 1);
        EXPECT_EQ(out, FromHex(table.bytes));
        EXPECT_EQ(LoadsOf(host()), table.loads);
    }
}

// A bad field destination is reported through the runtime and skipped; the
// rows after it are delivered. The output lies in a page mapped low enough
// that one row's offset reaches address 0.
TEST_F(LegacyPrefs, NullFieldDestinationIsReportedAndSkipped) {
    void* const low = reinterpret_cast<void*>(0x1000);
    void* page = mmap(low, 4096, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (page != low) {
        if (page != MAP_FAILED) munmap(page, 4096);
        GTEST_SKIP() << "cannot map a page at 0x1000 here";
    }
    host().score.SeedRecord(TagOf("otND"), 0, 0, {0x1111, 0x2222, 0, 0, 0, 0});
    host().score.SeedRecord(TagOf("otNE"), 0, 0, {0x3333, 0x4444, 0, 0, 0, 0});
    LegacyPrefField table[] = {Row('N', 'D', 0, 0, -0x1000, 0, 2, 0),
                               Row('N', 'D', 0, 0, 0, 1, 2, 0),
                               Row('N', 'E', 0, 0, 2, 0, 4, 2)};
    emu::ResetInvalidParameterCount();
    errno = 0;
    uint32_t size = 0;
    EXPECT_EQ(plugin.in().EmulateLegacyPref(page, &size, table, 3), 1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(emu::InvalidParameterCount(), 1);
    const uint8_t expected[] = {0x22, 0x22, 0x33, 0x33, 0x44, 0x44};
    EXPECT_EQ(memcmp(page, expected, sizeof expected), 0);
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 2);
    munmap(page, 4096);
}

TEST_F(LegacyPrefs, OtherTagsGoToTheHostUnchanged) {
    for (uint32_t tag : {TagOf("pf06"), TagOf("pfms"), BlockTag + 1, TempoRecordTag}) {
        host().scriptedLoads[tag] = {{3, {}}};
        int16_t key[2] = {1, 2};
        uint8_t data[12];
        uint32_t size = 12;
        EXPECT_EQ(Load(tag, key, data, &size), 3);
        EXPECT_EQ(host().loadsByTag[tag], 1);
    }
}

// The 252-byte block load.
class BlockLoad : public LegacyPrefs {
protected:
    int16_t LoadBlock() { return Load(BlockTag, key, buffer.data(), &size); }
    bool BlockCleared() const {
        for (size_t i = 0; i < buffer.size(); ++i)
            if (buffer[i] != (i < 252 ? 0 : 0xCC)) return false;
        return true;
    }
    int16_t key[2] = {3, 4};
    uint32_t size = 252;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(260, 0xCC);
};

TEST_F(BlockLoad, WithoutBufferIsAnOrdinaryLoad) {
    host().scriptedLoads[BlockTag] = {{5, {}}};
    size = 77;
    EXPECT_EQ(Load(BlockTag, key, nullptr, &size), 5);
    auto calls = host().CallsOf(Fx::LoadEData);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].hasData);
    EXPECT_EQ(calls[0].keyAddress, key);
    EXPECT_EQ(calls[0].sizeAddress, &size);
    EXPECT_EQ(calls[0].size, 77u);
    EXPECT_EQ(calls[0].version, HostCallVersion);
}

TEST_F(BlockLoad, FailureWithAnEmptyBlockFails) {
    EXPECT_EQ(LoadBlock(), 0);
    EXPECT_TRUE(BlockCleared());
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 1);
}

TEST_F(BlockLoad, FailureThatLeftDataCountsAsSuccess) {
    for (size_t at : {size_t(0), size_t(251)}) {
        std::vector<uint8_t> bytes(252, 0);
        bytes[at] = 0x40;
        host().scriptedLoads[BlockTag] = {{0, bytes}};
        EXPECT_EQ(LoadBlock(), 1) << "byte " << at;
        EXPECT_EQ(buffer[at], 0x40);
    }
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 2);
}

TEST_F(BlockLoad, SuccessAsksTheHostAgainAndReturnsItsSecondAnswer) {
    for (int16_t second : {int16_t(0x0102), int16_t(0)}) {
        host().calls.clear();
        host().scriptedLoads[BlockTag] = {{1, {9, 9, 9}}, {second, {}}};
        EXPECT_EQ(LoadBlock(), second);
        auto calls = host().CallsOf(Fx::LoadEData);
        ASSERT_EQ(calls.size(), 2u);
        for (const auto& call : calls) {
            EXPECT_EQ(call.tag, BlockTag);
            EXPECT_EQ(call.keyAddress, key);
            EXPECT_EQ(call.dataAddress, buffer.data());
            EXPECT_EQ(call.sizeAddress, &size);
            EXPECT_EQ(std::make_pair(call.key1, call.key2), std::make_pair(int16_t(3), int16_t(4)));
        }
    }
}

TEST(BlockLoadWithoutHostLoad, ClearsTheBlockAndFails) {
    HostProcess process({"FX_LoadEData"});
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    std::vector<uint8_t> buffer(252, 0xCC);
    uint32_t size = 252;
    EXPECT_EQ(plugin.in().FX_LoadEData(BlockTag, nullptr, buffer.data(), &size), 0);
    EXPECT_EQ(buffer, std::vector<uint8_t>(252, 0));
}

// The runtime's checked copy and bounded format, as the Windows runtime
// behaves: errno, the invalid-parameter handler, then the error.
class RuntimeChecks : public ::testing::Test {
protected:
    void SetUp() override {
        emu::ResetInvalidParameterCount();
        errno = 0;
    }
};

TEST_F(RuntimeChecks, MemcpySRejectsBadArgumentsThroughTheHandler) {
    char dest[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(memcpy_s(dest, 4, "xyz", 3), 0);
    EXPECT_EQ(memcmp(dest, "xyzd", 4), 0);
    EXPECT_EQ(memcpy_s(nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(emu::InvalidParameterCount(), 0);

    EXPECT_EQ(memcpy_s(nullptr, 4, "xyz", 3), EINVAL);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(memcpy_s(dest, 4, nullptr, 3), EINVAL);
    EXPECT_EQ(memcmp(dest, "\0\0\0\0", 4), 0);
    memcpy(dest, "abcd", 4);
    EXPECT_EQ(memcpy_s(dest, 2, "xyz", 3), ERANGE);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(memcmp(dest, "\0\0cd", 4), 0);
    EXPECT_EQ(emu::InvalidParameterCount(), 3);
}

int customHandlerCalls = 0;
void CustomHandler(const WCHAR*, const WCHAR*, const WCHAR*, unsigned int, uintptr_t) {
    ++customHandlerCalls;
}

TEST_F(RuntimeChecks, AnInstalledHandlerReplacesTheDefault) {
    customHandlerCalls = 0;
    _invalid_parameter_handler previous = _set_invalid_parameter_handler(&CustomHandler);
    EXPECT_EQ(memcpy_s(nullptr, 2, "ab", 2), EINVAL);
    EXPECT_EQ(_set_invalid_parameter_handler(previous), &CustomHandler);
    EXPECT_EQ(customHandlerCalls, 1);
    EXPECT_EQ(emu::InvalidParameterCount(), 0);
}

TEST_F(RuntimeChecks, SprintfSFormatsOnlyWhatFits) {
    char text[8];
    EXPECT_EQ(sprintf_s(text, sizeof text, "%d-%s", 42, "ab"), 5);
    EXPECT_STREQ(text, "42-ab");
    EXPECT_EQ(sprintf_s(text, 4, "%s", "abc"), 3);
    EXPECT_EQ(emu::InvalidParameterCount(), 0);

    EXPECT_EQ(sprintf_s(text, 3, "%s", "abc"), -1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(errno, ERANGE);
    EXPECT_EQ(sprintf_s(nullptr, 8, "%d", 1), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(sprintf_s(text, 0, "%d", 1), -1);
    EXPECT_EQ(emu::InvalidParameterCount(), 3);
}

}  // namespace
