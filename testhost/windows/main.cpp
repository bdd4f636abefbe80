// FINALE.EXE: the stand-in Finale host. With a scenario file it runs one
// session of the real module and prints the report; the other modes are
// checks of the module in the real loader and registry.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <string>

#include "testhost/core/scenario.h"
#include "testhost/core/session.h"
#include "testhost/windows/plugin_module.h"
#include "testhost/windows/windows_platform.h"

namespace {

const char kUsage[] =
    "usage: FINALE.EXE SCENARIO.json\n"
    "       FINALE.EXE --smoke\n"
    "       FINALE.EXE --registry-save HEX28 | --registry-load\n";

bool ReadWholeFile(const wchar_t* path, std::string* text) {
    FILE* file = _wfopen(path, L"rb");
    if (!file) return false;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, got);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

int RunScenarioFile(const wchar_t* path) {
    std::string text;
    if (!ReadWholeFile(path, &text)) {
        fprintf(stderr, "%s: cannot read the file\n", testhost::Narrow(path).c_str());
        return 2;
    }
    testhost::Scenario scenario;
    std::string error;
    if (!testhost::ParseScenario(text, &scenario, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    testhost::WindowsPlatform platform;
    std::string report = testhost::RunSession(scenario, platform);
    fwrite(report.data(), 1, report.size(), stdout);
    if (report.empty() || report.back() != '\n') fputc('\n', stdout);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Reports are compared byte for byte with the native runner's.
    _setmode(_fileno(stdout), _O_BINARY);
    std::wstring mode = argc > 1 ? argv[1] : L"";
    int status = 2;
    if (argc == 2 && mode == L"--smoke")
        status = testhost::RunSmokeChecks();
    else if (argc == 3 && mode == L"--registry-save")
        status = testhost::RunRegistrySave(argv[2]);
    else if (argc == 2 && mode == L"--registry-load")
        status = testhost::RunRegistryLoad();
    else if (argc == 2 && mode.compare(0, 2, L"--") != 0)
        status = RunScenarioFile(argv[1]);
    else
        fputs(kUsage, stderr);
    fflush(stdout);
    return status;
}
