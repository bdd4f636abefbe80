// A host that does as little as a host can: measure lengths are a table
// look-up, a created record is appended to a preallocated array, tempo
// records for the removal sit in fixed per-measure slots. Nothing is logged,
// so what a benchmark measures beyond these functions is the plug-in's own
// cost. Registered in the emulation as "FINALE.EXE" with the ten FX_ names.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "host/host_abi.h"

namespace lean {

// One host call with everything needed to make it again, for the replay.
struct HostCall {
    enum Kind : uint8_t { LoadEData, CreateEData, DeleteEData, GetMeasureDuration } kind;
    bool hasData = false;
    bool hasSize = false;
    int16_t key[2] = {0, 0};
    int16_t measure = 0;
    uint32_t tag = 0;
    uint32_t size = 0;
    int32_t data[3] = {0, 0, 0};
};

// Measures 1..count have `length` units; every other measure has none.
void SetMeasures(int32_t count, int32_t length);
// Room for `capacity` created records; creates beyond it are refused.
void ReserveCreated(size_t capacity);
void ClearCreated();
size_t CreatedCount();
// `perMeasure` tempo records (at most 16) in each of measures first..last.
void SeedTempo(int16_t first, int16_t last, int perMeasure);
void ClearTempo();
size_t TempoCount(int16_t measure);

// While set, every entry-data call and measure-length call is appended here.
void RecordCalls(std::vector<HostCall>* log);
// Makes the recorded calls again, in order, through the addresses the host
// module exports, as any other module reaches them.
void Replay(const std::vector<HostCall>& calls);

int16_t LoadEData(uint32_t tag, void* key, void* data, uint32_t* size, uint32_t version);
int16_t CreateEData(uint32_t tag, void* key, void* data, uint32_t size, uint32_t version);
int16_t DeleteEData(uint32_t tag, void* key, uint32_t version);
int32_t GetMeasureDuration(int32_t zero, int16_t measure, uint32_t version);
// Only returns a value: the call whose cost the wrapper is compared with.
int32_t GetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, uint32_t version);

// The address the registered host module exports under `name`, as another
// module reaches the host's functions; null when it exports no such name.
template <typename Proc>
Proc Exported(const char* name) {
    return reinterpret_cast<Proc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(u"FINALE.EXE"), name)));
}

// Registers the host for the life of the object.
class HostModule {
public:
    HostModule();
    ~HostModule();
    HostModule(const HostModule&) = delete;
    HostModule& operator=(const HostModule&) = delete;

private:
    HMODULE module_;
};

}  // namespace lean
