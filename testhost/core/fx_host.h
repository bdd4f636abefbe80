// The stand-in host's ten FX_ functions over its score, with a log of every
// call as received (HostCallVersion included).
#pragma once

#include <stdint.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "host/host_abi.h"
#include "testhost/core/score.h"

namespace testhost {

enum class Fx : int {
    LoadEData,
    CreateEData,
    DeleteEData,
    Dialog,
    EndDialog,
    SetDlgFocus,
    GetCurERegions,
    GetMeasureDuration,
    GetDlgItemVal,
    SetDlgItemVal,
    Count
};
const char* FxName(Fx function);  // "FX_LoadEData", ...
const std::vector<std::string>& FxNames();

// One call as the host received it; fields that a function does not take
// stay at their defaults.
struct HostCall {
    Fx function = Fx::Count;
    uint32_t version = 0;
    // entry data
    uint32_t tag = 0;
    int16_t key1 = 0, key2 = 0;  // read from the key at the call
    bool hasKey = false;
    bool hasData = false;
    bool hasSize = false;
    // the pointers themselves, to tell repeated calls with the same arguments
    const void* keyAddress = nullptr;
    const void* dataAddress = nullptr;
    const void* sizeAddress = nullptr;
    uint32_t size = 0;           // *size at a load, the size at a create
    int32_t data[3] = {0, 0, 0}; // the block at a create
    // measures
    int32_t zero = 0;
    int16_t measure = 0;
    // dialogs
    HWND dialog = nullptr;
    int32_t controlId = 0;
    int16_t typeCode = 0;
    int32_t value = 0;
    int32_t resourceId = 0;
    DLGPROC proc = nullptr;
    HWND parent = nullptr;
    int32_t one = 0;
    LPARAM nothing = 0;
    const void* scratch[3] = {nullptr, nullptr, nullptr};
};

// How the host runs the plug-in's dialog; the runners provide it.
class DialogRunner {
public:
    virtual ~DialogRunner() = default;
    virtual INT_PTR RunDialog(int32_t resourceId, DLGPROC proc, HWND parent) = 0;
    virtual void EndDialog(HWND dialog) = 0;
};

// A load answer queued ahead of the score: its bytes are copied into the
// data buffer (when one is given) and its result is returned.
struct ScriptedLoad {
    int16_t result = 0;
    std::vector<uint8_t> bytes;
};

struct HostState {
    Score score;
    int16_t menuStatus = 1;
    std::vector<HostCall> calls;
    bool recordCalls = true;
    DialogRunner* dialogs = nullptr;
    // Loads by tag, and by (tag, key1, key2).
    std::map<uint32_t, int> loadsByTag;
    std::map<Score::OtherKey, int> loadsByKey;
    // When set, a tempo load that finds its record leaves this in *size, as
    // a host may: the plug-in must not rely on the word keeping its value.
    bool rewriteLoadSize = false;
    uint32_t loadSizeAnswer = 0;
    // Loads of a tag take these answers in order before the score is asked.
    std::map<uint32_t, std::deque<ScriptedLoad>> scriptedLoads;
    // Measures whose tempo loads never fail: a load at any index from 0 up
    // finds this record (its deletion finds nothing to delete). A negative
    // index still finds nothing, so a wrapped 16-bit index shows in the log.
    std::map<int16_t, TempoEntry> endlessTempo;
    // When set, a create writes over the key and the data block it was
    // handed (after logging them), as a host may: the caller must fill both
    // afresh for its next create.
    bool overwriteCreateArguments = false;
    // When set, every create is refused: nothing is stored and 0 returned.
    bool refuseCreates = false;
    // Bits the host sets above a button's check state (type codes 1 and 2)
    // when it answers for these controls, as a host may: what the plug-in
    // tests of the answer (its low 16 bits, or all 32) decides what it reads.
    std::map<int32_t, int32_t> checkHighBits;

    int CallCount(Fx function) const;
    std::vector<HostCall> CallsOf(Fx function) const;
};

// The one host state the FX_ functions work on.
HostState& Host();
void ResetHost();

// The host's integer reading and writing of dialog controls (type code 3 for
// an edit's integer, 1 and 2 for a button's check state).
int32_t ReadControlValue(HWND dialog, int32_t controlId, int16_t typeCode);
void WriteControlValue(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value);
// The edit-text rule: optional spaces, optional '-', 1 to 10 digits, fitting
// in signed 32 bits; anything else reads 0.
int32_t ParseEditInteger(const std::string& text);

int16_t FxLoadEData(uint32_t tag, void* key, void* data, uint32_t* size, uint32_t version);
int16_t FxCreateEData(uint32_t tag, void* key, void* data, uint32_t size, uint32_t version);
int16_t FxDeleteEData(uint32_t tag, void* key, uint32_t version);
INT_PTR FxDialog(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one, LPARAM nothing,
                 uint32_t version);
void FxEndDialog(HWND dialog, uint32_t version);
void FxSetDlgFocus(HWND dialog, int32_t controlId, uint32_t version);
int16_t FxGetCurERegions(void* scratch8, void* scratch24a, void* scratch24b, uint32_t version);
int32_t FxGetMeasureDuration(int32_t zero, int16_t measure, uint32_t version);
int32_t FxGetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, uint32_t version);
void FxSetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value,
                     uint32_t version);

// Name -> address of the ten functions, as the host exports them.
std::map<std::string, void*> FxExportTable();

}  // namespace testhost
