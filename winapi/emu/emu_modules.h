// Test control of the emulation's module table: in-process modules with an
// export table (the stand-in host), hidden exports and lookup counts.
#pragma once

#include <map>
#include <string>

#include "winapi/zorv_windows.h"

namespace emu {

using ExportTable = std::map<std::string, void*>;

// Registers an in-process module under a file name (e.g. "FINALE.EXE");
// GetModuleHandleW finds it by that name, ignoring case.
HMODULE RegisterModule(const std::u16string& name, const ExportTable& exports);
void UnregisterModule(HMODULE module);

// A hidden export is absent: GetProcAddress finds nothing for it.
void HideExport(HMODULE module, const std::string& name, bool hidden = true);

// How often GetProcAddress was asked for `name` in `module`.
int LookupCount(HMODULE module, const std::string& name);
void ResetLookupCounts(HMODULE module);

// A loadable module whose code is linked into the program rather than kept
// in a file of its own, where there is no dynamic loader (WebAssembly).
// Once registered, LoadLibraryW of its file name maps it as it would map a
// shared library: DllMain runs at the first load and at the last
// FreeLibrary, GetProcAddress finds the exports, and the module's resources
// are its own. Its code keeps its static state between loads, so whoever
// links a module in must start it afresh in another way.
using DllMainProc = BOOL (*)(HINSTANCE, DWORD, LPVOID);
struct LinkedModule {
    ExportTable exports;
    DllMainProc dllMain = nullptr;
    const unsigned char* resources = nullptr;
    size_t resourcesSize = 0;
};
void RegisterLinkedModule(const std::u16string& fileName, const LinkedModule& module);
void UnregisterLinkedModule(const std::u16string& fileName);

// Folder in which LoadLibraryW looks for a bare file name; by default the
// folder of the running executable.
void SetLibraryFolder(const std::string& folder);

// Whether a module of this name is loaded.
bool IsModuleLoaded(const std::u16string& name);

// The compiled resource image (.res format) of a loaded module; empty when it
// has none.
struct ResourceImage {
    const unsigned char* bytes = nullptr;
    size_t size = 0;
};
ResourceImage ModuleResources(HMODULE module);

std::string ToUtf8(const std::u16string& text);
std::u16string ToUtf16(const std::string& utf8);

}  // namespace emu
