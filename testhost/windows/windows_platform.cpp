#include "testhost/windows/windows_platform.h"

#include <stdio.h>
#include <stdlib.h>

#include "testhost/windows/import_patch.h"

namespace testhost {

namespace {

const wchar_t kPluginFileName[] = L"ZorvTempo64.fxt";
const wchar_t kHostWindowClass[] = L"ZorvFinaleHostWindow";

// The one platform whose module is loaded; the redirected imports are plain
// functions and find it here.
WindowsPlatform* activePlatform = nullptr;

using GetProcAddressProc = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using MessageBoxAProc = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);
GetProcAddressProc realGetProcAddress = nullptr;
MessageBoxAProc realMessageBoxA = nullptr;

FARPROC WINAPI HostGetProcAddress(HMODULE module, LPCSTR name) {
    if (activePlatform) return activePlatform->LookUp(module, name);
    return realGetProcAddress(module, name);
}

int WINAPI HostMessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
    if (activePlatform) return activePlatform->ShowBox(owner, text, caption, flags);
    return realMessageBoxA(owner, text, caption, flags);
}

bool IsDialogWindow(HWND window) {
    char className[16] = {0};
    GetClassNameA(window, className, int(sizeof className));
    return strcmp(className, "#32770") == 0;
}

// A message box is a dialog created inside MessageBoxA; the plug-in's own
// dialog, also of class #32770, already exists then and is only
// re-activated. So the hook answers the first dialog created while it is
// installed, once it is activated.
struct BoxAnswer {
    int answer = IDOK;
    HWND box = nullptr;
    bool posted = false;
};
thread_local BoxAnswer* pendingBox = nullptr;

LRESULT CALLBACK AnswerBoxHook(int code, WPARAM wParam, LPARAM lParam) {
    BoxAnswer* pending = pendingBox;
    if (pending && code == HCBT_CREATEWND && !pending->box) {
        HWND created = reinterpret_cast<HWND>(wParam);
        if (IsDialogWindow(created)) pending->box = created;
    } else if (pending && code == HCBT_ACTIVATE && !pending->posted) {
        HWND activated = reinterpret_cast<HWND>(wParam);
        if (activated == pending->box) {
            PostMessageW(activated, WM_COMMAND, MAKEWPARAM(pending->answer, BN_CLICKED), 0);
            pending->posted = true;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class ThreadHook {
public:
    ThreadHook(int kind, HOOKPROC proc)
        : hook_(SetWindowsHookExW(kind, proc, nullptr, GetCurrentThreadId())) {}
    ~ThreadHook() {
        if (hook_) UnhookWindowsHookEx(hook_);
    }
    ThreadHook(const ThreadHook&) = delete;
    ThreadHook& operator=(const ThreadHook&) = delete;

private:
    HHOOK hook_;
};

int AskRealBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags, int answer) {
    BoxAnswer pending;
    pending.answer = answer;
    BoxAnswer* outer = pendingBox;
    pendingBox = &pending;
    int result = 0;
    {
        ThreadHook hook(WH_CBT, AnswerBoxHook);
        result = realMessageBoxA(owner, text, caption, flags);
    }
    pendingBox = outer;
    return result;
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

std::wstring OwnExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, &path[0], DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring FileNameOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    int units = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], units);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string utf8(size_t(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &utf8[0], bytes, nullptr,
                        nullptr);
    return utf8;
}

HostWindow::~HostWindow() {
    if (window_) DestroyWindow(window_);
}

HWND HostWindow::Get() {
    if (window_) return window_;
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kHostWindowClass;
    RegisterClassW(&windowClass);
    // Never shown: it only owns the plug-in's dialog and message boxes.
    window_ = CreateWindowExW(0, kHostWindowClass, L"Finale", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    return window_;
}

WindowsPlatform::WindowsPlatform() { activePlatform = this; }

WindowsPlatform::~WindowsPlatform() {
    if (activePlatform == this) activePlatform = nullptr;
}

void WindowsPlatform::PrepareHost(const std::string& hostName,
                                  const std::vector<std::string>& missing) {
    missing_.clear();
    missing_.insert(missing.begin(), missing.end());
    lookups_.clear();
    // The module decides by the host's module name, so a different name can
    // only be honoured by running a copy of this executable under it.
    std::wstring ownName = FileNameOf(OwnExecutablePath());
    if (_wcsicmp(ownName.c_str(), Widen(hostName).c_str()) != 0) {
        fprintf(stderr,
                "host.name: \"%s\" differs from this executable's name \"%s\"; run a copy of "
                "it under that name\n",
                hostName.c_str(), Narrow(ownName).c_str());
        exit(2);
    }
}

HMODULE WindowsPlatform::LoadPlugin() {
    std::wstring path = pluginPath_.empty()
                            ? FolderOf(OwnExecutablePath()) + L"\\" + kPluginFileName
                            : pluginPath_;
    HMODULE plugin = LoadLibraryW(path.c_str());
    if (!plugin) {
        loadError_ = GetLastError();
        return nullptr;
    }
    void* lookUp = PatchImport(plugin, "KERNEL32.dll", "GetProcAddress",
                               reinterpret_cast<void*>(&HostGetProcAddress));
    if (lookUp) realGetProcAddress = reinterpret_cast<GetProcAddressProc>(lookUp);
    void* box = PatchImport(plugin, "USER32.dll", "MessageBoxA",
                            reinterpret_cast<void*>(&HostMessageBoxA));
    if (box) realMessageBoxA = reinterpret_cast<MessageBoxAProc>(box);
    return plugin;
}

void WindowsPlatform::UnloadPlugin(HMODULE plugin) {
    if (plugin) FreeLibrary(plugin);
}

int WindowsPlatform::LookupCount(const std::string& name) {
    auto found = lookups_.find(name);
    return found == lookups_.end() ? 0 : found->second;
}

HWND WindowsPlatform::HostWindow() { return window_.Get(); }

void WindowsPlatform::SetMessageBoxAnswerer(BoxCallback onBox, void* context) {
    onBox_ = onBox;
    boxContext_ = context;
}

FARPROC WindowsPlatform::LookUp(HMODULE module, LPCSTR name) {
    // Lookups by ordinal and in other modules are the runtime's own business.
    bool byName = (reinterpret_cast<ULONG_PTR>(name) >> 16) != 0;
    if (module != GetModuleHandleW(nullptr) || !byName || strncmp(name, "FX_", 3) != 0)
        return realGetProcAddress(module, name);
    ++lookups_[name];
    if (missing_.count(name)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return realGetProcAddress(module, name);
}

int WindowsPlatform::ShowBox(HWND owner, LPCSTR text, LPCSTR caption, UINT flags) {
    int answer = onBox_ ? onBox_(boxContext_, owner, text ? text : "", caption ? caption : "",
                                 flags)
                        : IDOK;
    return AskRealBox(owner, text, caption, flags, answer);
}

}  // namespace testhost
