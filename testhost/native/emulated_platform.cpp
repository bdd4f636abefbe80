#include "testhost/native/emulated_platform.h"

#include "testhost/core/fx_host.h"
#include "winapi/emu/emu_modules.h"
#include "winapi/emu/emu_windows.h"

namespace testhost {

EmulatedPlatform::~EmulatedPlatform() {
    emu::SetMessageBoxHandler(nullptr);
    if (host_) emu::UnregisterModule(host_);
}

void EmulatedPlatform::PrepareHost(const std::string& hostName,
                                   const std::vector<std::string>& missing) {
    if (host_) emu::UnregisterModule(host_);
    host_ = emu::RegisterModule(emu::ToUtf16(hostName), FxExportTable());
    for (const auto& name : missing) emu::HideExport(host_, name);
}

HMODULE EmulatedPlatform::LoadPlugin() { return LoadLibraryW(ZORV_WIDE("ZorvTempo64.fxt")); }

void EmulatedPlatform::UnloadPlugin(HMODULE plugin) { FreeLibrary(plugin); }

int EmulatedPlatform::LookupCount(const std::string& name) {
    return emu::LookupCount(host_, name);
}

HWND EmulatedPlatform::HostWindow() {
    if (!window_) window_ = emu::CreateHostWindow();
    return window_;
}

void EmulatedPlatform::SetMessageBoxAnswerer(BoxCallback onBox, void* context) {
    if (!onBox) {
        emu::SetMessageBoxHandler(nullptr);
        return;
    }
    emu::SetMessageBoxHandler([onBox, context](HWND owner, const std::string& text,
                                               const std::string& caption, UINT flags) {
        return onBox(context, owner, text.c_str(), caption.c_str(), flags);
    });
}

}  // namespace testhost
