#include "testhost/core/session.h"
#include "testhost/core/plugin_entry_points.h"
#include "testhost/core/settings_store.h"

#include <string.h>

#include "host/host_abi.h"
#include "testhost/core/dialog_script.h"
#include "testhost/core/fx_host.h"
#include "testhost/core/report.h"
#include "testhost/core/scenario.h"

namespace testhost {

namespace {

// The plug-in module for the length of the session.
class PluginModule {
public:
    explicit PluginModule(SessionPlatform& platform)
        : platform_(platform), module_(platform.LoadPlugin()) {}
    ~PluginModule() {
        if (module_) platform_.UnloadPlugin(module_);
    }
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;
    HMODULE get() const { return module_; }

private:
    SessionPlatform& platform_;
    HMODULE module_;
};

void PrepareScore(const Scenario& scenario) {
    ResetHost();
    HostState& host = Host();
    host.score.measureLengths = scenario.MeasureLengths();
    for (const auto& t : scenario.tempo)
        host.score.InsertTempo(t.measure, TempoEntry{t.position, t.value, t.third});
    host.menuStatus = scenario.host.menuStatus;
}

void ResetSettingsKey(const RegistryState& state) {
    DeleteSettingsKey();
    if (!state.keyExists) return;
    if (state.hasValue)
        StoreSettingsValue(state.bytes, state.type);
    else
        CreateSettingsKey();
}

RegistryState ReadSettingsKey() {
    RegistryState state;
    state.keyExists = SettingsKeyExists();
    DWORD type = 0;
    state.hasValue = state.keyExists && ReadSettingsValue(&state.bytes, &type);
    state.type = state.hasValue ? type : 0;
    if (!state.hasValue) state.bytes.clear();
    return state;
}

// The host's ERegion: the four fields, every other byte 0xA5.
ERegion BuildRegion(const RegionSpec& given) {
    ERegion region;
    memset(&region, 0xA5, sizeof region);
    region.startMeasure = given.startMeasure;
    region.startPosition = given.startPosition;
    region.endMeasure = given.endMeasure;
    region.endPosition = given.endPosition;
    return region;
}

MenuReport Enumerate(FinaleExtensionEnumerate_UTF16_Proc enumerate) {
    MenuItemRecord record;
    memset(&record, 0xA5, sizeof record);
    MenuReport menu;
    menu.result = enumerate(nullptr, 0, &record);
    menu.menuText = Utf16ToUtf8(record.menuText, 128);
    menu.descriptionText = Utf16ToUtf8(record.descriptionText, 128);
    menu.shortTitle = Utf16ToUtf8(record.shortTitle, 128);
    menu.itemWord = record.itemWord;
    return menu;
}

InvocationReport Invoke(FinaleExtensionInvoke_Proc invoke, const Invocation& invocation,
                        DialogScript& script, HWND hostWindow) {
    script.Begin(invocation);
    std::optional<int64_t> result;
    if (invoke) {
        ERegion region;
        if (invocation.region) region = BuildRegion(*invocation.region);
        result = invoke(hostWindow, nullptr, invocation.region ? &region : nullptr);
    }
    InvocationReport report = script.Finish();
    report.result = result;
    return report;
}

NamedCounts HostCallCounts() {
    NamedCounts counts;
    for (int f = 0; f < int(Fx::Count); ++f)
        counts.emplace_back(FxName(Fx(f)), Host().CallCount(Fx(f)));
    return counts;
}

NamedCounts LookupCounts(SessionPlatform& platform) {
    NamedCounts counts;
    for (const auto& name : FxNames()) counts.emplace_back(name, platform.LookupCount(name));
    return counts;
}

void RunEntryPoints(const Scenario& scenario, SessionPlatform& platform, HMODULE module,
                    Report& report) {
    const PluginEntryPoints e = EntryPointsOf(module);
    HWND hostWindow = platform.HostWindow();
    DialogScript script(module, hostWindow);
    script.SetDialogWaits(scenario.host.dialogWaits);
    Host().dialogs = &script;
    platform.SetMessageBoxAnswerer(&DialogScript::AnswerBoxThunk, &script);

    if (e.version) report.version = e.version(scenario.host.version);
    report.flags = scenario.host.flags;
    if (e.init) report.init = e.init(nullptr, &report.flags);
    if (e.enumerate) report.menu = Enumerate(e.enumerate);
    if (e.menuStatus) report.menuStatus = e.menuStatus();
    for (const auto& invocation : scenario.invocations)
        report.invocations.push_back(Invoke(e.invoke, invocation, script, hostWindow));
    if (e.terminate) report.terminate = e.terminate();

    platform.SetMessageBoxAnswerer(nullptr, nullptr);
    Host().dialogs = nullptr;
}

}  // namespace

std::string RunSession(const Scenario& scenario, SessionPlatform& platform) {
    PrepareScore(scenario);
    platform.PrepareHost(scenario.host.name, scenario.host.missing);
    ResetSettingsKey(scenario.registry);

    Report report;
    {
        PluginModule plugin(platform);
        report.loaded = plugin.get() != nullptr;
        if (report.loaded) {
            RunEntryPoints(scenario, platform, plugin.get(), report);
            report.tempo = Host().score.AllTempo();
            report.hostCalls = HostCallCounts();
            report.lookups = LookupCounts(platform);
        }
    }
    report.registry = ReadSettingsKey();
    return ReportJson(report);
}

}  // namespace testhost
