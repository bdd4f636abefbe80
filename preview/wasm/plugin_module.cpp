// The plug-in and the stand-in host in one WebAssembly module: a scenario's
// JSON text in, the report's JSON text out, as the native runner prints it,
// and the plug-in's own tempo value. JavaScript calls these functions; no
// exception may reach it.
//
// The plug-in is linked in rather than loaded from a file, so its statics
// live as long as the instance: one instance runs one session, and the
// caller makes a fresh instance for the next.
#include <emscripten/emscripten.h>

#include <new>
#include <string>

#include "host/host_abi.h"
#include "tempo/tempo_value.h"
#include "testhost/core/scenario.h"
#include "testhost/core/session.h"
#include "testhost/native/emulated_platform.h"
#include "winapi/emu/emu_modules.h"

// The plug-in's entry points and compiled resources, as its DLL exports them.
extern "C" {
uint32_t FinaleExtensionVersion(uint32_t hostWord);
int32_t FinaleExtensionInit(void* unused, uint32_t* flags);
int16_t FinaleExtensionEnumerate_UTF16(void* unused, int16_t index, MenuItemRecord* record);
int32_t FinaleExtensionInvoke(HWND window, void* unused, ERegion* region);
LONG FinaleExtensionTerminate(void);
int32_t FinaleExtensionGetMenuStatus(void);
extern const unsigned char ZorvModuleResources[];
extern const size_t ZorvModuleResourcesSize;
}

namespace {

// What zorv_run_scenario answers.
enum RunStatus : int {
    kReport = 0,          // the result is the report
    kInvalidScenario = 2, // the result is the one-line error, as the runner's exit status 2
    kNotRun = 3,          // the result says why no session ran
};

std::string result;
bool sessionRun = false;

template <typename Proc>
void* Export(Proc proc) {
    return reinterpret_cast<void*>(proc);
}

void LinkPlugin() {
    // Checked against the host's own view of the entry points, so that a
    // signature changed on one side does not compile.
    const FinaleExtensionVersion_Proc version = &FinaleExtensionVersion;
    const FinaleExtensionInit_Proc init = &FinaleExtensionInit;
    const FinaleExtensionEnumerate_UTF16_Proc enumerate = &FinaleExtensionEnumerate_UTF16;
    const FinaleExtensionInvoke_Proc invoke = &FinaleExtensionInvoke;
    const FinaleExtensionTerminate_Proc terminate = &FinaleExtensionTerminate;
    const FinaleExtensionGetMenuStatus_Proc menuStatus = &FinaleExtensionGetMenuStatus;
    emu::LinkedModule plugin;
    plugin.exports = {{"FinaleExtensionVersion", Export(version)},
                      {"FinaleExtensionInit", Export(init)},
                      {"FinaleExtensionEnumerate_UTF16", Export(enumerate)},
                      {"FinaleExtensionInvoke", Export(invoke)},
                      {"FinaleExtensionTerminate", Export(terminate)},
                      {"FinaleExtensionGetMenuStatus", Export(menuStatus)}};
    plugin.dllMain = &DllMain;
    plugin.resources = ZorvModuleResources;
    plugin.resourcesSize = ZorvModuleResourcesSize;
    emu::RegisterLinkedModule(u"ZorvTempo64.fxt", plugin);
}

RunStatus RunScenario(const std::string& text) {
    testhost::Scenario scenario;
    std::string error;
    if (!testhost::ParseScenario(text, &scenario, &error)) {
        result = error;
        return kInvalidScenario;
    }
    LinkPlugin();
    testhost::EmulatedPlatform platform;
    result = testhost::RunSession(scenario, platform);
    return kReport;
}

}  // namespace

extern "C" {

// Runs the scenario given as `length` bytes of UTF-8 at `text`; the answer is
// then in zorv_result_text/zorv_result_length. A second session in the same
// instance would meet the plug-in's statics as the first left them, which a
// fresh load never does: it is refused.
EMSCRIPTEN_KEEPALIVE int zorv_run_scenario(const char* text, size_t length) {
    if (sessionRun) {
        result = "this instance has already run a session; each session needs a fresh one";
        return kNotRun;
    }
    sessionRun = true;
    try {
        return RunScenario(std::string(text, length));
    } catch (const std::bad_alloc&) {
        result = "out of memory";
    } catch (...) {
        result = "the session ended in an unexpected exception";
    }
    return kNotRun;
}

EMSCRIPTEN_KEEPALIVE const char* zorv_result_text() { return result.data(); }
EMSCRIPTEN_KEEPALIVE size_t zorv_result_length() { return result.size(); }

// The plug-in's tempo value for `tempo` beats per minute of `beatUnit`
// (0 = 16th ... 4 = whole) with `modifier` (2 = dotted). The caller keeps
// each argument within 16 bits.
EMSCRIPTEN_KEEPALIVE int32_t zorv_tempo_value(int beatUnit, int tempo, int modifier) {
    return HostTempoValue(int16_t(beatUnit), int16_t(tempo), int16_t(modifier));
}

}  // extern "C"
