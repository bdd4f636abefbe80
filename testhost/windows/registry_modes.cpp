// FINALE.EXE --registry-save HEX / --registry-load: the settings record's
// trip through the real registry across two processes. The first process
// has the module load a known record, removes the stored value and lets the
// module's termination write the record back; the second has the module
// load it, spoils the stored value and lets termination write back what the
// initialisation read. Each prints the stored value after termination.
#include <stdio.h>

#include <string>
#include <vector>

#include "testhost/core/fx_host.h"
#include "testhost/core/scenario.h"
#include "testhost/core/settings_store.h"
#include "testhost/windows/plugin_module.h"
#include "testhost/windows/windows_platform.h"

namespace testhost {

namespace {

const size_t kRecordSize = 28;

// Loads the module, initialises it, lets `betweenInitAndTerminate` change
// the registry, terminates it and prints what is stored then.
template <typename Step>
int RunInitAndTerminate(Step betweenInitAndTerminate) {
    ResetHost();
    WindowsPlatform host;
    host.PrepareHost(Narrow(FileNameOf(OwnExecutablePath())), {});
    HMODULE module = host.LoadPlugin();
    PluginEntryPoints plugin = EntryPointsOf(module);
    if (!plugin.Complete()) {
        fprintf(stderr, "the module did not load (error %lu)\n", host.LoadError());
        host.UnloadPlugin(module);
        return 1;
    }
    plugin.version(HostCallVersion);
    uint32_t flags = 0;
    plugin.init(nullptr, &flags);
    bool stepDone = betweenInitAndTerminate();
    LONG status = plugin.terminate();
    host.UnloadPlugin(module);
    if (!stepDone) {
        fprintf(stderr, "could not change the stored value between init and terminate\n");
        return 1;
    }
    std::vector<uint8_t> stored;
    DWORD type = 0;
    if (!ReadSettingsValue(&stored, &type)) {
        printf("terminate %ld\nstored none\n", long(status));
        return 1;
    }
    printf("terminate %ld\nstored %s type %lu\n", long(status), ToHex(stored).c_str(),
           static_cast<unsigned long>(type));
    return status == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace

int RunRegistrySave(const wchar_t* hexRecord) {
    std::vector<uint8_t> record;
    if (!FromHex(Narrow(hexRecord), &record) || record.size() != kRecordSize) {
        fprintf(stderr, "--registry-save: expected %zu bytes as hex\n", kRecordSize);
        return 2;
    }
    if (!StoreSettingsValue(record)) {
        fprintf(stderr, "could not store the record before the session\n");
        return 1;
    }
    return RunInitAndTerminate([] { return DeleteSettingsValue(); });
}

int RunRegistryLoad() {
    // Anything but what the module read: every byte inverted.
    return RunInitAndTerminate([] {
        std::vector<uint8_t> stored;
        DWORD type = 0;
        if (!ReadSettingsValue(&stored, &type)) return false;
        for (uint8_t& byte : stored) byte = uint8_t(~byte);
        return StoreSettingsValue(stored);
    });
}

}  // namespace testhost
