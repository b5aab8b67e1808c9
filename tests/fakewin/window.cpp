// Windows of the double: a record per window, window classes, and one message queue for the
// main thread. The system's own controls are plain records here: the framework keeps their
// state itself. Window procedures always run with the lock released, so they may call back in.
#include "fakewin/window.h"
#include "fakewin/area.h"
#include "fakewin/files.h"
#include "fakewin/screen.h"
#include "fakewin/windows.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace fakewin {
namespace {

struct Window {
    WindowInfo info;
    WNDPROC proc = nullptr;
    LONG_PTR userdata = 0;
    HFONT font = nullptr; // as the system's controls keep it: WM_SETFONT, WM_GETFONT
    bool foreign = false; // another process's
    size_t caret = 0;     // an edit field's insertion point
};

struct WindowState {
    std::map<uintptr_t, Window> live; // keyed by handle value, which grows: creation order
    std::map<std::string, WNDPROC> classes;
    std::deque<MSG> queue;
    bool quit_requested = false;
    int quit_code = 0;
    HWND focus = nullptr;
    std::function<bool()> idle;
    std::vector<WindowCall> calls;
    std::vector<HotKey> hot_keys;
    std::vector<TRACKMOUSEEVENT> tracking;
    bool refuse_no_repeat = false;
    std::vector<std::pair<UINT, UINT>> held_keys; // by other programs
    std::vector<Tool> tools;                      // of every tool tip window
    HWND shell = nullptr;
};
// The regions the windows own go with the GDI area's own reset.
Area<WindowState> windows;
WindowState &s = windows.s;
std::mutex &mutex = windows.mutex;
std::condition_variable posted;
// Not reset: a handle a finished test kept never names a window of the next one.
uintptr_t next_handle = 0x10000;

std::string lower(std::string s) {
    for (auto &c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

Window *find(HWND hwnd) {
    auto it = s.live.find((uintptr_t)hwnd);
    return it == s.live.end() ? nullptr : &it->second;
}

// Runs fn on hwnd's record under the lock; a null or destroyed window answers none.
template <class R, class F> R on_window(HWND hwnd, R none, F fn) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    return w ? fn(*w) : none;
}

// Takes the first message for hwnd (any window when null); the quit request comes only once
// the queue is empty. The program filters by window only, never by message range.
bool take(LPMSG msg, HWND hwnd, bool remove) {
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (hwnd && it->hwnd != hwnd) continue;
        *msg = *it;
        if (remove) s.queue.erase(it);
        return true;
    }
    if (!s.quit_requested || !s.queue.empty()) return false;
    *msg = MSG{};
    msg->message = WM_QUIT;
    msg->wParam = (WPARAM)s.quit_code;
    if (remove) s.quit_requested = false;
    return true;
}

// The client area: framed windows lose a border and a caption, as on Windows.
RECT client_of(const WindowInfo &info, POINT *origin = nullptr) {
    int side = (info.style & WS_THICKFRAME)                                           ? 4
               : ((info.style & WS_DLGFRAME) || (info.exstyle & WS_EX_DLGMODALFRAME)) ? 3
               : (info.style & WS_BORDER)                                             ? 1
                                                                                      : 0;
    if (info.exstyle & WS_EX_CLIENTEDGE) side += 2;
    int top = side + ((info.style & WS_CAPTION) == WS_CAPTION ? 19 : 0);
    const RECT &r = info.rect;
    if (origin) *origin = {r.left + side, r.top + top};
    return {0, 0, std::max(0, (int)(r.right - r.left - 2 * side)),
            std::max(0, (int)(r.bottom - r.top - top - side))};
}

// Where a window's client area starts on the screen, its parents' places added up.
POINT client_origin(const Window &w) {
    POINT o, p = {0, 0};
    client_of(w.info, &o);
    if (w.info.style & WS_CHILD) p = client_origin(*find(w.info.parent));
    return {o.x + p.x, o.y + p.y};
}
bool contains(const RECT &r, POINT pt) {
    return pt.x >= r.left && pt.x < r.right && pt.y >= r.top && pt.y < r.bottom;
}

} // namespace

void type_keys(HWND edit, const std::string &keys) {
    for (char key : keys) {
        HWND parent = nullptr;
        WORD code = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            Window *w = find(edit);
            if (!w) return;
            w->info.text.insert(std::min(w->caret, w->info.text.size()), 1, key);
            w->caret = std::min(w->caret, w->info.text.size() - 1) + 1;
            parent = w->info.parent;
            code = lower(w->info.cls) == "combobox" ? CBN_EDITCHANGE : EN_CHANGE;
        }
        SendMessageA(parent, WM_COMMAND, MAKELONG(0, code), (LPARAM)edit);
    }
}

std::vector<Tool> tools() {
    std::lock_guard<std::mutex> lock(mutex);
    return s.tools;
}

void set_shell_window(HWND hwnd) {
    on_window(hwnd, 0, [&](Window &) { return s.shell = hwnd, 0; });
}

void make_foreign(HWND hwnd) {
    on_window(hwnd, 0, [](Window &w) { return w.foreign = true, 0; });
}

bool window_info(HWND hwnd, WindowInfo &info) {
    return on_window(hwnd, false, [&](Window &w) { return info = w.info, true; });
}

std::vector<HWND> children(HWND parent) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<HWND> list;
    for (auto &w : s.live)
        if (w.second.info.parent == parent && (w.second.info.style & WS_CHILD))
            list.push_back(w.second.info.hwnd);
    return list;
}

std::vector<WindowCall> window_calls(WindowCall::Kind kind) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<WindowCall> list;
    for (auto &c : s.calls)
        if (c.kind == kind) list.push_back(c);
    return list;
}

void hold_hot_key(UINT modifiers, UINT vk) {
    std::lock_guard<std::mutex> lock(mutex);
    s.held_keys.push_back({modifiers & ~MOD_NOREPEAT, vk});
}

void refuse_no_repeat() {
    std::lock_guard<std::mutex> lock(mutex);
    s.refuse_no_repeat = true;
}

std::vector<HotKey> hot_keys() {
    std::lock_guard<std::mutex> lock(mutex);
    return s.hot_keys;
}

std::vector<TRACKMOUSEEVENT> mouse_tracking() {
    std::lock_guard<std::mutex> lock(mutex);
    return s.tracking;
}

void on_idle(std::function<bool()> fn) {
    std::lock_guard<std::mutex> lock(mutex);
    s.idle = std::move(fn);
}

bool wait_for_message(unsigned real_ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return posted.wait_for(lock, std::chrono::milliseconds(real_ms),
                           [] { return !s.queue.empty() || s.quit_requested; });
}

} // namespace fakewin

using namespace fakewin;

HMODULE GetModuleHandleA(LPCSTR) { return (HMODULE)(uintptr_t)0x400000; }

FARPROC GetProcAddress(HMODULE, LPCSTR) { return nullptr; }

WORD RegisterClassExA(const WNDCLASSEXA *cls) {
    if (!cls || !cls->lpszClassName || !cls->lpfnWndProc) return 0;
    std::lock_guard<std::mutex> lock(mutex);
    if (!s.classes.emplace(lower(cls->lpszClassName), cls->lpfnWndProc).second) return 0;
    return (WORD)(0xC000 + s.classes.size());
}

BOOL GetClassInfoExA(HINSTANCE, LPCSTR name, WNDCLASSEXA *cls) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = s.classes.find(lower(name ? name : ""));
    if (it == s.classes.end()) return FALSE;
    *cls = WNDCLASSEXA{};
    cls->lpfnWndProc = it->second;
    return TRUE;
}

// The program creates its windows and then hands each its form (SetWindowLongPtr), so no
// creation messages are sent.
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
    HWND hwnd;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!className || ((style & WS_CHILD) && !find(parent))) return nullptr;
        // The system's control s.classes need no registration: they answer as DefWindowProc.
        auto cls = s.classes.find(lower(className));
        Window w;
        w.proc = cls == s.classes.end() ? &DefWindowProcA : cls->second;
        w.foreign = (style & WS_CHILD) && find(parent)->foreign;
        hwnd = (HWND)next_handle;
        next_handle += 4;
        w.info = {hwnd,
                  className,
                  windowName ? windowName : "",
                  style & (DWORD)~WS_VISIBLE,
                  exStyle,
                  {x, y, x + width, y + height},
                  parent,
                  (style & WS_VISIBLE) != 0,
                  (style & WS_DISABLED) == 0};
        s.live[(uintptr_t)hwnd] = w;
    }
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    std::vector<HWND> owned;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!find(hwnd)) return FALSE;
        for (auto &w : s.live)
            if (w.second.info.parent == hwnd) owned.push_back(w.second.info.hwnd);
    }
    for (HWND child : owned)
        DestroyWindow(child);
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    HRGN region = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return TRUE;
        region = w->info.region;
        s.live.erase((uintptr_t)hwnd);
        // The window's hot keys go with it.
        s.hot_keys.erase(std::remove_if(s.hot_keys.begin(), s.hot_keys.end(),
                                        [&](const HotKey &k) { return k.hwnd == hwnd; }),
                         s.hot_keys.end());
        if (s.focus == hwnd) s.focus = nullptr;
    }
    if (region) drop_region(region);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    return on_window(hwnd, FALSE, [](Window &) { return TRUE; });
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_CLOSE) return DestroyWindow(hwnd), 0;
    return msg == WM_ERASEBKGND;
}

// The user data (the program keeps its form there) and the window procedure.
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    if (index == GWLP_WNDPROC)
        return on_window(hwnd, (LONG_PTR)0, [&](Window &w) {
            return (LONG_PTR)std::exchange(w.proc, (WNDPROC)value);
        });
    if (index != GWLP_USERDATA) return 0;
    return on_window(hwnd, (LONG_PTR)0,
                     [&](Window &w) { return std::exchange(w.userdata, value); });
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    if (index == GWLP_WNDPROC)
        return on_window(hwnd, (LONG_PTR)0, [](Window &w) { return (LONG_PTR)w.proc; });
    if (index != GWLP_USERDATA) return 0;
    return on_window(hwnd, (LONG_PTR)0, [](Window &w) { return w.userdata; });
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return proc ? proc(hwnd, msg, wp, lp) : 0;
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT *track) {
    if (!track || track->cbSize != sizeof(*track)) return FALSE;
    std::lock_guard<std::mutex> lock(mutex);
    s.tracking.push_back(*track);
    return TRUE;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    std::lock_guard<std::mutex> lock(mutex);
    s.calls.push_back({WindowCall::Show, hwnd, (UINT)cmd, "", on_main_thread()});
    Window *w = find(hwnd);
    if (!w) return FALSE;
    bool was = w->info.visible;
    w->info.visible = cmd != SW_HIDE;
    return was;
}

BOOL IsWindowVisible(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    for (Window *w = find(hwnd); w; w = find(w->info.parent)) {
        if (!w->info.visible) return FALSE;
        if (!(w->info.style & WS_CHILD)) return TRUE;
    }
    return FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    bool sized;
    RECT client;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return FALSE;
        RECT &r = w->info.rect, old = r;
        if (!(flags & SWP_NOMOVE)) r = {x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
        r = {r.left, r.top, r.left + cx, r.top + cy};
        sized =
            r.right - r.left != old.right - old.left || r.bottom - r.top != old.bottom - old.top;
        client = client_of(w->info);
    }
    if (sized) SendMessageA(hwnd, WM_SIZE, 0, MAKELONG(client.right, client.bottom));
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    if (!rect) return FALSE;
    return on_window(hwnd, FALSE, [&](Window &w) { return *rect = client_of(w.info), TRUE; });
}

int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw) {
    HRGN old;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return 0; // the caller keeps the region
        old = w->info.region;
        w->info.region = rgn;
        w->info.region_redraw = redraw != FALSE;
    }
    if (rgn) take_region(rgn);
    if (old && old != rgn) drop_region(old);
    return 1;
}

// The text is the window record's own: no window of the program answers the text messages. As
// in the system's edit fields, a text set puts the caret at its start.
BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    return on_window(hwnd, FALSE, [&](Window &w) {
        w.info.text = text ? text : "";
        w.caret = 0;
        s.calls.push_back({WindowCall::Text, hwnd, 0, w.info.text, on_main_thread()});
        return TRUE;
    });
}

int GetWindowTextA(HWND hwnd, LPSTR text, int max) {
    if (max <= 0 || !text) return 0;
    return on_window(hwnd, 0, [&](Window &w) {
        size_t n = std::min((size_t)max - 1, w.info.text.size());
        memcpy(text, w.info.text.data(), n);
        text[n] = 0;
        return (int)n;
    });
}

int GetWindowTextLengthA(HWND hwnd) {
    return on_window(hwnd, 0, [](Window &w) { return (int)w.info.text.size(); });
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    return on_window(hwnd, FALSE, [&](Window &w) {
        return (BOOL)!std::exchange(w.info.enabled, enable != FALSE); // TRUE: it was disabled
    });
}

BOOL IsWindowEnabled(HWND hwnd) {
    return on_window(hwnd, FALSE, [](Window &w) { return (BOOL)w.info.enabled; });
}

HWND GetDesktopWindow() { return (HWND)(uintptr_t)0x10; }

HWND SetFocus(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    if (hwnd && !find(hwnd)) return nullptr;
    std::swap(s.focus, hwnd);
    return hwnd;
}

HWND GetFocus() {
    std::lock_guard<std::mutex> lock(mutex);
    return s.focus;
}

HWND GetAncestor(HWND hwnd, UINT) { // GA_ROOT only
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    while (w && (w->info.style & WS_CHILD) && find(w->info.parent))
        w = find(w->info.parent);
    return w ? w->info.hwnd : nullptr;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC proc;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        proc = w ? w->proc : nullptr;
        if (w && msg == WM_SETFONT) w->font = (HFONT)wp;
        if (w && msg == WM_GETFONT) return (LRESULT)w->font;
        // A tool tip keeps one tool per window and id.
        auto *tool = (const TOOLINFOA *)lp;
        if (w && w->info.cls == TOOLTIPS_CLASSA && (msg == TTM_ADDTOOLA || msg == TTM_DELTOOLA)) {
            auto same = [&](const Tool &t) { return t.hwnd == tool->hwnd && t.id == tool->uId; };
            s.tools.erase(std::remove_if(s.tools.begin(), s.tools.end(), same), s.tools.end());
            if (msg == TTM_ADDTOOLA)
                s.tools.push_back({tool->hwnd, tool->uId, tool->rect, tool->lpszText});
            return TRUE;
        }
    }
    return proc ? proc(hwnd, msg, wp, lp) : 0;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        s.calls.push_back({WindowCall::Post, hwnd, msg, "", on_main_thread()});
        if (hwnd && !find(hwnd)) return FALSE;
        s.queue.push_back(MSG{hwnd, msg, wp, lp, 0, {}});
    }
    posted.notify_all();
    return TRUE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT, UINT) {
    std::function<bool()> fn;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (take(msg, hwnd, true)) return msg->message != WM_QUIT;
        fn = s.idle;
    }
    if (fn && fn()) {
        // The idle step did something: hand back what it queued, or a null message so that
        // the caller's loop looks at its state (a modal result, say) again.
        std::lock_guard<std::mutex> lock(mutex);
        if (take(msg, hwnd, true)) return msg->message != WM_QUIT;
        *msg = MSG{};
        return TRUE;
    }
    *msg = MSG{};
    msg->message = WM_QUIT;
    return FALSE;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT, UINT, UINT remove) {
    std::lock_guard<std::mutex> lock(mutex);
    return take(msg, hwnd, (remove & PM_REMOVE) != 0);
}

BOOL TranslateMessage(const MSG *) { return FALSE; }

LRESULT DispatchMessageA(const MSG *msg) {
    return msg && msg->hwnd ? SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

BOOL IsDialogMessageA(HWND, LPMSG) { return FALSE; }

void PostQuitMessage(int code) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        s.quit_requested = true;
        s.quit_code = code;
    }
    posted.notify_all();
}

HBRUSH GetSysColorBrush(int index) { // stock handles, never freed: one per colour index
    static BYTE brushes[32];
    return (HBRUSH)&brushes[index & 31];
}

// A key is refused when another program or window holds it, or the id is taken on the window.
BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk) {
    std::lock_guard<std::mutex> lock(mutex);
    std::pair<UINT, UINT> key{modifiers & ~MOD_NOREPEAT, vk};
    SetLastError(ERROR_INVALID_PARAMETER);
    if (s.refuse_no_repeat && (modifiers & MOD_NOREPEAT)) return FALSE;
    SetLastError(ERROR_HOTKEY_ALREADY_REGISTERED);
    if (std::count(s.held_keys.begin(), s.held_keys.end(), key)) return FALSE;
    for (auto &k : s.hot_keys)
        if ((k.hwnd == hwnd && k.id == id) ||
            ((k.modifiers & ~MOD_NOREPEAT) == key.first && k.vk == vk))
            return FALSE;
    SetLastError(0);
    s.hot_keys.push_back({hwnd, id, modifiers, vk});
    return TRUE;
}

BOOL UnregisterHotKey(HWND hwnd, int id) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = std::find_if(s.hot_keys.begin(), s.hot_keys.end(),
                           [&](const HotKey &k) { return k.hwnd == hwnd && k.id == id; });
    if (it == s.hot_keys.end()) return FALSE;
    s.hot_keys.erase(it);
    return TRUE;
}

HWND GetShellWindow() {
    std::lock_guard<std::mutex> lock(mutex);
    return s.shell;
}

// The newest visible top-level window there; this thread's that answer WM_NCHITTEST with
// HTTRANSPARENT are looked through.
HWND WindowFromPoint(POINT pt) {
    std::vector<std::pair<HWND, bool>> under;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = s.live.rbegin(); it != s.live.rend(); ++it) {
            const WindowInfo &i = it->second.info;
            if (!(i.style & WS_CHILD) && i.visible && contains(i.rect, pt))
                under.push_back({i.hwnd, it->second.foreign});
        }
    }
    for (auto &w : under)
        if (w.second || SendMessageA(w.first, WM_NCHITTEST, 0, 0) != HTTRANSPARENT) return w.first;
    return nullptr;
}

HWND ChildWindowFromPointEx(HWND parent, POINT pt, UINT flags) {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto &w : s.live) {
        const WindowInfo &i = w.second.info;
        if (i.parent == parent && (i.style & WS_CHILD) && contains(i.rect, pt) &&
            (i.visible || !(flags & CWP_SKIPINVISIBLE)))
            return i.hwnd;
    }
    Window *p = find(parent);
    return p && contains(client_of(p->info), pt) ? parent : nullptr;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT pt) {
    return on_window(hwnd, FALSE, [&](Window &w) {
        POINT o = client_origin(w);
        return *pt = {pt->x - o.x, pt->y - o.y}, TRUE;
    });
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    return on_window(hwnd, FALSE, [&](Window &w) {
        POINT o = w.info.style & WS_CHILD ? client_origin(*find(w.info.parent)) : POINT{0, 0};
        const RECT &r = w.info.rect;
        return *rect = {r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y}, TRUE;
    });
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD process) {
    bool foreign = on_window(hwnd, false, [](Window &w) { return w.foreign; });
    if (process) *process = GetCurrentProcessId() + foreign;
    return foreign ? 2 : 1;
}

DWORD GetCurrentThreadId() { return on_main_thread() ? 1 : 3; }

BOOL EnumThreadWindows(DWORD thread, WNDENUMPROC fn, LPARAM lp) {
    std::vector<HWND> list;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto &w : s.live)
            if (thread == 1 && !w.second.foreign && !(w.second.info.style & WS_CHILD))
                list.push_back(w.second.info.hwnd);
    }
    for (size_t i = 0; i < list.size() && fn(list[i], lp);)
        ++i;
    return TRUE;
}

HWND SetCapture(HWND) { return nullptr; }
BOOL ReleaseCapture() { return TRUE; }
HCURSOR SetCursor(HCURSOR) { return nullptr; }
HWND GetForegroundWindow() { return nullptr; }
BOOL SetForegroundWindow(HWND hwnd) { return IsWindow(hwnd); }
HMODULE LoadLibraryA(LPCSTR) { return nullptr; }
