// The tempo dialog driven message by message on a real emulated dialog built
// from the module's own template, with the stand-in host behind the FX_ calls.
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "tests/unit/plugin_fixture.h"
#include "winapi/emu/emu_windows.h"

namespace {

using testhost::Fx;
using testhost::Host;
using testhost::TempoEntry;
using testhost::TempoRow;

constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kStartEdit = 111;
constexpr int kStopEdit = 131;
constexpr int kRemove = 135;

// Ends the dialog the way the host does when the plug-in asks it to.
class EndingRunner : public testhost::DialogRunner {
public:
    INT_PTR RunDialog(int32_t, DLGPROC, HWND) override { return 0; }
    void EndDialog(HWND dialog) override { ::EndDialog(dialog, 1); }
};

UserDialogSettings OrdinarySettings() {
    UserDialogSettings s;
    memset(&s, 0, sizeof s);
    s.startUnit = 2;
    s.startModifier = 0;
    s.startTempo = 100;
    s.startReserved = 0x1111;
    s.stopUnit = 3;
    s.stopModifier = 2;
    s.stopTempo = 80;
    s.stopReserved = 0x2222;
    s.afterAction = 1;
    s.reserved1 = 0x3333;
    s.reserved2 = 0x4444;
    s.regionHasTempo = 1;
    s.dialogLeft = NoSavedPosition;
    s.dialogTop = NoSavedPosition;
    return s;
}

bool SameSettings(const UserDialogSettings& a, const UserDialogSettings& b) {
    return memcmp(&a, &b, sizeof a) == 0;
}

int16_t ParseTempo(const char* text) { return int16_t(atoi(text)); }

class TempoDialog : public ::testing::Test {
protected:
    void SetUp() override {
        emu::ResetWindows();
        ASSERT_TRUE(plugin.loaded());
        Host().dialogs = &runner;
        Host().score.measureLengths = {4096, 4096, 4096, 4096};
        region = MakeRegion(2, 0, 3, ThroughEndOfMeasure);
        *plugin.in().currentRegion = &region;
        *plugin.in().currentSettings = plugin.in().moduleSettings;
        settings() = OrdinarySettings();
        owner = emu::CreateHostWindow();
        dialog = emu::CreateDialogFromResource(plugin.module(), 20128, owner);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override {
        Host().dialogs = nullptr;
        emu::ResetWindows();
    }

    UserDialogSettings& settings() { return *plugin.in().moduleSettings; }

    // A fresh dialog and fresh settings for the next case of a table.
    void Reopen() {
        emu::ResetWindows();
        owner = emu::CreateHostWindow();
        dialog = emu::CreateDialogFromResource(plugin.module(), 20128, owner);
        ASSERT_NE(dialog, nullptr);
        settings() = OrdinarySettings();
    }

    INT_PTR Send(UINT message, WPARAM wParam = 0) {
        return plugin.in().TempoDialogProc(dialog, message, wParam, 0);
    }
    INT_PTR Init() { return Send(WM_INITDIALOG); }
    INT_PTR Click(int id) { return Send(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED)); }

    void SetText(int id, const char* text) { SetDlgItemTextA(dialog, id, text); }
    void SetTempos(const char* start, const char* stop) {
        SetText(kStartEdit, start);
        SetText(kStopEdit, stop);
    }
    // Checks one radio button of a group and clears the rest.
    void Choose(int first, int count, int chosen) {
        for (int id = first; id < first + count; ++id)
            CheckDlgButton(dialog, id, id == chosen ? BST_CHECKED : BST_UNCHECKED);
    }
    bool Checked(int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    std::string Text(int id) {
        char text[64] = {0};
        GetDlgItemTextA(dialog, id, text, int(sizeof text));
        return text;
    }
    bool RemoveShown() {
        return (GetWindowLongW(GetDlgItem(dialog, kRemove), GWL_STYLE) & WS_VISIBLE) != 0;
    }
    RECT Rect() {
        RECT rect = {0, 0, 0, 0};
        GetWindowRect(dialog, &rect);
        return rect;
    }
    bool Ended() { return emu::DialogEnded(dialog); }
    void Seed(int16_t measure, int32_t position, int32_t value) {
        Host().score.InsertTempo(measure, TempoEntry{position, value, 1000});
    }
    void AnswerYes() {
        emu::SetMessageBoxHandler([](HWND, const std::string&, const std::string&, UINT flags) {
            return (flags & MB_YESNO) ? IDYES : IDOK;
        });
    }

    HostProcess process;
    LoadedPlugin plugin;
    EndingRunner runner;
    ERegion region;
    HWND owner = nullptr;
    HWND dialog = nullptr;
};

TEST_F(TempoDialog, SetUpWritesEveryControlInOrderWithItsTypeCode) {
    EXPECT_EQ(Init(), 1);
    struct Write {
        int32_t id;
        int16_t type;
        int32_t value;
    };
    // start quarter, undotted, 100; stop half, dotted, 80; after: stop tempo
    const std::vector<Write> expected = {
        {102, 2, 0}, {103, 2, 0}, {104, 2, 1}, {105, 2, 0}, {106, 2, 0}, {109, 1, 0},
        {111, 3, 100}, {122, 2, 0}, {123, 2, 0}, {124, 2, 0}, {125, 2, 1}, {126, 2, 0},
        {129, 2, 1}, {131, 3, 80}, {142, 2, 0}, {143, 2, 1}, {144, 2, 0}};
    const auto writes = Host().CallsOf(Fx::SetDlgItemVal);
    ASSERT_EQ(writes.size(), expected.size());
    for (size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].dialog, dialog);
        EXPECT_EQ(writes[i].controlId, expected[i].id) << i;
        EXPECT_EQ(writes[i].typeCode, expected[i].type) << i;
        EXPECT_EQ(writes[i].value, expected[i].value) << i;
        EXPECT_EQ(writes[i].version, HostCallVersion);
    }
    // The host's writes reach the real controls.
    EXPECT_TRUE(Checked(125));
    EXPECT_TRUE(Checked(129));
    EXPECT_EQ(Text(kStartEdit), "100");
    EXPECT_EQ(Text(kStopEdit), "80");
    EXPECT_TRUE(RemoveShown());
    EXPECT_TRUE(emu::MessageBoxLog().empty());
}

TEST_F(TempoDialog, SetUpReplacesTheCaptionAndSendsTheUpDownRangeToAbsentItems) {
    char caption[64] = {0};
    GetWindowTextA(dialog, caption, int(sizeof caption));
    EXPECT_STREQ(caption, "Zorv Tempo");
    Init();
    GetWindowTextA(dialog, caption, int(sizeof caption));
    EXPECT_STREQ(caption, "Zorv Tempo v1.06");

    const auto& sends = emu::DlgItemMessageLog();
    ASSERT_EQ(sends.size(), 2u);
    const int ids[] = {112, 132};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(sends[i].dialog, dialog);
        EXPECT_EQ(sends[i].id, ids[i]);
        EXPECT_EQ(sends[i].message, 1125u);
        EXPECT_EQ(sends[i].wParam, 0u);
        EXPECT_EQ(sends[i].lParam, 0x00140258);
        EXPECT_FALSE(sends[i].itemFound);
    }
}

TEST_F(TempoDialog, StoredValuesOutsideTheShownRangeCheckNothingAndOkStoresTheFallbacks) {
    UserDialogSettings& s = settings();
    s.startUnit = 5;
    s.stopUnit = -1;
    s.startModifier = 1;
    s.stopModifier = 1;
    s.afterAction = 3;
    Init();
    for (int id : {102, 103, 104, 105, 106, 109, 122, 123, 124, 125, 126, 129, 142, 143, 144})
        EXPECT_FALSE(Checked(id)) << id;

    SetTempos("100", "150");
    EXPECT_EQ(Click(kOk), 1);
    EXPECT_TRUE(Ended());
    EXPECT_EQ(s.startUnit, 4);
    EXPECT_EQ(s.stopUnit, 4);
    EXPECT_EQ(s.startModifier, 0);
    EXPECT_EQ(s.stopModifier, 0);
    EXPECT_EQ(s.afterAction, 2);
}

TEST_F(TempoDialog, ValidOkStoresTheEntriesSavesThePositionWritesTheRampAndEnds) {
    Seed(2, 1024, -4242);  // inside: replaced by the ramp
    Seed(1, 0, -777);      // outside: kept
    Init();
    MoveWindow(dialog, 300, 200, Rect().right - Rect().left, Rect().bottom - Rect().top, TRUE);
    Choose(102, 5, 102);
    CheckDlgButton(dialog, 109, BST_CHECKED);
    Choose(122, 5, 126);
    CheckDlgButton(dialog, 129, BST_UNCHECKED);
    Choose(142, 3, 142);
    SetTempos("240", "30");
    Host().calls.clear();

    EXPECT_EQ(Click(kOk), 1);

    UserDialogSettings expected = OrdinarySettings();
    expected.startUnit = 0;
    expected.startModifier = 2;
    expected.startTempo = 240;
    expected.stopUnit = 4;
    expected.stopModifier = 0;
    expected.stopTempo = 30;
    expected.afterAction = 0;
    expected.dialogLeft = 300;
    expected.dialogTop = 200;
    EXPECT_TRUE(SameSettings(settings(), expected));

    // The ramp from the stored entries: dotted 16th = 240 is 100,663, whole
    // = 30 is 134,217. Every value reaches 80,004, so every 16th gets a
    // record; over L = 8,192 units each has 100,663 + e x 33,554 / 8,192.
    // "None" closes with the stop value on the region's last unit. The
    // record before the region stays, the one inside is replaced.
    std::vector<TempoRow> expectedScore = {{1, 0, -777, 1000}};
    for (int32_t e = 0; e < 8192; e += 256)
        expectedScore.push_back({2 + e / 4096, e % 4096, 100663 + e * 33554 / 8192, 1000});
    expectedScore.push_back({3, 4095, 134217, 1000});
    EXPECT_EQ(Host().score.AllTempo(), expectedScore);
    EXPECT_EQ(Host().CallCount(Fx::CreateEData), 33);

    const auto ends = Host().CallsOf(Fx::EndDialog);
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].dialog, dialog);
    EXPECT_EQ(ends[0].version, HostCallVersion);
    INT_PTR result = 0;
    EXPECT_TRUE(emu::DialogEnded(dialog, &result));
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(emu::MessageBoxLog().empty());
}

TEST_F(TempoDialog, OkReadsTheControlsInOrderAndStopsAtTheFirstCheckedUnit) {
    Init();
    Choose(102, 5, 104);
    Choose(122, 5, 123);
    Choose(142, 3, 143);
    SetTempos("90", "180");
    Host().calls.clear();
    Click(kOk);

    struct Read {
        int32_t id;
        int16_t type;
    };
    const std::vector<Read> expected = {{111, 3}, {131, 3}, {102, 2}, {103, 2}, {104, 2},
                                        {109, 1}, {122, 2}, {123, 2}, {129, 2}, {142, 2},
                                        {143, 2}};
    const auto reads = Host().CallsOf(Fx::GetDlgItemVal);
    ASSERT_EQ(reads.size(), expected.size());
    for (size_t i = 0; i < reads.size(); ++i) {
        EXPECT_EQ(reads[i].controlId, expected[i].id) << i;
        EXPECT_EQ(reads[i].typeCode, expected[i].type) << i;
        EXPECT_EQ(reads[i].version, HostCallVersion);
    }
    EXPECT_EQ(settings().startUnit, 2);
    EXPECT_EQ(settings().stopUnit, 1);
    EXPECT_EQ(settings().afterAction, 1);
}

struct RangeCase {
    const char* start;
    const char* stop;
    const char* failing;  // "start", "stop" or nullptr when accepted
    int focus;
};

TEST_F(TempoDialog, TempoEntriesOutsideTwentyToSixHundredAreRefused) {
    // 65636 and 65556 would pass as 100 and 20 if only their low 16 bits
    // were tested; "x" reads as 0.
    const RangeCase cases[] = {
        {"20", "300", nullptr, 0},        {"600", "300", nullptr, 0},
        {"300", "20", nullptr, 0},        {"300", "600", nullptr, 0},
        {"19", "300", "start", kStartEdit}, {"601", "300", "start", kStartEdit},
        {"0", "300", "start", kStartEdit},  {"-5", "300", "start", kStartEdit},
        {"65636", "300", "start", kStartEdit}, {"65556", "300", "start", kStartEdit},
        {"x", "300", "start", kStartEdit},  {"-65516", "300", "start", kStartEdit},
        {"300", "19", "stop", kStopEdit},   {"300", "601", "stop", kStopEdit},
        {"300", "0", "stop", kStopEdit},    {"300", "-5", "stop", kStopEdit},
        {"300", "65636", "stop", kStopEdit}, {"300", "65556", "stop", kStopEdit},
        {"5", "1000", "start", kStartEdit},  // both out: only the start is reported
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " / " + c.stop);
        Reopen();
        Init();
        MoveWindow(dialog, 50, 60, 300, 200, TRUE);
        SetTempos(c.start, c.stop);
        Host().calls.clear();

        EXPECT_EQ(Click(kOk), 1);

        if (!c.failing) {
            EXPECT_TRUE(Ended());
            EXPECT_EQ(settings().startTempo, ParseTempo(c.start));
            EXPECT_EQ(settings().stopTempo, ParseTempo(c.stop));
            EXPECT_TRUE(emu::MessageBoxLog().empty());
            continue;
        }
        const auto& boxes = emu::MessageBoxLog();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, dialog);
        EXPECT_EQ(boxes[0].text, "The " + std::string(c.failing) +
                                     " value is out of range. Only values between 20 and 600 "
                                     "are allowed.");
        EXPECT_EQ(boxes[0].caption, "Out of range error");
        EXPECT_EQ(boxes[0].flags, 0x10u);
        const auto focus = Host().CallsOf(Fx::SetDlgFocus);
        ASSERT_EQ(focus.size(), 1u);
        EXPECT_EQ(focus[0].dialog, dialog);
        EXPECT_EQ(focus[0].controlId, c.focus);
        EXPECT_EQ(focus[0].version, HostCallVersion);
        EXPECT_EQ(emu::FocusedWindow(), GetDlgItem(dialog, c.focus));
        EXPECT_TRUE(SameSettings(settings(), OrdinarySettings()));
        EXPECT_FALSE(Ended());
        EXPECT_EQ(Host().CallCount(Fx::CreateEData), 0);
        EXPECT_EQ(Host().CallCount(Fx::EndDialog), 0);
    }
}

TEST_F(TempoDialog, EqualTempoValuesAreRefusedWhateverTheUnits) {
    struct Case {
        int startUnit;
        bool startDotted;
        const char* start;
        int stopUnit;
        bool stopDotted;
        const char* stop;
        bool refused;
    };
    const Case cases[] = {
        {104, false, "120", 125, false, "60", true},   // quarter 120 = half 60
        {104, true, "80", 124, false, "120", true},    // dotted quarter 80 = quarter 120
        {103, false, "200", 123, false, "200", true},  // the same entries
        {104, false, "120", 125, false, "120", false},
        {104, true, "120", 124, false, "120", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.start) + " / " + c.stop);
        Reopen();
        Init();
        Choose(102, 5, c.startUnit);
        CheckDlgButton(dialog, 109, c.startDotted ? BST_CHECKED : BST_UNCHECKED);
        Choose(122, 5, c.stopUnit);
        CheckDlgButton(dialog, 129, c.stopDotted ? BST_CHECKED : BST_UNCHECKED);
        SetTempos(c.start, c.stop);
        Host().calls.clear();

        EXPECT_EQ(Click(kOk), 1);
        EXPECT_EQ(Ended(), !c.refused);
        if (!c.refused) {
            EXPECT_EQ(settings().startTempo, ParseTempo(c.start));
            continue;
        }
        const auto& boxes = emu::MessageBoxLog();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].owner, dialog);
        EXPECT_EQ(boxes[0].text, "Start tempo is the same as stop tempo.");
        EXPECT_EQ(boxes[0].caption, "No Tempo Change");
        EXPECT_EQ(boxes[0].flags, 0u);
        EXPECT_EQ(Host().CallCount(Fx::SetDlgFocus), 0);
        EXPECT_TRUE(SameSettings(settings(), OrdinarySettings()));
        EXPECT_EQ(Host().CallCount(Fx::CreateEData), 0);
    }
}

TEST_F(TempoDialog, CancelOnlySavesThePosition) {
    Seed(2, 0, 4242);
    Init();
    MoveWindow(dialog, 123, 45, 300, 200, TRUE);
    SetTempos("250", "50");
    Choose(102, 5, 106);
    Host().calls.clear();

    EXPECT_EQ(Send(WM_COMMAND, MAKEWPARAM(kCancel, 0x1234)), 1);  // notification code ignored

    UserDialogSettings expected = OrdinarySettings();
    expected.dialogLeft = 123;
    expected.dialogTop = 45;
    EXPECT_TRUE(SameSettings(settings(), expected));
    EXPECT_EQ(Host().CallCount(Fx::GetDlgItemVal), 0);
    EXPECT_EQ(Host().CallCount(Fx::CreateEData), 0);
    EXPECT_EQ(Host().CallCount(Fx::DeleteEData), 0);
    EXPECT_EQ(Host().score.TempoCount(), 1u);
    EXPECT_EQ(Host().CallCount(Fx::EndDialog), 1);
    EXPECT_TRUE(Ended());
}

TEST_F(TempoDialog, SavedPositionKeepsOnlyTheLow16BitsOfEachEdge) {
    Init();
    MoveWindow(dialog, 70000, -2, 300, 200, TRUE);
    Click(kCancel);
    EXPECT_EQ(settings().dialogLeft, int16_t(70000 - 65536));
    EXPECT_EQ(settings().dialogTop, -2);
}

// A host's answer may carry bits above a check state's low 16: "Dotted" is
// read from the low 16 bits only, a unit and the action after the region
// from all 32.
TEST_F(TempoDialog, DottedReadsTheLow16BitsOfTheAnswerTheUnitsAndActionAll32) {
    struct Case {
        std::map<int32_t, int32_t> highBits;
        bool dotted;  // both boxes checked
        int16_t modifier, unit, afterAction;
    };
    const Case cases[] = {
        {{{109, 0x00010000}, {129, int32_t(0xFFFF0000)}}, false, 0, 2, 1},
        {{{109, 0x7FFF0000}, {129, 0x00010000}}, true, 2, 2, 1},
        {{{102, 0x00010000}, {122, 0x00010000}, {142, 0x00010000}}, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dotted ? "checked" : "clear");
        Reopen();
        Init();
        Choose(102, 5, 104);
        Choose(122, 5, 124);
        Choose(142, 3, 143);
        CheckDlgButton(dialog, 109, c.dotted ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, 129, c.dotted ? BST_CHECKED : BST_UNCHECKED);
        SetTempos("100", "150");
        Host().checkHighBits = c.highBits;
        EXPECT_EQ(Click(kOk), 1);
        Host().checkHighBits.clear();
        EXPECT_TRUE(Ended());
        EXPECT_EQ(settings().startModifier, c.modifier);
        EXPECT_EQ(settings().stopModifier, c.modifier);
        EXPECT_EQ(settings().startUnit, c.unit);
        EXPECT_EQ(settings().stopUnit, c.unit);
        EXPECT_EQ(settings().afterAction, c.afterAction);
    }
}

TEST_F(TempoDialog, OtherMessagesAndCommandsChangeNothing) {
    Init();
    Host().calls.clear();
    EXPECT_EQ(Send(WM_NULL), 0);
    EXPECT_EQ(Send(WM_CLOSE), 0);
    EXPECT_EQ(Click(kStartEdit), 1);
    EXPECT_EQ(Click(9999), 1);
    // A command word whose low half is not one of the buttons, though the
    // whole word would read as OK's identifier plus a notification.
    EXPECT_EQ(Send(WM_COMMAND, MAKEWPARAM(0, kOk)), 1);
    EXPECT_TRUE(Host().calls.empty());
    EXPECT_TRUE(emu::MessageBoxLog().empty());
    EXPECT_FALSE(Ended());
    EXPECT_TRUE(SameSettings(settings(), OrdinarySettings()));
}

TEST_F(TempoDialog, DeclinedRemovalChangesNothingAndCanBeAskedAgain) {
    Seed(2, 0, 1000);
    Seed(3, 512, 2000);
    Init();
    Click(kRemove);
    Click(kRemove);

    const auto& boxes = emu::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.owner, dialog);
        EXPECT_EQ(box.text, "Remove all tempo data within the selected region?");
        EXPECT_EQ(box.caption, "Are you sure?");
        EXPECT_EQ(box.flags, 0x24u);
    }
    EXPECT_EQ(Host().score.TempoCount(), 2u);
    EXPECT_EQ(Host().CallCount(Fx::DeleteEData), 0);
    EXPECT_EQ(settings().regionHasTempo, 1);
    EXPECT_TRUE(RemoveShown());
    EXPECT_FALSE(Ended());
}

TEST_F(TempoDialog, ConfirmedRemovalReportsTheCountAndHidesTheButton) {
    struct Case {
        int records;
        const char* report;
    };
    const Case cases[] = {{0, "0 tempo data items were removed"},
                          {1, "1 tempo data item was removed"},
                          {7, "7 tempo data items were removed"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.records);
        Reopen();
        testhost::ResetHost();
        Host().score.measureLengths = {4096, 4096, 4096, 4096};
        Seed(1, 3000, 55);  // before the region
        Seed(4, 0, 66);     // after it
        for (int i = 0; i < c.records; ++i) Seed(int16_t(2 + i % 2), i * 256, 500 + i);
        Init();
        AnswerYes();

        EXPECT_EQ(Click(kRemove), 1);

        const auto& boxes = emu::MessageBoxLog();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].caption, "Are you sure?");
        EXPECT_EQ(boxes[1].owner, dialog);
        EXPECT_EQ(boxes[1].text, c.report);
        EXPECT_EQ(boxes[1].caption, "Remove Information");
        EXPECT_EQ(boxes[1].flags, 0x40u);
        EXPECT_EQ(Host().score.TempoCount(), 2u);
        EXPECT_EQ(settings().regionHasTempo, 0);
        EXPECT_FALSE(RemoveShown());
        EXPECT_FALSE(Ended());
        UserDialogSettings expected = OrdinarySettings();
        expected.regionHasTempo = 0;
        EXPECT_TRUE(SameSettings(settings(), expected));
    }
}

TEST_F(TempoDialog, RemovalReportPrintsACountBeyondSixteenBitsWhole) {
    // 65,537 records would read as 1 if the count were narrowed to 16 bits.
    constexpr int kMeasures = 67;
    constexpr int kPerMeasure = 979;  // 67 * 979 - 56 = 65,537
    Host().recordCalls = false;
    Host().score.measureLengths.assign(kMeasures, 4096);
    region = MakeRegion(1, 0, kMeasures, ThroughEndOfMeasure);
    int seeded = 0;
    for (int m = 1; m <= kMeasures; ++m)
        for (int i = 0; i < kPerMeasure && seeded < 65537; ++i, ++seeded)
            Seed(int16_t(m), i, 1000);
    ASSERT_EQ(Host().score.TempoCount(), 65537u);
    Init();
    AnswerYes();

    Click(kRemove);

    const auto& boxes = emu::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "65537 tempo data items were removed");
    EXPECT_EQ(Host().score.TempoCount(), 0u);
    EXPECT_FALSE(RemoveShown());
}

TEST_F(TempoDialog, RemovalThenCancelKeepsTheRemovalAndWritesNoRamp) {
    Seed(2, 0, 1000);
    Seed(3, 2048, 1500);
    Init();
    MoveWindow(dialog, 40, 30, 300, 200, TRUE);
    AnswerYes();
    Click(kRemove);
    Click(kCancel);

    EXPECT_EQ(Host().score.TempoCount(), 0u);
    EXPECT_EQ(Host().CallCount(Fx::CreateEData), 0);
    EXPECT_EQ(settings().regionHasTempo, 0);
    EXPECT_EQ(settings().dialogLeft, 40);
    EXPECT_EQ(settings().dialogTop, 30);
    EXPECT_TRUE(Ended());
}

TEST_F(TempoDialog, SavedPositionIsRestoredOnlyWithinThePrimaryScreen) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        int left, top;
        bool moved;
    };
    const Case cases[] = {
        {100, 80, true},           {0, 0, true},
        {width, height, true},     {width + 1, 10, false},
        {10, height + 1, false},   {-1, 10, false},
        {10, -1, false},           {-32768, 10, false},
        {10, -32768, false},       {-32768, -32768, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.left) + "," + std::to_string(c.top));
        Reopen();
        MoveWindow(dialog, 333, 222, 300, 200, TRUE);
        settings().dialogLeft = int16_t(c.left);
        settings().dialogTop = int16_t(c.top);
        Init();
        const RECT rect = Rect();
        EXPECT_EQ(rect.left, c.moved ? c.left : 333);
        EXPECT_EQ(rect.top, c.moved ? c.top : 222);
        EXPECT_EQ(rect.right - rect.left, 300);
        EXPECT_EQ(rect.bottom - rect.top, 200);
        // Restoring only reads the fields.
        EXPECT_EQ(settings().dialogLeft, int16_t(c.left));
        EXPECT_EQ(settings().dialogTop, int16_t(c.top));
    }
}

// Once the host's dialog call has returned the module holds no region and
// no settings (a host whose call does not wait for the dialog, or a message
// sent late). Every case is set up so that, inside an invocation, it would
// write: tempos that OK accepts, a moved dialog that Cancel would save, a
// removal that would be confirmed.
TEST_F(TempoDialog, OutsideAnInvocationNothingIsReadOrWrittenAndActingButtonsEndTheDialog) {
    struct Case {
        const char* what;
        UINT message;
        WPARAM wParam;
        bool ends;
    };
    const Case cases[] = {
        {"set-up", WM_INITDIALOG, 0, true},
        {"OK", WM_COMMAND, MAKEWPARAM(kOk, BN_CLICKED), true},
        {"Cancel", WM_COMMAND, MAKEWPARAM(kCancel, BN_CLICKED), true},
        {"Remove", WM_COMMAND, MAKEWPARAM(kRemove, BN_CLICKED), true},
        {"a unit's radio button", WM_COMMAND, MAKEWPARAM(104, BN_CLICKED), false},
        {"a change in the start tempo", WM_COMMAND, MAKEWPARAM(kStartEdit, 0x0300), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Reopen();
        Host().score = testhost::Score();
        Host().score.measureLengths = {4096, 4096, 4096, 4096};
        Seed(2, 1024, 500);
        AnswerYes();
        SetTempos("60", "120");
        MoveWindow(dialog, 40, 30, 300, 200, TRUE);
        *plugin.in().currentRegion = nullptr;
        *plugin.in().currentSettings = nullptr;
        Host().calls.clear();

        EXPECT_EQ(Send(c.message, c.wParam), 1);

        EXPECT_EQ(Ended(), c.ends);
        const auto ends = Host().CallsOf(Fx::EndDialog);
        ASSERT_EQ(ends.size(), c.ends ? 1u : 0u);
        if (c.ends) {
            EXPECT_EQ(ends[0].dialog, dialog);
        }
        // No control read or written, no entry data loaded, created or deleted.
        EXPECT_EQ(Host().calls.size(), ends.size());
        EXPECT_TRUE(SameSettings(settings(), OrdinarySettings()));
        EXPECT_EQ(Host().score.AllTempo(), (std::vector<TempoRow>{{2, 1024, 500, 1000}}));
        EXPECT_TRUE(emu::MessageBoxLog().empty());
        EXPECT_EQ(Text(kStartEdit), "60");
        char caption[64] = {0};
        GetWindowTextA(dialog, caption, int(sizeof caption));
        EXPECT_STREQ(caption, "Zorv Tempo");
        EXPECT_EQ(Rect().left, 40);
    }
}

TEST(TempoDialogUnbound, WithoutTheHostsControlReadsOkReportsTheStartTempo) {
    emu::ResetWindows();
    HostProcess process({"FX_GetDlgItemVal", "FX_SetDlgItemVal"});
    LoadedPlugin plugin;
    ASSERT_TRUE(plugin.loaded());
    ERegion region = MakeRegion(1, 0, 1, ThroughEndOfMeasure);
    *plugin.in().currentRegion = &region;
    *plugin.in().currentSettings = plugin.in().moduleSettings;
    *plugin.in().moduleSettings = OrdinarySettings();
    HWND dialog = emu::CreateDialogFromResource(plugin.module(), 20128, emu::CreateHostWindow());
    ASSERT_NE(dialog, nullptr);

    plugin.in().TempoDialogProc(dialog, WM_INITDIALOG, 0, 0);
    char text[16] = {0};
    GetDlgItemTextA(dialog, kStartEdit, text, int(sizeof text));
    EXPECT_STREQ(text, "");
    SetDlgItemTextA(dialog, kStartEdit, "100");
    SetDlgItemTextA(dialog, kStopEdit, "200");
    plugin.in().TempoDialogProc(dialog, WM_COMMAND, kOk, 0);

    const auto& boxes = emu::MessageBoxLog();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              "The start value is out of range. Only values between 20 and 600 are allowed.");
    EXPECT_TRUE(SameSettings(*plugin.in().moduleSettings, OrdinarySettings()));
    emu::ResetWindows();
}

}  // namespace
