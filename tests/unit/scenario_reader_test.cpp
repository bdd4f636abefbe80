// Reading scenario files: defaults, every accepted form, and refusals that
// name the key at fault.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testhost/core/scenario.h"

namespace {

using testhost::ActionKind;
using testhost::ParseScenario;
using testhost::Scenario;

Scenario Parse(const std::string& text) {
    Scenario scenario;
    std::string error;
    EXPECT_TRUE(ParseScenario(text, &scenario, &error)) << error;
    return scenario;
}

std::string Refusal(const std::string& text) {
    Scenario scenario;
    std::string error;
    EXPECT_FALSE(ParseScenario(text, &scenario, &error)) << text;
    return error;
}

TEST(ScenarioReader, AnEmptyObjectGivesTheDocumentedDefaults) {
    Scenario s = Parse("{}");
    EXPECT_TRUE(s.measures.empty());
    EXPECT_TRUE(s.tempo.empty());
    EXPECT_EQ(s.host.version, 0x1B200000u);
    EXPECT_EQ(s.host.flags, 0u);
    EXPECT_EQ(s.host.menuStatus, 1);
    EXPECT_TRUE(s.host.missing.empty());
    EXPECT_EQ(s.host.name, "FINALE.EXE");
    EXPECT_TRUE(s.host.dialogWaits);
    EXPECT_FALSE(s.registry.keyExists);
    EXPECT_TRUE(s.invocations.empty());
}

TEST(ScenarioReader, MeasureRunsExpandInOrderAndTempoRowsTakeTheirThirdWord) {
    Scenario s = Parse(R"({"measures": [[2, 4096], [0, 1], [1, 3072]],
                           "tempo": [[-32768, -5, 7], [3, 0, 100, -1]]})");
    EXPECT_EQ(s.MeasureLengths(), (std::vector<int32_t>{4096, 4096, 3072}));
    ASSERT_EQ(s.tempo.size(), 2u);
    EXPECT_EQ(s.tempo[0].measure, -32768);
    EXPECT_EQ(s.tempo[0].position, -5);
    EXPECT_EQ(s.tempo[0].third, 1000);
    EXPECT_EQ(s.tempo[1].third, -1);
}

TEST(ScenarioReader, HostWordsTakeTheirWholeRange) {
    Scenario s = Parse(R"({"host": {"version": 4294967295, "flags": 0, "menuStatus": -32768,
                                    "missing": ["FX_Dialog", "FX_LoadEData"], "name": "X.EXE",
                                    "dialogWaits": false}})");
    EXPECT_EQ(s.host.version, 0xFFFFFFFFu);
    EXPECT_EQ(s.host.menuStatus, -32768);
    EXPECT_EQ(s.host.missing, (std::vector<std::string>{"FX_Dialog", "FX_LoadEData"}));
    EXPECT_EQ(s.host.name, "X.EXE");
    EXPECT_FALSE(s.host.dialogWaits);
    EXPECT_TRUE(Parse(R"({"host": {"dialogWaits": true}})").host.dialogWaits);
}

TEST(ScenarioReader, RegistryFormsKeepKeyValueAndType) {
    Scenario none = Parse(R"({"registry": null})");
    EXPECT_FALSE(none.registry.keyExists);

    Scenario bare = Parse(R"({"registry": {}})");
    EXPECT_TRUE(bare.registry.keyExists);
    EXPECT_FALSE(bare.registry.hasValue);

    Scenario value = Parse(R"({"registry": {"UserDialog": "00ff7a"}})");
    EXPECT_TRUE(value.registry.hasValue);
    EXPECT_EQ(value.registry.bytes, (std::vector<uint8_t>{0x00, 0xFF, 0x7A}));
    EXPECT_EQ(value.registry.type, 3u);

    Scenario empty = Parse(R"({"registry": {"UserDialog": "", "type": 1}})");
    EXPECT_TRUE(empty.registry.hasValue);
    EXPECT_TRUE(empty.registry.bytes.empty());
    EXPECT_EQ(empty.registry.type, 1u);
}

TEST(ScenarioReader, InvocationsKeepRegionActionsAndAnswersInOrder) {
    Scenario s = Parse(R"({"invocations": [
        {},
        {"region": [1, 1000, 5, 2147483647],
         "user": [{"set": 111, "value": -7}, {"text": 131, "value": " 9"},
                  {"check": 109, "value": 1}, {"click": 135}, {"move": [-3, 700]}],
         "answers": ["no", "yes"]}]})");
    ASSERT_EQ(s.invocations.size(), 2u);
    EXPECT_FALSE(s.invocations[0].region.has_value());
    const auto& second = s.invocations[1];
    ASSERT_TRUE(second.region.has_value());
    EXPECT_EQ(second.region->startPosition, 1000);
    EXPECT_EQ(second.region->endMeasure, 5);
    EXPECT_EQ(second.region->endPosition, 0x7FFFFFFF);
    ASSERT_EQ(second.user.size(), 5u);
    EXPECT_EQ(second.user[0].kind, ActionKind::Set);
    EXPECT_EQ(second.user[0].number, -7);
    EXPECT_EQ(second.user[1].kind, ActionKind::Text);
    EXPECT_EQ(second.user[1].text, " 9");
    EXPECT_EQ(second.user[2].kind, ActionKind::Check);
    EXPECT_EQ(second.user[3].kind, ActionKind::Click);
    EXPECT_EQ(second.user[3].control, 135);
    EXPECT_EQ(second.user[4].kind, ActionKind::Move);
    EXPECT_EQ(second.user[4].x, -3);
    EXPECT_EQ(second.user[4].y, 700);
    EXPECT_EQ(second.answers, (std::vector<bool>{false, true}));
}

TEST(ScenarioReader, RefusalsNameTheKeyAtFault) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"measures": {}})", "measures: "},
        {R"({"measures": [[-1, 4096]]})", "measures[0][0]: "},
        {R"({"measures": [[1, 2147483648]]})", "measures[0][1]: "},
        {R"({"measures": [[1, 4096.0]]})", "measures[0][1]: "},
        {R"({"measures": [[1e400, 1]]})", "scenario: not valid JSON"},
        {R"({"tempo": [[1, 0]]})", "tempo[0]: "},
        {R"({"tempo": [[1, 0, 2147483648]]})", "tempo[0][2]: "},
        {R"({"host": {"version": -1}})", "host.version: "},
        {R"({"host": {"version": 4294967296}})", "host.version: "},
        {R"({"host": {"flags": true}})", "host.flags: "},
        {R"({"host": {"menuStatus": 32768}})", "host.menuStatus: "},
        {R"({"host": {"missing": "FX_Dialog"}})", "host.missing: "},
        {R"({"host": {"name": 5}})", "host.name: "},
        {R"({"host": {"dialogWaits": 0}})", "host.dialogWaits: expected true or false"},
        {R"({"host": {"dialogWaits": "no"}})", "host.dialogWaits: "},
        {R"({"host": {"colour": 5}})", "host.colour: unknown key"},
        // A key holding control characters is still named on one line.
        {R"({"host": {"menu\nStatus": 1}})", "host.menu\\u000AStatus: unknown key"},
        {R"({"registry": []})", "registry: "},
        {R"({"registry": {"UserDialog": "abc"}})", "registry.UserDialog: "},
        {R"({"registry": {"UserDialog": "zz"}})", "registry.UserDialog: "},
        {R"({"registry": {"type": 3}})", "registry.type: "},
        {R"({"invocations": {}})", "invocations: "},
        {R"({"invocations": [1]})", "invocations[0]: "},
        {R"({"invocations": [{"region": [1, 0, 2, "x"]}]})", "invocations[0].region[3]: "},
        {R"({"invocations": [{"region": [32768, 0, 1, 0]}]})", "invocations[0].region[0]: "},
        {R"({"invocations": [{"user": [{"click": 1, "set": 2}]}]})", "invocations[0].user[0]: "},
        {R"({"invocations": [{"user": [{"set": 111}]}]})", "invocations[0].user[0].value: "},
        {R"({"invocations": [{"user": [{"text": 111, "value": 5}]}]})",
         "invocations[0].user[0].value: "},
        {R"({"invocations": [{"user": [{"click": "OK"}]}]})", "invocations[0].user[0].click: "},
        {R"({"invocations": [{"user": [{"move": [1]}]}]})", "invocations[0].user[0].move: "},
        {R"({"invocations": [{"user": [{"click": 1, "value": 1}]}]})",
         "invocations[0].user[0].value: unknown key"},
        {R"({"invocations": [{"answers": ["maybe"]}]})", "invocations[0].answers[0]: "},
    };
    for (const auto& [text, prefix] : cases) {
        std::string error = Refusal(text);
        EXPECT_EQ(error.rfind(prefix, 0), 0u) << text << " gave: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// Whatever a cut-off file holds, the reader answers with a verdict and, on
// refusal, one line.
TEST(ScenarioReader, EveryPrefixOfAValidFileIsReadOrRefusedOnOneLine) {
    const std::string valid = R"({"measures": [[2, 4096]], "tempo": [[1, 0, 5, 6]],
        "host": {"missing": ["FX_Dialog"]}, "registry": {"UserDialog": "0a"},
        "invocations": [{"region": [1, 0, 2, 0], "user": [{"move": [1, 2]}], "answers": ["yes"]}]})";
    Parse(valid);
    for (size_t length = 0; length < valid.size(); ++length) {
        Scenario scenario;
        std::string error;
        if (!ParseScenario(valid.substr(0, length), &scenario, &error)) {
            EXPECT_FALSE(error.empty());
            EXPECT_EQ(error.find('\n'), std::string::npos);
        }
    }
}

TEST(ScenarioReader, HexRoundTripsAndRefusesUppercaseOrOddDigits) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(testhost::FromHex("00017f80ff", &bytes));
    EXPECT_EQ(testhost::ToHex(bytes), "00017f80ff");
    EXPECT_FALSE(testhost::FromHex("0A", &bytes));
    EXPECT_FALSE(testhost::FromHex("012", &bytes));
    EXPECT_FALSE(testhost::FromHex("0g", &bytes));
}

}  // namespace
