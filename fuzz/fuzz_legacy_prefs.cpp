// The legacy preference emulation inside the entry-data load, with arbitrary
// tags, host records, keys and size words, and with mapping tables of the
// fuzzer's own making (within the rows' documented ranges).
#include <fuzzer/FuzzedDataProvider.h>
#include <string.h>

#include <array>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/host_calls.h"
#include "host/legacy_prefs.h"

namespace {

constexpr uint32_t kLegacyTags[] = {MakeTag('p', 'f', '0', '5'), MakeTag('p', 'f', 'D', 'P'),
                                    MakeTag('p', 'f', 'M', 'S'), MakeTag('p', 'f', 'S', 'I')};
// The record letters the tables name, and a few that no table names.
const char kSubTags[] = "ORKZUAtQNBbDGsulTrMPYqa9\x80";

uint32_t OtTag(char first, char second) {
    return 0x6F740000u | (uint32_t(uint8_t(first)) << 8) | uint32_t(uint8_t(second));
}

// Host 'ot..' records with the fuzzer's words, under the keys the tables use.
void SeedHostRecords(FuzzedDataProvider& in) {
    const int count = in.ConsumeIntegralInRange<int>(0, 40);
    for (int i = 0; i < count; ++i) {
        const char first = in.PickValueInArray({'O', 'P'});
        const char second = kSubTags[in.ConsumeIntegralInRange<size_t>(0, sizeof kSubTags - 2)];
        const int16_t key1 = in.ConsumeBool() ? 0 : in.PickValueInArray<int16_t>({-2, 1, 5});
        const int16_t key2 = in.ConsumeIntegralInRange<int16_t>(0, 16);
        std::array<uint16_t, 6> words;
        for (auto& w : words) w = in.ConsumeIntegral<uint16_t>();
        testhost::Host().score.SeedRecord(OtTag(first, second), key1, key2, words);
    }
}

// A heap block of exactly `size` bytes, so that any write past it is caught.
std::unique_ptr<uint8_t[]> Block(size_t size) {
    return std::unique_ptr<uint8_t[]>(new uint8_t[size ? size : 1]());
}

int OtLoads() {
    int loads = 0;
    for (const auto& [tag, count] : testhost::Host().loadsByTag)
        if ((tag >> 16) == 0x6F74) loads += count;
    return loads;
}

// A legacy tag through the load call: a size query, then a load into a
// buffer of exactly the reported size.
void LoadLegacyTag(FuzzedDataProvider& in, uint32_t tag) {
    int16_t key[2] = {in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>()};
    uint32_t size = in.ConsumeIntegral<uint32_t>();
    FUZZ_CHECK(FX_LoadEData(tag, key, nullptr, &size) == 1);
    FUZZ_CHECK(OtLoads() == 0);
    FUZZ_CHECK(size > 0 && size <= 256);
    const uint32_t reported = size;
    auto output = Block(reported);
    size = in.ConsumeIntegral<uint32_t>();
    const int16_t result = FX_LoadEData(tag, in.ConsumeBool() ? key : nullptr, output.get(), &size);
    FUZZ_CHECK(result == 0 || result == 1);
    FUZZ_CHECK(size == reported);
    FUZZ_CHECK(FX_LoadEData(tag, key, output.get(), nullptr) == 0);
}

void LoadBlockTag(FuzzedDataProvider& in) {
    int16_t key[2] = {in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>()};
    uint32_t size = in.ConsumeIntegral<uint32_t>();
    auto output = Block(252);
    memset(output.get(), 0xEE, 252);
    const int16_t result = FX_LoadEData(LegacyBlockTag, key, output.get(), &size);
    FUZZ_CHECK(result == 0 || result == 1);
}

// The buffer a load of `tag` needs by the load call's contract: the block
// tag writes 252 bytes, a legacy tag its whole record (whatever byte count
// the caller passes: it is not consulted), any other tag at most the 12
// bytes of any record the stand-in host holds.
size_t BufferSizeFor(uint32_t tag) {
    if (tag == LegacyBlockTag) return 252;
    const uint32_t legacySizes[] = {24, 72, 108, 54};  // in the order of kLegacyTags
    for (size_t i = 0; i < 4; ++i)
        if (tag == kLegacyTags[i]) return legacySizes[i];
    return 12;
}

// Any tag through the load call, with a buffer its contract asks for: mostly
// tags that go to the host, now and then one of the special tags.
void LoadOtherTag(FuzzedDataProvider& in) {
    const uint32_t tag = in.ConsumeIntegral<uint32_t>();
    int16_t key[2] = {in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>()};
    uint32_t size = in.ConsumeIntegral<uint32_t>();
    auto output = Block(BufferSizeFor(tag));
    FX_LoadEData(tag, in.ConsumeBool() ? key : nullptr, in.ConsumeBool() ? output.get() : nullptr,
                 &size);
}

using Group = std::tuple<char, char, int16_t, int16_t>;

// A table of the fuzzer's own: widths 2 and 4 and the other widths that
// deliver two bytes, word indexes that stay inside the 12-byte record, every
// offset inside the reported size.
std::vector<LegacyPrefField> ConsumeTable(FuzzedDataProvider& in) {
    std::vector<LegacyPrefField> rows(in.ConsumeIntegralInRange<size_t>(0, 24));
    for (auto& row : rows) {
        row.done = in.ConsumeIntegral<int16_t>();
        row.subTag[0] = char(in.ConsumeIntegral<uint8_t>());
        row.subTag[1] = char(in.ConsumeIntegral<uint8_t>());
        row.key1 = in.ConsumeIntegralInRange<int16_t>(-2, 2);
        row.key2 = in.ConsumeIntegralInRange<int16_t>(0, 3);
        row.width = in.PickValueInArray<int16_t>({2, 4, 3, 6});
        row.wordIndex = in.ConsumeIntegralInRange<int16_t>(0, row.width == 4 ? 4 : 5);
        row.conversion = in.ConsumeIntegralInRange<int32_t>(-1, 5);
    }
    int32_t reported = 0;
    for (const auto& row : rows) reported += row.width;
    for (auto& row : rows) {
        const int32_t delivered = row.width == 4 ? 4 : 2;
        row.outOffset = in.ConsumeIntegralInRange<int16_t>(0, int16_t(reported - delivered));
    }
    return rows;
}

void EmulateOwnTable(FuzzedDataProvider& in) {
    std::vector<LegacyPrefField> table = ConsumeTable(in);
    std::set<Group> groups;
    uint32_t reported = 0;
    for (const auto& row : table) {
        groups.insert({row.subTag[0], row.subTag[1], row.key1, row.key2});
        reported += uint32_t(row.width);
    }
    uint32_t size = 0xDEADBEEF;
    auto output = Block(reported);
    const int16_t result = EmulateLegacyPref(output.get(), &size, table.data(), int16_t(table.size()));
    FUZZ_CHECK(result == 1);
    FUZZ_CHECK(size == reported);
    // One host load per record and key that the rows name.
    FUZZ_CHECK(OtLoads() == int(groups.size()));
    for (const auto& row : table) FUZZ_CHECK(row.done == 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnsureStandInHost();
    FuzzedDataProvider in(data, size);
    testhost::ResetHost();
    testhost::Host().recordCalls = false;
    SeedHostRecords(in);
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: LoadLegacyTag(in, in.PickValueInArray(kLegacyTags)); break;
        case 1: LoadBlockTag(in); break;
        case 2: LoadOtherTag(in); break;
        default: EmulateOwnTable(in); break;
    }
    return 0;
}
