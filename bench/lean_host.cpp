#include "bench/lean_host.h"

#include <string.h>

#include <array>
#include <memory>

#include "winapi/emu/emu_modules.h"

namespace lean {

namespace {

constexpr size_t kMeasureNumbers = 65536;
constexpr int kSlotsPerMeasure = 16;

struct TempoEntry {
    int32_t position, value, third;
};
struct MeasureTempo {
    int32_t count;
    TempoEntry entries[kSlotsPerMeasure];
};
struct CreatedRecord {
    int16_t measure;
    int32_t position, value, third;
};

size_t Slot(int16_t measure) { return size_t(int32_t(measure) + 32768); }

std::array<int32_t, kMeasureNumbers> measureLengths;
std::unique_ptr<MeasureTempo[]> tempo(new MeasureTempo[kMeasureNumbers]());
std::vector<CreatedRecord> created;
size_t createdCount = 0;
std::vector<HostCall>* recording = nullptr;

void Record(const HostCall& call) {
    if (recording) recording->push_back(call);
}

HostCall EntryCall(HostCall::Kind kind, uint32_t tag, const void* key) {
    HostCall call = {};
    call.kind = kind;
    call.tag = tag;
    if (key) memcpy(call.key, key, sizeof call.key);
    return call;
}

// The ten FX_ names; the ones no benchmark reaches answer 0.
INT_PTR Dialog(int32_t, DLGPROC, HWND, int32_t, LPARAM, uint32_t) { return 0; }
void EndDialog(HWND, uint32_t) {}
void SetDlgFocus(HWND, int32_t, uint32_t) {}
int16_t GetCurERegions(void*, void*, void*, uint32_t) { return 0; }
void SetDlgItemVal(HWND, int32_t, int16_t, int32_t, uint32_t) {}

}  // namespace

void SetMeasures(int32_t count, int32_t length) {
    measureLengths.fill(0);
    for (int32_t m = 1; m <= count && m <= 32767; ++m) measureLengths[Slot(int16_t(m))] = length;
}

void ReserveCreated(size_t capacity) { created.resize(capacity); }
void ClearCreated() { createdCount = 0; }
size_t CreatedCount() { return createdCount; }

void SeedTempo(int16_t first, int16_t last, int perMeasure) {
    for (int32_t m = first; m <= last; ++m) {
        MeasureTempo& slot = tempo[Slot(int16_t(m))];
        slot.count = perMeasure < kSlotsPerMeasure ? perMeasure : kSlotsPerMeasure;
        for (int i = 0; i < slot.count; ++i) slot.entries[i] = {i * 256, 100000 + i, 1000};
    }
}

void ClearTempo() {
    for (size_t i = 0; i < kMeasureNumbers; ++i) tempo[i].count = 0;
}

size_t TempoCount(int16_t measure) { return size_t(tempo[Slot(measure)].count); }

void RecordCalls(std::vector<HostCall>* log) { recording = log; }

__attribute__((noinline)) int16_t LoadEData(uint32_t tag, void* key, void* data, uint32_t* size,
                                            uint32_t) {
    if (recording) {
        HostCall call = EntryCall(HostCall::LoadEData, tag, key);
        call.hasData = data != nullptr;
        call.hasSize = size != nullptr;
        call.size = size ? *size : 0;
        Record(call);
    }
    if (tag != TempoRecordTag || !key) return 0;
    int16_t k[2];
    memcpy(k, key, sizeof k);
    const MeasureTempo& slot = tempo[Slot(k[0])];
    if (k[1] < 0 || k[1] >= slot.count) return 0;
    if (data) memcpy(data, &slot.entries[k[1]], sizeof(TempoEntry));
    return 1;
}

__attribute__((noinline)) int16_t CreateEData(uint32_t tag, void* key, void* data, uint32_t size,
                                              uint32_t) {
    if (recording) {
        HostCall call = EntryCall(HostCall::CreateEData, tag, key);
        call.hasData = data != nullptr;
        call.size = size;
        if (data && size >= sizeof call.data) memcpy(call.data, data, sizeof call.data);
        Record(call);
    }
    if (!key || !data || size < 12 || createdCount == created.size()) return 0;
    CreatedRecord& record = created[createdCount++];
    memcpy(&record.measure, key, sizeof record.measure);
    memcpy(&record.position, data, 12);
    return 1;
}

__attribute__((noinline)) int16_t DeleteEData(uint32_t tag, void* key, uint32_t) {
    if (recording) Record(EntryCall(HostCall::DeleteEData, tag, key));
    if (tag != TempoRecordTag || !key) return 0;
    int16_t k[2];
    memcpy(k, key, sizeof k);
    MeasureTempo& slot = tempo[Slot(k[0])];
    if (k[1] < 0 || k[1] >= slot.count) return 0;
    memmove(&slot.entries[k[1]], &slot.entries[k[1] + 1],
            sizeof(TempoEntry) * size_t(slot.count - k[1] - 1));
    --slot.count;
    return 1;
}

__attribute__((noinline)) int32_t GetMeasureDuration(int32_t, int16_t measure, uint32_t) {
    if (recording) {
        HostCall call = {};
        call.kind = HostCall::GetMeasureDuration;
        call.measure = measure;
        Record(call);
    }
    return measureLengths[Slot(measure)];
}

__attribute__((noinline)) int32_t GetDlgItemVal(HWND, int32_t controlId, int16_t typeCode,
                                                uint32_t) {
    return controlId + typeCode;
}

void Replay(const std::vector<HostCall>& calls) {
    const auto load = Exported<decltype(&LoadEData)>("FX_LoadEData");
    const auto create = Exported<decltype(&CreateEData)>("FX_CreateEData");
    const auto remove = Exported<decltype(&DeleteEData)>("FX_DeleteEData");
    const auto length = Exported<decltype(&GetMeasureDuration)>("FX_GetMeasureDuration");
    for (const HostCall& call : calls) {
        int16_t key[2] = {call.key[0], call.key[1]};
        int32_t data[3] = {call.data[0], call.data[1], call.data[2]};
        uint32_t size = call.size;
        switch (call.kind) {
            case HostCall::LoadEData:
                load(call.tag, key, call.hasData ? data : nullptr, call.hasSize ? &size : nullptr,
                     HostCallVersion);
                break;
            case HostCall::CreateEData:
                create(call.tag, key, data, call.size, HostCallVersion);
                break;
            case HostCall::DeleteEData:
                remove(call.tag, key, HostCallVersion);
                break;
            case HostCall::GetMeasureDuration:
                length(0, call.measure, HostCallVersion);
                break;
        }
    }
}

HostModule::HostModule() {
    module_ = emu::RegisterModule(
        u"FINALE.EXE",
        {{"FX_LoadEData", reinterpret_cast<void*>(&LoadEData)},
         {"FX_CreateEData", reinterpret_cast<void*>(&CreateEData)},
         {"FX_DeleteEData", reinterpret_cast<void*>(&DeleteEData)},
         {"FX_Dialog", reinterpret_cast<void*>(&Dialog)},
         {"FX_EndDialog", reinterpret_cast<void*>(&EndDialog)},
         {"FX_SetDlgFocus", reinterpret_cast<void*>(&SetDlgFocus)},
         {"FX_GetCurERegions", reinterpret_cast<void*>(&GetCurERegions)},
         {"FX_GetMeasureDuration", reinterpret_cast<void*>(&GetMeasureDuration)},
         {"FX_GetDlgItemVal", reinterpret_cast<void*>(&GetDlgItemVal)},
         {"FX_SetDlgItemVal", reinterpret_cast<void*>(&SetDlgItemVal)}});
}

HostModule::~HostModule() { emu::UnregisterModule(module_); }

}  // namespace lean
