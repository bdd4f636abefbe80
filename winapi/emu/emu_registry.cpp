// The emulation's registry: keys and values in memory, handles that are real
// allocations so a test can see every opened key closed, injected faults and
// a log of every call with the arguments the caller passed.
#include "winapi/emu/emu_registry.h"

#include <memory>
#include <mutex>

namespace {

// Windows reports this for a handle whose key was deleted since it was opened.
constexpr LONG ErrorKeyDeleted = 1018L;

struct Key {
    unsigned serial = 0;
    std::map<std::string, emu::RegistryValue> values;  // by folded name
};

// An open key: where it points and what it may do.
struct OpenKey {
    std::string root;
    std::string path;  // caller's spelling, components joined by '\'
    unsigned serial = 0;
    REGSAM access = 0;
};

struct Registry {
    std::map<std::string, Key> keys;  // by folded "root\path"
    std::map<OpenKey*, std::unique_ptr<OpenKey>> handles;
    std::map<emu::RegistryOperation, LONG> faults;
    std::vector<emu::RegistryCall> calls;
    unsigned nextSerial = 1;
};

std::mutex registryMutex;
Registry& State() {
    static Registry registry;
    return registry;
}

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::string Fold(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) c = FoldChar(c);
    return folded;
}

// Appends the components of `subKey` to `path`; empty components (doubled or
// trailing separators) add nothing.
std::string JoinPath(const std::string& path, const char* subKey) {
    std::string joined = path;
    std::string component;
    auto flush = [&] {
        if (component.empty()) return;
        if (!joined.empty()) joined += '\\';
        joined += component;
        component.clear();
    };
    for (const char* c = subKey ? subKey : ""; *c; ++c) {
        if (*c == '\\') flush();
        else component += *c;
    }
    flush();
    return joined;
}

std::string KeyName(const std::string& root, const std::string& path) {
    return Fold(root) + "\\" + Fold(path);
}

const char* RootName(HKEY key) {
    if (key == HKEY_CURRENT_USER) return "HKCU";
    if (key == HKEY_LOCAL_MACHINE) return "HKLM";
    if (key == HKEY_CLASSES_ROOT) return "HKCR";
    return nullptr;
}

OpenKey* FindHandle(HKEY key) {
    auto it = State().handles.find(reinterpret_cast<OpenKey*>(key));
    return it == State().handles.end() ? nullptr : it->second.get();
}

// The key behind a handle or a root; null with `error` set when there is none.
// Roots always exist; their entries appear when first used.
Key* TargetKey(HKEY key, LONG* error) {
    if (const char* root = RootName(key)) return &State().keys[KeyName(root, "")];
    OpenKey* open = FindHandle(key);
    if (!open) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (open->path.empty()) return &State().keys[KeyName(open->root, "")];
    auto it = State().keys.find(KeyName(open->root, open->path));
    if (it == State().keys.end() || it->second.serial != open->serial) {
        *error = ErrorKeyDeleted;
        return nullptr;
    }
    return &it->second;
}

REGSAM AccessOf(HKEY key) {
    if (RootName(key)) return KEY_ALL_ACCESS;
    OpenKey* open = FindHandle(key);
    return open ? open->access : 0;
}

// Root and path of `subKey` below `key`; false for an unknown handle.
bool Resolve(HKEY key, const char* subKey, std::string* root, std::string* path) {
    if (const char* name = RootName(key)) {
        *root = name;
        *path = JoinPath("", subKey);
        return true;
    }
    OpenKey* open = FindHandle(key);
    if (!open) return false;
    *root = open->root;
    *path = JoinPath(open->path, subKey);
    return true;
}

std::string HandlePath(HKEY key) {
    OpenKey* open = FindHandle(key);
    return open ? open->path : std::string();
}

bool KeyExists(const std::string& root, const std::string& path) {
    return path.empty() || State().keys.count(KeyName(root, path)) != 0;
}

// Creates the key and every missing key above it; true when it was new.
bool CreateKeyPath(const std::string& root, const std::string& path) {
    bool created = false;
    size_t end = 0;
    while (end != std::string::npos) {
        end = path.find('\\', end + 1);
        std::string prefix = path.substr(0, end);
        auto inserted = State().keys.emplace(KeyName(root, prefix), Key());
        if (inserted.second) inserted.first->second.serial = State().nextSerial++;
        created = inserted.second;
    }
    return created;
}

bool HasSubKeys(const std::string& root, const std::string& path) {
    std::string prefix = KeyName(root, path) + "\\";
    auto it = State().keys.lower_bound(prefix);
    return it != State().keys.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

HKEY NewHandle(const std::string& root, const std::string& path, REGSAM access) {
    auto open = std::make_unique<OpenKey>();
    open->root = root;
    open->path = path;
    open->access = access;
    if (!path.empty()) open->serial = State().keys[KeyName(root, path)].serial;
    OpenKey* raw = open.get();
    State().handles.emplace(raw, std::move(open));
    return reinterpret_cast<HKEY>(raw);
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

LONG InjectedFault(emu::RegistryOperation operation) {
    auto it = State().faults.find(operation);
    return it == State().faults.end() ? ERROR_SUCCESS : it->second;
}

LONG Record(emu::RegistryCall call, LONG result) {
    call.result = result;
    State().calls.push_back(std::move(call));
    return result;
}

emu::RegistryCall Call(emu::RegistryOperation operation, const std::string& path,
                       const char* valueName) {
    emu::RegistryCall call;
    call.operation = operation;
    call.path = path;
    call.valueName = valueName ? valueName : "";
    return call;
}

}  // namespace

namespace emu {

void ResetRegistry() {
    std::lock_guard<std::mutex> lock(registryMutex);
    State() = Registry();
}

void CreateRegistryKey(const std::string& path) {
    std::lock_guard<std::mutex> lock(registryMutex);
    CreateKeyPath("HKCU", JoinPath("", path.c_str()));
}

bool RegistryKeyExists(const std::string& path) {
    std::lock_guard<std::mutex> lock(registryMutex);
    return KeyExists("HKCU", JoinPath("", path.c_str()));
}

void SetRegistryValue(const std::string& path, const std::string& name, const RegistryValue& value) {
    std::lock_guard<std::mutex> lock(registryMutex);
    std::string joined = JoinPath("", path.c_str());
    CreateKeyPath("HKCU", joined);
    State().keys[KeyName("HKCU", joined)].values[Fold(name)] = value;
}

bool GetRegistryValue(const std::string& path, const std::string& name, RegistryValue* value) {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto key = State().keys.find(KeyName("HKCU", JoinPath("", path.c_str())));
    if (key == State().keys.end()) return false;
    auto found = key->second.values.find(Fold(name));
    if (found == key->second.values.end()) return false;
    if (value) *value = found->second;
    return true;
}

void FailRegistry(RegistryOperation operation, LONG error) {
    std::lock_guard<std::mutex> lock(registryMutex);
    if (error == ERROR_SUCCESS) State().faults.erase(operation);
    else State().faults[operation] = error;
}

int OpenRegistryKeys() {
    std::lock_guard<std::mutex> lock(registryMutex);
    return int(State().handles.size());
}

std::vector<RegistryCall> RegistryCalls() {
    std::lock_guard<std::mutex> lock(registryMutex);
    return State().calls;
}

}  // namespace emu

extern "C" {

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result) {
    std::lock_guard<std::mutex> lock(registryMutex);
    std::string root, path;
    bool known = Resolve(key, subKey, &root, &path);
    emu::RegistryCall call = Call(emu::RegistryOperation::Open, path, nullptr);
    call.options = options;
    call.access = desired;
    if (!result) return Record(call, ERROR_INVALID_PARAMETER);
    if (LONG fault = InjectedFault(call.operation)) return Record(call, fault);
    if (!known) return Record(call, ERROR_INVALID_HANDLE);
    if (!KeyExists(root, path)) return Record(call, ERROR_FILE_NOT_FOUND);
    *result = NewHandle(root, path, desired);
    return Record(call, ERROR_SUCCESS);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
    std::lock_guard<std::mutex> lock(registryMutex);
    emu::RegistryCall call = Call(emu::RegistryOperation::Query, HandlePath(key), valueName);
    call.size = dataSize ? *dataSize : 0;
    if (reserved || (data && !dataSize)) return Record(call, ERROR_INVALID_PARAMETER);
    if (LONG fault = InjectedFault(call.operation)) return Record(call, fault);
    LONG error = ERROR_SUCCESS;
    Key* target = TargetKey(key, &error);
    if (!target) return Record(call, error);
    if (!(AccessOf(key) & KEY_QUERY_VALUE)) return Record(call, ERROR_ACCESS_DENIED);
    auto found = target->values.find(Fold(call.valueName));
    if (found == target->values.end()) return Record(call, ERROR_FILE_NOT_FOUND);
    const emu::RegistryValue& value = found->second;
    DWORD needed = DWORD(value.bytes.size());
    if (type) *type = value.type;
    if (!dataSize) return Record(call, ERROR_SUCCESS);
    if (data && needed > *dataSize) {
        *dataSize = needed;
        return Record(call, ERROR_MORE_DATA);
    }
    if (data && needed) memcpy(data, value.bytes.data(), needed);
    *dataSize = needed;
    return Record(call, ERROR_SUCCESS);
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD options,
                        REGSAM desired, const LPSECURITY_ATTRIBUTES, PHKEY result,
                        LPDWORD disposition) {
    std::lock_guard<std::mutex> lock(registryMutex);
    std::string root, path;
    bool known = Resolve(key, subKey, &root, &path);
    emu::RegistryCall call = Call(emu::RegistryOperation::Create, path, nullptr);
    call.options = options;
    call.access = desired;
    if (!subKey || !result || reserved) return Record(call, ERROR_INVALID_PARAMETER);
    if (LONG fault = InjectedFault(call.operation)) return Record(call, fault);
    if (!known) return Record(call, ERROR_INVALID_HANDLE);
    LONG error = ERROR_SUCCESS;
    if (!TargetKey(key, &error)) return Record(call, error);
    bool created = !path.empty() && CreateKeyPath(root, path);
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(root, path, desired);
    return Record(call, ERROR_SUCCESS);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    std::lock_guard<std::mutex> lock(registryMutex);
    emu::RegistryCall call = Call(emu::RegistryOperation::Set, HandlePath(key), valueName);
    call.type = type;
    call.size = dataSize;
    if (reserved || (!data && dataSize)) return Record(call, ERROR_INVALID_PARAMETER);
    if (LONG fault = InjectedFault(call.operation)) return Record(call, fault);
    LONG error = ERROR_SUCCESS;
    Key* target = TargetKey(key, &error);
    if (!target) return Record(call, error);
    if (!(AccessOf(key) & KEY_SET_VALUE)) return Record(call, ERROR_ACCESS_DENIED);
    emu::RegistryValue value;
    value.type = type;
    if (dataSize) value.bytes.assign(data, data + dataSize);
    // Windows' rule for the string types: a value whose last counted byte
    // is not 0 is stored with a 0 byte after it. (Windows takes that 0 from
    // the caller's buffer when it is there; callers that keep their part of
    // the contract always have it there, so the emulation appends it without
    // reading past the counted bytes.)
    if (IsStringType(type) && dataSize && data[dataSize - 1] != 0) value.bytes.push_back(0);
    target->values[Fold(call.valueName)] = std::move(value);
    return Record(call, ERROR_SUCCESS);
}

LSTATUS RegCloseKey(HKEY key) {
    std::lock_guard<std::mutex> lock(registryMutex);
    emu::RegistryCall call = Call(emu::RegistryOperation::Close, HandlePath(key), nullptr);
    if (RootName(key)) return Record(call, ERROR_SUCCESS);
    auto it = State().handles.find(reinterpret_cast<OpenKey*>(key));
    if (it == State().handles.end()) return Record(call, ERROR_INVALID_HANDLE);
    State().handles.erase(it);
    return Record(call, InjectedFault(call.operation));
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    std::lock_guard<std::mutex> lock(registryMutex);
    std::string root, path;
    bool known = Resolve(key, subKey, &root, &path);
    emu::RegistryCall call = Call(emu::RegistryOperation::DeleteKey, path, nullptr);
    if (!subKey) return Record(call, ERROR_INVALID_PARAMETER);
    if (LONG fault = InjectedFault(call.operation)) return Record(call, fault);
    if (!known) return Record(call, ERROR_INVALID_HANDLE);
    // A root cannot go, nor a key that still has keys below it.
    if (path.empty() || HasSubKeys(root, path)) return Record(call, ERROR_ACCESS_DENIED);
    if (State().keys.erase(KeyName(root, path)) == 0) return Record(call, ERROR_FILE_NOT_FOUND);
    return Record(call, ERROR_SUCCESS);
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    std::lock_guard<std::mutex> lock(registryMutex);
    emu::RegistryCall call = Call(emu::RegistryOperation::DeleteValue, HandlePath(key), valueName);
    if (LONG fault = InjectedFault(call.operation)) return Record(call, fault);
    LONG error = ERROR_SUCCESS;
    Key* target = TargetKey(key, &error);
    if (!target) return Record(call, error);
    if (!(AccessOf(key) & KEY_SET_VALUE)) return Record(call, ERROR_ACCESS_DENIED);
    if (target->values.erase(Fold(call.valueName)) == 0) return Record(call, ERROR_FILE_NOT_FOUND);
    return Record(call, ERROR_SUCCESS);
}

}  // extern "C"
