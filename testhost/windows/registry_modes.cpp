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
#include "testhost/windows/plugin_module.h"
#include "testhost/windows/windows_platform.h"

namespace testhost {

namespace {

const char kSettingsKey[] = "Software\\ZorvPlugins\\ZorvTempo";
const char kSettingsValue[] = "UserDialog";
const size_t kRecordSize = 28;

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool Create() {
        return RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &key_, nullptr) == ERROR_SUCCESS;
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool StoreValue(const std::vector<uint8_t>& bytes) {
    RegistryKey key;
    return key.Create() && RegSetValueExA(key.Get(), kSettingsValue, 0, REG_BINARY, bytes.data(),
                                          DWORD(bytes.size())) == ERROR_SUCCESS;
}

bool DeleteValue() {
    RegistryKey key;
    if (!key.Create()) return false;
    LONG status = RegDeleteValueA(key.Get(), kSettingsValue);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool ReadValue(std::vector<uint8_t>* bytes, DWORD* type) {
    RegistryKey key;
    if (!key.Create()) return false;
    DWORD size = 0;
    if (RegQueryValueExA(key.Get(), kSettingsValue, nullptr, type, nullptr, &size) !=
        ERROR_SUCCESS)
        return false;
    bytes->assign(size, 0);
    return RegQueryValueExA(key.Get(), kSettingsValue, nullptr, type, bytes->data(), &size) ==
           ERROR_SUCCESS;
}

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
    if (!ReadValue(&stored, &type)) {
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
    if (!StoreValue(record)) {
        fprintf(stderr, "could not store the record before the session\n");
        return 1;
    }
    return RunInitAndTerminate([] { return DeleteValue(); });
}

int RunRegistryLoad() {
    // Anything but what the module read: every byte inverted.
    return RunInitAndTerminate([] {
        std::vector<uint8_t> stored;
        DWORD type = 0;
        if (!ReadValue(&stored, &type)) return false;
        for (uint8_t& byte : stored) byte = uint8_t(~byte);
        return StoreValue(stored);
    });
}

}  // namespace testhost
