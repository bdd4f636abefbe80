// Loads a fresh copy of the plug-in (the probe build) into a process that
// holds the stand-in host, as Finale would.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "host/host_abi.h"
#include "testhost/core/fx_host.h"
#include "testhost/core/plugin_entry_points.h"
#include "tests/probe/probe.h"
#include "winapi/emu/emu_modules.h"

class HostProcess {
public:
    // Registers the host module under `hostName` with every FX_ function but
    // those in `missing`.
    explicit HostProcess(const std::set<std::string>& missing = {},
                         const std::u16string& hostName = u"FINALE.EXE") {
        testhost::ResetHost();
        module_ = emu::RegisterModule(hostName, testhost::FxExportTable());
        for (const auto& name : missing) emu::HideExport(module_, name);
    }
    ~HostProcess() { emu::UnregisterModule(module_); }
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    HMODULE module() const { return module_; }
    int Lookups(const std::string& name) const { return emu::LookupCount(module_, name); }
    testhost::HostState& host() const { return testhost::Host(); }

private:
    HMODULE module_;
};

// A loaded plug-in; unloaded when it goes out of scope.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const char16_t* file = u"ZorvTempo64Probe.fxt") {
        module_ = LoadLibraryW(file);
        if (!module_) return;
        auto probe = reinterpret_cast<ZorvProbeInternals_Proc>(
            reinterpret_cast<void*>(GetProcAddress(module_, "ZorvProbeInternals")));
        internals_ = probe ? probe() : nullptr;
        const testhost::PluginEntryPoints entry = testhost::EntryPointsOf(module_);
        Version = entry.version;
        Init = entry.init;
        Enumerate = entry.enumerate;
        Invoke = entry.invoke;
        Terminate = entry.terminate;
        GetMenuStatus = entry.menuStatus;
    }
    ~LoadedPlugin() {
        if (module_) FreeLibrary(module_);
    }
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    bool loaded() const { return module_ != nullptr; }
    HMODULE module() const { return module_; }
    const PluginInternals& in() const { return *internals_; }

    FinaleExtensionVersion_Proc Version = nullptr;
    FinaleExtensionInit_Proc Init = nullptr;
    FinaleExtensionEnumerate_UTF16_Proc Enumerate = nullptr;
    FinaleExtensionInvoke_Proc Invoke = nullptr;
    FinaleExtensionTerminate_Proc Terminate = nullptr;
    FinaleExtensionGetMenuStatus_Proc GetMenuStatus = nullptr;

private:
    HMODULE module_ = nullptr;
    const PluginInternals* internals_ = nullptr;
};

// An ERegion as the host builds it: every byte the plug-in does not read is 0xA5.
inline ERegion MakeRegion(int16_t startMeasure, int32_t startPosition, int16_t endMeasure,
                          int32_t endPosition) {
    ERegion region;
    memset(&region, 0xA5, sizeof region);
    region.startMeasure = startMeasure;
    region.startPosition = startPosition;
    region.endMeasure = endMeasure;
    region.endPosition = endPosition;
    return region;
}
