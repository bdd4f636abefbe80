// FINALE.EXE --smoke: the real module in the real loader, checked from the
// host's side: the load check by the host's name, the version answer, the
// menu record's bytes and the menu status with and without the host
// function behind it.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "testhost/core/fx_host.h"
#include "testhost/windows/plugin_module.h"
#include "testhost/windows/windows_platform.h"

namespace testhost {

namespace {

struct Checks {
    int run = 0;
    int failed = 0;

    void Expect(bool passed, const std::string& what, const std::string& detail = "") {
        ++run;
        if (passed) {
            printf("ok - %s\n", what.c_str());
            return;
        }
        ++failed;
        printf("not ok - %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
    }

    void ExpectEqual(unsigned long long got, unsigned long long expected, const std::string& what) {
        char detail[96];
        snprintf(detail, sizeof detail, "got 0x%llX, expected 0x%llX", got, expected);
        Expect(got == expected, what, detail);
    }
};

const uint16_t kUntouched = 0xA5A5;

std::string FieldText(const uint16_t* field) {
    std::string text;
    for (int i = 0; i < 128 && field[i] != 0; ++i)
        text += field[i] < 0x80 ? char(field[i]) : '?';
    return text;
}

// The text, zero units through unit 63, and the host's units 65..127 kept.
void CheckTextField(Checks& checks, const uint16_t* field, const char* expected,
                    const std::string& name) {
    std::string text = FieldText(field);
    checks.Expect(text == expected, name + " reads \"" + expected + "\"", "got \"" + text + "\"");
    bool zeroFilled = true;
    for (size_t unit = strlen(expected); unit < 64; ++unit) zeroFilled &= field[unit] == 0;
    checks.Expect(zeroFilled, name + " is zero after its text through unit 63");
    bool hostPartKept = true;
    for (int unit = 65; unit < 128; ++unit) hostPartKept &= field[unit] == kUntouched;
    checks.Expect(hostPartKept, name + " units 65..127 keep the host's bytes");
}

void CheckVersionAnswers(Checks& checks, const PluginEntryPoints& plugin) {
    const uint32_t cases[][2] = {{0x1B200000u, 0x1B200000u}, {0x1B000000u, 0x1B000000u},
                                 {0, 0x1A200000u},           {0x1A1FFFFFu, 0x1A200000u},
                                 {0x1B200001u, 0x1B200000u}, {0xFFFFFFFFu, 0x1B200000u}};
    for (const auto& c : cases) {
        char what[64];
        snprintf(what, sizeof what, "version answer to 0x%08X", c[0]);
        checks.ExpectEqual(plugin.version(c[0]), c[1], what);
    }
}

void CheckMenuRecord(Checks& checks, const PluginEntryPoints& plugin) {
    MenuItemRecord record;
    memset(&record, 0xA5, sizeof record);
    checks.ExpectEqual(uint16_t(plugin.enumerate(nullptr, 1, &record)), 0, "enumerate index 1");
    MenuItemRecord untouched;
    memset(&untouched, 0xA5, sizeof untouched);
    checks.Expect(memcmp(&record, &untouched, sizeof record) == 0,
                  "enumerate index 1 leaves the record alone");

    checks.ExpectEqual(uint16_t(plugin.enumerate(nullptr, 0, &record)), 1, "enumerate index 0");
    CheckTextField(checks, record.menuText, "Zorv &Tempo [v1.06]...", "menuText");
    CheckTextField(checks, record.descriptionText, "Accelerando/diminuendo", "descriptionText");
    CheckTextField(checks, record.shortTitle, "Zorv Accel/Rit", "shortTitle");
    const unsigned char* itemWord = reinterpret_cast<const unsigned char*>(&record) + 768;
    checks.Expect(itemWord[0] == 0 && itemWord[1] == 0 && itemWord[2] == 1 && itemWord[3] == 0,
                  "itemWord bytes read 00 00 01 00");
}

void CheckMenuStatus(Checks& checks, const PluginEntryPoints& plugin, WindowsPlatform& host) {
    Host().menuStatus = -2;
    checks.ExpectEqual(uint32_t(plugin.menuStatus()), uint32_t(-2),
                       "menu status is the host's answer widened with its sign");
    plugin.menuStatus();
    checks.ExpectEqual(host.LookupCount("FX_GetCurERegions"), 1,
                       "FX_GetCurERegions looked up once for two calls");
    std::vector<HostCall> calls = Host().CallsOf(Fx::GetCurERegions);
    checks.ExpectEqual(calls.size(), 2, "FX_GetCurERegions called twice");
    if (!calls.empty())
        checks.ExpectEqual(calls[0].version, HostCallVersion, "host call carries 0x1B200000");
}

// A fresh load binds afresh; with the host function hidden from the lookup
// the status is 0 and the failed lookup is not repeated.
void CheckMissingHostFunction(Checks& checks, WindowsPlatform& host) {
    host.PrepareHost(Narrow(FileNameOf(OwnExecutablePath())), {"FX_GetCurERegions"});
    HMODULE module = host.LoadPlugin();
    PluginEntryPoints plugin = EntryPointsOf(module);
    if (!plugin.Complete()) {
        checks.Expect(false, "module loads a second time");
        host.UnloadPlugin(module);
        return;
    }
    int callsBefore = Host().CallCount(Fx::GetCurERegions);
    checks.ExpectEqual(uint32_t(plugin.menuStatus()), 0, "menu status without FX_GetCurERegions");
    plugin.menuStatus();
    checks.ExpectEqual(host.LookupCount("FX_GetCurERegions"), 1,
                       "a failed lookup is not repeated");
    checks.ExpectEqual(Host().CallCount(Fx::GetCurERegions) - callsBefore, 0,
                       "no call reaches the host without the function");
    host.UnloadPlugin(module);
}

void CheckLoadedModule(Checks& checks, WindowsPlatform& host) {
    host.PrepareHost(Narrow(FileNameOf(OwnExecutablePath())), {});
    HMODULE module = host.LoadPlugin();
    checks.Expect(module != nullptr, "the module loads into FINALE.EXE",
                  "LoadLibraryW error " + std::to_string(host.LoadError()));
    if (!module) return;
    if (!host.PluginPath().empty()) {
        wchar_t loaded[1024] = {};
        GetModuleFileNameW(module, loaded, 1024);
        checks.Expect(_wcsicmp(loaded, host.PluginPath().c_str()) == 0,
                      "the module is the one at the given path", "loaded " + Narrow(loaded));
    }
    PluginEntryPoints plugin = EntryPointsOf(module);
    checks.Expect(plugin.Complete(), "the six entry points are exported");
    if (plugin.Complete()) {
        CheckVersionAnswers(checks, plugin);
        CheckMenuRecord(checks, plugin);
        CheckMenuStatus(checks, plugin, host);
    }
    host.UnloadPlugin(module);
    if (plugin.Complete()) CheckMissingHostFunction(checks, host);
}

void CheckRefusedModule(Checks& checks, WindowsPlatform& host) {
    HMODULE module = host.LoadPlugin();
    checks.Expect(module == nullptr, "the module refuses a host not named FINALE.EXE");
    if (module) {
        host.UnloadPlugin(module);
        return;
    }
    checks.ExpectEqual(host.LoadError(), ERROR_DLL_INIT_FAILED, "LoadLibraryW fails with 1114");
}

}  // namespace

int RunSmokeChecks(const wchar_t* pluginPath) {
    ResetHost();
    WindowsPlatform host;
    if (pluginPath) {
        host.SetPluginPath(pluginPath);
        printf("plug-in: %s\n", Narrow(pluginPath).c_str());
    }
    Checks checks;
    std::wstring ownName = FileNameOf(OwnExecutablePath());
    if (_wcsicmp(ownName.c_str(), L"FINALE.EXE") == 0)
        CheckLoadedModule(checks, host);
    else
        CheckRefusedModule(checks, host);
    printf("smoke: %d checks, %d failed\n", checks.run, checks.failed);
    return checks.failed == 0 && checks.run > 0 ? 0 : 1;
}

}  // namespace testhost
