// The settings record: defaults, the initialisation flag, loading and saving
// through the registry, and the emulated registry underneath.
#include <string.h>

#include <array>
#include <random>
#include <vector>

#include "testhost/core/settings_store.h"
#include "tests/unit/plugin_fixture.h"
#include "winapi/emu/emu_registry.h"

namespace {

const char kKey[] = "Software\\ZorvPlugins\\ZorvTempo";
const char kValue[] = "UserDialog";
using Op = emu::RegistryOperation;
using Words = std::array<int16_t, 14>;
using Bytes = std::vector<unsigned char>;

const Words kDefaultsWithFlagZero = {2, 0, 100, 3, 2, 0, 100, 3, 1, 0, 0, 0, -32768, -32768};

Words WordsOf(const UserDialogSettings& settings) {
    Words words;
    memcpy(words.data(), &settings, sizeof settings);
    return words;
}

Bytes BytesOf(const UserDialogSettings& settings) {
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&settings);
    return Bytes(raw, raw + sizeof settings);
}

void Store(const Bytes& bytes, DWORD type = REG_BINARY) {
    emu::RegistryValue value;
    value.type = type;
    value.bytes = bytes;
    emu::SetRegistryValue(kKey, kValue, value);
}

std::vector<emu::RegistryCall> CallsOf(Op operation) {
    std::vector<emu::RegistryCall> found;
    for (const auto& call : emu::RegistryCalls())
        if (call.operation == operation) found.push_back(call);
    return found;
}

// A host process with an empty registry. Whatever a test did, no key may
// stay open behind it.
class SettingsAcrossLoads : public ::testing::Test {
protected:
    SettingsAcrossLoads() { emu::ResetRegistry(); }
    void TearDown() override { EXPECT_EQ(emu::OpenRegistryKeys(), 0); }

    HostProcess process;
};

// ... with one plug-in loaded for the whole test.
class Settings : public SettingsAcrossLoads {
protected:
    void SetUp() override { ASSERT_TRUE(plugin.loaded()); }

    UserDialogSettings& record() { return *plugin.in().moduleSettings; }
    int32_t Init() {
        uint32_t flags = 0;
        return plugin.Init(nullptr, &flags);
    }

    LoadedPlugin plugin;
};

TEST_F(Settings, DefaultsReplaceEveryFieldButTheRegionFlag) {
    EXPECT_EQ(WordsOf(record()), Words{});  // all zero at module load
    Init();
    EXPECT_EQ(WordsOf(record()), kDefaultsWithFlagZero);

    // With no value, an unreadable key or a failed query the defaults stand.
    for (int setup = 0; setup < 4; ++setup) {
        emu::ResetRegistry();
        if (setup == 1) emu::CreateRegistryKey(kKey);
        if (setup >= 2) Store(Bytes(28, 0x11));
        if (setup == 2) emu::FailRegistry(Op::Open, ERROR_ACCESS_DENIED);
        if (setup == 3) emu::FailRegistry(Op::Query, ERROR_INVALID_PARAMETER);
        memset(&record(), 0x5A, sizeof(UserDialogSettings));
        EXPECT_EQ(Init(), 1);
        Words expected = kDefaultsWithFlagZero;
        expected[11] = 0x5A5A;
        EXPECT_EQ(WordsOf(record()), expected) << "setup " << setup;
        EXPECT_EQ(emu::OpenRegistryKeys(), 0) << "setup " << setup;
    }
}

TEST_F(Settings, LoadAsksForTheValueReadOnlyWithARecordSizedBuffer) {
    Store(Bytes(28, 0x22));
    Init();
    auto opens = CallsOf(Op::Open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].path, kKey);
    EXPECT_EQ(opens[0].options, 0u);
    EXPECT_EQ(opens[0].access, REGSAM(KEY_READ));
    auto queries = CallsOf(Op::Query);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].valueName, kValue);
    EXPECT_EQ(queries[0].size, 28u);
    EXPECT_EQ(CallsOf(Op::Close).size(), 1u);
    EXPECT_TRUE(CallsOf(Op::Create).empty());
    EXPECT_TRUE(CallsOf(Op::Set).empty());
}

TEST_F(Settings, InitSetsTheFlagOnlyForNewerHosts) {
    uint32_t flags = 0;
    EXPECT_EQ(plugin.Init(nullptr, &flags), 1);
    EXPECT_EQ(flags, 0u) << "no version call yet";

    const uint32_t cases[][3] = {
        // host version, flags before, flags after
        {0x0BFFFFFFu, 0u, 0u},          {0x0C000000u, 0u, 1u},
        {0x0C00FFFFu, 0u, 1u},          {0x1B200000u, 0u, 1u},
        {0x80000000u, 0u, 0u},          {0xFFFFFFFFu, 0u, 0u},
        {0x7FFF0000u, 0u, 1u},          {0x1B200000u, 0xF0F0F0F0u, 0xF0F0F0F1u},
        {0x0B000000u, 0xFFFFFFFFu, 0xFFFFFFFFu}, {0x80000000u, 0x00000001u, 0x00000001u},
    };
    for (const auto& c : cases) {
        plugin.Version(c[0]);
        flags = c[1];
        EXPECT_EQ(plugin.Init(nullptr, &flags), 1);
        EXPECT_EQ(flags, c[2]) << std::hex << c[0] << " " << c[1];
    }
    // A host that passes no flags word still gets its settings loaded.
    memset(&record(), 0, sizeof(UserDialogSettings));
    EXPECT_EQ(plugin.Init(nullptr, nullptr), 1);
    EXPECT_EQ(WordsOf(record()), kDefaultsWithFlagZero);
}

TEST_F(Settings, StoredValuesOfAnyTypeUpToTheRecordSizeLoadUnchecked) {
    Words stored = {4, 2, 5000, -7, 0, 1, 19, 99, 2, 123, -456, 1, 640, 480};
    Bytes bytes(28);
    memcpy(bytes.data(), stored.data(), 28);
    for (DWORD type : {DWORD(REG_BINARY), DWORD(REG_NONE), DWORD(REG_SZ), DWORD(REG_DWORD), 0x1234u}) {
        Store(bytes, type);
        Init();
        EXPECT_EQ(WordsOf(record()), stored) << "type " << type;
    }
}

TEST_F(Settings, ValuesLongerThanTheRecordAreIgnored) {
    for (size_t length : {size_t(29), size_t(30), size_t(100)}) {
        Store(Bytes(length, 0x77));
        record().regionHasTempo = 1;
        Init();
        Words expected = kDefaultsWithFlagZero;
        expected[11] = 1;
        EXPECT_EQ(WordsOf(record()), expected) << length;
    }
}

TEST_F(Settings, ShortValuesReplaceOnlyTheBytesTheyHold) {
    record().regionHasTempo = 1;
    for (size_t length : {size_t(0), size_t(1), size_t(5), size_t(6), size_t(27)}) {
        Bytes bytes(length);
        for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(0xC0 + i);
        Store(bytes);
        Init();
        Words defaults = kDefaultsWithFlagZero;
        defaults[11] = 1;
        Bytes expected(28);
        memcpy(expected.data(), defaults.data(), 28);
        if (length) memcpy(expected.data(), bytes.data(), length);
        EXPECT_EQ(BytesOf(record()), expected) << length;
    }
}

TEST_F(SettingsAcrossLoads, SaveThenLoadRestoresEveryByte) {
    std::mt19937 random(20240611u);
    for (int round = 0; round < 12; ++round) {
        Bytes image(28);
        for (auto& byte : image) byte = static_cast<unsigned char>(random());
        {
            LoadedPlugin writer;
            ASSERT_TRUE(writer.loaded());
            uint32_t flags = 0;
            writer.Init(nullptr, &flags);
            memcpy(writer.in().moduleSettings, image.data(), 28);
            EXPECT_EQ(writer.Terminate(), ERROR_SUCCESS);
        }
        emu::RegistryValue value;
        ASSERT_TRUE(emu::GetRegistryValue(kKey, kValue, &value));
        EXPECT_EQ(value.type, DWORD(REG_BINARY));
        EXPECT_EQ(value.bytes, image);

        LoadedPlugin reader;
        ASSERT_TRUE(reader.loaded());
        uint32_t flags = 0;
        reader.Init(nullptr, &flags);
        EXPECT_EQ(BytesOf(*reader.in().moduleSettings), image) << "round " << round;
    }
}

TEST_F(Settings, ASecondInitDiscardsUnsavedChanges) {
    Init();
    record().startTempo = 321;
    record().dialogLeft = 10;
    Init();
    EXPECT_EQ(WordsOf(record()), kDefaultsWithFlagZero);

    Words stored = {0, 2, 60, 3, 4, 0, 200, 3, 2, 0, 0, 1, 50, 60};
    Bytes bytes(28);
    memcpy(bytes.data(), stored.data(), 28);
    Store(bytes);
    Init();
    record().stopTempo = 555;
    record().regionHasTempo = 0;
    Init();
    EXPECT_EQ(WordsOf(record()), stored);
}

TEST_F(Settings, SaveWritesTheWholeRecordAsBinary) {
    Store(Bytes(40, 0xEE));  // an older, longer value is replaced whole
    Init();
    record().regionHasTempo = 1;
    EXPECT_EQ(plugin.Terminate(), ERROR_SUCCESS);
    emu::RegistryValue value;
    ASSERT_TRUE(emu::GetRegistryValue(kKey, kValue, &value));
    EXPECT_EQ(value.bytes, BytesOf(record()));

    auto creates = CallsOf(Op::Create);
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].path, kKey);
    EXPECT_EQ(creates[0].options, 0u);
    EXPECT_EQ(creates[0].access, REGSAM(KEY_WRITE));
    auto sets = CallsOf(Op::Set);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].valueName, kValue);
    EXPECT_EQ(sets[0].type, DWORD(REG_BINARY));
    EXPECT_EQ(sets[0].size, 28u);
}

TEST_F(Settings, SaveCreatesTheKeyPathFromNothing) {
    Init();
    EXPECT_EQ(plugin.Terminate(), ERROR_SUCCESS);
    EXPECT_TRUE(emu::RegistryKeyExists("software\\zorvplugins"));
    emu::RegistryValue value;
    ASSERT_TRUE(emu::GetRegistryValue(kKey, kValue, &value));
    EXPECT_EQ(value.bytes, BytesOf(record()));
}

TEST_F(Settings, SaveReportsEachFailure) {
    Init();
    for (LONG error : {LONG(ERROR_ACCESS_DENIED), LONG(1021)}) {
        emu::ResetRegistry();
        emu::FailRegistry(Op::Create, error);
        EXPECT_EQ(plugin.Terminate(), error);
        EXPECT_FALSE(emu::RegistryKeyExists(kKey));
        EXPECT_TRUE(CallsOf(Op::Set).empty());
    }

    // A failed write is an error even though the key closes cleanly.
    emu::ResetRegistry();
    Store(Bytes(28, 0x44));
    emu::FailRegistry(Op::Set, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(plugin.Terminate(), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(CallsOf(Op::Close).size(), 1u);
    emu::RegistryValue value;
    ASSERT_TRUE(emu::GetRegistryValue(kKey, kValue, &value));
    EXPECT_EQ(value.bytes, Bytes(28, 0x44));

    // After a good write the close decides.
    emu::ResetRegistry();
    emu::FailRegistry(Op::Close, ERROR_INVALID_HANDLE);
    EXPECT_EQ(plugin.Terminate(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(emu::GetRegistryValue(kKey, kValue, nullptr));
}

TEST_F(SettingsAcrossLoads, NothingIsSavedWithoutTerminate) {
    {
        LoadedPlugin other;
        ASSERT_TRUE(other.loaded());
        uint32_t flags = 0;
        other.Init(nullptr, &flags);
        other.in().moduleSettings->startTempo = 300;
    }
    EXPECT_FALSE(emu::RegistryKeyExists(kKey));
    EXPECT_TRUE(CallsOf(Op::Create).empty());
}

// A Terminate with no Init since the module loaded has nothing to save: it
// must not put the module's all-zero record over what the user has stored.
// It leaves the registry as it finds it, however often it is called, and
// reports success; a module initialised in an earlier load does not count.
TEST_F(SettingsAcrossLoads, TerminateWithoutInitLeavesTheStoredValueAsItIs) {
    struct Case {
        const char* what;
        bool key;
        Bytes stored;  // empty: no value
        DWORD type;
    };
    Bytes record(28);
    for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<unsigned char>(0x31 + i);
    const Case cases[] = {
        {"no key", false, {}, REG_BINARY},
        {"a key without the value", true, {}, REG_BINARY},
        {"a record", true, record, REG_BINARY},
        {"a longer value of another type", true, Bytes(40, 0x7E), REG_SZ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        emu::ResetRegistry();
        {
            // An earlier load that initialised and saved.
            LoadedPlugin earlier;
            ASSERT_TRUE(earlier.loaded());
            uint32_t flags = 0;
            earlier.Init(nullptr, &flags);
            EXPECT_EQ(earlier.Terminate(), ERROR_SUCCESS);
        }
        emu::ResetRegistry();
        if (c.key) emu::CreateRegistryKey(kKey);
        if (!c.stored.empty()) Store(c.stored, c.type);

        LoadedPlugin plugin;
        ASSERT_TRUE(plugin.loaded());
        // A registry that would refuse the save changes nothing either.
        emu::FailRegistry(Op::Close, ERROR_INVALID_HANDLE);
        EXPECT_EQ(plugin.Terminate(), ERROR_SUCCESS);
        EXPECT_EQ(plugin.Terminate(), ERROR_SUCCESS);
        emu::FailRegistry(Op::Close, ERROR_SUCCESS);

        EXPECT_TRUE(emu::RegistryCalls().empty());
        EXPECT_EQ(emu::RegistryKeyExists(kKey), c.key);
        emu::RegistryValue value;
        EXPECT_EQ(emu::GetRegistryValue(kKey, kValue, &value), !c.stored.empty());
        if (!c.stored.empty()) {
            EXPECT_EQ(value.bytes, c.stored);
            EXPECT_EQ(value.type, c.type);
        }
        EXPECT_EQ(WordsOf(*plugin.in().moduleSettings), Words{});
    }
}

// Once initialised, the same module saves at every Terminate.
TEST_F(Settings, TerminateAfterInitSavesEachTime) {
    Init();
    for (int16_t tempo : {int16_t(77), int16_t(88)}) {
        record().startTempo = tempo;
        EXPECT_EQ(plugin.Terminate(), ERROR_SUCCESS);
        emu::RegistryValue value;
        ASSERT_TRUE(emu::GetRegistryValue(kKey, kValue, &value));
        EXPECT_EQ(value.bytes, BytesOf(record())) << tempo;
    }
    EXPECT_EQ(CallsOf(Op::Set).size(), 2u);
}

// The emulated registry behaves as Windows does where the plug-in and the
// scenario runners depend on it.
class EmulatedRegistry : public ::testing::Test {
protected:
    EmulatedRegistry() { emu::ResetRegistry(); }
    void TearDown() override { EXPECT_EQ(emu::OpenRegistryKeys(), 0); }
};

TEST_F(EmulatedRegistry, CreateMakesIntermediateKeysAndReportsDisposition) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "A\\B\\C", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    EXPECT_EQ(emu::OpenRegistryKeys(), 1);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_TRUE(emu::RegistryKeyExists("a\\b"));
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "a\\b\\c", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);  // closed twice
}

TEST_F(EmulatedRegistry, QueryReportsSizeTypeAndMissingValues) {
    emu::RegistryValue stored;
    stored.type = REG_DWORD;
    stored.bytes = {1, 2, 3, 4, 5, 6};
    emu::SetRegistryValue("K", "Name", stored);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "k", 0, KEY_READ, &key), ERROR_SUCCESS);
    unsigned char buffer[8] = {0};
    DWORD type = 0, size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "NAME", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "name", nullptr, &type, buffer, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(Bytes(buffer, buffer + 6), stored.bytes);
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "name", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(RegQueryValueExA(key, "other", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);
    // A key opened for reading cannot be written.
    EXPECT_EQ(RegSetValueExA(key, "name", 0, REG_BINARY, buffer, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(EmulatedRegistry, DeletingKeysAndValues) {
    emu::CreateRegistryKey("P\\Q");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "p\\q", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    unsigned char byte = 9;
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, &byte, 1), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "V"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "P"), ERROR_ACCESS_DENIED);  // has a subkey
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "P\\Q"), ERROR_SUCCESS);
    EXPECT_FALSE(emu::RegistryKeyExists("p\\q"));
    EXPECT_TRUE(emu::RegistryKeyExists("p"));
    // The handle outlives its key but no longer reaches it, even once the
    // same name exists again.
    emu::CreateRegistryKey("P\\Q");
    EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_BINARY, &byte, 1), 1018);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "P\\missing"), ERROR_FILE_NOT_FOUND);
}

// Windows' rule for the string types (1, 2, 7): a value whose last counted
// byte is not 0 is stored with one 0 byte after it; every other value, and
// every other type, is stored as counted.
TEST_F(EmulatedRegistry, StringTypesWithoutATrailingZeroGainOne) {
    struct Case {
        DWORD type;
        Bytes given;
        Bytes stored;
    };
    const Case cases[] = {
        {REG_SZ, {0x41, 0x42}, {0x41, 0x42, 0x00}},
        {REG_EXPAND_SZ, {0x41, 0x42}, {0x41, 0x42, 0x00}},
        {REG_MULTI_SZ, {0x41, 0x00, 0x42}, {0x41, 0x00, 0x42, 0x00}},
        {REG_SZ, {0x41, 0x00}, {0x41, 0x00}},
        {REG_EXPAND_SZ, {0x00, 0x00}, {0x00, 0x00}},
        {REG_MULTI_SZ, {0x41, 0x00}, {0x41, 0x00}},
        {REG_SZ, {}, {}},
        {REG_SZ, Bytes(28, 0x11), [] { Bytes b(28, 0x11); b.push_back(0); return b; }()},
        {REG_BINARY, {0x41, 0x42}, {0x41, 0x42}},
        {REG_DWORD, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {REG_NONE, {0x41}, {0x41}},
        {8, {0x41}, {0x41}},
    };
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "S", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr), ERROR_SUCCESS);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.given.size() << " bytes");
        // The caller's buffer holds the 0 after the data, as the contract asks.
        Bytes buffer = c.given;
        buffer.push_back(0);
        ASSERT_EQ(RegSetValueExA(key, "v", 0, c.type, buffer.data(), DWORD(c.given.size())),
                  ERROR_SUCCESS);
        emu::RegistryValue value;
        ASSERT_TRUE(emu::GetRegistryValue("S", "v", &value));
        EXPECT_EQ(value.type, c.type);
        EXPECT_EQ(value.bytes, c.stored);
        unsigned char read[64] = {0};
        DWORD size = sizeof read;
        ASSERT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, read, &size), ERROR_SUCCESS);
        EXPECT_EQ(Bytes(read, read + size), c.stored);
    }
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// The stand-in host stores the scenario's bytes through RegSetValueExA: a
// 28-byte string value without a trailing 0 becomes 29 bytes, which the
// plug-in's 28-byte query cannot take, so the defaults stand.
TEST_F(SettingsAcrossLoads, AStringValueWithoutItsZeroIsTooLongForTheRecord) {
    Bytes record(28);
    for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<unsigned char>(0x21 + i);
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_EXPAND_SZ), DWORD(REG_MULTI_SZ)}) {
        for (bool endsInZero : {true, false}) {
            SCOPED_TRACE(testing::Message() << "type " << type
                                            << (endsInZero ? ", ends in 0" : ", ends in 0x3C"));
            emu::ResetRegistry();
            record.back() = endsInZero ? 0 : 0x3C;
            ASSERT_TRUE(testhost::StoreSettingsValue(record, type));
            std::vector<uint8_t> stored;
            DWORD storedType = 0;
            ASSERT_TRUE(testhost::ReadSettingsValue(&stored, &storedType));
            EXPECT_EQ(storedType, type);
            EXPECT_EQ(stored.size(), endsInZero ? 28u : 29u);

            LoadedPlugin plugin;
            ASSERT_TRUE(plugin.loaded());
            uint32_t flags = 0;
            plugin.Init(nullptr, &flags);
            if (endsInZero)
                EXPECT_EQ(BytesOf(*plugin.in().moduleSettings), record);
            else
                EXPECT_EQ(WordsOf(*plugin.in().moduleSettings), kDefaultsWithFlagZero);
        }
    }
}

}  // namespace
