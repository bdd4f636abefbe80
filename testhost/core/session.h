// One whole session of the plug-in in the stand-in host, as a scenario file
// describes it, and the report it produces. The session logic is shared by
// the native runner and FINALE.EXE; a SessionPlatform supplies the few things
// that differ between them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "winapi/zorv_windows.h"

namespace testhost {

struct Scenario;  // testhost/core/scenario.h
struct Report;    // testhost/core/report.h

// What one message box looked like and how the host answered it.
struct BoxRecord {
    std::string caption;
    std::string text;
    UINT flags = 0;
    std::string owner;   // "dialog", "host" or "other"
    std::string answer;  // "ok", "yes" or "no"
};

class SessionPlatform {
public:
    virtual ~SessionPlatform() = default;

    // Makes the host module known to the process under `hostName` with the
    // FX_ functions in `missing` absent. Natively this registers the
    // emulated module; FINALE.EXE checks its own file name and notes the
    // missing names for its GetProcAddress interception.
    virtual void PrepareHost(const std::string& hostName,
                             const std::vector<std::string>& missing) = 0;

    // Loads ZorvTempo64.fxt with LoadLibraryW; null when the module refused.
    // FINALE.EXE patches the module's imports here (GetProcAddress,
    // MessageBoxA).
    virtual HMODULE LoadPlugin() = 0;
    virtual void UnloadPlugin(HMODULE plugin) = 0;

    // How often the plug-in looked `name` up in the host module.
    virtual int LookupCount(const std::string& name) = 0;

    // The window passed to FinaleExtensionInvoke.
    virtual HWND HostWindow() = 0;

    // Installs the answering of the plug-in's message boxes: each box is
    // reported to `onBox`, which returns IDOK/IDYES/IDNO.
    using BoxCallback = int (*)(void* context, HWND owner, const char* text, const char* caption,
                                UINT flags);
    virtual void SetMessageBoxAnswerer(BoxCallback onBox, void* context) = 0;
};

// Runs the scenario; the report as a JSON text (one object).
std::string RunSession(const Scenario& scenario, SessionPlatform& platform);

}  // namespace testhost
