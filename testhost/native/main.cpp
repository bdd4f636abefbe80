// zorv-scenario FILE: runs one scenario against the native module over the
// Win32 emulation and prints the report.
#include <fstream>
#include <iostream>
#include <sstream>

#include "testhost/core/scenario.h"
#include "testhost/core/session.h"
#include "testhost/native/emulated_platform.h"

namespace {

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
    testhost::EmulatedPlatform platform;
    std::cout << testhost::RunSession(scenario, platform) << "\n";
    return 0;
}
