// Windows of the double: a record per window, window classes, and one message queue for the
// main thread. Window procedures always run with the lock released, so they may call back in.
#include "fakewin/window.h"
#include "fakewin/fakewin.h"
#include "fakewin/screen.h"
#include "framework/thread.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

// The region side lives with the GDI double; until it is linked in, windows just keep the handle.
namespace fakewin {
bool take_region(HRGN rgn) __attribute__((weak));
void drop_region(HRGN rgn) __attribute__((weak));
} // namespace fakewin

namespace fakewin {
namespace {

struct Window {
    WindowInfo info;
    WNDPROC proc = nullptr;
    LONG_PTR userdata = 0;
    // State of the system's own controls (buttons, combo boxes, track bars).
    int check = BST_UNCHECKED;
    std::vector<std::string> items;
    int cursel = -1;
    int pos = 0, min = 0, max = 100;
    HFONT font = nullptr;
};

struct ClassRecord {
    std::string name;
    WNDPROC proc;
    HBRUSH background;
};

std::mutex mutex;
std::condition_variable posted;
std::map<uintptr_t, Window> live; // keyed by handle value, which grows: creation order
std::map<std::string, ClassRecord> classes;
uintptr_t next_handle = 0x10000;
std::deque<MSG> queue;
bool quit_requested = false;
int quit_code = 0;
HWND focus = nullptr;
std::function<bool()> idle;
std::vector<ShowCall> shows;
std::vector<TextCall> texts;
std::vector<PostCall> posts;

std::string lower(std::string s) {
    for (auto &c : s)
        c = (char)tolower((unsigned char)c);
    return s;
}

void reset_windows() {
    std::vector<HRGN> regions;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto &w : live)
            if (w.second.info.region) regions.push_back(w.second.info.region);
        live.clear();
        classes.clear();
        queue.clear();
        quit_requested = false;
        quit_code = 0;
        focus = nullptr;
        idle = nullptr;
        shows.clear();
        texts.clear();
        posts.clear();
    }
    if (drop_region)
        for (HRGN r : regions)
            drop_region(r);
}
ResetHook hook(&reset_windows);

Window *find(HWND hwnd) {
    auto it = live.find((uintptr_t)hwnd);
    return it == live.end() ? nullptr : &it->second;
}

WNDPROC proc_of(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    return w ? w->proc : nullptr;
}

bool matches(const MSG &m, HWND hwnd, UINT min, UINT max) {
    if (hwnd && m.hwnd != hwnd) return false;
    if (min == 0 && max == 0) return true;
    return m.message >= min && m.message <= max;
}

// Takes the first matching message; the quit request comes only once the queue is empty.
bool take(LPMSG msg, HWND hwnd, UINT min, UINT max, bool remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!matches(*it, hwnd, min, max)) continue;
        *msg = *it;
        if (remove) queue.erase(it);
        return true;
    }
    if (quit_requested && queue.empty()) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = (WPARAM)quit_code;
        if (remove) quit_requested = false;
        return true;
    }
    return false;
}

// Non-client size the double gives framed windows, so that client rectangles are smaller
// than window rectangles as on Windows.
void frame_size(DWORD style, DWORD exstyle, int &side, int &top) {
    side = 0;
    if (style & WS_THICKFRAME)
        side = 4;
    else if ((style & WS_DLGFRAME) || (exstyle & WS_EX_DLGMODALFRAME))
        side = 3;
    else if (style & WS_BORDER)
        side = 1;
    if (exstyle & WS_EX_CLIENTEDGE) side += 2;
    top = side + ((style & WS_CAPTION) == WS_CAPTION ? 19 : 0);
}

LRESULT CALLBACK SystemControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

} // namespace

bool window_info(HWND hwnd, WindowInfo &info) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    if (!w) return false;
    info = w->info;
    return true;
}

std::vector<HWND> windows() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<HWND> list;
    for (auto &w : live)
        list.push_back(w.second.info.hwnd);
    return list;
}

std::vector<HWND> children(HWND parent) {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<HWND> list;
    for (auto &w : live)
        if (w.second.info.parent == parent && (w.second.info.style & WS_CHILD))
            list.push_back(w.second.info.hwnd);
    return list;
}

HWND find_window(const std::string &cls, const char *text) {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto &w : live)
        if (lower(w.second.info.cls) == lower(cls) && (!text || w.second.info.text == text))
            return w.second.info.hwnd;
    return nullptr;
}

HWND find_child(HWND parent, const std::string &text) {
    for (HWND child : children(parent)) {
        WindowInfo info;
        if (window_info(child, info) && info.text == text) return child;
        if (HWND inner = find_child(child, text)) return inner;
    }
    return nullptr;
}

std::vector<ShowCall> show_calls() {
    std::lock_guard<std::mutex> lock(mutex);
    return shows;
}
std::vector<TextCall> text_calls() {
    std::lock_guard<std::mutex> lock(mutex);
    return texts;
}
std::vector<PostCall> post_calls() {
    std::lock_guard<std::mutex> lock(mutex);
    return posts;
}
size_t queued_messages() {
    std::lock_guard<std::mutex> lock(mutex);
    return queue.size();
}

void on_idle(std::function<bool()> fn) {
    std::lock_guard<std::mutex> lock(mutex);
    idle = std::move(fn);
}

bool wait_for_message(unsigned real_ms) {
    std::unique_lock<std::mutex> lock(mutex);
    return posted.wait_for(lock, std::chrono::milliseconds(real_ms),
                           [] { return !queue.empty() || quit_requested; });
}

HWND focused_window() {
    std::lock_guard<std::mutex> lock(mutex);
    return focus;
}

} // namespace fakewin

using namespace fakewin;

HMODULE GetModuleHandleA(LPCSTR) { return (HMODULE)(uintptr_t)0x400000; }

WORD RegisterClassExA(const WNDCLASSEXA *cls) {
    if (!cls || !cls->lpszClassName || !cls->lpfnWndProc) return 0;
    std::lock_guard<std::mutex> lock(mutex);
    std::string key = lower(cls->lpszClassName);
    if (classes.count(key)) return 0;
    classes[key] = {cls->lpszClassName, cls->lpfnWndProc, cls->hbrBackground};
    return (WORD)(0xC000 + classes.size());
}

BOOL GetClassInfoExA(HINSTANCE, LPCSTR name, WNDCLASSEXA *cls) {
    std::lock_guard<std::mutex> lock(mutex);
    auto it = classes.find(lower(name ? name : ""));
    if (it == classes.end()) return FALSE;
    *cls = WNDCLASSEXA{};
    cls->cbSize = sizeof(*cls);
    cls->lpfnWndProc = it->second.proc;
    cls->hbrBackground = it->second.background;
    cls->lpszClassName = it->second.name.c_str();
    return TRUE;
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE inst, LPVOID param) {
    HWND hwnd;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!className) return nullptr;
        if ((style & WS_CHILD) && !find(parent)) return nullptr;
        // The system's own control classes need no registration: they behave like
        // DefWindowProc here, the program keeps their state itself.
        auto cls = classes.find(lower(className));
        Window w;
        w.proc = cls == classes.end() ? &SystemControlProc : cls->second.proc;
        hwnd = (HWND)next_handle;
        next_handle += 4;
        w.info.hwnd = hwnd;
        w.info.cls = className;
        w.info.text = windowName ? windowName : "";
        w.info.style = style & ~WS_VISIBLE;
        w.info.exstyle = exStyle;
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
        w.info.rect = {x, y, x + width, y + height};
        w.info.parent = parent;
        w.info.id = (style & WS_CHILD) ? (int)(uintptr_t)menu : 0;
        w.info.visible = (style & WS_VISIBLE) != 0;
        w.info.enabled = (style & WS_DISABLED) == 0;
        live[(uintptr_t)hwnd] = w;
    }
    CREATESTRUCTA cs = {param, inst, menu,        parent,     height,    width,
                        y,     x,    (LONG)style, windowName, className, exStyle};
    if (!SendMessageA(hwnd, WM_NCCREATE, 0, (LPARAM)&cs) ||
        SendMessageA(hwnd, WM_CREATE, 0, (LPARAM)&cs) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    return hwnd;
}

BOOL DestroyWindow(HWND hwnd) {
    std::vector<HWND> owned;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!find(hwnd)) return FALSE;
        for (auto &w : live)
            if (w.second.info.parent == hwnd) owned.push_back(w.second.info.hwnd);
    }
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    for (HWND child : owned)
        DestroyWindow(child);
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    HRGN region = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return TRUE;
        region = w->info.region;
        live.erase((uintptr_t)hwnd);
        if (focus == hwnd) focus = nullptr;
    }
    if (region && drop_region) drop_region(region);
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    return find(hwnd) != nullptr;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SETTEXT: {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return FALSE;
        w->info.text = lp ? (const char *)lp : "";
        texts.push_back({hwnd, w->info.text, IsMainThread()});
        return TRUE;
    }
    case WM_GETTEXT: {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w || wp == 0 || !lp) return 0;
        size_t n = std::min((size_t)wp - 1, w->info.text.size());
        memcpy((char *)lp, w->info.text.data(), n);
        ((char *)lp)[n] = 0;
        return (LRESULT)n;
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        return w ? (LRESULT)w->info.text.size() : 0;
    }
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_ERASEBKGND:
        return 1;
    }
    return 0;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return proc ? proc(hwnd, msg, wp, lp) : 0;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    if (!w) return 0;
    LONG_PTR old = 0;
    switch (index) {
    case GWLP_USERDATA:
        old = w->userdata;
        w->userdata = value;
        break;
    case GWLP_WNDPROC:
        old = (LONG_PTR)w->proc;
        w->proc = (WNDPROC)value;
        break;
    case GWL_STYLE:
        old = (LONG_PTR)(w->info.style | (w->info.visible ? WS_VISIBLE : 0));
        w->info.style = (DWORD)value & ~WS_VISIBLE;
        w->info.visible = ((DWORD)value & WS_VISIBLE) != 0;
        break;
    case GWL_EXSTYLE:
        old = (LONG_PTR)w->info.exstyle;
        w->info.exstyle = (DWORD)value;
        break;
    }
    return old;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    if (!w) return 0;
    switch (index) {
    case GWLP_USERDATA:
        return w->userdata;
    case GWLP_WNDPROC:
        return (LONG_PTR)w->proc;
    case GWL_STYLE:
        return (LONG_PTR)(w->info.style | (w->info.visible ? WS_VISIBLE : 0) |
                          (w->info.enabled ? 0 : WS_DISABLED));
    case GWL_EXSTYLE:
        return (LONG_PTR)w->info.exstyle;
    }
    return 0;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
    bool was;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        shows.push_back({hwnd, cmd, GetCurrentThreadId(), IsMainThread()});
        if (!w) return FALSE;
        was = w->info.visible;
        w->info.visible = cmd != SW_HIDE;
    }
    if (was != (cmd != SW_HIDE)) SendMessageA(hwnd, WM_SHOWWINDOW, cmd != SW_HIDE, 0);
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

BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags) {
    bool moved = false, sized = false;
    RECT client = {};
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return FALSE;
        RECT &r = w->info.rect;
        RECT old = r;
        if (!(flags & SWP_NOMOVE)) {
            r.right = x + (r.right - r.left);
            r.bottom = y + (r.bottom - r.top);
            r.left = x;
            r.top = y;
        }
        if (!(flags & SWP_NOSIZE)) {
            r.right = r.left + cx;
            r.bottom = r.top + cy;
        }
        if (!(flags & SWP_NOZORDER)) {
            if (after == HWND_TOPMOST)
                w->info.exstyle |= WS_EX_TOPMOST;
            else if (after == HWND_NOTOPMOST)
                w->info.exstyle &= ~WS_EX_TOPMOST;
        }
        moved = r.left != old.left || r.top != old.top;
        sized =
            r.right - r.left != old.right - old.left || r.bottom - r.top != old.bottom - old.top;
        int side, top;
        frame_size(w->info.style, w->info.exstyle, side, top);
        client = {0, 0, std::max(0, (int)(r.right - r.left - 2 * side)),
                  std::max(0, (int)(r.bottom - r.top - top - side))};
    }
    if (moved) SendMessageA(hwnd, WM_MOVE, 0, 0);
    if (sized) SendMessageA(hwnd, WM_SIZE, 0, MAKELONG(client.right, client.bottom));
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    if (!w || !rect) return FALSE;
    // Children are kept in parent client coordinates; lift them to the screen.
    RECT r = w->info.rect;
    for (Window *p = w; (p->info.style & WS_CHILD) && (p = find(p->info.parent));) {
        int side, top;
        frame_size(p->info.style, p->info.exstyle, side, top);
        int dx = p->info.rect.left + side, dy = p->info.rect.top + top;
        r.left += dx;
        r.right += dx;
        r.top += dy;
        r.bottom += dy;
    }
    *rect = r;
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    if (!w || !rect) return FALSE;
    int side, top;
    frame_size(w->info.style, w->info.exstyle, side, top);
    const RECT &r = w->info.rect;
    *rect = {0, 0, std::max(0, (int)(r.right - r.left - 2 * side)),
             std::max(0, (int)(r.bottom - r.top - top - side))};
    return TRUE;
}

int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL) {
    HRGN old;
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return 0; // the caller keeps the region
        old = w->info.region;
        w->info.region = rgn;
    }
    if (rgn && take_region) take_region(rgn);
    if (old && old != rgn && drop_region) drop_region(old);
    return 1;
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
    return (BOOL)SendMessageA(hwnd, WM_SETTEXT, 0, (LPARAM)text);
}

int GetWindowTextA(HWND hwnd, LPSTR text, int max) {
    if (max <= 0 || !text) return 0;
    return (int)SendMessageA(hwnd, WM_GETTEXT, (WPARAM)max, (LPARAM)text);
}

int GetWindowTextLengthA(HWND hwnd) { return (int)SendMessageA(hwnd, WM_GETTEXTLENGTH, 0, 0); }

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    if (!w) return FALSE;
    BOOL was_disabled = !w->info.enabled;
    w->info.enabled = enable != FALSE;
    return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    return w && w->info.enabled;
}

BOOL InvalidateRect(HWND hwnd, const RECT *, BOOL) { return hwnd == nullptr || IsWindow(hwnd); }
BOOL UpdateWindow(HWND hwnd) { return IsWindow(hwnd); }

HWND GetDesktopWindow() { return (HWND)(uintptr_t)0x10; }

HWND SetFocus(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    if (hwnd && !find(hwnd)) return nullptr;
    HWND old = focus;
    focus = hwnd;
    return old;
}

HWND GetFocus() {
    std::lock_guard<std::mutex> lock(mutex);
    return focus;
}

HWND GetParent(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    return w ? w->info.parent : nullptr;
}

HWND GetDlgItem(HWND hwnd, int id) {
    std::lock_guard<std::mutex> lock(mutex);
    for (auto &w : live)
        if (w.second.info.parent == hwnd && (w.second.info.style & WS_CHILD) &&
            w.second.info.id == id)
            return w.second.info.hwnd;
    return nullptr;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    if (!w) return nullptr;
    if (flags == GA_PARENT) return (w->info.style & WS_CHILD) ? w->info.parent : GetDesktopWindow();
    while (w->info.style & WS_CHILD) {
        Window *p = find(w->info.parent);
        if (!p) break;
        w = p;
    }
    return w->info.hwnd;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    WNDPROC proc = proc_of(hwnd);
    return proc ? proc(hwnd, msg, wp, lp) : 0;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        posts.push_back({hwnd, msg, IsMainThread()});
        if (hwnd && !find(hwnd)) return FALSE;
        MSG m = {};
        m.hwnd = hwnd;
        m.message = msg;
        m.wParam = wp;
        m.lParam = lp;
        queue.push_back(m);
    }
    posted.notify_all();
    return TRUE;
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max) {
    std::function<bool()> fn;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (take(msg, hwnd, min, max, true)) return msg->message != WM_QUIT;
        fn = idle;
    }
    if (fn && fn()) {
        // The idle step did something: hand back what it queued, or a null message so that
        // the caller's loop looks at its state (a modal result, say) again.
        std::lock_guard<std::mutex> lock(mutex);
        if (take(msg, hwnd, min, max, true)) return msg->message != WM_QUIT;
        *msg = MSG{};
        msg->message = WM_NULL;
        return TRUE;
    }
    *msg = MSG{};
    msg->message = WM_QUIT;
    return FALSE;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove) {
    std::lock_guard<std::mutex> lock(mutex);
    return take(msg, hwnd, min, max, (remove & PM_REMOVE) != 0);
}

BOOL TranslateMessage(const MSG *msg) { return msg && msg->message == WM_KEYDOWN; }

LRESULT DispatchMessageA(const MSG *msg) {
    if (!msg || !msg->hwnd) return 0;
    WNDPROC proc = proc_of(msg->hwnd);
    return proc ? proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

BOOL IsDialogMessageA(HWND, LPMSG) { return FALSE; }

void PostQuitMessage(int code) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        quit_requested = true;
        quit_code = code;
    }
    posted.notify_all();
}

namespace {
// Stock handles the double never frees; distinct values per colour index.
BYTE sys_brushes[32];
} // namespace

HBRUSH GetSysColorBrush(int index) { return (HBRUSH)&sys_brushes[index & 31]; }

DWORD GetSysColor(int index) {
    switch (index) {
    case COLOR_BTNFACE:
        return RGB(212, 208, 200);
    case COLOR_WINDOW:
        return RGB(255, 255, 255);
    }
    return 0;
}

namespace fakewin {
namespace {
// The part of the standard controls' behaviour that the program reads back.
LRESULT CALLBACK SystemControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        Window *w = find(hwnd);
        if (!w) return 0;
        switch (msg) {
        case BM_GETCHECK:
            return w->check;
        case BM_SETCHECK:
            w->check = (int)wp;
            return 0;
        case CB_ADDSTRING:
            w->items.push_back(lp ? (const char *)lp : "");
            return (LRESULT)w->items.size() - 1;
        case CB_RESETCONTENT:
            w->items.clear();
            w->cursel = -1;
            return 0;
        case CB_GETCOUNT:
            return (LRESULT)w->items.size();
        case CB_GETCURSEL:
            return w->cursel;
        case CB_GETLBTEXTLEN:
            return wp < w->items.size() ? (LRESULT)w->items[wp].size() : CB_ERR;
        case CB_GETLBTEXT:
            if (wp >= w->items.size() || !lp) return CB_ERR;
            strcpy((char *)lp, w->items[wp].c_str());
            return (LRESULT)w->items[wp].size();
        case CB_SETCURSEL:
            if ((int)wp < 0 || wp >= w->items.size()) {
                w->cursel = -1;
                return CB_ERR;
            }
            w->cursel = (int)wp;
            w->info.text = w->items[wp];
            return (LRESULT)wp;
        case TBM_GETPOS:
            return w->pos;
        case TBM_SETPOS:
            w->pos = std::min(std::max((int)lp, w->min), w->max);
            return 0;
        case TBM_SETRANGEMIN:
            w->min = (int)lp;
            w->pos = std::max(w->pos, w->min);
            return 0;
        case TBM_SETRANGEMAX:
            w->max = (int)lp;
            w->pos = std::min(w->pos, w->max);
            return 0;
        case WM_SETFONT:
            w->font = (HFONT)wp;
            return 0;
        case WM_GETFONT:
            return (LRESULT)w->font;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}
} // namespace
} // namespace fakewin

namespace fakewin {

HFONT window_font(HWND hwnd) { return (HFONT)SendMessageA(hwnd, WM_GETFONT, 0, 0); }

// The user's own actions on a control: the control changes as the real one would and tells
// its parent window.
static void notify_parent(HWND hwnd, WORD code) {
    WindowInfo info;
    if (!window_info(hwnd, info)) return;
    SendMessageA(info.parent, WM_COMMAND, MAKELONG(info.id, code), (LPARAM)hwnd);
}

void user_click(HWND hwnd) {
    WindowInfo info;
    if (!window_info(hwnd, info) || !info.enabled) return;
    DWORD type = info.style & BS_TYPEMASK;
    if (lower(info.cls) == "button" && type == BS_AUTOCHECKBOX)
        SendMessageA(hwnd, BM_SETCHECK, SendMessageA(hwnd, BM_GETCHECK, 0, 0) ? 0 : 1, 0);
    if (lower(info.cls) == "button" && type == BS_AUTORADIOBUTTON) {
        for (HWND sibling : children(info.parent)) {
            WindowInfo other;
            if (window_info(sibling, other) && lower(other.cls) == "button" &&
                (other.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
                SendMessageA(sibling, BM_SETCHECK, sibling == hwnd, 0);
        }
    }
    notify_parent(hwnd, BN_CLICKED);
}

void user_pick(HWND hwnd, int index) {
    SendMessageA(hwnd, CB_SETCURSEL, (WPARAM)index, 0);
    notify_parent(hwnd, CBN_SELCHANGE);
}

void user_type(HWND hwnd, const std::string &text) {
    SendMessageA(hwnd, WM_SETTEXT, 0, (LPARAM)text.c_str());
    WindowInfo info;
    if (window_info(hwnd, info))
        notify_parent(hwnd, lower(info.cls) == "combobox" ? CBN_EDITCHANGE : EN_CHANGE);
}

void user_slide(HWND hwnd, int pos) {
    SendMessageA(hwnd, TBM_SETPOS, TRUE, pos);
    SendMessageA(GetParent(hwnd), WM_HSCROLL, MAKELONG(TB_THUMBPOSITION, pos), (LPARAM)hwnd);
    SendMessageA(GetParent(hwnd), WM_HSCROLL, TB_ENDTRACK, (LPARAM)hwnd);
}

int control_check(HWND hwnd) { return (int)SendMessageA(hwnd, BM_GETCHECK, 0, 0); }
int control_selection(HWND hwnd) { return (int)SendMessageA(hwnd, CB_GETCURSEL, 0, 0); }
int control_position(HWND hwnd) { return (int)SendMessageA(hwnd, TBM_GETPOS, 0, 0); }
std::vector<std::string> control_items(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    return w ? w->items : std::vector<std::string>{};
}
void control_range(HWND hwnd, int &min, int &max) {
    std::lock_guard<std::mutex> lock(mutex);
    Window *w = find(hwnd);
    min = w ? w->min : 0;
    max = w ? w->max : 0;
}

} // namespace fakewin
