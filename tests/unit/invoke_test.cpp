// The menu command end to end: the selection check, the region scan and the
// dialog that the stand-in host runs from the module's own template.
#include <functional>
#include <string>
#include <vector>

#include "tests/unit/plugin_fixture.h"
#include "winapi/emu/emu_windows.h"

namespace {

using testhost::Fx;
using testhost::Host;
using testhost::TempoEntry;
using testhost::TempoRow;

const char kNoSelectionText[] =
    "Please select the area (with the mass mover tool) where you want the accelerando or "
    "ritardando before using the plug-in. You can use partial measures if needed.";

// Runs the plug-in's dialog as the host would: builds it from the module's
// template, initialises it, lets the test act on it, and ends it on request.
class ScriptedRunner : public testhost::DialogRunner {
public:
    using Script = std::function<void(HWND dialog, DLGPROC proc)>;

    INT_PTR RunDialog(int32_t resourceId, DLGPROC proc, HWND parent) override {
        HWND dialog = emu::CreateDialogFromResource(module, resourceId, parent);
        if (!dialog) return -1;
        proc(dialog, WM_INITDIALOG, 0, 0);
        char caption[64] = {0};
        GetWindowTextA(dialog, caption, int(sizeof caption));
        shownCaption = caption;
        removeShown = (GetWindowLongW(GetDlgItem(dialog, 135), GWL_STYLE) & WS_VISIBLE) != 0;
        ++runs;
        if (script) script(dialog, proc);
        INT_PTR result = 0;
        return emu::DialogEnded(dialog, &result) ? result : -1;
    }
    void EndDialog(HWND dialog) override { ::EndDialog(dialog, 1); }

    HMODULE module = nullptr;
    Script script;
    int runs = 0;
    std::string shownCaption;
    bool removeShown = false;
};

using Script = ScriptedRunner::Script;

class Invoke : public ::testing::Test {
protected:
    void SetUp() override {
        emu::ResetWindows();
        ASSERT_TRUE(plugin.loaded());
        runner.module = plugin.module();
        Host().dialogs = &runner;
        Host().score.measureLengths = {4096, 4096, 4096};
        window = emu::CreateHostWindow();
    }
    void TearDown() override {
        Host().dialogs = nullptr;
        emu::ResetWindows();
    }
    void Seed(int16_t measure, int32_t position, int32_t value) {
        Host().score.InsertTempo(measure, TempoEntry{position, value, 1000});
    }
    UserDialogSettings& settings() { return *plugin.in().moduleSettings; }

    HostProcess process;
    LoadedPlugin plugin;
    ScriptedRunner runner;
    HWND window = nullptr;
};

TEST_F(Invoke, WithoutASelectionOnlyAsksForOne) {
    EXPECT_EQ(plugin.Invoke(window, nullptr, nullptr), 0);

    const auto& boxes = emu::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, window);
    EXPECT_EQ(boxes[0].text, kNoSelectionText);
    EXPECT_EQ(boxes[0].caption, "Zorv Accel/Rit - No area selected");
    EXPECT_EQ(boxes[0].flags, 0x40u);
    EXPECT_TRUE(Host().calls.empty());
    EXPECT_EQ(runner.runs, 0);
    EXPECT_EQ(*plugin.in().currentRegion, nullptr);
    EXPECT_EQ(*plugin.in().currentSettings, nullptr);
}

TEST_F(Invoke, ANullRegionKeepsTheEarlierInvocationsFlag) {
    Seed(1, 0, 900);
    ERegion region = MakeRegion(1, 0, 2, ThroughEndOfMeasure);
    runner.script = [](HWND dialog, DLGPROC proc) { proc(dialog, WM_COMMAND, IDCANCEL, 0); };
    EXPECT_EQ(plugin.Invoke(window, nullptr, &region), 1);
    ASSERT_EQ(settings().regionHasTempo, 1);
    Host().calls.clear();

    EXPECT_EQ(plugin.Invoke(window, nullptr, nullptr), 0);
    EXPECT_EQ(*plugin.in().currentRegion, nullptr);
    EXPECT_EQ(*plugin.in().currentSettings, nullptr);
    EXPECT_EQ(settings().regionHasTempo, 1);
    EXPECT_TRUE(Host().calls.empty());
    EXPECT_EQ(runner.runs, 1);
}

// The region is the host's and lives only for the call: the module points
// at it while the host's dialog runs and at nothing once the dialog call has
// returned, however the dialog ended.
TEST_F(Invoke, TheCurrentPointersLiveOnlyWhileTheHostsDialogRuns) {
    struct Case {
        const char* what;
        Script script;
    };
    const Case cases[] = {
        {"cancel", [](HWND dialog, DLGPROC proc) { proc(dialog, WM_COMMAND, IDCANCEL, 0); }},
        {"ok",
         [](HWND dialog, DLGPROC proc) {
             SetDlgItemTextA(dialog, 111, "60");
             SetDlgItemTextA(dialog, 131, "90");
             proc(dialog, WM_COMMAND, IDOK, 0);
         }},
        {"left open", [](HWND, DLGPROC) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ERegion region = MakeRegion(1, 0, 2, ThroughEndOfMeasure);
        ERegion* regionDuring = nullptr;
        UserDialogSettings* settingsDuring = nullptr;
        runner.script = [&](HWND dialog, DLGPROC proc) {
            regionDuring = *plugin.in().currentRegion;
            settingsDuring = *plugin.in().currentSettings;
            c.script(dialog, proc);
        };
        EXPECT_EQ(plugin.Invoke(window, nullptr, &region), 1);
        EXPECT_EQ(regionDuring, &region);
        EXPECT_EQ(settingsDuring, plugin.in().moduleSettings);
        EXPECT_EQ(*plugin.in().currentRegion, nullptr);
        EXPECT_EQ(*plugin.in().currentSettings, nullptr);
    }
}

TEST_F(Invoke, ASelectionAfterNoneRunsTheDialogWithTheHostsArguments) {
    EXPECT_EQ(plugin.Invoke(window, nullptr, nullptr), 0);
    ERegion region = MakeRegion(2, 0, 2, ThroughEndOfMeasure);
    runner.script = [](HWND dialog, DLGPROC proc) { proc(dialog, WM_COMMAND, IDCANCEL, 0); };

    EXPECT_EQ(plugin.Invoke(window, reinterpret_cast<void*>(0x1234), &region), 1);

    const auto dialogs = Host().CallsOf(Fx::Dialog);
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].resourceId, 20128);
    EXPECT_EQ(dialogs[0].proc, plugin.in().TempoDialogProc);
    EXPECT_EQ(dialogs[0].parent, window);
    EXPECT_EQ(dialogs[0].one, 1);
    EXPECT_EQ(dialogs[0].nothing, 0);
    EXPECT_EQ(dialogs[0].version, 0x1B200000u);
    EXPECT_EQ(runner.runs, 1);
    EXPECT_EQ(runner.shownCaption, "Zorv Tempo v1.06");
    EXPECT_EQ(*plugin.in().currentRegion, nullptr);
    EXPECT_EQ(*plugin.in().currentSettings, nullptr);
    // The scan ran before the dialog: its loads come first.
    ASSERT_FALSE(Host().calls.empty());
    EXPECT_EQ(Host().calls.front().function, Fx::LoadEData);
}

TEST_F(Invoke, TheScanDecidesWhetherRemoveIsShown) {
    Seed(1, 2048, 700);
    Seed(3, 0, 800);
    struct Case {
        ERegion region;
        bool hasTempo;
    };
    const Case cases[] = {
        {MakeRegion(1, 0, 1, ThroughEndOfMeasure), true},
        {MakeRegion(2, 0, 2, ThroughEndOfMeasure), false},
        {MakeRegion(1, 0, 1, 2047), false},
        {MakeRegion(2, 1024, 3, 0), true},
    };
    runner.script = [](HWND dialog, DLGPROC proc) { proc(dialog, WM_COMMAND, IDCANCEL, 0); };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.region.startMeasure * 10 + c.region.endMeasure);
        ERegion region = c.region;
        settings().regionHasTempo = c.hasTempo ? 0 : 1;  // the scan must overwrite it
        EXPECT_EQ(plugin.Invoke(window, nullptr, &region), 1);
        EXPECT_EQ(runner.removeShown, c.hasTempo);
        EXPECT_EQ(settings().regionHasTempo, c.hasTempo ? 1 : 0);
    }
    EXPECT_EQ(Host().score.TempoCount(), 2u);
}

TEST_F(Invoke, OkInTheDialogWritesTheRampIntoTheScore) {
    Seed(2, 512, -1);
    ERegion region = MakeRegion(2, 0, 3, ThroughEndOfMeasure);
    runner.script = [](HWND dialog, DLGPROC proc) {
        // Quarter for both tempos, "None" after the selection; every other
        // button of the three groups unchecked.
        for (int id : {102, 103, 104, 105, 106, 122, 123, 124, 125, 126, 142, 143, 144})
            CheckDlgButton(dialog, id, id == 104 || id == 124 || id == 142 ? BST_CHECKED
                                                                           : BST_UNCHECKED);
        SetDlgItemTextA(dialog, 111, "60");
        SetDlgItemTextA(dialog, 131, "120");
        proc(dialog, WM_COMMAND, IDOK, 0);
    };

    EXPECT_EQ(plugin.Invoke(window, nullptr, &region), 1);

    EXPECT_EQ(settings().startTempo, 60);
    EXPECT_EQ(settings().stopTempo, 120);
    EXPECT_EQ(settings().startUnit, 2);
    EXPECT_EQ(settings().stopUnit, 2);
    EXPECT_EQ(settings().afterAction, 0);
    EXPECT_EQ(Host().CallCount(Fx::EndDialog), 1);
    // The worked example of the ramp (quarter = 60 to 120 over two 4/4
    // measures, "None"), here on measures 2 and 3; the old record inside the
    // region is gone.
    const std::vector<TempoRow> expected = {
        {2, 0, 67108, 1000},     {2, 512, 71302, 1000},   {2, 1024, 75496, 1000},
        {2, 1536, 79690, 1000},  {2, 2048, 83885, 1000},  {2, 2304, 85982, 1000},
        {2, 2560, 88079, 1000},  {2, 2816, 90176, 1000},  {2, 3072, 92273, 1000},
        {2, 3328, 94371, 1000},  {2, 3584, 96468, 1000},  {2, 3840, 98565, 1000},
        {3, 0, 100662, 1000},    {3, 256, 102759, 1000},  {3, 512, 104856, 1000},
        {3, 768, 106953, 1000},  {3, 1024, 109051, 1000}, {3, 1280, 111148, 1000},
        {3, 1536, 113245, 1000}, {3, 1792, 115342, 1000}, {3, 2048, 117439, 1000},
        {3, 2304, 119536, 1000}, {3, 2560, 121634, 1000}, {3, 2816, 123731, 1000},
        {3, 3072, 125828, 1000}, {3, 3328, 127925, 1000}, {3, 3584, 130022, 1000},
        {3, 3840, 132119, 1000}, {3, 4095, 134217, 1000}};
    EXPECT_EQ(Host().score.AllTempo(), expected);
    EXPECT_EQ(Host().CallCount(Fx::CreateEData), int(expected.size()));
}

TEST(InvokeUnbound, WithoutTheHostsDialogTheCommandStillAnswersOne) {
    emu::ResetWindows();
    HostProcess process({"FX_Dialog"});
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    Host().score.measureLengths = {4096, 4096};
    Host().score.InsertTempo(2, TempoEntry{100, 5000, 1000});
    HWND window = emu::CreateHostWindow();
    for (int16_t measure : {int16_t(2), int16_t(1)}) {
        SCOPED_TRACE(measure);
        ERegion region = MakeRegion(measure, 0, measure, ThroughEndOfMeasure);
        EXPECT_EQ(plugin.Invoke(window, nullptr, &region), 1);
        EXPECT_EQ(plugin.in().moduleSettings->regionHasTempo, measure == 2 ? 1 : 0);
        // No dialog ran, and no pointer to the host's region outlasts the call.
        EXPECT_EQ(*plugin.in().currentRegion, nullptr);
        EXPECT_EQ(*plugin.in().currentSettings, nullptr);
    }
    EXPECT_TRUE(emu::MessageBoxLog().empty());
    EXPECT_EQ(Host().CallCount(Fx::Dialog), 0);
    EXPECT_EQ(Host().score.TempoCount(), 1u);
    emu::ResetWindows();
}

}  // namespace
