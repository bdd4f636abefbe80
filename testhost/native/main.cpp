// zorv-scenario FILE: runs one scenario against the native module over the
// Win32 emulation and prints the report.
#include <fstream>
#include <iostream>
#include <sstream>

#include "testhost/core/fx_host.h"
#include "testhost/core/scenario.h"
#include "testhost/core/session.h"
#include "winapi/emu/emu_modules.h"
#include "winapi/emu/emu_windows.h"

namespace {

class NativePlatform : public testhost::SessionPlatform {
public:
    NativePlatform() = default;
    ~NativePlatform() override {
        emu::SetMessageBoxHandler(nullptr);
        if (host_) emu::UnregisterModule(host_);
    }
    NativePlatform(const NativePlatform&) = delete;
    NativePlatform& operator=(const NativePlatform&) = delete;

    void PrepareHost(const std::string& hostName,
                     const std::vector<std::string>& missing) override {
        if (host_) emu::UnregisterModule(host_);
        host_ = emu::RegisterModule(emu::ToUtf16(hostName), testhost::FxExportTable());
        for (const auto& name : missing) emu::HideExport(host_, name);
    }

    HMODULE LoadPlugin() override { return LoadLibraryW(ZORV_WIDE("ZorvTempo64.fxt")); }
    void UnloadPlugin(HMODULE plugin) override { FreeLibrary(plugin); }

    int LookupCount(const std::string& name) override { return emu::LookupCount(host_, name); }

    HWND HostWindow() override {
        if (!window_) window_ = emu::CreateHostWindow();
        return window_;
    }

    void SetMessageBoxAnswerer(BoxCallback onBox, void* context) override {
        if (!onBox) {
            emu::SetMessageBoxHandler(nullptr);
            return;
        }
        emu::SetMessageBoxHandler([onBox, context](HWND owner, const std::string& text,
                                                   const std::string& caption, UINT flags) {
            return onBox(context, owner, text.c_str(), caption.c_str(), flags);
        });
    }

private:
    HMODULE host_ = nullptr;
    HWND window_ = nullptr;
};

bool ReadFile(const char* path, std::string* text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream content;
    content << file.rdbuf();
    *text = content.str();
    return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: zorv-scenario FILE\n";
        return 2;
    }
    std::string text;
    if (!ReadFile(argv[1], &text)) {
        std::cerr << argv[1] << ": cannot be read\n";
        return 2;
    }
    testhost::Scenario scenario;
    std::string error;
    if (!testhost::ParseScenario(text, &scenario, &error)) {
        std::cerr << error << "\n";
        return 2;
    }
    NativePlatform platform;
    std::cout << testhost::RunSession(scenario, platform) << "\n";
    return 0;
}
