#include "testhost/windows/validate.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <array>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "testhost/core/dialog_script.h"
#include "testhost/core/fx_host.h"
#include "testhost/core/scenario.h"
#include "testhost/core/settings_store.h"
#include "testhost/windows/import_patch.h"
#include "testhost/windows/plugin_module.h"
#include "testhost/windows/windows_platform.h"

namespace testhost {

namespace {

const wchar_t kPluginFileName[] = L"ZorvTempo64.fxt";
constexpr int kLoadCycles = 100;
constexpr int kRaceLoads = 20;
constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
constexpr int32_t kThroughEndOfMeasure = 0x7FFFFFFF;
// The word a current host passes to FinaleExtensionVersion.
constexpr uint32_t kHostWord = 0x1B200000;
// Failures listed in detail per check; the rest are only counted.
constexpr size_t kFaultsShown = 5;

// ---- the settings record as stored: fourteen little-endian 16-bit words

enum Word {
    StartUnit,
    StartModifier,
    StartTempo,
    StartReserved,
    StopUnit,
    StopModifier,
    StopTempo,
    StopReserved,
    AfterAction,
    Reserved1,
    Reserved2,
    RegionHasTempo,
    DialogLeft,
    DialogTop,
    WordCount
};

struct SettingsRecord {
    std::array<int16_t, WordCount> words{};

    std::vector<uint8_t> Bytes() const {
        std::vector<uint8_t> bytes;
        for (int16_t word : words) {
            bytes.push_back(uint8_t(uint16_t(word) & 0xFF));
            bytes.push_back(uint8_t(uint16_t(word) >> 8));
        }
        return bytes;
    }
};

// The host's tempo value of a beat, worked out independently of the
// module: units per millisecond with 16 fraction bits, truncated after the
// division by 60 and again after the one by 1000.
int32_t ExpectedTempoValue(int unit, int modifier, int tempo) {
    static const int64_t kPlain[] = {256, 512, 1024, 2048, 4096};
    int64_t duration = kPlain[unit];
    if (modifier == 2) duration = duration * 15 / 10;
    int64_t perMinute = duration * 4096 * tempo / 60;
    return int32_t(perMinute * 16 / 1000);
}

int32_t StartValue(const SettingsRecord& r) {
    return ExpectedTempoValue(r.words[StartUnit], r.words[StartModifier], r.words[StartTempo]);
}

int32_t StopValue(const SettingsRecord& r) {
    return ExpectedTempoValue(r.words[StopUnit], r.words[StopModifier], r.words[StopTempo]);
}

int Between(std::mt19937_64& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

// Everything the dialog can show and give back unchanged: units it has a
// radio button for, plain or dotted, tempos it accepts and that differ in
// value, a position on the screen; the reserved words are anything.
SettingsRecord RandomDialogRecord(std::mt19937_64& random) {
    SettingsRecord r;
    do {
        r.words[StartUnit] = int16_t(Between(random, 0, 4));
        r.words[StartModifier] = int16_t(Between(random, 0, 1) * 2);
        r.words[StartTempo] = int16_t(Between(random, 20, 600));
        r.words[StopUnit] = int16_t(Between(random, 0, 4));
        r.words[StopModifier] = int16_t(Between(random, 0, 1) * 2);
        r.words[StopTempo] = int16_t(Between(random, 20, 600));
    } while (StartValue(r) == StopValue(r));
    for (Word reserved : {StartReserved, StopReserved, Reserved1, Reserved2})
        r.words[reserved] = int16_t(Between(random, -32768, 32767));
    r.words[AfterAction] = int16_t(Between(random, 0, 2));
    r.words[RegionHasTempo] = 0;
    r.words[DialogLeft] = int16_t(Between(random, 0, kScreenWidth - 1));
    r.words[DialogTop] = int16_t(Between(random, 0, kScreenHeight - 1));
    return r;
}

std::string Hex(const std::vector<uint8_t>& bytes) { return bytes.empty() ? "(none)" : ToHex(bytes); }

// ---- the settings value in the real registry

// The stored bytes; empty when there is no value. `type` receives its type.
std::vector<uint8_t> ReadSettings(DWORD* type) {
    std::vector<uint8_t> bytes;
    ReadSettingsValue(&bytes, type);
    return bytes;
}

// "" when the stored value is exactly `expected` as REG_BINARY.
std::string StoredDiffers(const std::vector<uint8_t>& expected) {
    DWORD type = REG_NONE;
    std::vector<uint8_t> stored = ReadSettings(&type);
    if (stored == expected && type == REG_BINARY) return "";
    return "stored " + Hex(stored) + " type " + std::to_string(type) + ", expected " +
           Hex(expected) + " type 3";
}

// ---- findings

class Check {
public:
    explicit Check(std::string name) : name_(std::move(name)) {}

    void Fault(const std::string& what) {
        if (faults_.size() < kFaultsShown) faults_.push_back(what);
        ++faultCount_;
    }
    void Expect(bool passed, const std::string& what) {
        if (!passed) Fault(what);
    }
    bool Passed() const { return faultCount_ == 0; }

    // One line for the check, then the first faults in detail.
    bool Print() const {
        printf("%s - %s\n", Passed() ? "ok" : "not ok", name_.c_str());
        for (const auto& fault : faults_) printf("#   %s\n", fault.c_str());
        if (faultCount_ > faults_.size())
            printf("#   ... %zu faults in all\n", faultCount_);
        fflush(stdout);
        return Passed();
    }

private:
    std::string name_;
    std::vector<std::string> faults_;
    size_t faultCount_ = 0;
};

// ---- the module

bool ModuleIsLoaded() { return GetModuleHandleW(kPluginFileName) != nullptr; }

// The module loaded for one scope, with its entry points.
class LoadedModule {
public:
    explicit LoadedModule(WindowsPlatform& host) : host_(host) {
        host_.PrepareHost(Narrow(FileNameOf(OwnExecutablePath())), {});
        module_ = host_.LoadPlugin();
        entry_ = EntryPointsOf(module_);
    }
    ~LoadedModule() { Unload(); }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool Ready() const { return module_ && entry_.Complete(); }
    HMODULE Get() const { return module_; }
    const PluginEntryPoints& Entry() const { return entry_; }
    void Unload() {
        if (module_) host_.UnloadPlugin(module_);
        module_ = nullptr;
    }

private:
    WindowsPlatform& host_;
    HMODULE module_ = nullptr;
    PluginEntryPoints entry_;
};

std::string LoadFailure(const WindowsPlatform& host) {
    return "the module did not load (error " + std::to_string(host.LoadError()) + ")";
}

// Measures 1..N, each a 4/4, 3/4 or 2/4 measure.
std::vector<int32_t> RandomScore(std::mt19937_64& random) {
    static const int32_t kLengths[] = {2048, 3072, 4096};
    std::vector<int32_t> lengths(size_t(Between(random, 1, 4)));
    for (int32_t& length : lengths) length = kLengths[Between(random, 0, 2)];
    return lengths;
}

void PrepareScore(const std::vector<int32_t>& measureLengths) {
    ResetHost();
    Host().score.measureLengths = measureLengths;
}

UserAction Click(int control) {
    UserAction action;
    action.kind = ActionKind::Click;
    action.control = control;
    return action;
}

UserAction Move(int x, int y) {
    UserAction action;
    action.kind = ActionKind::Move;
    action.x = x;
    action.y = y;
    return action;
}

// One run of the menu command on the whole score, the dialog worked by the
// shared scripted user and its message boxes answered "no".
InvocationReport Invoke(WindowsPlatform& host, const LoadedModule& module, int16_t measures,
                        const std::vector<UserAction>& user) {
    DialogScript script(module.Get(), host.HostWindow());
    Host().dialogs = &script;
    host.SetMessageBoxAnswerer(&DialogScript::AnswerBoxThunk, &script);
    Invocation invocation;
    invocation.region = RegionSpec{1, 0, measures, kThroughEndOfMeasure};
    invocation.user = user;
    script.Begin(invocation);

    ERegion region;
    memset(&region, 0xA5, sizeof region);
    region.startMeasure = 1;
    region.startPosition = 0;
    region.endMeasure = measures;
    region.endPosition = kThroughEndOfMeasure;
    int32_t result = module.Entry().invoke(host.HostWindow(), nullptr, &region);

    InvocationReport report = script.Finish();
    report.result = result;
    host.SetMessageBoxAnswerer(nullptr, nullptr);
    Host().dialogs = nullptr;
    return report;
}

std::string Row(const TempoRow& row) {
    char text[80];
    snprintf(text, sizeof text, "[%d, %d, %d, %d]", row[0], row[1], row[2], row[3]);
    return text;
}

// The ramp begins on the region's first unit with the start value and ends
// with the record `afterAction` asks for; only its ends are checked here,
// its inside is the scenario suite's business.
std::string RampDiffers(const SettingsRecord& settings, const std::vector<int32_t>& lengths) {
    std::vector<TempoRow> rows = Host().score.AllTempo();
    if (rows.size() < 2) return "the score holds " + std::to_string(rows.size()) + " records";
    int32_t last = int32_t(lengths.size());
    TempoRow first = {1, 0, StartValue(settings), 1000};
    TempoRow final = {last + 1, 0, StopValue(settings), 1000};
    if (settings.words[AfterAction] == 0) final = {last, lengths.back() - 1, StopValue(settings), 1000};
    if (settings.words[AfterAction] == 2) final[2] = StartValue(settings);
    if (rows.front() != first) return "first record " + Row(rows.front()) + ", expected " + Row(first);
    if (rows.back() != final) return "final record " + Row(rows.back()) + ", expected " + Row(final);
    return "";
}

// ---- 1: load, initialise, confirm the dialog, terminate, unload

std::string RunCycle(WindowsPlatform& host, std::mt19937_64& random) {
    SettingsRecord stored = RandomDialogRecord(random);
    std::vector<int32_t> lengths = RandomScore(random);
    PrepareScore(lengths);
    if (!StoreSettingsValue(stored.Bytes())) return "could not store the settings";

    InvocationReport shown;
    LONG terminated = -1;
    {
        LoadedModule module(host);
        if (!module.Ready()) return LoadFailure(host);
        module.Entry().version(kHostWord);
        uint32_t flags = 0;
        module.Entry().init(nullptr, &flags);
        shown = Invoke(host, module, int16_t(lengths.size()), {Click(IDOK)});
        terminated = module.Entry().terminate();
    }
    if (ModuleIsLoaded()) return "the module is still loaded after FreeLibrary";
    if (shown.result != 1) return "the invocation did not return 1";
    if (shown.closedBy != ClosedBy::Plugin || !shown.boxes.empty())
        return "OK did not close the dialog without a message (" +
               std::to_string(shown.boxes.size()) + " boxes, first: " +
               (shown.boxes.empty() ? std::string("none") : shown.boxes[0].text) + ")";
    if (!shown.shown || shown.shown->left != stored.words[DialogLeft] ||
        shown.shown->top != stored.words[DialogTop])
        return "the dialog was not restored to the stored position";
    if (terminated != ERROR_SUCCESS) return "terminate returned " + std::to_string(terminated);
    std::string stale = StoredDiffers(stored.Bytes());
    if (!stale.empty()) return stale;
    return RampDiffers(stored, lengths);
}

bool CheckLoadCycles(WindowsPlatform& host, std::mt19937_64& random) {
    Check check(std::to_string(kLoadCycles) +
                " load/unload cycles: random settings survive a confirmed dialog byte for byte, "
                "the ramp reaches the score, the module leaves with FreeLibrary");
    for (int cycle = 1; cycle <= kLoadCycles; ++cycle) {
        std::string fault = RunCycle(host, random);
        if (!fault.empty()) check.Fault("cycle " + std::to_string(cycle) + ": " + fault);
    }
    return check.Print();
}

// ---- 2: two threads race the first call of one host wrapper

using GetProcAddressProc = FARPROC(WINAPI*)(HMODULE, LPCSTR);

std::atomic<int> racedLookups{0};

// Counts the module's lookups of the raced function and takes its time
// about it, so that the second thread arrives while the first is still
// resolving.
FARPROC WINAPI SlowCountingLookUp(HMODULE module, LPCSTR name) {
    bool byName = (reinterpret_cast<ULONG_PTR>(name) >> 16) != 0;
    if (byName && strcmp(name, "FX_GetCurERegions") == 0) {
        racedLookups.fetch_add(1);
        Sleep(20);
    }
    return GetProcAddress(module, name);
}

// Both threads are started, wait for each other, then call together.
std::array<int32_t, 2> CallTogether(FinaleExtensionGetMenuStatus_Proc menuStatus) {
    std::array<int32_t, 2> answers = {0, 0};
    std::atomic<int> waiting{0};
    std::atomic<bool> go{false};
    auto caller = [&](int which) {
        waiting.fetch_add(1);
        while (!go.load()) std::this_thread::yield();
        answers[size_t(which)] = menuStatus();
    };
    std::thread first(caller, 0);
    std::thread second(caller, 1);
    while (waiting.load() < 2) std::this_thread::yield();
    go.store(true);
    first.join();
    second.join();
    return answers;
}

std::string RunRace(WindowsPlatform& host, std::mt19937_64& random) {
    ResetHost();
    // Two threads at once would race the host's own call log.
    Host().recordCalls = false;
    int16_t status = int16_t(Between(random, -32768, 32766));
    if (status == 0) status = 32767;
    Host().menuStatus = status;
    racedLookups.store(0);

    std::array<int32_t, 2> answers;
    {
        LoadedModule module(host);
        if (!module.Ready()) return LoadFailure(host);
        if (!PatchImport(module.Get(), "KERNEL32.dll", "GetProcAddress",
                         reinterpret_cast<void*>(&SlowCountingLookUp)))
            return "the module's GetProcAddress import could not be intercepted";
        answers = CallTogether(module.Entry().menuStatus);
    }
    Host().recordCalls = true;
    std::string got = std::to_string(answers[0]) + " and " + std::to_string(answers[1]);
    if (answers[0] != status || answers[1] != status)
        return "answers " + got + ", the host's is " + std::to_string(status);
    if (racedLookups.load() != 1)
        return "FX_GetCurERegions looked up " + std::to_string(racedLookups.load()) + " times";
    if (ModuleIsLoaded()) return "the module is still loaded after FreeLibrary";
    return "";
}

bool CheckRacedBinding(WindowsPlatform& host, std::mt19937_64& random) {
    Check check(std::to_string(kRaceLoads) +
                " fresh loads, two threads racing the first menu status call: both get the "
                "host's answer, one lookup of FX_GetCurERegions");
    for (int load = 1; load <= kRaceLoads; ++load) {
        std::string fault = RunRace(host, random);
        if (!fault.empty()) check.Fault("load " + std::to_string(load) + ": " + fault);
    }
    return check.Print();
}

// ---- 3: Init and Terminate repeated and out of order

const std::vector<uint8_t> kSpoiled(28, 0xEE);

// Terminate before any Init since the module loaded has no settings to
// save: it leaves the stored value as it is (a record, or none at all) and
// returns 0, also when it is called a second time.
bool CheckTerminateFirst(WindowsPlatform& host) {
    Check check("terminate before any init leaves the stored value as it is and returns 0, twice");
    ResetHost();
    // Every field differs from its default and from zero.
    const std::vector<uint8_t> stored = {0x03, 0x00, 0x02, 0x00, 0x58, 0x02, 0x07, 0x00,
                                         0x00, 0x00, 0x01, 0x00, 0x2c, 0x01, 0xf9, 0xff,
                                         0x02, 0x00, 0x05, 0x00, 0xfd, 0xff, 0x01, 0x00,
                                         0xe8, 0x03, 0xf4, 0xff};
    for (bool withValue : {true, false}) {
        const std::string run = withValue ? "with a stored record: " : "with no stored value: ";
        check.Expect(withValue ? StoreSettingsValue(stored) : DeleteSettingsValue(),
                     run + "could not prepare the stored value");
        LoadedModule module(host);
        if (!module.Ready()) {
            check.Fault(LoadFailure(host));
            break;
        }
        for (const char* which : {"first", "second"}) {
            LONG status = module.Entry().terminate();
            check.Expect(status == ERROR_SUCCESS,
                         run + which + " terminate returned " + std::to_string(status));
            if (withValue) {
                std::string changed = StoredDiffers(stored);
                check.Expect(changed.empty(), run + which + " terminate: " + changed);
            } else {
                DWORD type = REG_NONE;
                std::vector<uint8_t> written;
                check.Expect(!ReadSettingsValue(&written, &type),
                             run + which + " terminate stored " + Hex(written) + " type " +
                                 std::to_string(type));
            }
        }
    }
    return check.Print();
}

// A Cancel after a move changes only the position in memory. Terminated
// right away, the move is stored (so the Cancel path does reach the
// record); with a second Init in between, the stored record is reloaded
// and the move is gone.
bool CheckSecondInit(WindowsPlatform& host, std::mt19937_64& random) {
    Check check("a second init discards unsaved changes; terminate twice stores the same bytes");
    SettingsRecord stored = RandomDialogRecord(random);
    std::vector<int32_t> lengths = RandomScore(random);
    int16_t measures = int16_t(lengths.size());

    for (bool initAgain : {false, true}) {
        PrepareScore(lengths);
        SettingsRecord expected = stored;
        int x = (stored.words[DialogLeft] + 1 + Between(random, 0, 500)) % kScreenWidth;
        int y = (stored.words[DialogTop] + 1 + Between(random, 0, 400)) % kScreenHeight;
        if (!initAgain) {
            expected.words[DialogLeft] = int16_t(x);
            expected.words[DialogTop] = int16_t(y);
        }
        std::string run = initAgain ? "init, cancel after a move, init, terminate: "
                                    : "init, cancel after a move, terminate: ";
        check.Expect(StoreSettingsValue(stored.Bytes()), "could not store the settings");
        LoadedModule module(host);
        if (!module.Ready()) {
            check.Fault(LoadFailure(host));
            break;
        }
        module.Entry().version(kHostWord);
        uint32_t flags = 0;
        module.Entry().init(nullptr, &flags);
        InvocationReport cancelled = Invoke(host, module, measures, {Move(x, y), Click(IDCANCEL)});
        check.Expect(cancelled.closedBy == ClosedBy::Plugin, run + "Cancel did not close the dialog");
        if (initAgain) module.Entry().init(nullptr, &flags);
        for (const char* which : {"first", "second"}) {
            LONG status = module.Entry().terminate();
            check.Expect(status == ERROR_SUCCESS, run + which + " terminate returned " +
                                                      std::to_string(status));
            std::string stale = StoredDiffers(expected.Bytes());
            check.Expect(stale.empty(), run + which + " terminate: " + stale);
            check.Expect(StoreSettingsValue(kSpoiled), "could not spoil the stored value");
        }
    }
    return check.Print();
}

bool ParseSeed(const wchar_t* text, unsigned long long* seed) {
    if (!text || !*text) return false;
    for (const wchar_t* c = text; *c; ++c)
        if (*c < L'0' || *c > L'9') return false;
    errno = 0;
    *seed = wcstoull(text, nullptr, 10);
    return errno == 0;
}

}  // namespace

int RunValidation(const wchar_t* seedText) {
    unsigned long long seed = 0;
    if (!ParseSeed(seedText, &seed)) {
        fprintf(stderr, "--validate: the seed must be a decimal number below 2^64\n");
        return 2;
    }
    printf("validate: seed %llu\n", seed);
    fflush(stdout);
    std::mt19937_64 random(seed);
    WindowsPlatform host;
    bool passed = true;
    passed &= CheckLoadCycles(host, random);
    passed &= CheckRacedBinding(host, random);
    passed &= CheckTerminateFirst(host);
    passed &= CheckSecondInit(host, random);
    // Later runs in the same prefix start from no stored settings.
    DeleteSettingsValue();
    printf("validate: %s (seed %llu)\n", passed ? "all checks passed" : "FAILED", seed);
    return passed ? 0 : 1;
}

}  // namespace testhost
