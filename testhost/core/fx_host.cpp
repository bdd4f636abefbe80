#include "testhost/core/fx_host.h"

#include <limits.h>
#include <string.h>

#include "winapi/zorv_windows.h"

namespace testhost {

namespace {

const std::vector<std::string> kNames = {
    "FX_LoadEData",       "FX_CreateEData",   "FX_DeleteEData",    "FX_Dialog",
    "FX_EndDialog",       "FX_SetDlgFocus",   "FX_GetCurERegions", "FX_GetMeasureDuration",
    "FX_GetDlgItemVal",   "FX_SetDlgItemVal"};

constexpr size_t kCallsReserved = 8192;

HostState& State() {
    static HostState state;
    return state;
}

void Record(const HostCall& call) {
    if (State().recordCalls) State().calls.push_back(call);
}

HostCall Begin(Fx function, uint32_t version) {
    HostCall call;
    call.function = function;
    call.version = version;
    return call;
}

void ReadKey(HostCall& call, const void* key) {
    call.hasKey = key != nullptr;
    if (!key) return;
    memcpy(&call.key1, key, 2);
    memcpy(&call.key2, static_cast<const char*>(key) + 2, 2);
}

}  // namespace

const char* FxName(Fx function) { return kNames[size_t(function)].c_str(); }
const std::vector<std::string>& FxNames() { return kNames; }

int HostState::CallCount(Fx function) const {
    int count = 0;
    for (const auto& c : calls) count += c.function == function;
    return count;
}

std::vector<HostCall> HostState::CallsOf(Fx function) const {
    std::vector<HostCall> out;
    for (const auto& c : calls)
        if (c.function == function) out.push_back(c);
    return out;
}

HostState& Host() { return State(); }

void ResetHost() {
    DialogRunner* dialogs = State().dialogs;
    State() = HostState();
    State().dialogs = dialogs;
    // A ramp makes a few thousand calls: room for them up front spares the
    // log copying itself as it grows (a tenth of a shaped preview's time in
    // the WebAssembly module).
    State().calls.reserve(kCallsReserved);
}

int32_t ParseEditInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    size_t digits = 0;
    long long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        ++i;
        if (++digits > 10) return 0;
    }
    if (digits == 0 || i != text.size()) return 0;
    if (negative) value = -value;
    if (value < INT_MIN || value > INT_MAX) return 0;
    return int32_t(value);
}

int32_t ReadControlValue(HWND dialog, int32_t controlId, int16_t typeCode) {
    if (typeCode == 3) {
        char text[256] = {0};
        GetDlgItemTextA(dialog, controlId, text, int(sizeof text));
        return ParseEditInteger(text);
    }
    if (typeCode == 1 || typeCode == 2)
        return IsDlgButtonChecked(dialog, controlId) == BST_CHECKED ? 1 : 0;
    return 0;
}

void WriteControlValue(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value) {
    if (typeCode == 3) {
        char text[16];
        snprintf(text, sizeof text, "%d", value);
        SetDlgItemTextA(dialog, controlId, text);
    } else if (typeCode == 1 || typeCode == 2) {
        CheckDlgButton(dialog, controlId, value ? BST_CHECKED : BST_UNCHECKED);
    }
}

int16_t FxLoadEData(uint32_t tag, void* key, void* data, uint32_t* size, uint32_t version) {
    HostCall call = Begin(Fx::LoadEData, version);
    call.tag = tag;
    ReadKey(call, key);
    call.hasData = data != nullptr;
    call.hasSize = size != nullptr;
    call.keyAddress = key;
    call.dataAddress = data;
    call.sizeAddress = size;
    if (size) call.size = *size;
    Record(call);
    HostState& host = State();
    ++host.loadsByTag[tag];
    ++host.loadsByKey[{tag, call.key1, call.key2}];
    auto scripted = host.scriptedLoads.find(tag);
    if (scripted != host.scriptedLoads.end() && !scripted->second.empty()) {
        ScriptedLoad answer = scripted->second.front();
        scripted->second.pop_front();
        if (data && !answer.bytes.empty())
            memcpy(data, answer.bytes.data(), answer.bytes.size());
        return answer.result;
    }
    if (!key) return 0;
    if (tag == TempoRecordTag) {
        TempoEntry entry;
        auto endless = host.endlessTempo.find(call.key1);
        if (endless != host.endlessTempo.end() && call.key2 >= 0)
            entry = endless->second;
        else if (!host.score.LoadTempo(call.key1, call.key2, &entry))
            return 0;
        if (size && host.rewriteLoadSize) *size = host.loadSizeAnswer;
        if (data) {
            int32_t words[3] = {entry.position, entry.value, entry.third};
            memcpy(data, words, sizeof words);
        }
        return 1;
    }
    auto it = host.score.otherRecords.find({tag, call.key1, call.key2});
    if (it == host.score.otherRecords.end()) return 0;
    if (data) memcpy(data, it->second.data(), it->second.size());
    return 1;
}

int16_t FxCreateEData(uint32_t tag, void* key, void* data, uint32_t size, uint32_t version) {
    HostCall call = Begin(Fx::CreateEData, version);
    call.tag = tag;
    ReadKey(call, key);
    call.hasData = data != nullptr;
    call.size = size;
    if (data && size >= 12) memcpy(call.data, data, 12);
    Record(call);
    HostState& host = State();
    if (host.overwriteCreateArguments) {
        // Words no record of the plug-in carries: a key and a block reused
        // without refilling show in the next create.
        if (key) memset(key, 0x5A, 4);
        if (data) memset(data, 0xC3, size);
    }
    if (host.refuseCreates) return 0;
    if (tag != TempoRecordTag || !key || !data || size < 12) return 0;
    host.score.InsertTempo(call.key1, TempoEntry{call.data[0], call.data[1], call.data[2]});
    return 1;
}

int16_t FxDeleteEData(uint32_t tag, void* key, uint32_t version) {
    HostCall call = Begin(Fx::DeleteEData, version);
    call.tag = tag;
    ReadKey(call, key);
    Record(call);
    if (tag != TempoRecordTag || !key) return 0;
    return State().score.DeleteTempo(call.key1, call.key2) ? 1 : 0;
}

INT_PTR FxDialog(int32_t resourceId, DLGPROC proc, HWND parent, int32_t one, LPARAM nothing,
                 uint32_t version) {
    HostCall call = Begin(Fx::Dialog, version);
    call.resourceId = resourceId;
    call.proc = proc;
    call.parent = parent;
    call.one = one;
    call.nothing = nothing;
    Record(call);
    if (!State().dialogs) return 0;
    return State().dialogs->RunDialog(resourceId, proc, parent);
}

void FxEndDialog(HWND dialog, uint32_t version) {
    HostCall call = Begin(Fx::EndDialog, version);
    call.dialog = dialog;
    Record(call);
    if (State().dialogs) State().dialogs->EndDialog(dialog);
}

void FxSetDlgFocus(HWND dialog, int32_t controlId, uint32_t version) {
    HostCall call = Begin(Fx::SetDlgFocus, version);
    call.dialog = dialog;
    call.controlId = controlId;
    Record(call);
    if (HWND control = GetDlgItem(dialog, controlId)) SetFocus(control);
}

int16_t FxGetCurERegions(void* scratch8, void* scratch24a, void* scratch24b, uint32_t version) {
    HostCall call = Begin(Fx::GetCurERegions, version);
    call.scratch[0] = scratch8;
    call.scratch[1] = scratch24a;
    call.scratch[2] = scratch24b;
    Record(call);
    return State().menuStatus;
}

int32_t FxGetMeasureDuration(int32_t zero, int16_t measure, uint32_t version) {
    HostCall call = Begin(Fx::GetMeasureDuration, version);
    call.zero = zero;
    call.measure = measure;
    Record(call);
    return State().score.MeasureDuration(measure);
}

int32_t FxGetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, uint32_t version) {
    HostCall call = Begin(Fx::GetDlgItemVal, version);
    call.dialog = dialog;
    call.controlId = controlId;
    call.typeCode = typeCode;
    Record(call);
    const int32_t value = ReadControlValue(dialog, controlId, typeCode);
    const auto high = State().checkHighBits.find(controlId);
    if ((typeCode == 1 || typeCode == 2) && high != State().checkHighBits.end())
        return int32_t(uint32_t(value) | (uint32_t(high->second) & 0xFFFF0000u));
    return value;
}

void FxSetDlgItemVal(HWND dialog, int32_t controlId, int16_t typeCode, int32_t value,
                     uint32_t version) {
    HostCall call = Begin(Fx::SetDlgItemVal, version);
    call.dialog = dialog;
    call.controlId = controlId;
    call.typeCode = typeCode;
    call.value = value;
    Record(call);
    WriteControlValue(dialog, controlId, typeCode, value);
}

std::map<std::string, void*> FxExportTable() {
    return {
        {"FX_LoadEData", reinterpret_cast<void*>(&FxLoadEData)},
        {"FX_CreateEData", reinterpret_cast<void*>(&FxCreateEData)},
        {"FX_DeleteEData", reinterpret_cast<void*>(&FxDeleteEData)},
        {"FX_Dialog", reinterpret_cast<void*>(&FxDialog)},
        {"FX_EndDialog", reinterpret_cast<void*>(&FxEndDialog)},
        {"FX_SetDlgFocus", reinterpret_cast<void*>(&FxSetDlgFocus)},
        {"FX_GetCurERegions", reinterpret_cast<void*>(&FxGetCurERegions)},
        {"FX_GetMeasureDuration", reinterpret_cast<void*>(&FxGetMeasureDuration)},
        {"FX_GetDlgItemVal", reinterpret_cast<void*>(&FxGetDlgItemVal)},
        {"FX_SetDlgItemVal", reinterpret_cast<void*>(&FxSetDlgItemVal)},
    };
}

}  // namespace testhost
