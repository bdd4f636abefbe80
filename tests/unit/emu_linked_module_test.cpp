// A module linked into the program (as in the WebAssembly build) must load,
// bind and unload through the emulation's loader as a module from a file
// does: DllMain at the first load and the last unload, its exports, its own
// resources, the loader's errors.
#include <gtest/gtest.h>

#include <vector>

#include "winapi/emu/emu_modules.h"

namespace {

struct DllMainCall {
    HINSTANCE instance;
    DWORD reason;
};
std::vector<DllMainCall> dllMainCalls;
BOOL attachAnswer = TRUE;

BOOL RecordingDllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    dllMainCalls.push_back({instance, reason});
    return reason == DLL_PROCESS_ATTACH ? attachAnswer : TRUE;
}

int ExportedSeven() { return 7; }

const unsigned char kResources[] = {1, 2, 3, 4, 5};

class LinkedModule : public ::testing::Test {
protected:
    void SetUp() override {
        dllMainCalls.clear();
        attachAnswer = TRUE;
        emu::LinkedModule linked;
        linked.exports = {{"Seven", reinterpret_cast<void*>(&ExportedSeven)}};
        linked.dllMain = &RecordingDllMain;
        linked.resources = kResources;
        linked.resourcesSize = sizeof kResources;
        emu::RegisterLinkedModule(u"Linked.fxt", linked);
    }
    void TearDown() override { emu::UnregisterLinkedModule(u"Linked.fxt"); }
};

TEST_F(LinkedModule, LoadsOnceUnloadsAtTheLastFreeWithDllMainAtBothEnds) {
    HMODULE first = LoadLibraryW(u"Linked.fxt");
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(dllMainCalls.size(), 1u);
    EXPECT_EQ(dllMainCalls[0].reason, DWORD(DLL_PROCESS_ATTACH));
    EXPECT_EQ(dllMainCalls[0].instance, first);
    EXPECT_EQ(GetModuleHandleW(u"LINKED.FXT"), first);

    HMODULE second = LoadLibraryW(u"C:\\Finale\\Plug-ins\\linked.FXT");
    EXPECT_EQ(second, first);
    EXPECT_EQ(dllMainCalls.size(), 1u);

    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_EQ(dllMainCalls.size(), 1u);
    EXPECT_TRUE(FreeLibrary(first));
    ASSERT_EQ(dllMainCalls.size(), 2u);
    EXPECT_EQ(dllMainCalls[1].reason, DWORD(DLL_PROCESS_DETACH));
    EXPECT_EQ(GetModuleHandleW(u"Linked.fxt"), nullptr);

    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    // A new load attaches again, as a module mapped afresh.
    HMODULE again = LoadLibraryW(u"Linked.fxt");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(dllMainCalls.size(), 3u);
    FreeLibrary(again);
}

TEST_F(LinkedModule, ExportsAndResourcesAreItsOwn) {
    HMODULE module = LoadLibraryW(u"Linked.fxt");
    ASSERT_NE(module, nullptr);
    auto seven = reinterpret_cast<int (*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "Seven")));
    ASSERT_NE(seven, nullptr);
    EXPECT_EQ(seven(), 7);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(module, "Eight"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(emu::LookupCount(module, "Seven"), 1);
    EXPECT_EQ(emu::LookupCount(module, "Eight"), 1);

    emu::HideExport(module, "Seven");
    EXPECT_EQ(GetProcAddress(module, "Seven"), nullptr);

    emu::ResourceImage image = emu::ModuleResources(module);
    EXPECT_EQ(image.bytes, kResources);
    EXPECT_EQ(image.size, sizeof kResources);
    FreeLibrary(module);
}

TEST_F(LinkedModule, RefusedAttachUnloadsWithDetachAndInitFailed) {
    attachAnswer = FALSE;
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"Linked.fxt"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DLL_INIT_FAILED));
    ASSERT_EQ(dllMainCalls.size(), 2u);
    EXPECT_EQ(dllMainCalls[1].reason, DWORD(DLL_PROCESS_DETACH));
    EXPECT_FALSE(emu::IsModuleLoaded(u"Linked.fxt"));
}

TEST_F(LinkedModule, UnregisteredNameIsLookedForOnDiskAndNotFound) {
    emu::UnregisterLinkedModule(u"LINKED.fxt");
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"Linked.fxt"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    EXPECT_TRUE(dllMainCalls.empty());
}

}  // namespace
