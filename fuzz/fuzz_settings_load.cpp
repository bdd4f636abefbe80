// The settings load from whatever the registry holds: any bytes, any type,
// a missing key or value, failing registry calls.
#include <fuzzer/FuzzedDataProvider.h>
#include <string.h>

#include <vector>

#include "fuzz/fuzz_support.h"
#include "ui/settings.h"
#include "winapi/emu/emu_registry.h"

namespace {

const char kKeyPath[] = "Software\\ZorvPlugins\\ZorvTempo";
const char kValueName[] = "UserDialog";
constexpr size_t kRecordSize = sizeof(UserDialogSettings);

enum class Shape { NoKey, KeyWithoutValue, Value, OpenFails, QueryFails, Count };

// What a load leaves when no stored value is taken: the defaults, with the
// region flag as it was (the defaults do not own it).
UserDialogSettings Defaults(int16_t regionHasTempo) {
    UserDialogSettings d;
    d.startUnit = 2, d.startModifier = 0, d.startTempo = 100, d.startReserved = 3;
    d.stopUnit = 2, d.stopModifier = 0, d.stopTempo = 100, d.stopReserved = 3;
    d.afterAction = 1, d.reserved1 = 0, d.reserved2 = 0;
    d.regionHasTempo = regionHasTempo;
    d.dialogLeft = -32768, d.dialogTop = -32768;
    return d;
}

void PrepareRegistry(Shape shape, DWORD type, const std::vector<unsigned char>& bytes,
                     LONG error) {
    emu::ResetRegistry();
    if (shape == Shape::NoKey) return;
    emu::CreateRegistryKey(kKeyPath);
    if (shape == Shape::KeyWithoutValue) return;
    emu::RegistryValue value;
    value.type = type;
    value.bytes = bytes;
    emu::SetRegistryValue(kKeyPath, kValueName, value);
    if (shape == Shape::OpenFails) emu::FailRegistry(emu::RegistryOperation::Open, error);
    if (shape == Shape::QueryFails) emu::FailRegistry(emu::RegistryOperation::Query, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const auto shape = Shape(in.ConsumeIntegralInRange<int>(0, int(Shape::Count) - 1));
    const DWORD type = in.ConsumeIntegral<uint32_t>();
    // Any nonzero status is a failure; 234 (more data) is the usual one.
    const LONG error = LONG(in.ConsumeIntegralInRange<uint32_t>(1, 0x7FFFFFFF));
    UserDialogSettings before;
    const std::vector<unsigned char> seed = in.ConsumeBytes<unsigned char>(kRecordSize);
    memset(&before, 0x5A, kRecordSize);
    if (!seed.empty()) memcpy(&before, seed.data(), seed.size());
    const std::vector<unsigned char> stored = in.ConsumeRemainingBytes<unsigned char>();

    PrepareRegistry(shape, type, stored, error);
    moduleSettings = before;
    LoadSettings();

    UserDialogSettings expected = Defaults(before.regionHasTempo);
    // A stored value of at most a record's size replaces exactly its own
    // bytes; a longer one is refused whole.
    if (shape == Shape::Value && !stored.empty() && stored.size() <= kRecordSize)
        memcpy(&expected, stored.data(), stored.size());
    FUZZ_CHECK(memcmp(&moduleSettings, &expected, kRecordSize) == 0);
    FUZZ_CHECK(emu::OpenRegistryKeys() == 0);
    return 0;
}
