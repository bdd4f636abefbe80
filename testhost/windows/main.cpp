// FINALE.EXE: the stand-in Finale host. With a scenario file it runs one
// session of the real module and prints the report; the other modes are
// checks of the module in the real loader and registry.
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <optional>
#include <string>

#include "testhost/core/scenario.h"
#include "testhost/core/session.h"
#include "testhost/windows/plugin_module.h"
#include "testhost/windows/screenshot.h"
#include "testhost/windows/validate.h"
#include "testhost/windows/windows_platform.h"

namespace {

const char kUsage[] =
    "usage: FINALE.EXE SCENARIO.json\n"
    "       FINALE.EXE --screenshot OUT.bmp SCENARIO.json\n"
    "       FINALE.EXE --validate SEED\n"
    "       FINALE.EXE --smoke [PLUGIN.fxt]\n"
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

// With `screenshotPath`, the dialog is also photographed before it is
// confirmed and written there as a BMP file; no picture is a failure.
int RunScenarioFile(const wchar_t* path, const wchar_t* screenshotPath = nullptr) {
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
    // Only a screenshot run pays for the painting pause before OK.
    std::optional<testhost::DialogScreenshot> screenshot;
    if (screenshotPath) screenshot.emplace();
    std::string report = testhost::RunSession(scenario, platform);
    fwrite(report.data(), 1, report.size(), stdout);
    if (report.empty() || report.back() != '\n') fputc('\n', stdout);
    if (!screenshot) return 0;
    const testhost::BottomUpImage* picture = screenshot->Best();
    if (!picture) {
        fprintf(stderr,
                "screenshot: no dialog was about to be confirmed by OK or cancelled by the "
                "host\n");
        return 1;
    }
    if (!screenshot->WriteBmp(screenshotPath)) {
        fprintf(stderr, "screenshot: cannot write %s\n", testhost::Narrow(screenshotPath).c_str());
        return 1;
    }
    fprintf(stderr, "screenshot: dialog window %dx%d\n", picture->width, picture->height);
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
    else if (argc == 3 && mode == L"--smoke")
        status = testhost::RunSmokeChecks(argv[2]);
    else if (argc == 3 && mode == L"--registry-save")
        status = testhost::RunRegistrySave(argv[2]);
    else if (argc == 2 && mode == L"--registry-load")
        status = testhost::RunRegistryLoad();
    else if (argc == 3 && mode == L"--validate")
        status = testhost::RunValidation(argv[2]);
    else if (argc == 4 && mode == L"--screenshot")
        status = RunScenarioFile(argv[3], argv[2]);
    else if (argc == 2 && mode.compare(0, 2, L"--") != 0)
        status = RunScenarioFile(argv[1]);
    else
        fputs(kUsage, stderr);
    fflush(stdout);
    return status;
}
