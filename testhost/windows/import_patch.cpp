#include "testhost/windows/import_patch.h"

#include <string.h>

namespace testhost {

namespace {

template <typename T>
T* AtOffset(HMODULE module, DWORD offset) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + offset);
}

const IMAGE_IMPORT_DESCRIPTOR* FirstImportDescriptor(HMODULE module) {
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    auto* nt = AtOffset<const IMAGE_NT_HEADERS>(module, DWORD(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE) return nullptr;
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0 || imports.Size == 0) return nullptr;
    return AtOffset<const IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress);
}

bool ImportsByName(HMODULE module, const IMAGE_THUNK_DATA& nameThunk, const char* functionName) {
    if (IMAGE_SNAP_BY_ORDINAL(nameThunk.u1.Ordinal)) return false;
    auto* byName = AtOffset<const IMAGE_IMPORT_BY_NAME>(module, DWORD(nameThunk.u1.AddressOfData));
    return strcmp(reinterpret_cast<const char*>(byName->Name), functionName) == 0;
}

// The slot is in a section that may be read-only once the loader is done.
void StoreSlot(IMAGE_THUNK_DATA* slot, void* replacement) {
    DWORD oldProtection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection)) return;
    slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
    VirtualProtect(slot, sizeof *slot, oldProtection, &oldProtection);
    FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
}

void* PatchDescriptor(HMODULE module, const IMAGE_IMPORT_DESCRIPTOR& descriptor,
                      const char* functionName, void* replacement) {
    // Without the name table the bound addresses are all there is to go by.
    DWORD namesOffset = descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk
                                                      : descriptor.FirstThunk;
    auto* names = AtOffset<const IMAGE_THUNK_DATA>(module, namesOffset);
    auto* slots = AtOffset<IMAGE_THUNK_DATA>(module, descriptor.FirstThunk);
    void* original = nullptr;
    for (size_t i = 0; names[i].u1.AddressOfData != 0; ++i) {
        if (!ImportsByName(module, names[i], functionName)) continue;
        if (!original) original = reinterpret_cast<void*>(slots[i].u1.Function);
        StoreSlot(&slots[i], replacement);
    }
    return original;
}

}  // namespace

void* PatchImport(HMODULE module, const char* dllName, const char* functionName,
                  void* replacement) {
    if (!module) return nullptr;
    const IMAGE_IMPORT_DESCRIPTOR* descriptor = FirstImportDescriptor(module);
    if (!descriptor) return nullptr;
    void* original = nullptr;
    for (; descriptor->Name != 0; ++descriptor) {
        const char* name = AtOffset<const char>(module, descriptor->Name);
        if (_stricmp(name, dllName) != 0) continue;
        void* found = PatchDescriptor(module, *descriptor, functionName, replacement);
        if (!original) original = found;
    }
    return original;
}

}  // namespace testhost
