// The scenario reader with arbitrary text: a file it cannot take gets a
// one-line error, never a crash or an escaping exception.
#include <string>

#include "fuzz/fuzz_support.h"
#include "testhost/core/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    testhost::Scenario scenario;
    std::string error;
    if (!testhost::ParseScenario(text, &scenario, &error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(error.find('\n') == std::string::npos);
        return 0;
    }
    // An accepted file describes a score the host can hold.
    FUZZ_CHECK(scenario.MeasureLengths().size() <= size_t(testhost::MaxMeasures));
    for (int32_t length : scenario.MeasureLengths()) FUZZ_CHECK(length >= 0);
    for (const auto& invocation : scenario.invocations)
        for (const auto& action : invocation.user)
            if (action.kind == testhost::ActionKind::Check)
                FUZZ_CHECK(action.number == 0 || action.number == 1);
    return 0;
}
