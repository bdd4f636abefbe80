// A scenario file read into plain data: the score, the host's answers, the
// registry before the session and the scripted invocations. Reading is kept
// apart from running so that any input can be checked without a plug-in.
#pragma once

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

namespace testhost {

struct MeasureRun {
    int64_t count = 0;
    int32_t duration = 0;
};

struct SeededTempo {
    int16_t measure = 0;
    int32_t position = 0;
    int32_t value = 0;
    int32_t third = 1000;
};

struct HostSettings {
    uint32_t version = 0x1B200000u;
    uint32_t flags = 0;
    int16_t menuStatus = 1;
    std::vector<std::string> missing;  // FX_ names the host does not export
    std::string name = "FINALE.EXE";
    // false: FX_Dialog returns as soon as the dialog is set up and leaves it
    // open; the user's actions then reach it after the invocation returned.
    bool dialogWaits = true;
};

// The settings key before (or after) a session: absent, present without the
// value, or present with the value.
struct RegistryState {
    bool keyExists = false;
    bool hasValue = false;
    std::vector<uint8_t> bytes;
    uint32_t type = 3;  // REG_BINARY

    bool operator==(const RegistryState& other) const {
        return keyExists == other.keyExists && hasValue == other.hasValue &&
               bytes == other.bytes && type == other.type;
    }
};

enum class ActionKind { Set, Text, Check, Click, Move };

struct UserAction {
    ActionKind kind = ActionKind::Click;
    int32_t control = 0;  // every kind but Move
    int64_t number = 0;   // Set: the integer typed; Check: 0 or 1
    std::string text;     // Text: what is typed (UTF-8)
    int32_t x = 0, y = 0; // Move
};

struct RegionSpec {
    int16_t startMeasure = 0;
    int32_t startPosition = 0;
    int16_t endMeasure = 0;
    int32_t endPosition = 0;
};

struct Invocation {
    std::optional<RegionSpec> region;
    std::vector<UserAction> user;
    std::vector<bool> answers;  // true: "yes"
};

struct Scenario {
    std::vector<MeasureRun> measures;
    std::vector<SeededTempo> tempo;
    HostSettings host;
    RegistryState registry;
    std::vector<Invocation> invocations;

    // Measure lengths 1..N as the runs expand.
    std::vector<int32_t> MeasureLengths() const;
};

// Largest number of measures a score may have.
constexpr int64_t MaxMeasures = 32767;

// Reads a scenario from its JSON text. On failure `error` holds one line
// that names the key at fault ("invocations[0].region: expected ...") and
// `scenario` is unspecified.
bool ParseScenario(const std::string& text, Scenario* scenario, std::string* error);

// Lowercase hex of bytes, and back (false for odd length or other digits).
std::string ToHex(const std::vector<uint8_t>& bytes);
bool FromHex(const std::string& hex, std::vector<uint8_t>* bytes);

}  // namespace testhost
