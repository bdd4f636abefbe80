// Module table of the emulation: LoadLibraryW maps a plug-in's shared library
// with dlopen (or attaches a module linked into the program) and runs its
// DllMain as the Windows loader would.
#include "winapi/emu/emu_modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace {

struct Module {
    std::u16string name;
    void* library = nullptr;  // dlopen handle; null for registered modules
    std::optional<emu::LinkedModule> linked;  // set for a linked-in module
    int references = 1;
    emu::ExportTable exports;
    std::set<std::string> hidden;
    std::map<std::string, int> lookups;
};

std::recursive_mutex tableMutex;
std::vector<std::unique_ptr<Module>>& Table() {
    static std::vector<std::unique_ptr<Module>> table;
    return table;
}
// Linked-in modules by file name, waiting to be loaded.
std::vector<std::pair<std::u16string, emu::LinkedModule>>& LinkedModules() {
    static std::vector<std::pair<std::u16string, emu::LinkedModule>> modules;
    return modules;
}
std::string& LibraryFolder() {
    static std::string folder;
    return folder;
}
thread_local DWORD lastError = 0;

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

std::u16string BaseName(const std::u16string& path) {
    size_t slash = path.find_last_of(u"/\\");
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

Module* Find(HMODULE handle) {
    for (auto& m : Table())
        if (reinterpret_cast<HMODULE>(m.get()) == handle) return m.get();
    return nullptr;
}

Module* FindByName(const std::u16string& name) {
    std::u16string base = BaseName(name);
    for (auto& m : Table())
        if (SameName(m->name, base)) return m.get();
    return nullptr;
}

// Whether the module was mapped by LoadLibraryW (and so is unmapped by
// FreeLibrary), as opposed to registered by the program.
bool IsLoaded(const Module* module) { return module->library || module->linked; }

const emu::LinkedModule* FindLinked(const std::u16string& name) {
    std::u16string base = BaseName(name);
    for (const auto& [fileName, linked] : LinkedModules())
        if (SameName(fileName, base)) return &linked;
    return nullptr;
}

void Remove(Module* module) {
    auto& table = Table();
    table.erase(std::remove_if(table.begin(), table.end(),
                               [&](const std::unique_ptr<Module>& m) { return m.get() == module; }),
                table.end());
}

std::string ExecutableFolder() {
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string full(path, size_t(n));
    size_t slash = full.find_last_of('/');
    return slash == std::string::npos ? "." : full.substr(0, slash);
}

std::string ResolvePath(const std::u16string& name) {
    std::string utf8 = emu::ToUtf8(name);
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    if (utf8.find('/') != std::string::npos) return utf8;
    std::string folder = LibraryFolder().empty() ? ExecutableFolder() : LibraryFolder();
    return folder + "/" + utf8;
}

BOOL CallDllMain(Module* module, DWORD reason) {
    auto entry = module->linked
                     ? module->linked->dllMain
                     : reinterpret_cast<emu::DllMainProc>(dlsym(module->library, "DllMain"));
    if (!entry) return TRUE;
    return entry(reinterpret_cast<HINSTANCE>(module), reason, nullptr);
}

}  // namespace

namespace emu {

std::string ToUtf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string ToUtf16(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::u16string out(size_t(n), u'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), out.data(), n);
    return out;
}

HMODULE RegisterModule(const std::u16string& name, const ExportTable& exports) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    auto module = std::make_unique<Module>();
    module->name = BaseName(name);
    module->exports = exports;
    HMODULE handle = reinterpret_cast<HMODULE>(module.get());
    Table().push_back(std::move(module));
    return handle;
}

void UnregisterModule(HMODULE handle) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    if (Module* m = Find(handle)) Remove(m);
}

void HideExport(HMODULE handle, const std::string& name, bool hidden) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    if (Module* m = Find(handle)) {
        if (hidden)
            m->hidden.insert(name);
        else
            m->hidden.erase(name);
    }
}

int LookupCount(HMODULE handle, const std::string& name) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    Module* m = Find(handle);
    if (!m) return 0;
    auto it = m->lookups.find(name);
    return it == m->lookups.end() ? 0 : it->second;
}

void ResetLookupCounts(HMODULE handle) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    if (Module* m = Find(handle)) m->lookups.clear();
}

void RegisterLinkedModule(const std::u16string& fileName, const LinkedModule& module) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    UnregisterLinkedModule(fileName);
    LinkedModules().emplace_back(BaseName(fileName), module);
}

void UnregisterLinkedModule(const std::u16string& fileName) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    auto& modules = LinkedModules();
    std::u16string base = BaseName(fileName);
    modules.erase(std::remove_if(modules.begin(), modules.end(),
                                 [&](const auto& entry) { return SameName(entry.first, base); }),
                  modules.end());
}

void SetLibraryFolder(const std::string& folder) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    LibraryFolder() = folder;
}

bool IsModuleLoaded(const std::u16string& name) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    return FindByName(name) != nullptr;
}

ResourceImage ModuleResources(HMODULE handle) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    ResourceImage image;
    Module* m = Find(handle);
    if (m && m->linked) {
        image.bytes = m->linked->resources;
        image.size = m->linked->resourcesSize;
        return image;
    }
    if (!m || !m->library) return image;
    auto bytes = static_cast<const unsigned char*>(dlsym(m->library, "ZorvModuleResources"));
    auto size = static_cast<const size_t*>(dlsym(m->library, "ZorvModuleResourcesSize"));
    if (bytes && size) {
        image.bytes = bytes;
        image.size = *size;
    }
    return image;
}

}  // namespace emu

extern "C" {

DWORD GetLastError(void) { return lastError; }
void SetLastError(DWORD error) { lastError = error; }

HMODULE LoadLibraryW(LPCWSTR fileName) {
    if (!fileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string name(fileName);
    std::unique_lock<std::recursive_mutex> lock(tableMutex);
    if (Module* loaded = FindByName(name)) {
        ++loaded->references;
        return reinterpret_cast<HMODULE>(loaded);
    }
    const emu::LinkedModule* linked = FindLinked(name);
    void* library = linked ? nullptr : dlopen(ResolvePath(name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!linked && !library) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    auto owned = std::make_unique<Module>();
    Module* module = owned.get();
    module->name = BaseName(name);
    module->library = library;
    if (linked) module->linked = *linked;
    Table().push_back(std::move(owned));
    // As on Windows, the module is in the loader's list while DllMain runs.
    lock.unlock();
    BOOL attached = CallDllMain(module, DLL_PROCESS_ATTACH);
    lock.lock();
    if (!attached) {
        CallDllMain(module, DLL_PROCESS_DETACH);
        Remove(module);
        if (library) dlclose(library);
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(module);
}

BOOL FreeLibrary(HMODULE handle) {
    std::unique_lock<std::recursive_mutex> lock(tableMutex);
    Module* module = Find(handle);
    if (!module || !IsLoaded(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (--module->references > 0) return TRUE;
    void* library = module->library;
    lock.unlock();
    CallDllMain(module, DLL_PROCESS_DETACH);
    lock.lock();
    Remove(module);
    if (library) dlclose(library);
    return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    if (!moduleName) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (Module* m = FindByName(moduleName)) return reinterpret_cast<HMODULE>(m);
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE handle, LPCSTR procName) {
    std::lock_guard<std::recursive_mutex> lock(tableMutex);
    Module* m = Find(handle);
    if (!m || !procName || IS_INTRESOURCE(procName)) {
        SetLastError(m ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::string name(procName);
    ++m->lookups[name];
    void* address = nullptr;
    if (!m->hidden.count(name)) {
        if (m->library) {
            address = dlsym(m->library, procName);
        } else {
            const emu::ExportTable& exports = m->linked ? m->linked->exports : m->exports;
            auto it = exports.find(name);
            if (it != exports.end()) address = it->second;
        }
    }
    if (!address) SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(address);
}

}  // extern "C"
