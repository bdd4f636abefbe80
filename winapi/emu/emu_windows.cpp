// The emulation's windows: dialogs built from a module's compiled template,
// their controls, a message queue with a modal loop, and message boxes that
// a test answers.
//
// One mutex guards the window table. Dialog procedures and message-box
// handlers run without it, because they call back into these functions.
#include "winapi/emu/emu_windows.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include "winapi/emu/emu_modules.h"
#include "winapi/emu/res_format.h"

namespace {

constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorControlIdNotFound = 1421;
constexpr UINT kGetTextLength = 0x000E;  // WM_GETTEXTLENGTH
constexpr UINT kGwHwndFirst = 0, kGwHwndLast = 1, kGwHwndNext = 2, kGwHwndPrev = 3, kGwChild = 5;

constexpr int kScreenWidth = 1024;
constexpr int kScreenHeight = 768;
// Fixed dialog base units ("MS Shell Dlg" 8 pt at 96 dpi): 4 horizontal
// dialog units are 6 pixels, 8 vertical ones 13 pixels.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
// A captioned top-level window's frame: border on every side plus the title
// bar above the client area.
constexpr int kBorder = 3;
constexpr int kCaptionHeight = 22;

const char16_t kDialogClass[] = u"#32770";
const char16_t kHostClass[] = u"ZorvHostFrame";

enum class Kind { Host, Dialog, Control };

struct Window {
    HWND handle = nullptr;
    Kind kind = Kind::Control;
    std::u16string className;
    std::u16string text;
    DWORD style = 0;
    DWORD exStyle = 0;
    int id = 0;
    // Screen coordinates for a top-level window; a child's are relative to
    // its parent's client area, as MoveWindow takes them.
    RECT rect{};
    HWND parent = nullptr;
    HWND owner = nullptr;
    UINT check = BST_UNCHECKED;
    std::vector<HWND> children;
    DLGPROC proc = nullptr;
    bool ended = false;
    INT_PTR result = 0;
};

struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct State {
    std::mutex mutex;
    std::map<HWND, std::unique_ptr<Window>> windows;
    // Handles are never reused, so a stale handle stays invalid.
    uintptr_t nextHandle = 0x10010;
    std::deque<PostedMessage> queue;
    HWND focus = nullptr;
    emu::MessageBoxHandler messageBoxHandler;
    std::vector<emu::MessageBoxCall> messageBoxLog;
    std::vector<emu::DlgItemMessage> dlgItemLog;
    // EndDialog results outlive the dialog's windows.
    std::map<HWND, INT_PTR> endedDialogs;
};

State& Emu() {
    static State state;
    return state;
}

using Lock = std::lock_guard<std::mutex>;

// ---- text: the A functions use Latin-1, which keeps every byte ----

std::u16string FromNarrow(const char* text) {
    std::u16string out;
    if (!text) return out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        out.push_back(char16_t(*p));
    return out;
}

std::string ToNarrow(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) out.push_back(unit <= 0xFF ? char(unit) : '?');
    return out;
}

template <typename Char>
int CopyTruncated(const std::basic_string<Char>& text, Char* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    int count = std::min<int>(int(text.size()), capacity - 1);
    std::copy(text.begin(), text.begin() + count, buffer);
    buffer[count] = Char(0);
    return count;
}

// ---- the window table (callers hold the mutex) ----

Window* Find(HWND handle) {
    if (!handle) return nullptr;
    auto it = Emu().windows.find(handle);
    return it == Emu().windows.end() ? nullptr : it->second.get();
}

Window* FindOrFail(HWND handle) {
    Window* window = Find(handle);
    if (!window) SetLastError(kErrorInvalidWindowHandle);
    return window;
}

Window& AddWindow(Kind kind) {
    auto window = std::make_unique<Window>();
    window->handle = reinterpret_cast<HWND>(Emu().nextHandle);
    Emu().nextHandle += 4;
    window->kind = kind;
    Window& added = *window;
    Emu().windows[added.handle] = std::move(window);
    return added;
}

Window* FindChild(const Window& parent, int id) {
    for (HWND child : parent.children)
        if (Window* control = Find(child); control && control->id == id) return control;
    return nullptr;
}

bool IsTopLevel(const Window& window) { return !(window.style & WS_CHILD); }

bool HasCaption(const Window& window) {
    return IsTopLevel(window) && (window.style & WS_CAPTION) == WS_CAPTION;
}

// Screen position of the window's client area.
void ClientOrigin(const Window& window, LONG& x, LONG& y) {
    x = 0;
    y = 0;
    if (!IsTopLevel(window)) {
        if (const Window* parent = Find(window.parent)) ClientOrigin(*parent, x, y);
    }
    x += window.rect.left;
    y += window.rect.top;
    if (HasCaption(window)) {
        x += kBorder;
        y += kBorder + kCaptionHeight;
    }
}

RECT ScreenRect(const Window& window) {
    RECT rect = window.rect;
    if (IsTopLevel(window)) return rect;
    const Window* parent = Find(window.parent);
    if (!parent) return rect;
    LONG x, y;
    ClientOrigin(*parent, x, y);
    rect.left += x;
    rect.right += x;
    rect.top += y;
    rect.bottom += y;
    return rect;
}

void CollectTree(HWND handle, std::vector<HWND>& out) {
    Window* window = Find(handle);
    if (!window) return;
    for (HWND child : window->children) CollectTree(child, out);
    out.push_back(handle);
}

void EraseTree(HWND root) {
    std::vector<HWND> doomed;
    CollectTree(root, doomed);
    State& state = Emu();
    for (HWND handle : doomed) {
        if (state.focus == handle) state.focus = nullptr;
        state.windows.erase(handle);
    }
    state.queue.erase(std::remove_if(state.queue.begin(), state.queue.end(),
                                     [&](const PostedMessage& m) {
                                         return std::find(doomed.begin(), doomed.end(),
                                                          m.window) != doomed.end();
                                     }),
                      state.queue.end());
}

bool IsCheckable(const Window& window, UINT& maxState) {
    if (window.className != u"Button") return false;
    switch (window.style & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
            maxState = BST_CHECKED;
            return true;
        case 5:  // BS_3STATE
        case 6:  // BS_AUTO3STATE
            maxState = 2;
            return true;
        default:
            return false;
    }
}

// ---- dialogs from templates ----

std::optional<emu::res::DialogTemplate> LoadDialogTemplate(HMODULE module, LPCWSTR name) {
    emu::ResourceImage image = emu::ModuleResources(module);
    if (!image.bytes || image.size == 0) return std::nullopt;
    auto entries = emu::res::ParseResFile(image.bytes, image.size);
    if (!entries) return std::nullopt;
    emu::res::NameOrId wanted = IS_INTRESOURCE(name)
                                    ? emu::res::NameOrId::Id(LOWORD(name))
                                    : emu::res::NameOrId::Name(std::u16string(name));
    const emu::res::ResourceEntry* entry =
        emu::res::FindResource(*entries, emu::res::NameOrId::Id(5), wanted);
    if (!entry) return std::nullopt;
    return emu::res::ParseDialogTemplateEx(entry->data.data(), entry->data.size());
}

RECT DialogUnitsToPixels(int x, int y, int cx, int cy) {
    RECT rect;
    rect.left = x * kBaseUnitX / 4;
    rect.top = y * kBaseUnitY / 8;
    rect.right = rect.left + cx * kBaseUnitX / 4;
    rect.bottom = rect.top + cy * kBaseUnitY / 8;
    return rect;
}

HWND BuildDialog(const emu::res::DialogTemplate& dialogTemplate, HWND owner, DLGPROC proc) {
    Lock lock(Emu().mutex);
    Window& dialog = AddWindow(Kind::Dialog);
    dialog.className = dialogTemplate.windowClass.IsEmpty()
                           ? std::u16string(kDialogClass)
                           : emu::res::ControlClassName(dialogTemplate.windowClass);
    dialog.text = dialogTemplate.title;
    dialog.style = dialogTemplate.style;
    dialog.exStyle = dialogTemplate.exStyle;
    dialog.owner = Find(owner) ? owner : nullptr;
    dialog.proc = proc;

    // The template's size is the client area's; the frame comes on top. Its
    // position is relative to the owner's client area, as without DS_ABSALIGN.
    RECT client = DialogUnitsToPixels(dialogTemplate.x, dialogTemplate.y, dialogTemplate.cx,
                                      dialogTemplate.cy);
    LONG originX = 0, originY = 0;
    if (const Window* ownerWindow = Find(dialog.owner)) ClientOrigin(*ownerWindow, originX, originY);
    dialog.rect.left = originX + client.left;
    dialog.rect.top = originY + client.top;
    LONG frameWidth = HasCaption(dialog) ? 2 * kBorder : 0;
    LONG frameHeight = HasCaption(dialog) ? 2 * kBorder + kCaptionHeight : 0;
    dialog.rect.right = dialog.rect.left + (client.right - client.left) + frameWidth;
    dialog.rect.bottom = dialog.rect.top + (client.bottom - client.top) + frameHeight;

    HWND dialogHandle = dialog.handle;
    for (const auto& item : dialogTemplate.items) {
        Window& control = AddWindow(Kind::Control);
        control.className = emu::res::ControlClassName(item.windowClass);
        control.text = item.title.isId ? std::u16string() : item.title.name;
        control.style = item.style;
        control.exStyle = item.exStyle;
        control.id = int(item.id);
        control.rect = DialogUnitsToPixels(item.x, item.y, item.cx, item.cy);
        control.parent = dialogHandle;
        dialog.children.push_back(control.handle);
    }
    return dialogHandle;
}

HWND FirstTabStop(HWND dialog) {
    Lock lock(Emu().mutex);
    const Window* window = Find(dialog);
    if (!window) return nullptr;
    for (HWND child : window->children) {
        const Window* control = Find(child);
        if (control && (control->style & WS_TABSTOP) && (control->style & WS_VISIBLE) &&
            !(control->style & WS_DISABLED))
            return child;
    }
    return nullptr;
}

void DestroyWindowTree(HWND root) {
    DLGPROC proc = nullptr;
    {
        Lock lock(Emu().mutex);
        Window* window = Find(root);
        if (!window) return;
        proc = window->proc;
    }
    if (proc) proc(root, WM_DESTROY, 0, 0);
    Lock lock(Emu().mutex);
    EraseTree(root);
}

// Builds the dialog and sends WM_INITDIALOG; the focus goes to the first
// tab stop unless the procedure answers 0. Null when the module has no such
// template.
HWND CreateInitialisedDialog(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                             LPARAM initParam) {
    auto dialogTemplate = LoadDialogTemplate(instance, templateName);
    if (!dialogTemplate) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    HWND dialog = BuildDialog(*dialogTemplate, parent, proc);
    HWND firstTabStop = FirstTabStop(dialog);
    INT_PTR setDefaultFocus =
        proc ? proc(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), initParam) : TRUE;
    if (setDefaultFocus && firstTabStop) SetFocus(firstTabStop);
    return dialog;
}

// The modal loop: posted messages in order, until EndDialog. A queue that
// runs dry with the dialog still open would wait for input forever on
// Windows; here nobody else can post, so the dialog ends with -1.
INT_PTR RunModalLoop(HWND dialog) {
    for (;;) {
        PostedMessage next;
        {
            Lock lock(Emu().mutex);
            Window* window = Find(dialog);
            if (!window) return -1;
            if (window->ended) return window->result;
            if (Emu().queue.empty()) {
                window->ended = true;
                window->result = -1;
                Emu().endedDialogs[dialog] = -1;
                return -1;
            }
            next = Emu().queue.front();
            Emu().queue.pop_front();
        }
        SendMessageW(next.window, next.message, next.wParam, next.lParam);
    }
}

// What DefDlgProc does when the procedure leaves a message alone.
LRESULT TextMessage(Window& window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT: {
            const WCHAR* text = reinterpret_cast<const WCHAR*>(lParam);
            window.text = text ? std::u16string(text) : std::u16string();
            return TRUE;
        }
        case WM_GETTEXT:
            return CopyTruncated(window.text, reinterpret_cast<WCHAR*>(lParam), int(wParam));
        case kGetTextLength:
            return LRESULT(window.text.size());
        default:
            return 0;
    }
}

LRESULT DefaultMessage(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Lock lock(Emu().mutex);
    Window* window = Find(handle);
    if (!window) return 0;
    UINT maxState = 0;
    switch (message) {
        case BM_GETCHECK:
            return IsCheckable(*window, maxState) ? window->check : BST_UNCHECKED;
        case BM_SETCHECK:
            if (IsCheckable(*window, maxState)) window->check = std::min<UINT>(UINT(wParam), maxState);
            return 0;
        default:
            return TextMessage(*window, message, wParam, lParam);
    }
}

HWND DialogItem(HWND dialog, int id) {
    Lock lock(Emu().mutex);
    Window* window = FindOrFail(dialog);
    if (!window) return nullptr;
    Window* control = FindChild(*window, id);
    if (!control) {
        SetLastError(kErrorControlIdNotFound);
        return nullptr;
    }
    return control->handle;
}

}  // namespace

// ---------------------------------------------------------------- Win32 ---

extern "C" {

HWND GetDlgItem(HWND dialog, int id) { return DialogItem(dialog, id); }

BOOL ShowWindow(HWND window, int command) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target) return FALSE;
    BOOL wasVisible = (target->style & WS_VISIBLE) ? TRUE : FALSE;
    if (command == SW_HIDE)
        target->style &= ~DWORD(WS_VISIBLE);
    else
        target->style |= WS_VISIBLE;
    return wasVisible;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    {
        Lock lock(Emu().mutex);
        if (!FindOrFail(window)) return FALSE;
    }
    std::u16string wide = FromNarrow(text);
    return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str())) ? TRUE
                                                                                         : FALSE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target) {
        if (text && maxCount > 0) text[0] = 0;
        return 0;
    }
    return CopyTruncated(ToNarrow(target->text), text, maxCount);
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target || !rect) return FALSE;
    *rect = ScreenRect(*target);
    return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target) return FALSE;
    target->rect.left = x;
    target->rect.top = y;
    target->rect.right = x + std::max(width, 0);
    target->rect.bottom = y + std::max(height, 0);
    return TRUE;
}

int GetSystemMetrics(int index) {
    switch (index) {
        case SM_CXSCREEN:
            return kScreenWidth;
        case SM_CYSCREEN:
            return kScreenHeight;
        default:
            return 0;
    }
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND item = nullptr;
    {
        Lock lock(Emu().mutex);
        Window* window = Find(dialog);
        Window* control = window ? FindChild(*window, id) : nullptr;
        item = control ? control->handle : nullptr;
        Emu().dlgItemLog.push_back({dialog, id, message, wParam, lParam, item != nullptr});
    }
    return item ? SendMessageW(item, message, wParam, lParam) : 0;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    emu::MessageBoxHandler handler;
    {
        Lock lock(Emu().mutex);
        handler = Emu().messageBoxHandler;
    }
    std::string textString = text ? text : "";
    std::string captionString = caption ? caption : "Error";  // Windows' caption for none
    int answer = 0;
    if (handler)
        answer = handler(owner, textString, captionString, type);
    else
        answer = (type & 0xF) == MB_YESNO ? IDNO : IDOK;
    Lock lock(Emu().mutex);
    Emu().messageBoxLog.push_back({owner, textString, captionString, type, answer});
    return answer;
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam) {
    HWND dialog = CreateInitialisedDialog(instance, templateName, parent, proc, initParam);
    if (!dialog) return -1;
    {
        Lock lock(Emu().mutex);
        if (Window* window = Find(dialog)) window->style |= WS_VISIBLE;
    }
    INT_PTR result = RunModalLoop(dialog);
    DestroyWindowTree(dialog);
    return result;
}

// As on Windows, the dialog is shown only when its template says so;
// otherwise its creator shows it.
HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                        LPARAM initParam) {
    return CreateInitialisedDialog(instance, templateName, parent, proc, initParam);
}

BOOL DestroyWindow(HWND window) {
    {
        Lock lock(Emu().mutex);
        if (!FindOrFail(window)) return FALSE;
    }
    DestroyWindowTree(window);
    return TRUE;
}

// Posted messages in order, for any window or for the one window asked
// (not its controls). The message range is not filtered: every caller here
// asks for all messages. Nobody else can post, so an empty queue answers
// FALSE at once, as Windows does when nothing is waiting.
BOOL PeekMessageW(LPMSG message, HWND window, UINT, UINT, UINT remove) {
    Lock lock(Emu().mutex);
    auto& queue = Emu().queue;
    auto next = std::find_if(queue.begin(), queue.end(), [window](const PostedMessage& m) {
        return window == nullptr || m.window == window;
    });
    if (next == queue.end()) return FALSE;
    if (message) *message = MSG{next->window, next->message, next->wParam, next->lParam, 0, {0, 0}};
    if (remove & PM_REMOVE) queue.erase(next);
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* message) {
    if (!message) return 0;
    return SendMessageW(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Lock lock(Emu().mutex);
    Window* window = FindOrFail(dialog);
    if (!window || window->kind != Kind::Dialog) return FALSE;
    window->ended = true;
    window->result = result;
    Emu().endedDialogs[dialog] = result;
    return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DLGPROC proc = nullptr;
    {
        Lock lock(Emu().mutex);
        Window* target = FindOrFail(window);
        if (!target) return 0;
        proc = target->kind == Kind::Dialog ? target->proc : nullptr;
    }
    if (proc) {
        INT_PTR handled = proc(window, message, wParam, lParam);
        if (handled) return handled;
    }
    return DefaultMessage(window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Lock lock(Emu().mutex);
    if (!FindOrFail(window)) return FALSE;
    Emu().queue.push_back({window, message, wParam, lParam});
    return TRUE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
    HWND item = DialogItem(dialog, id);
    if (!item) {
        if (text && maxCount > 0) text[0] = 0;
        return 0;
    }
    return UINT(GetWindowTextA(item, text, maxCount));
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND item = DialogItem(dialog, id);
    return item ? SetWindowTextA(item, text) : FALSE;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
    HWND item = DialogItem(dialog, id);
    if (!item) return FALSE;
    SendMessageW(item, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
    HWND item = DialogItem(dialog, id);
    return item ? UINT(SendMessageW(item, BM_GETCHECK, 0, 0)) : 0;
}

LONG GetWindowLongW(HWND window, int index) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target) return 0;
    switch (index) {
        case GWL_STYLE:
            return LONG(target->style);
        case GWL_EXSTYLE:
            return LONG(target->exStyle);
        case GWL_ID:
            return LONG(target->id);
        default:
            return 0;
    }
}

int GetDlgCtrlID(HWND window) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    return target && !IsTopLevel(*target) ? target->id : 0;
}

int GetClassNameA(HWND window, LPSTR className, int maxCount) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target) {
        if (className && maxCount > 0) className[0] = 0;
        return 0;
    }
    return CopyTruncated(ToNarrow(target->className), className, maxCount);
}

HWND SetFocus(HWND window) {
    Lock lock(Emu().mutex);
    if (window && !FindOrFail(window)) return nullptr;
    HWND previous = Find(Emu().focus) ? Emu().focus : nullptr;
    Emu().focus = window;
    return previous;
}

HWND GetFocus(void) {
    Lock lock(Emu().mutex);
    return Find(Emu().focus) ? Emu().focus : nullptr;
}

BOOL IsWindow(HWND window) {
    Lock lock(Emu().mutex);
    return Find(window) ? TRUE : FALSE;
}

HWND GetParent(HWND window) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target) return nullptr;
    if (target->style & WS_CHILD) return target->parent;
    // For a popup Windows answers with the owner.
    if (target->style & WS_POPUP) return target->owner;
    return nullptr;
}

HWND GetWindow(HWND window, UINT command) {
    Lock lock(Emu().mutex);
    Window* target = FindOrFail(window);
    if (!target) return nullptr;
    if (command == GW_OWNER) return IsTopLevel(*target) ? target->owner : nullptr;
    if (command == kGwChild) return target->children.empty() ? nullptr : target->children.front();
    // Siblings: only children of one parent have an order here.
    Window* parent = IsTopLevel(*target) ? nullptr : Find(target->parent);
    if (!parent) return nullptr;
    const auto& siblings = parent->children;
    auto at = std::find(siblings.begin(), siblings.end(), window);
    switch (command) {
        case kGwHwndFirst:
            return siblings.front();
        case kGwHwndLast:
            return siblings.back();
        case kGwHwndNext:
            return at + 1 < siblings.end() ? *(at + 1) : nullptr;
        case kGwHwndPrev:
            return at > siblings.begin() ? *(at - 1) : nullptr;
        default:
            return nullptr;
    }
}

}  // extern "C"

// ------------------------------------------------------- test control ---

namespace emu {

void SetMessageBoxHandler(MessageBoxHandler handler) {
    Lock lock(Emu().mutex);
    Emu().messageBoxHandler = std::move(handler);
}

const std::vector<MessageBoxCall>& MessageBoxLog() { return Emu().messageBoxLog; }

const std::vector<DlgItemMessage>& DlgItemMessageLog() { return Emu().dlgItemLog; }

HWND CreateDialogFromResource(HMODULE module, int templateId, HWND owner, DLGPROC proc) {
    auto dialogTemplate = LoadDialogTemplate(module, MAKEINTRESOURCEW(templateId));
    if (!dialogTemplate) return nullptr;
    return BuildDialog(*dialogTemplate, owner, proc);
}

void DestroyDialog(HWND dialog) { DestroyWindowTree(dialog); }

bool DialogEnded(HWND dialog, INT_PTR* result) {
    Lock lock(Emu().mutex);
    auto it = Emu().endedDialogs.find(dialog);
    if (it == Emu().endedDialogs.end()) return false;
    if (result) *result = it->second;
    return true;
}

HWND FocusedWindow() { return GetFocus(); }

HWND CreateHostWindow() {
    Lock lock(Emu().mutex);
    Window& host = AddWindow(Kind::Host);
    host.className = kHostClass;
    host.text = u"Finale";
    host.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    host.rect = RECT{0, 0, kScreenWidth, kScreenHeight};
    return host.handle;
}

void ResetWindows() {
    Lock lock(Emu().mutex);
    State& state = Emu();
    state.windows.clear();
    state.queue.clear();
    state.focus = nullptr;
    state.messageBoxHandler = nullptr;
    state.messageBoxLog.clear();
    state.dlgItemLog.clear();
    state.endedDialogs.clear();
}

}  // namespace emu
