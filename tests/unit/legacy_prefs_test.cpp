// Legacy preference records rebuilt from 'ot..' records, the 252-byte block
// load, and the runtime's checked copy and format behind them.
#include <errno.h>
#include <string.h>
#include <sys/mman.h>

#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "tests/unit/plugin_fixture.h"
#include "winapi/emu/emu_crt.h"

namespace {

using testhost::Fx;
using Words = std::array<uint16_t, 6>;
using RecordId = std::tuple<uint32_t, int16_t, int16_t>;

constexpr uint32_t BlockTag = 0x4F156649u;

uint32_t TagOf(const char* name) {
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 |
           uint32_t(uint8_t(name[2])) << 8 | uint8_t(name[3]);
}

// A row as the legacy record's layout lists it: record, key, offset, word,
// width, conversion.
struct ListedRow {
    const char* record;
    int16_t key1, key2, offset, word, width;
    int32_t conversion;
};

struct ListedTable {
    const char* tag;
    uint32_t reportedSize;
    int hostLoads;
    std::vector<ListedRow> rows;
};

const std::vector<ListedTable>& ListedTables() {
    static const std::vector<ListedTable> tables = {
        {"pf05", 24, 8, {
    {"otOR", 0, 0, 0, 3, 2, 0}, {"otOR", 0, 0, 2, 2, 2, 0}, {"otOK", 0, 1, 4, 2, 2, 0},
    {"otOZ", 0, 1, 6, 0, 2, 0}, {"otOZ", 0, 1, 8, 1, 2, 0}, {"otOU", 0, 2, 10, 3, 2, 0},
    {"otOU", 0, 0, 12, 4, 2, 0}, {"otOA", 0, 0, 14, 3, 2, 0}, {"otOt", 0, 0, 16, 0, 2, 0},
    {"otOQ", 0, 2, 18, 4, 2, 0}, {"otOQ", 0, 2, 20, 2, 4, 2}}},
        {"pfDP", 72, 17, {
    {"otOA", 0, 0, 0, 0, 2, 0}, {"otOA", 0, 0, 2, 1, 2, 0}, {"otOA", 0, 0, 4, 4, 2, 0},
    {"otOA", 0, 0, 6, 5, 2, 0}, {"otON", 0, 0, 8, 1, 2, 0}, {"otON", 0, 0, 10, 2, 2, 0},
    {"otON", 0, 0, 12, 3, 2, 0}, {"otOB", 0, 1, 14, 4, 2, 0}, {"otOB", 0, 1, 16, 5, 2, 0},
    {"otOB", 0, 2, 18, 2, 4, 2}, {"otOb", 0, 0, 22, 2, 2, 0}, {"otOb", 0, 0, 24, 3, 2, 0},
    {"otOZ", 0, 0, 26, 2, 2, 0}, {"otOZ", 0, 0, 28, 3, 2, 0}, {"otOZ", 0, 0, 30, 4, 2, 0},
    {"otOD", 0, 0, 32, 3, 2, 0}, {"otOD", 0, 0, 34, 1, 2, 0}, {"otOD", 0, 0, 36, 4, 2, 0},
    {"otOD", 0, 0, 38, 0, 2, 0}, {"otOG", 0, 0, 40, 3, 2, 0}, {"otOK", 0, 0, 42, 3, 2, 0},
    {"otOK", 0, 0, 44, 5, 2, 0}, {"otOK", 0, 0, 46, 4, 2, 0}, {"otOK", 0, 1, 48, 0, 2, 0},
    {"otOQ", 0, 2, 50, 5, 2, 0}, {"otOQ", 0, 3, 52, 0, 2, 0}, {"otOs", 0, 1, 54, 0, 4, 2},
    {"otOu", 0, 2, 58, 1, 2, 0}, {"otOu", 0, 0, 60, 0, 2, 0}, {"otOu", 0, 2, 62, 0, 2, 0},
    {"otOu", 0, 0, 64, 1, 2, 0}, {"otOu", 0, 0, 66, 2, 2, 0}, {"otOU", 0, 2, 68, 5, 2, 0},
    {"otOU", 0, 3, 70, 0, 2, 0}}},
        {"pfMS", 108, 23, {
    {"otOB", 0, 1, 0, 0, 2, 0}, {"otOB", 0, 0, 2, 0, 2, 0}, {"otOB", 0, 0, 4, 1, 2, 0},
    {"otOB", 0, 0, 6, 2, 2, 0}, {"otOB", 0, 0, 8, 4, 2, 0}, {"otOB", 0, 0, 10, 5, 2, 0},
    {"otOB", 0, 0, 12, 3, 2, 3}, {"otOb", 0, 0, 14, 4, 2, 0}, {"otOb", 0, 0, 16, 5, 2, 0},
    {"otOb", 0, 0, 18, 1, 2, 0}, {"otOZ", 0, 0, 20, 5, 2, 0}, {"otOZ", 0, 0, 22, 0, 2, 0},
    {"otOZ", 0, 0, 24, 1, 2, 0}, {"otOl", 0, 0, 26, 2, 2, 0}, {"otOD", 0, 0, 28, 2, 2, 0},
    {"otOG", 0, 0, 30, 2, 2, 0}, {"otOG", 0, 0, 32, 4, 2, 0}, {"otOK", 0, 1, 34, 1, 2, 0},
    {"otOK", 0, 0, 36, 1, 2, 0}, {"otOK", 0, 0, 38, 2, 2, 0}, {"otOK", 0, 0, 40, 0, 2, 0},
    {"otOK", 0, 1, 42, 3, 2, 0}, {"otOu", 0, 1, 44, 4, 2, 0}, {"otOu", 0, 1, 46, 2, 2, 0},
    {"otOu", 0, 1, 48, 3, 2, 0}, {"otOs", 0, 1, 50, 2, 2, 0}, {"otOq", 0, 15, 52, 4, 4, 2},
    {"otOq", 0, 16, 56, 0, 4, 2}, {"otOT", 0, 0, 60, 3, 2, 0}, {"otOT", 0, 0, 62, 4, 2, 0},
    {"otOT", 0, 0, 64, 5, 2, 0}, {"otOr", 0, 0, 66, 2, 2, 0}, {"otOr", 0, 0, 68, 1, 2, 0},
    {"otOr", 0, 0, 70, 0, 2, 0}, {"otOM", 0, 0, 72, 0, 4, 2}, {"otPG", -2, 0, 74, 3, 2, 0},
    {"otOM", 0, 0, 76, 2, 2, 0}, {"otOl", 0, 2, 78, 0, 4, 2}, {"otOl", 0, 2, 82, 2, 4, 2},
    {"otOY", 0, 2, 86, 0, 2, 0}, {"otOY", 0, 1, 88, 1, 2, 0}, {"otOY", 0, 0, 90, 0, 4, 2},
    {"otOY", 0, 2, 94, 4, 2, 0}, {"otOM", 0, 0, 96, 5, 2, 0}, {"otOs", 0, 0, 98, 4, 2, 0},
    {"otOZ", 0, 1, 100, 2, 2, 0}, {"otOK", 0, 1, 102, 4, 2, 0}, {"otOu", 0, 1, 104, 5, 2, 0}}},
        {"pfSI", 54, 11, {
    {"otOB", 0, 1, 0, 3, 2, 0}, {"otOB", 0, 1, 2, 2, 2, 0}, {"otOB", 0, 2, 4, 0, 4, 2},
    {"otOb", 0, 1, 8, 0, 4, 2}, {"otOb", 0, 0, 12, 0, 2, 0}, {"otOG", 0, 0, 14, 1, 2, 0},
    {"otOG", 0, 0, 16, 0, 2, 0}, {"otOG", 0, 0, 18, 5, 2, 0}, {"otOl", 0, 0, 20, 3, 2, 0},
    {"otOl", 0, 1, 22, 1, 2, 0}, {"otOl", 0, 1, 24, 2, 2, 0}, {"otOl", 0, 1, 26, 3, 2, 0},
    {"otOl", 0, 0, 28, 0, 2, 0}, {"otOl", 0, 1, 30, 4, 2, 0}, {"otOl", 0, 0, 32, 1, 2, 0},
    {"otOl", 0, 2, 34, 4, 4, 2}, {"otOs", 0, 0, 38, 1, 2, 0}, {"otOs", 0, 0, 40, 2, 2, 0},
    {"otOs", 0, 0, 42, 0, 2, 0}, {"otOs", 0, 0, 44, 3, 2, 0}, {"otOs", 0, 0, 46, 5, 2, 0},
    {"otOt", 0, 4, 48, 2, 4, 2}, {"otOU", 0, 2, 52, 4, 2, 0}}},
    };
    return tables;
}

RecordId IdOf(const ListedRow& row) { return {TagOf(row.record), row.key1, row.key2}; }

// Every record the table reads, each with its own words (high bits set, so
// sign or byte-order slips show).
std::map<RecordId, Words> DistinctWords(const ListedTable& table, uint16_t salt) {
    std::map<RecordId, Words> records;
    for (const ListedRow& row : table.rows) {
        if (records.count(IdOf(row))) continue;
        uint16_t base = uint16_t(0x8000 | salt | (records.size() << 4));
        records[IdOf(row)] = {base, uint16_t(base + 1), uint16_t(base + 2), uint16_t(base + 3),
                              uint16_t(base + 4), uint16_t(base + 5)};
    }
    return records;
}

void PutLittleEndian(std::vector<uint8_t>& out, size_t offset, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[offset + i] = uint8_t(value >> (8 * i));
}

// The legacy record as the layout defines it; records absent from `seeded`
// read as zeros.
std::vector<uint8_t> ExpectedRecord(const ListedTable& table,
                                    const std::map<RecordId, Words>& seeded, size_t size,
                                    uint8_t fill) {
    std::vector<uint8_t> out(size, fill);
    for (const ListedRow& row : table.rows) {
        auto found = seeded.find(IdOf(row));
        Words words = found == seeded.end() ? Words{} : found->second;
        if (row.width == 4) {
            EXPECT_EQ(row.conversion, 2);
            PutLittleEndian(out, row.offset, words[row.word] | uint32_t(words[row.word + 1]) << 16, 4);
        } else {
            uint16_t word = words[row.word];
            PutLittleEndian(out, row.offset, row.conversion == 3 ? word == 0 : word, 2);
        }
    }
    return out;
}

LegacyPrefField Row(char c, char d, int16_t key1, int16_t key2, int16_t offset, int16_t word,
                    int16_t width, int32_t conversion) {
    return LegacyPrefField{0, {c, d}, key1, key2, offset, word, width, conversion};
}

class LegacyPrefs : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.loaded()); }
    testhost::HostState& host() { return process.host(); }
    void Seed(const std::map<RecordId, Words>& records) {
        for (const auto& [id, words] : records)
            host().score.SeedRecord(std::get<0>(id), std::get<1>(id), std::get<2>(id), words);
    }
    int16_t Load(uint32_t tag, void* key, void* data, uint32_t* size) {
        return plugin.in().FX_LoadEData(tag, key, data, size);
    }

    HostProcess process;
    LoadedPlugin plugin;
};

TEST_F(LegacyPrefs, SizeQueriesAnswerWithoutAskingTheHost) {
    for (const ListedTable& table : ListedTables()) {
        SCOPED_TRACE(table.tag);
        int16_t key[2] = {5, 6};
        uint32_t size = 0xDEADBEEF;
        EXPECT_EQ(Load(TagOf(table.tag), key, nullptr, &size), 1);
        EXPECT_EQ(size, table.reportedSize);
    }
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 0);
}

TEST_F(LegacyPrefs, EachTableDeliversEveryFieldWithOneLoadPerRecord) {
    for (const ListedTable& table : ListedTables()) {
        SCOPED_TRACE(table.tag);
        testhost::ResetHost();
        std::map<RecordId, Words> seeded = DistinctWords(table, 0x0100);
        Seed(seeded);
        std::vector<uint8_t> out(table.reportedSize + 8, 0xCC);
        uint32_t size = 1;  // too small, and not consulted
        EXPECT_EQ(Load(TagOf(table.tag), nullptr, out.data(), &size), 1);
        EXPECT_EQ(size, table.reportedSize);
        EXPECT_EQ(out, ExpectedRecord(table, seeded, out.size(), 0xCC));

        EXPECT_EQ(host().CallCount(Fx::LoadEData), table.hostLoads);
        EXPECT_EQ(seeded.size(), size_t(table.hostLoads));
        for (const auto& [id, words] : seeded) EXPECT_EQ(host().loadsByKey[id], 1);
        for (const auto& call : host().CallsOf(Fx::LoadEData)) {
            EXPECT_EQ(call.size, 12u);
            EXPECT_TRUE(call.hasData);
            EXPECT_EQ(call.tag >> 16, 0x6F74u);
        }
    }
}

TEST_F(LegacyPrefs, TheCallersKeyAndByteCountChangeNothing) {
    const ListedTable& table = ListedTables()[1];
    Seed(DistinctWords(table, 0x0200));
    std::vector<uint8_t> first(table.reportedSize, 0), second(table.reportedSize, 0);
    uint32_t size = 0;
    Load(TagOf(table.tag), nullptr, first.data(), &size);
    auto firstCalls = host().CallsOf(Fx::LoadEData);
    host().calls.clear();
    int16_t key[2] = {-2, 40};
    size = 100000;
    Load(TagOf(table.tag), key, second.data(), &size);
    EXPECT_EQ(first, second);
    auto secondCalls = host().CallsOf(Fx::LoadEData);
    ASSERT_EQ(firstCalls.size(), secondCalls.size());
    for (size_t i = 0; i < firstCalls.size(); ++i) {
        EXPECT_EQ(firstCalls[i].tag, secondCalls[i].tag);
        EXPECT_EQ(firstCalls[i].key1, secondCalls[i].key1);
        EXPECT_EQ(firstCalls[i].key2, secondCalls[i].key2);
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
    // Only the first record exists: later rows must not inherit its words.
    const ListedTable& table = ListedTables()[0];
    std::map<RecordId, Words> seeded = {{IdOf(table.rows[0]), {1, 2, 3, 4, 5, 6}}};
    Seed(seeded);
    std::vector<uint8_t> out(32, 0xCC);
    uint32_t size = 0;
    EXPECT_EQ(Load(TagOf(table.tag), nullptr, out.data(), &size), 1);
    EXPECT_EQ(out, ExpectedRecord(table, seeded, out.size(), 0xCC));
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
    Seed(DistinctWords(ListedTables()[0], 0));
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
    const ListedTable& table = ListedTables()[3];
    for (uint16_t salt : {uint16_t(0x0300), uint16_t(0x0600)}) {
        std::map<RecordId, Words> seeded = DistinctWords(table, salt);
        Seed(seeded);
        std::vector<uint8_t> out(table.reportedSize, 0);
        uint32_t size = 0;
        Load(TagOf(table.tag), nullptr, out.data(), &size);
        EXPECT_EQ(out, ExpectedRecord(table, seeded, out.size(), 0));
    }
    EXPECT_EQ(host().CallCount(Fx::LoadEData), 2 * table.hostLoads);
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
