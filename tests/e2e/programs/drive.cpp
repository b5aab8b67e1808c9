// drive: a console helper that works Quillet's windows the way a test needs to, from inside the
// same Wine prefix. Every command prints its result on stdout and exits 0 on success, 1 when the
// window or control was not found (or the wait timed out), 2 on a usage error. The commands
// are the rows of kCommands at the end (`drive` alone lists them); a new one is a function and
// a row there.
//
// A window is named by its exact title, by "~part" (first visible top-level window whose title
// contains part), or by "@handle" (a handle printed earlier by `find`, hex or decimal): the main
// window's title turns into the progress text while it records, so tests keep its handle.
//
// Every Wine program of the prefix shares one window list, whatever X display it runs on. With
// DRIVE_PID set to a Windows process id (printed by `pid`), only that process's top-level windows
// count; `find-x` maps an X window (found with xdotool on the test's own display) to its handle.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace {

bool g_no_answer; // a window did not answer WM_GETTEXT in time

std::string text_of(HWND w) {
    char buf[1024] = "";
    // WM_GETTEXT with a time-out, so a window whose thread is busy (Record scans the screen
    // inside its click) cannot hang the driver.
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                             SMTO_ABORTIFHUNG, 5000, &len)) {
        g_no_answer = true;
        return std::string();
    }
    return std::string(buf, len < sizeof buf ? len : sizeof buf - 1);
}

std::string class_of(HWND w) {
    char buf[256] = "";
    GetClassNameA(w, buf, sizeof buf);
    return buf;
}

bool same_class(HWND w, const char *cls) { return lstrcmpiA(class_of(w).c_str(), cls) == 0; }

// Button captions may carry '&' accelerator marks; a test names them as the user reads them.
std::string plain(const std::string &s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size()) ++i;
        out += s[i];
    }
    return out;
}

DWORD g_pid_filter;

bool ours(HWND w) {
    if (!g_pid_filter) return true;
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    return pid == g_pid_filter;
}

struct TopSearch {
    std::string part;
    HWND found;
};

BOOL CALLBACK top_by_part(HWND w, LPARAM lp) {
    auto *s = reinterpret_cast<TopSearch *>(lp);
    if (!IsWindowVisible(w) || !ours(w)) return TRUE;
    char buf[1024] = "";
    GetWindowTextA(w, buf, sizeof buf);
    if (strstr(buf, s->part.c_str())) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

struct TitleSearch {
    const char *title;
    HWND visible, any;
};

BOOL CALLBACK top_by_title(HWND w, LPARAM lp) {
    auto *s = reinterpret_cast<TitleSearch *>(lp);
    if (!ours(w)) return TRUE;
    char buf[1024] = "";
    GetWindowTextA(w, buf, sizeof buf);
    if (strcmp(buf, s->title) != 0) return TRUE;
    if (!s->any) s->any = w;
    if (IsWindowVisible(w)) {
        s->visible = w;
        return FALSE;
    }
    return TRUE;
}

// A visible window wins over a hidden one of the same title (the Options dialog exists hidden
// from start-up on); with need_visible only a visible one counts.
HWND find_top(const char *which, bool need_visible = false) {
    if (which[0] == '@') {
        HWND w = reinterpret_cast<HWND>(static_cast<uintptr_t>(strtoul(which + 1, nullptr, 0)));
        if (!IsWindow(w) || (need_visible && !IsWindowVisible(w))) return nullptr;
        return w;
    }
    if (which[0] == '~') {
        TopSearch s{which + 1, nullptr};
        EnumWindows(top_by_part, reinterpret_cast<LPARAM>(&s));
        return s.found;
    }
    TitleSearch s{which, nullptr, nullptr};
    EnumWindows(top_by_title, reinterpret_cast<LPARAM>(&s));
    return s.visible ? s.visible : (need_visible ? nullptr : s.any);
}

BOOL CALLBACK collect(HWND w, LPARAM lp) {
    reinterpret_cast<std::vector<HWND> *>(lp)->push_back(w);
    return TRUE;
}

// All descendants in the system's order (controls sit inside panels and group boxes).
std::vector<HWND> descendants(HWND top) {
    std::vector<HWND> all;
    EnumChildWindows(top, collect, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND child_by_caption(HWND top, const char *cls, const std::string &caption) {
    for (HWND w : descendants(top))
        if ((!cls || same_class(w, cls)) && plain(text_of(w)) == plain(caption)) return w;
    return nullptr;
}

// The n-th control of a class in reading order on the screen (top to bottom, then left to right),
// the way a tester counts the sliders or edit boxes of a dialog.
HWND nth_child(HWND top, const char *cls, int n) {
    std::vector<std::pair<RECT, HWND>> found;
    for (HWND w : descendants(top))
        if (same_class(w, cls)) {
            RECT r;
            GetWindowRect(w, &r);
            found.push_back({r, w});
        }
    std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        return a.first.top != b.first.top ? a.first.top < b.first.top : a.first.left < b.first.left;
    });
    return n >= 0 && n < static_cast<int>(found.size()) ? found[n].second : nullptr;
}

int fail(const char *what, const char *name) {
    printf("not found: %s %s\n", what, name);
    return 1;
}

void notify_parent(HWND ctl, WORD code) {
    HWND parent = GetParent(ctl);
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(ctl), code),
                 reinterpret_cast<LPARAM>(ctl));
}

void print_window(HWND w, int depth) {
    RECT r;
    GetWindowRect(w, &r);
    printf("%*s0x%lx %s \"%s\" id=%d rect=%ld,%ld,%ld,%ld%s%s", depth * 2, "",
           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(w)), class_of(w).c_str(),
           text_of(w).c_str(), GetDlgCtrlID(w), r.left, r.top, r.right, r.bottom,
           IsWindowVisible(w) ? "" : " hidden", IsWindowEnabled(w) ? "" : " disabled");
    if (same_class(w, "Button"))
        printf(" check=%d", static_cast<int>(SendMessageA(w, BM_GETCHECK, 0, 0)));
    if (same_class(w, TRACKBAR_CLASSA))
        printf(" pos=%d", static_cast<int>(SendMessageA(w, TBM_GETPOS, 0, 0)));
    if (same_class(w, "ComboBox"))
        printf(" sel=%d", static_cast<int>(SendMessageA(w, CB_GETCURSEL, 0, 0)));
    printf("\n");
}

// Message boxes and other dialogs (class #32770) that show now, with their texts.
BOOL CALLBACK print_dialog(HWND w, LPARAM) {
    if (!IsWindowVisible(w) || !ours(w) || !same_class(w, "#32770")) return TRUE;
    printf("0x%lx \"%s\":", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(w)),
           text_of(w).c_str());
    for (HWND c : descendants(w))
        if (same_class(c, "Static") && !text_of(c).empty()) printf(" %s", text_of(c).c_str());
    printf("\n");
    return TRUE;
}

BOOL CALLBACK print_top(HWND w, LPARAM lp) {
    if ((lp || IsWindowVisible(w)) && ours(w)) print_window(w, 0);
    return TRUE;
}

// A message box or error dialog shows its text in a static child; look at every visible
// top-level window and its children.
struct TextSearch {
    std::string part;
    HWND top;
    std::string text;
};

BOOL CALLBACK top_with_text(HWND w, LPARAM lp) {
    auto *s = reinterpret_cast<TextSearch *>(lp);
    if (!IsWindowVisible(w) || !ours(w)) return TRUE;
    std::vector<HWND> all = descendants(w);
    all.insert(all.begin(), w);
    for (HWND c : all) {
        std::string t = text_of(c);
        if (t.find(s->part) != std::string::npos) {
            s->top = w;
            s->text = t;
            return FALSE;
        }
    }
    return TRUE;
}

struct XSearch {
    HANDLE xid;
    HWND found;
};

BOOL CALLBACK top_by_x(HWND w, LPARAM lp) {
    auto *s = reinterpret_cast<XSearch *>(lp);
    if (GetPropA(w, "__wine_x11_whole_window") == s->xid) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

void print_handle(HWND w) {
    printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(w)));
}

// What a command gets: its arguments after the command name (arg[0] is the window, for those
// that name one) and the window they name, found before the command runs.
struct Call {
    int count;
    char **arg;
    HWND top;
    int number(int i, int dflt) const { return count > i ? atoi(arg[i]) : dflt; }
};

// --- commands that name no window, or wait for one ---

int find_x(const Call &c) {
    for (int i = 1; i < c.count; ++i) {
        XSearch s{reinterpret_cast<HANDLE>(static_cast<uintptr_t>(strtoul(c.arg[i], nullptr, 0))),
                  nullptr};
        EnumWindows(top_by_x, reinterpret_cast<LPARAM>(&s));
        if (s.found && IsWindowVisible(s.found) && text_of(s.found) == c.arg[0]) {
            print_handle(s.found);
            return 0;
        }
    }
    return fail("visible window titled", c.arg[0]);
}

int dialogs(const Call &) {
    EnumWindows(print_dialog, 0);
    return 0;
}

int windows(const Call &c) {
    EnumWindows(print_top, c.count > 0);
    return 0;
}

int find_text(const Call &c) {
    DWORD until = GetTickCount() + c.number(1, 0);
    for (;;) {
        TextSearch s{c.arg[0], nullptr, std::string()};
        EnumWindows(top_with_text, reinterpret_cast<LPARAM>(&s));
        if (s.top) {
            printf("0x%lx \"%s\": %s\n",
                   static_cast<unsigned long>(reinterpret_cast<uintptr_t>(s.top)),
                   text_of(s.top).c_str(), s.text.c_str());
            return 0;
        }
        if (static_cast<int>(until - GetTickCount()) <= 0) return fail("text", c.arg[0]);
        Sleep(50);
    }
}

int wait_window(const Call &c, bool want) {
    DWORD until = GetTickCount() + c.number(1, 10000);
    for (;;) {
        HWND w = find_top(c.arg[0], true);
        if (want && w) {
            print_handle(w);
            return 0;
        }
        if (!want && !w) {
            puts("gone");
            return 0;
        }
        if (static_cast<int>(until - GetTickCount()) <= 0) {
            printf("timed out waiting for %s\n", c.arg[0]);
            return 1;
        }
        Sleep(30);
    }
}

// --- commands on a window ---

int find(const Call &c) {
    print_handle(c.top);
    return 0;
}

// Whether the window stays on top and has the focus: "topmost foreground", 1 or 0 each.
int front(const Call &c) {
    bool topmost = (GetWindowLongA(c.top, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    printf("%d %d\n", topmost, GetForegroundWindow() == c.top);
    return 0;
}

int pid(const Call &c) {
    DWORD pid = 0;
    GetWindowThreadProcessId(c.top, &pid);
    printf("%lu\n", static_cast<unsigned long>(pid));
    return 0;
}

int caption(const Call &c) {
    std::string t = text_of(c.top);
    if (g_no_answer) {
        puts("window does not answer");
        return 1;
    }
    printf("%s\n", t.c_str());
    return 0;
}

int wait_caption(const Call &c) {
    DWORD until = GetTickCount() + c.number(2, 10000);
    for (;;) {
        std::string t = text_of(c.top);
        if (t.find(c.arg[1]) != std::string::npos) {
            printf("%s\n", t.c_str());
            return 0;
        }
        if (!IsWindow(c.top) || static_cast<int>(until - GetTickCount()) <= 0) {
            printf("timed out; caption is \"%s\"\n", t.c_str());
            return 1;
        }
        Sleep(25);
    }
}

int rect(const Call &c) {
    HWND w = c.top;
    if (c.count > 1 && !(w = child_by_caption(c.top, nullptr, c.arg[1])))
        return fail("control", c.arg[1]);
    RECT r;
    GetWindowRect(w, &r);
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

int close(const Call &c) {
    PostMessageA(c.top, WM_CLOSE, 0, 0);
    puts("posted");
    return 0;
}

int list(const Call &c) {
    print_window(c.top, 0);
    for (HWND w : descendants(c.top)) {
        int depth = 0;
        for (HWND p = GetParent(w); p && p != c.top; p = GetParent(p))
            ++depth;
        print_window(w, depth + 1);
    }
    return 0;
}

enum class Press { Send, Post, Tick, Untick };

// Presses a button as a user would: never a disabled one. A tick or untick clicks only when the
// box is not already that way, and prints the state it ends in.
int press(const Call &c, Press how) {
    HWND b = child_by_caption(c.top, "Button", c.arg[1]);
    if (!b) return fail("button", c.arg[1]);
    if (!IsWindowEnabled(b)) {
        printf("disabled: %s\n", c.arg[1]);
        return 1;
    }
    if (how == Press::Post) {
        PostMessageA(b, BM_CLICK, 0, 0);
    } else if (how == Press::Send) {
        SendMessageA(b, BM_CLICK, 0, 0);
    } else {
        bool want = how == Press::Tick;
        if ((SendMessageA(b, BM_GETCHECK, 0, 0) == BST_CHECKED) != want)
            SendMessageA(b, BM_CLICK, 0, 0);
        int now = static_cast<int>(SendMessageA(b, BM_GETCHECK, 0, 0));
        printf("%d\n", now);
        return (now == BST_CHECKED) == want ? 0 : 1;
    }
    puts("clicked");
    return 0;
}

int button_state(const Call &c, bool checked) {
    HWND b = child_by_caption(c.top, "Button", c.arg[1]);
    if (!b) return fail("button", c.arg[1]);
    printf("%d\n", checked ? static_cast<int>(SendMessageA(b, BM_GETCHECK, 0, 0))
                           : (IsWindowEnabled(b) ? 1 : 0));
    return 0;
}

int select_combo(const Call &c) {
    HWND box = nth_child(c.top, "ComboBox", c.number(2, 0));
    if (!box) return fail("combo box", c.count > 2 ? c.arg[2] : "0");
    int idx = atoi(c.arg[1]);
    if (SendMessageA(box, CB_SETCURSEL, idx, 0) == CB_ERR && idx != -1) {
        printf("no item %d\n", idx);
        return 1;
    }
    // CB_SETCURSEL raises no notification; the program learns of a pick from the list
    // through CBN_SELCHANGE, as when the user clicks an item.
    notify_parent(box, CBN_SELCHANGE);
    printf("%d\n", static_cast<int>(SendMessageA(box, CB_GETCURSEL, 0, 0)));
    return 0;
}

int trackbar(const Call &c, bool set) {
    HWND t = nth_child(c.top, TRACKBAR_CLASSA, atoi(c.arg[1]));
    if (!t) return fail("trackbar", c.arg[1]);
    if (set) {
        int pos = atoi(c.arg[2]);
        SendMessageA(t, TBM_SETPOS, TRUE, pos);
        // TBM_SETPOS is silent; a drag by the user ends with these two scroll messages.
        UINT msg = (GetWindowLongA(t, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
        SendMessageA(GetParent(t), msg, MAKEWPARAM(TB_THUMBPOSITION, pos),
                     reinterpret_cast<LPARAM>(t));
        SendMessageA(GetParent(t), msg, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(t));
    }
    printf("%d\n", static_cast<int>(SendMessageA(t, TBM_GETPOS, 0, 0)));
    return 0;
}

int edit(const Call &c, bool set) {
    HWND e = nth_child(c.top, "Edit", atoi(c.arg[1]));
    if (!e) return fail("edit box", c.arg[1]);
    if (set) SendMessageA(e, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.arg[2]));
    printf("%s\n", text_of(e).c_str());
    return 0;
}

int text(const Call &c) {
    HWND w = nth_child(c.top, c.arg[2], atoi(c.arg[1]));
    if (!w) return fail(c.arg[2], c.arg[1]);
    printf("%s\n", text_of(w).c_str());
    return 0;
}

struct Command {
    const char *name;
    const char *args;
    const char *what;
    int needed;  // arguments the command cannot do without
    bool window; // the first argument names a window that must exist
    int (*run)(const Call &);
};

// <win> is an exact title, "~part" of a title or "@handle".
const Command kCommands[] = {
    {"find", "<win>", "handle of the window", 1, true, find},
    {"find-x", "<title> <X window id>...",
     "the visible window with that title shown in one of these X windows", 2, false, find_x},
    {"front", "<win>", "stays on top, has the focus: 1 or 0 each", 1, true, front},
    {"pid", "<win>", "Windows process id of the window's program", 1, true, pid},
    {"wait-window", "<win> [ms]", "wait until it is visible", 1, false,
     [](const Call &c) { return wait_window(c, true); }},
    {"wait-gone", "<win> [ms]", "wait until it no longer exists or shows", 1, false,
     [](const Call &c) { return wait_window(c, false); }},
    {"caption", "<win>", "its window text", 1, true, caption},
    {"wait-caption", "<win> <part> [ms]", "wait until the caption contains part", 2, true,
     wait_caption},
    {"rect", "<win> [<button caption>]", "screen rectangle: left top right bottom", 1, true, rect},
    {"click", "<win> <caption>", "BM_CLICK sent (returns when the click is done)", 2, true,
     [](const Call &c) { return press(c, Press::Send); }},
    {"post-click", "<win> <caption>", "BM_CLICK posted (returns at once)", 2, true,
     [](const Call &c) { return press(c, Press::Post); }},
    {"enabled", "<win> <caption>", "1 or 0", 2, true,
     [](const Call &c) { return button_state(c, false); }},
    {"check", "<win> <caption>", "tick a check box as a click would", 2, true,
     [](const Call &c) { return press(c, Press::Tick); }},
    {"uncheck", "<win> <caption>", "clear a check box as a click would", 2, true,
     [](const Call &c) { return press(c, Press::Untick); }},
    {"checked", "<win> <caption>", "1 or 0", 2, true,
     [](const Call &c) { return button_state(c, true); }},
    {"select-combo", "<win> <index> [n]", "pick an item of the n-th combo box", 2, true,
     select_combo},
    {"set-trackbar", "<win> <n> <pos>", "move the n-th trackbar (0-based)", 3, true,
     [](const Call &c) { return trackbar(c, true); }},
    {"get-trackbar", "<win> <n>", "position of the n-th trackbar", 2, true,
     [](const Call &c) { return trackbar(c, false); }},
    {"set-edit", "<win> <n> <text>", "text of the n-th edit box (0-based)", 3, true,
     [](const Call &c) { return edit(c, true); }},
    {"get-edit", "<win> <n>", "text of the n-th edit box", 2, true,
     [](const Call &c) { return edit(c, false); }},
    {"text", "<win> <n> <class>", "text of the n-th child of a class", 3, true, text},
    {"close", "<win>", "post WM_CLOSE", 1, true, close},
    {"list", "<win>", "the window and all its controls", 1, true, list},
    {"windows", "[all]", "top-level windows (visible ones, or all)", 0, false, windows},
    {"dialogs", "", "message boxes and dialogs now showing", 0, false, dialogs},
    {"find-text", "<part> [ms]", "a visible window showing that text", 1, false, find_text},
};

int usage() {
    puts("usage: drive <command> ...   (<win>: exact title, \"~part\" of a title, or \"@handle\")");
    for (const Command &c : kCommands) {
        std::string call = std::string(c.name) + " " + c.args;
        printf("  %-36s %s\n", call.c_str(), c.what);
    }
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) return usage();
    if (const char *pid = getenv("DRIVE_PID")) g_pid_filter = strtoul(pid, nullptr, 0);
    for (const Command &c : kCommands) {
        if (strcmp(argv[1], c.name) != 0) continue;
        Call call{argc - 2, argv + 2, nullptr};
        if (call.count < c.needed) return usage();
        if (c.window && !(call.top = find_top(call.arg[0]))) return fail("window", call.arg[0]);
        return c.run(call);
    }
    return usage();
}
