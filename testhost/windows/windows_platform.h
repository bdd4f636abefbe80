// FINALE.EXE's side of a session: the real module loaded from the host's
// own folder (or from a path given to it), its imports of GetProcAddress and MessageBoxA redirected to
// the host, and the host's own window.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "testhost/core/session.h"
#include "winapi/zorv_windows.h"

namespace testhost {

// The host's own file name ("FINALE.EXE") and folder, from the running
// executable's path.
std::wstring OwnExecutablePath();
std::wstring FileNameOf(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);

// The window every plug-in invocation gets as its owner; destroyed with the
// object.
class HostWindow {
public:
    HostWindow() = default;
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND Get();

private:
    HWND window_ = nullptr;
};

class WindowsPlatform : public SessionPlatform {
public:
    WindowsPlatform();
    ~WindowsPlatform() override;
    WindowsPlatform(const WindowsPlatform&) = delete;
    WindowsPlatform& operator=(const WindowsPlatform&) = delete;

    void PrepareHost(const std::string& hostName, const std::vector<std::string>& missing) override;
    HMODULE LoadPlugin() override;
    void UnloadPlugin(HMODULE plugin) override;
    int LookupCount(const std::string& name) override;
    HWND HostWindow() override;
    void SetMessageBoxAnswerer(BoxCallback onBox, void* context) override;

    // Where LoadPlugin finds the module, as installed elsewhere than
    // beside the host: a Plug-ins folder, say.
    void SetPluginPath(const std::wstring& path) { pluginPath_ = path; }
    const std::wstring& PluginPath() const { return pluginPath_; }

    // The last error of a LoadPlugin that failed (1114 when the module's
    // load check refused).
    DWORD LoadError() const { return loadError_; }

    // What the redirected imports call.
    FARPROC LookUp(HMODULE module, LPCSTR name);
    int ShowBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags);

private:
    std::set<std::string> missing_;
    std::map<std::string, int> lookups_;
    BoxCallback onBox_ = nullptr;
    void* boxContext_ = nullptr;
    DWORD loadError_ = 0;
    std::wstring pluginPath_;
    testhost::HostWindow window_;
};

}  // namespace testhost
