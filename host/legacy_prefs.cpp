// Legacy preference records assembled from the host's newer 'ot..' records,
// and the 252-byte block load. Older callers ask for 'pf..' records that the
// host no longer keeps; each is rebuilt field by field from a mapping table.
#include "host/legacy_prefs.h"

#include <string.h>

#include "host/host_abi.h"
#include "host/host_calls.h"
#include "winapi/zorv_windows.h"

namespace {

constexpr uint32_t LegacyBlockSize = 252;
constexpr uint32_t OtherRecordTagBase = 0x6F740000u;  // 'ot' in the upper half
constexpr uint32_t OtherRecordSize = 12;
constexpr int OtherRecordWords = 6;
constexpr int16_t DigitSeriesKey = -2;

// Only `done` changes at run time: each emulated load clears and sets it.
LegacyPrefField pf05Rows[] = {
    {0, {'O', 'R'}, 0, 0, 0, 3, 2, 0},   {0, {'O', 'R'}, 0, 0, 2, 2, 2, 0},
    {0, {'O', 'K'}, 0, 1, 4, 2, 2, 0},   {0, {'O', 'Z'}, 0, 1, 6, 0, 2, 0},
    {0, {'O', 'Z'}, 0, 1, 8, 1, 2, 0},   {0, {'O', 'U'}, 0, 2, 10, 3, 2, 0},
    {0, {'O', 'U'}, 0, 0, 12, 4, 2, 0},  {0, {'O', 'A'}, 0, 0, 14, 3, 2, 0},
    {0, {'O', 't'}, 0, 0, 16, 0, 2, 0},  {0, {'O', 'Q'}, 0, 2, 18, 4, 2, 0},
    {0, {'O', 'Q'}, 0, 2, 20, 2, 4, 2},
};

LegacyPrefField pfDPRows[] = {
    {0, {'O', 'A'}, 0, 0, 0, 0, 2, 0},   {0, {'O', 'A'}, 0, 0, 2, 1, 2, 0},
    {0, {'O', 'A'}, 0, 0, 4, 4, 2, 0},   {0, {'O', 'A'}, 0, 0, 6, 5, 2, 0},
    {0, {'O', 'N'}, 0, 0, 8, 1, 2, 0},   {0, {'O', 'N'}, 0, 0, 10, 2, 2, 0},
    {0, {'O', 'N'}, 0, 0, 12, 3, 2, 0},  {0, {'O', 'B'}, 0, 1, 14, 4, 2, 0},
    {0, {'O', 'B'}, 0, 1, 16, 5, 2, 0},  {0, {'O', 'B'}, 0, 2, 18, 2, 4, 2},
    {0, {'O', 'b'}, 0, 0, 22, 2, 2, 0},  {0, {'O', 'b'}, 0, 0, 24, 3, 2, 0},
    {0, {'O', 'Z'}, 0, 0, 26, 2, 2, 0},  {0, {'O', 'Z'}, 0, 0, 28, 3, 2, 0},
    {0, {'O', 'Z'}, 0, 0, 30, 4, 2, 0},  {0, {'O', 'D'}, 0, 0, 32, 3, 2, 0},
    {0, {'O', 'D'}, 0, 0, 34, 1, 2, 0},  {0, {'O', 'D'}, 0, 0, 36, 4, 2, 0},
    {0, {'O', 'D'}, 0, 0, 38, 0, 2, 0},  {0, {'O', 'G'}, 0, 0, 40, 3, 2, 0},
    {0, {'O', 'K'}, 0, 0, 42, 3, 2, 0},  {0, {'O', 'K'}, 0, 0, 44, 5, 2, 0},
    {0, {'O', 'K'}, 0, 0, 46, 4, 2, 0},  {0, {'O', 'K'}, 0, 1, 48, 0, 2, 0},
    {0, {'O', 'Q'}, 0, 2, 50, 5, 2, 0},  {0, {'O', 'Q'}, 0, 3, 52, 0, 2, 0},
    {0, {'O', 's'}, 0, 1, 54, 0, 4, 2},  {0, {'O', 'u'}, 0, 2, 58, 1, 2, 0},
    {0, {'O', 'u'}, 0, 0, 60, 0, 2, 0},  {0, {'O', 'u'}, 0, 2, 62, 0, 2, 0},
    {0, {'O', 'u'}, 0, 0, 64, 1, 2, 0},  {0, {'O', 'u'}, 0, 0, 66, 2, 2, 0},
    {0, {'O', 'U'}, 0, 2, 68, 5, 2, 0},  {0, {'O', 'U'}, 0, 3, 70, 0, 2, 0},
};

// Rows 35 and 36 share bytes 74-75 and the record's last two bytes are never
// written; callers of the legacy tag have always received it this way.
LegacyPrefField pfMSRows[] = {
    {0, {'O', 'B'}, 0, 1, 0, 0, 2, 0},   {0, {'O', 'B'}, 0, 0, 2, 0, 2, 0},
    {0, {'O', 'B'}, 0, 0, 4, 1, 2, 0},   {0, {'O', 'B'}, 0, 0, 6, 2, 2, 0},
    {0, {'O', 'B'}, 0, 0, 8, 4, 2, 0},   {0, {'O', 'B'}, 0, 0, 10, 5, 2, 0},
    {0, {'O', 'B'}, 0, 0, 12, 3, 2, 3},  {0, {'O', 'b'}, 0, 0, 14, 4, 2, 0},
    {0, {'O', 'b'}, 0, 0, 16, 5, 2, 0},  {0, {'O', 'b'}, 0, 0, 18, 1, 2, 0},
    {0, {'O', 'Z'}, 0, 0, 20, 5, 2, 0},  {0, {'O', 'Z'}, 0, 0, 22, 0, 2, 0},
    {0, {'O', 'Z'}, 0, 0, 24, 1, 2, 0},  {0, {'O', 'l'}, 0, 0, 26, 2, 2, 0},
    {0, {'O', 'D'}, 0, 0, 28, 2, 2, 0},  {0, {'O', 'G'}, 0, 0, 30, 2, 2, 0},
    {0, {'O', 'G'}, 0, 0, 32, 4, 2, 0},  {0, {'O', 'K'}, 0, 1, 34, 1, 2, 0},
    {0, {'O', 'K'}, 0, 0, 36, 1, 2, 0},  {0, {'O', 'K'}, 0, 0, 38, 2, 2, 0},
    {0, {'O', 'K'}, 0, 0, 40, 0, 2, 0},  {0, {'O', 'K'}, 0, 1, 42, 3, 2, 0},
    {0, {'O', 'u'}, 0, 1, 44, 4, 2, 0},  {0, {'O', 'u'}, 0, 1, 46, 2, 2, 0},
    {0, {'O', 'u'}, 0, 1, 48, 3, 2, 0},  {0, {'O', 's'}, 0, 1, 50, 2, 2, 0},
    {0, {'O', 'q'}, 0, 15, 52, 4, 4, 2}, {0, {'O', 'q'}, 0, 16, 56, 0, 4, 2},
    {0, {'O', 'T'}, 0, 0, 60, 3, 2, 0},  {0, {'O', 'T'}, 0, 0, 62, 4, 2, 0},
    {0, {'O', 'T'}, 0, 0, 64, 5, 2, 0},  {0, {'O', 'r'}, 0, 0, 66, 2, 2, 0},
    {0, {'O', 'r'}, 0, 0, 68, 1, 2, 0},  {0, {'O', 'r'}, 0, 0, 70, 0, 2, 0},
    {0, {'O', 'M'}, 0, 0, 72, 0, 4, 2},  {0, {'P', 'G'}, -2, 0, 74, 3, 2, 0},
    {0, {'O', 'M'}, 0, 0, 76, 2, 2, 0},  {0, {'O', 'l'}, 0, 2, 78, 0, 4, 2},
    {0, {'O', 'l'}, 0, 2, 82, 2, 4, 2},  {0, {'O', 'Y'}, 0, 2, 86, 0, 2, 0},
    {0, {'O', 'Y'}, 0, 1, 88, 1, 2, 0},  {0, {'O', 'Y'}, 0, 0, 90, 0, 4, 2},
    {0, {'O', 'Y'}, 0, 2, 94, 4, 2, 0},  {0, {'O', 'M'}, 0, 0, 96, 5, 2, 0},
    {0, {'O', 's'}, 0, 0, 98, 4, 2, 0},  {0, {'O', 'Z'}, 0, 1, 100, 2, 2, 0},
    {0, {'O', 'K'}, 0, 1, 102, 4, 2, 0}, {0, {'O', 'u'}, 0, 1, 104, 5, 2, 0},
};

LegacyPrefField pfSIRows[] = {
    {0, {'O', 'B'}, 0, 1, 0, 3, 2, 0},   {0, {'O', 'B'}, 0, 1, 2, 2, 2, 0},
    {0, {'O', 'B'}, 0, 2, 4, 0, 4, 2},   {0, {'O', 'b'}, 0, 1, 8, 0, 4, 2},
    {0, {'O', 'b'}, 0, 0, 12, 0, 2, 0},  {0, {'O', 'G'}, 0, 0, 14, 1, 2, 0},
    {0, {'O', 'G'}, 0, 0, 16, 0, 2, 0},  {0, {'O', 'G'}, 0, 0, 18, 5, 2, 0},
    {0, {'O', 'l'}, 0, 0, 20, 3, 2, 0},  {0, {'O', 'l'}, 0, 1, 22, 1, 2, 0},
    {0, {'O', 'l'}, 0, 1, 24, 2, 2, 0},  {0, {'O', 'l'}, 0, 1, 26, 3, 2, 0},
    {0, {'O', 'l'}, 0, 0, 28, 0, 2, 0},  {0, {'O', 'l'}, 0, 1, 30, 4, 2, 0},
    {0, {'O', 'l'}, 0, 0, 32, 1, 2, 0},  {0, {'O', 'l'}, 0, 2, 34, 4, 4, 2},
    {0, {'O', 's'}, 0, 0, 38, 1, 2, 0},  {0, {'O', 's'}, 0, 0, 40, 2, 2, 0},
    {0, {'O', 's'}, 0, 0, 42, 0, 2, 0},  {0, {'O', 's'}, 0, 0, 44, 3, 2, 0},
    {0, {'O', 's'}, 0, 0, 46, 5, 2, 0},  {0, {'O', 't'}, 0, 4, 48, 2, 4, 2},
    {0, {'O', 'U'}, 0, 2, 52, 4, 2, 0},
};

struct LegacyTable {
    uint32_t tag;
    LegacyPrefField* rows;
    int16_t rowCount;
};

template <size_t N>
constexpr LegacyTable MakeTable(uint32_t tag, LegacyPrefField (&rows)[N]) {
    return LegacyTable{tag, rows, int16_t(N)};
}

const LegacyTable kLegacyTables[] = {
    MakeTable(MakeTag('p', 'f', '0', '5'), pf05Rows),
    MakeTable(MakeTag('p', 'f', 'D', 'P'), pfDPRows),
    MakeTable(MakeTag('p', 'f', 'M', 'S'), pfMSRows),
    MakeTable(MakeTag('p', 'f', 'S', 'I'), pfSIRows),
};

const LegacyTable* FindLegacyTable(uint32_t tag) {
    for (const LegacyTable& table : kLegacyTables)
        if (table.tag == tag) return &table;
    return nullptr;
}

uint32_t ReportedSize(const LegacyPrefField* table, int16_t rowCount) {
    uint32_t size = 0;
    for (int16_t i = 0; i < rowCount; ++i) size += uint32_t(int32_t(table[i].width));
    return size;
}

uint32_t OtherRecordTag(const LegacyPrefField& row) {
    return OtherRecordTagBase | (uint32_t(uint8_t(row.subTag[0])) << 8) |
           uint32_t(uint8_t(row.subTag[1]));
}

// A zero key1 stands for the record series' usual first key, which is -2 for
// the series named by a digit (or anything below it, as a signed character).
int16_t FirstKeyWord(const LegacyPrefField& row) {
    if (row.key1 != 0) return row.key1;
    return int8_t(row.subTag[0]) <= '9' ? DigitSeriesKey : 0;
}

bool SameRecord(const LegacyPrefField& a, const LegacyPrefField& b) {
    return a.subTag[0] == b.subTag[0] && a.subTag[1] == b.subTag[1] && a.key1 == b.key1 &&
           a.key2 == b.key2;
}

// Cleared first, so the fields of a record the host does not have read 0
// rather than whatever the previous record left behind.
void LoadOtherRecord(const LegacyPrefField& row, uint16_t* record) {
    memset(record, 0, OtherRecordSize);
    int16_t key[2] = {FirstKeyWord(row), row.key2};
    uint32_t byteCount = OtherRecordSize;
    FX_LoadEData(OtherRecordTag(row), key, record, &byteCount);
}

// Words outside the record read 0: a row naming them must not read past it.
uint32_t RecordWord(const uint16_t* record, int index) {
    return index >= 0 && index < OtherRecordWords ? record[index] : 0;
}

uint32_t FieldValue(const LegacyPrefField& row, const uint16_t* record) {
    uint32_t first = RecordWord(record, row.wordIndex);
    if (row.width != 4) {
        if (row.conversion == 3) return first == 0 ? 1 : 0;
        if (row.conversion == 4) return first & 0xFF;
        return first;
    }
    uint32_t second = RecordWord(record, row.wordIndex + 1);
    if (row.conversion == 1) return (first << 16) | second;
    if (row.conversion == 2) return (second << 16) | first;
    return 0;
}

// memcpy_s rejects a null destination itself (errno EINVAL and the runtime's
// invalid-parameter handler), and the row is then simply not delivered.
void DeliverField(void* output, const LegacyPrefField& row, const uint16_t* record) {
    void* destination =
        reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(output) + intptr_t(row.outOffset));
    uint32_t value = FieldValue(row, record);
    if (row.width == 4) {
        memcpy_s(destination, sizeof value, &value, sizeof value);
    } else {
        uint16_t half = uint16_t(value);
        memcpy_s(destination, sizeof half, &half, sizeof half);
    }
}

bool AnyNonzero(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i)
        if (bytes[i] != 0) return true;
    return false;
}

// A failed load still counts when the host has left anything in the block.
int16_t LoadLegacyBlock(uint32_t tag, void* key, void* data, uint32_t* size) {
    memset(data, 0, LegacyBlockSize);
    if (LoadEDataFromHost(tag, key, data, size) != 0)
        return LoadEDataFromHost(tag, key, data, size);
    return AnyNonzero(data, LegacyBlockSize) ? 1 : 0;
}

}  // namespace

int16_t LoadLegacyEData(uint32_t tag, void* key, void* data, uint32_t* size, bool* handled) {
    *handled = true;
    if (tag == LegacyBlockTag && data) return LoadLegacyBlock(tag, key, data, size);
    // The legacy records have one instance each: the caller's key means nothing.
    if (const LegacyTable* table = FindLegacyTable(tag))
        return EmulateLegacyPref(data, size, table->rows, table->rowCount);
    *handled = false;
    return 0;
}

int16_t EmulateLegacyPref(void* output, uint32_t* sizeOut, LegacyPrefField* table,
                          int16_t rowCount) {
    if (!sizeOut) return 0;
    *sizeOut = ReportedSize(table, rowCount);
    if (!output) return 1;
    for (int16_t i = 0; i < rowCount; ++i) table[i].done = 0;
    uint16_t record[OtherRecordWords];
    for (int16_t i = 0; i < rowCount; ++i) {
        if (table[i].done) continue;
        LoadOtherRecord(table[i], record);
        // One host load serves every row that names the same record and key.
        for (int16_t j = i; j < rowCount; ++j) {
            if (table[j].done || !SameRecord(table[i], table[j])) continue;
            DeliverField(output, table[j], record);
            table[j].done = 1;
        }
    }
    return 1;
}
