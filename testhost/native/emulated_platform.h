// The stand-in host's platform over the Win32 emulation: the host module
// registered in the emulation's module table, the plug-in loaded with
// LoadLibraryW, message boxes answered through the emulation's hook. Shared
// by the native runner and the WebAssembly module.
#pragma once

#include <string>
#include <vector>

#include "testhost/core/session.h"

namespace testhost {

class EmulatedPlatform : public SessionPlatform {
public:
    EmulatedPlatform() = default;
    ~EmulatedPlatform() override;
    EmulatedPlatform(const EmulatedPlatform&) = delete;
    EmulatedPlatform& operator=(const EmulatedPlatform&) = delete;

    void PrepareHost(const std::string& hostName,
                     const std::vector<std::string>& missing) override;
    HMODULE LoadPlugin() override;
    void UnloadPlugin(HMODULE plugin) override;
    int LookupCount(const std::string& name) override;
    HWND HostWindow() override;
    void SetMessageBoxAnswerer(BoxCallback onBox, void* context) override;

private:
    HMODULE host_ = nullptr;
    HWND window_ = nullptr;
};

}  // namespace testhost
