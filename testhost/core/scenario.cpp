#include "testhost/core/scenario.h"

#include <stdio.h>
#include <algorithm>
#include <limits>
#include <set>

#include <nlohmann/json.hpp>

#include "testhost/core/fx_host.h"

namespace testhost {

namespace {

using nlohmann::json;

// A key as the one-line error shows it: control characters escaped, since
// a key from the file may hold any of them.
std::string PrintableKey(const std::string& key) {
    std::string out;
    for (unsigned char c : key) {
        if (c >= 0x20 && c != 0x7F) {
            out += char(c);
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out += escaped;
        }
    }
    return out;
}

// The first rule broken, as "path: what was expected".
struct Failure {
    std::string message;
    bool failed = false;

    bool Fail(const std::string& path, const std::string& expected) {
        if (!failed) {
            failed = true;
            message = PrintableKey(path) + ": " + expected;
        }
        return false;
    }
};

bool ReadInteger(const json& value, int64_t low, int64_t high, int64_t* out) {
    if (value.is_number_unsigned()) {
        uint64_t v = value.get<uint64_t>();
        if (high < 0 || v > uint64_t(high)) return false;
        *out = int64_t(v);
        return int64_t(v) >= low;
    }
    if (!value.is_number_integer()) return false;
    int64_t v = value.get<int64_t>();
    if (v < low || v > high) return false;
    *out = v;
    return true;
}

std::string RangeText(int64_t low, int64_t high) {
    return "expected an integer from " + std::to_string(low) + " to " + std::to_string(high);
}

template <typename T>
bool ReadRanged(const json& value, const std::string& path, Failure& failure, T* out,
                int64_t low = std::numeric_limits<T>::min(),
                int64_t high = std::numeric_limits<T>::max()) {
    int64_t v = 0;
    if (!ReadInteger(value, low, high, &v)) return failure.Fail(path, RangeText(low, high));
    *out = T(v);
    return true;
}

bool CheckKeys(const json& object, const std::string& path, const std::set<std::string>& allowed,
               Failure& failure) {
    for (const auto& item : object.items())
        if (!allowed.count(item.key()))
            return failure.Fail(path.empty() ? item.key() : path + "." + item.key(),
                                "unknown key");
    return true;
}

std::string Index(const std::string& path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

bool ReadMeasures(const json& value, Scenario& scenario, Failure& failure) {
    const std::string path = "measures";
    if (!value.is_array()) return failure.Fail(path, "expected an array of [count, duration]");
    int64_t total = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const json& run = value[i];
        std::string at = Index(path, i);
        if (!run.is_array() || run.size() != 2)
            return failure.Fail(at, "expected an array of 2 integers [count, duration]");
        MeasureRun parsed;
        if (!ReadRanged<int64_t>(run[0], Index(at, 0), failure, &parsed.count, 0, MaxMeasures))
            return false;
        if (!ReadRanged<int32_t>(run[1], Index(at, 1), failure, &parsed.duration, 0))
            return false;
        total += parsed.count;
        if (total > MaxMeasures)
            return failure.Fail(path, "expected at most " + std::to_string(MaxMeasures) +
                                          " measures in all");
        scenario.measures.push_back(parsed);
    }
    return true;
}

bool ReadTempo(const json& value, Scenario& scenario, Failure& failure) {
    const std::string path = "tempo";
    if (!value.is_array())
        return failure.Fail(path, "expected an array of [measure, position, value(, third)]");
    for (size_t i = 0; i < value.size(); ++i) {
        const json& row = value[i];
        std::string at = Index(path, i);
        if (!row.is_array() || (row.size() != 3 && row.size() != 4))
            return failure.Fail(at, "expected an array of 3 or 4 integers");
        SeededTempo parsed;
        if (!ReadRanged(row[0], Index(at, 0), failure, &parsed.measure) ||
            !ReadRanged(row[1], Index(at, 1), failure, &parsed.position) ||
            !ReadRanged(row[2], Index(at, 2), failure, &parsed.value))
            return false;
        if (row.size() == 4 && !ReadRanged(row[3], Index(at, 3), failure, &parsed.third))
            return false;
        scenario.tempo.push_back(parsed);
    }
    return true;
}

bool ReadMissing(const json& value, const std::string& path, HostSettings& host,
                 Failure& failure) {
    if (!value.is_array()) return failure.Fail(path, "expected an array of FX_ names");
    const auto& names = FxNames();
    for (size_t i = 0; i < value.size(); ++i) {
        const json& name = value[i];
        bool known = name.is_string() &&
                     std::find(names.begin(), names.end(), name.get<std::string>()) != names.end();
        if (!known) return failure.Fail(Index(path, i), "expected the name of an FX_ function");
        host.missing.push_back(name.get<std::string>());
    }
    return true;
}

bool ReadHost(const json& value, Scenario& scenario, Failure& failure) {
    const std::string path = "host";
    if (!value.is_object()) return failure.Fail(path, "expected an object");
    if (!CheckKeys(value, path, {"version", "flags", "menuStatus", "missing", "name", "dialogWaits"},
                   failure))
        return false;
    HostSettings& host = scenario.host;
    if (value.contains("version") &&
        !ReadRanged(value["version"], "host.version", failure, &host.version))
        return false;
    if (value.contains("flags") && !ReadRanged(value["flags"], "host.flags", failure, &host.flags))
        return false;
    if (value.contains("menuStatus") &&
        !ReadRanged(value["menuStatus"], "host.menuStatus", failure, &host.menuStatus))
        return false;
    if (value.contains("missing") && !ReadMissing(value["missing"], "host.missing", host, failure))
        return false;
    if (value.contains("name")) {
        const json& name = value["name"];
        if (!name.is_string() || name.get<std::string>().empty())
            return failure.Fail("host.name", "expected a non-empty string");
        host.name = name.get<std::string>();
    }
    if (value.contains("dialogWaits")) {
        const json& waits = value["dialogWaits"];
        if (!waits.is_boolean()) return failure.Fail("host.dialogWaits", "expected true or false");
        host.dialogWaits = waits.get<bool>();
    }
    return true;
}

bool ReadRegistry(const json& value, Scenario& scenario, Failure& failure) {
    const std::string path = "registry";
    RegistryState& registry = scenario.registry;
    if (value.is_null()) return true;
    if (!value.is_object())
        return failure.Fail(path, "expected null, {} or {\"UserDialog\": hex, \"type\": t}");
    if (!CheckKeys(value, path, {"UserDialog", "type"}, failure)) return false;
    registry.keyExists = true;
    if (!value.contains("UserDialog")) {
        if (value.contains("type")) return failure.Fail("registry.type", "needs registry.UserDialog");
        return true;
    }
    const json& hex = value["UserDialog"];
    if (!hex.is_string() || !FromHex(hex.get<std::string>(), &registry.bytes))
        return failure.Fail("registry.UserDialog", "expected a string of lowercase hex byte pairs");
    registry.hasValue = true;
    if (value.contains("type") && !ReadRanged(value["type"], "registry.type", failure, &registry.type))
        return false;
    return true;
}

bool ReadRegion(const json& value, const std::string& path, Invocation& invocation,
                Failure& failure) {
    if (value.is_null()) return true;
    const char* expected = "expected null or an array of 4 integers";
    if (!value.is_array() || value.size() != 4) return failure.Fail(path, expected);
    RegionSpec region;
    if (!ReadRanged(value[0], Index(path, 0), failure, &region.startMeasure) ||
        !ReadRanged(value[1], Index(path, 1), failure, &region.startPosition) ||
        !ReadRanged(value[2], Index(path, 2), failure, &region.endMeasure) ||
        !ReadRanged(value[3], Index(path, 3), failure, &region.endPosition))
        return false;
    invocation.region = region;
    return true;
}

bool ReadControl(const json& action, const char* key, const std::string& path, UserAction& out,
                 Failure& failure) {
    return ReadRanged(action[key], path + "." + key, failure, &out.control);
}

bool ReadAction(const json& action, const std::string& path, UserAction& out, Failure& failure) {
    if (!action.is_object()) return failure.Fail(path, "expected an action object");
    static const char* kinds[] = {"set", "text", "check", "click", "move"};
    int found = 0;
    for (const char* kind : kinds) found += action.contains(kind) ? 1 : 0;
    if (found != 1)
        return failure.Fail(path, "expected exactly one of set, text, check, click, move");
    if (action.contains("set")) {
        out.kind = ActionKind::Set;
        return CheckKeys(action, path, {"set", "value"}, failure) &&
               ReadControl(action, "set", path, out, failure) &&
               ReadRanged(action.value("value", json()), path + ".value", failure, &out.number);
    }
    if (action.contains("text")) {
        out.kind = ActionKind::Text;
        if (!CheckKeys(action, path, {"text", "value"}, failure) ||
            !ReadControl(action, "text", path, out, failure))
            return false;
        const json text = action.value("value", json());
        if (!text.is_string()) return failure.Fail(path + ".value", "expected a string");
        out.text = text.get<std::string>();
        return true;
    }
    if (action.contains("check")) {
        out.kind = ActionKind::Check;
        return CheckKeys(action, path, {"check", "value"}, failure) &&
               ReadControl(action, "check", path, out, failure) &&
               ReadRanged(action.value("value", json()), path + ".value", failure, &out.number,
                          0, 1);
    }
    if (action.contains("click")) {
        out.kind = ActionKind::Click;
        return CheckKeys(action, path, {"click"}, failure) &&
               ReadControl(action, "click", path, out, failure);
    }
    out.kind = ActionKind::Move;
    if (!CheckKeys(action, path, {"move"}, failure)) return false;
    const json& at = action["move"];
    if (!at.is_array() || at.size() != 2)
        return failure.Fail(path + ".move", "expected an array of 2 integers [x, y]");
    return ReadRanged(at[0], path + ".move[0]", failure, &out.x) &&
           ReadRanged(at[1], path + ".move[1]", failure, &out.y);
}

bool ReadAnswers(const json& value, const std::string& path, Invocation& invocation,
                 Failure& failure) {
    if (!value.is_array()) return failure.Fail(path, "expected an array of \"yes\" or \"no\"");
    for (size_t i = 0; i < value.size(); ++i) {
        const json& answer = value[i];
        if (answer != "yes" && answer != "no")
            return failure.Fail(Index(path, i), "expected \"yes\" or \"no\"");
        invocation.answers.push_back(answer == "yes");
    }
    return true;
}

bool ReadInvocation(const json& value, const std::string& path, Invocation& invocation,
                    Failure& failure) {
    if (!value.is_object()) return failure.Fail(path, "expected an object");
    if (!CheckKeys(value, path, {"region", "user", "answers"}, failure)) return false;
    if (value.contains("region") && !ReadRegion(value["region"], path + ".region", invocation, failure))
        return false;
    if (value.contains("user")) {
        const json& user = value["user"];
        if (!user.is_array()) return failure.Fail(path + ".user", "expected an array of actions");
        for (size_t i = 0; i < user.size(); ++i) {
            UserAction action;
            if (!ReadAction(user[i], Index(path + ".user", i), action, failure)) return false;
            invocation.user.push_back(action);
        }
    }
    if (value.contains("answers") &&
        !ReadAnswers(value["answers"], path + ".answers", invocation, failure))
        return false;
    return true;
}

bool ReadInvocations(const json& value, Scenario& scenario, Failure& failure) {
    const std::string path = "invocations";
    if (!value.is_array()) return failure.Fail(path, "expected an array of objects");
    for (size_t i = 0; i < value.size(); ++i) {
        Invocation invocation;
        if (!ReadInvocation(value[i], Index(path, i), invocation, failure)) return false;
        scenario.invocations.push_back(std::move(invocation));
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string ToHex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : bytes) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

bool FromHex(const std::string& hex, std::vector<uint8_t>* bytes) {
    if (hex.size() % 2) return false;
    bytes->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(uint8_t(high * 16 + low));
    }
    return true;
}

std::vector<int32_t> Scenario::MeasureLengths() const {
    std::vector<int32_t> lengths;
    for (const auto& run : measures) lengths.insert(lengths.end(), size_t(run.count), run.duration);
    return lengths;
}

bool ParseScenario(const std::string& text, Scenario* scenario, std::string* error) {
    *scenario = Scenario();
    json parsed;
    try {
        parsed = json::parse(text);
    } catch (const json::parse_error& e) {
        *error = "scenario: not valid JSON (at byte " + std::to_string(e.byte) + ")";
        return false;
    } catch (const json::exception&) {
        // A number too large for any JSON number type, for one.
        *error = "scenario: not valid JSON (a value cannot be represented)";
        return false;
    }
    const json& document = parsed;
    Failure failure;
    if (!document.is_object()) {
        failure.Fail("scenario", "expected a JSON object");
    } else if (CheckKeys(document, "", {"measures", "tempo", "host", "registry", "invocations"},
                         failure)) {
        (!document.contains("measures") || ReadMeasures(document["measures"], *scenario, failure)) &&
            (!document.contains("tempo") || ReadTempo(document["tempo"], *scenario, failure)) &&
            (!document.contains("host") || ReadHost(document["host"], *scenario, failure)) &&
            (!document.contains("registry") ||
             ReadRegistry(document["registry"], *scenario, failure)) &&
            (!document.contains("invocations") ||
             ReadInvocations(document["invocations"], *scenario, failure));
    }
    if (failure.failed) *error = failure.message;
    return !failure.failed;
}

}  // namespace testhost
