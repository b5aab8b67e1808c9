// drive: a console helper that works Quillet's windows the way a test needs to, from inside the
// same Wine prefix. Every command prints its result on stdout and exits 0 on success, 1 when the
// window or control was not found (or the wait timed out), 2 on a usage error.
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

void usage() {
    puts("usage: drive <command> ...\n"
         "  find <win>                         handle of the window\n"
         "  find-x <title> <X window id>...    the visible window with that title shown in one\n"
         "                                     of these X windows\n"
         "  pid <win>                          Windows process id of the window's program\n"
         "  wait-window <win> [ms]             wait until it is visible\n"
         "  wait-gone <win> [ms]               wait until it no longer exists or shows\n"
         "  caption <win>                      its window text\n"
         "  wait-caption <win> <part> [ms]     wait until the caption contains part\n"
         "  rect <win> [<button caption>]      screen rectangle: left top right bottom\n"
         "  click|post-click <win> <caption>   BM_CLICK sent (waits) or posted (returns)\n"
         "  enabled <win> <caption>            1 or 0\n"
         "  check|uncheck <win> <caption>      tick or clear a check box as a click would\n"
         "  checked <win> <caption>            1 or 0\n"
         "  select-combo <win> <index> [n]     pick an item of the n-th combo box\n"
         "  set-trackbar <win> <n> <pos>       move the n-th trackbar (0-based)\n"
         "  get-trackbar <win> <n>\n"
         "  set-edit <win> <n> <text>          text of the n-th edit box (0-based)\n"
         "  get-edit <win> <n>\n"
         "  text <win> <n> <class>             text of the n-th child of a class\n"
         "  close <win>                        post WM_CLOSE\n"
         "  list <win>                         the window and all its controls\n"
         "  windows [all]                      top-level windows\n"
         "  dialogs                            message boxes and dialogs now showing\n"
         "  find-text <part> [ms]              a visible window showing that text");
}

int wait_ms(int argc, char **argv, int i, int dflt) { return argc > i ? atoi(argv[i]) : dflt; }

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        usage();
        return 2;
    }
    std::string cmd = argv[1];
    if (const char *pid = getenv("DRIVE_PID")) g_pid_filter = strtoul(pid, nullptr, 0);
    if (cmd == "find-x" && argc >= 3) {
        for (int i = 3; i < argc; ++i) {
            XSearch s{
                reinterpret_cast<HANDLE>(static_cast<uintptr_t>(strtoul(argv[i], nullptr, 0))),
                nullptr};
            EnumWindows(top_by_x, reinterpret_cast<LPARAM>(&s));
            if (s.found && IsWindowVisible(s.found) && text_of(s.found) == argv[2]) {
                printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(s.found)));
                return 0;
            }
        }
        return fail("visible window titled", argv[2]);
    }
    if (cmd == "dialogs") {
        EnumWindows(print_dialog, 0);
        return 0;
    }
    if (cmd == "windows") {
        EnumWindows(print_top, argc > 2);
        return 0;
    }
    if (cmd == "find-text" && argc >= 3) {
        DWORD until = GetTickCount() + wait_ms(argc, argv, 3, 0);
        for (;;) {
            TextSearch s{argv[2], nullptr, std::string()};
            EnumWindows(top_with_text, reinterpret_cast<LPARAM>(&s));
            if (s.top) {
                printf("0x%lx \"%s\": %s\n",
                       static_cast<unsigned long>(reinterpret_cast<uintptr_t>(s.top)),
                       text_of(s.top).c_str(), s.text.c_str());
                return 0;
            }
            if (static_cast<int>(until - GetTickCount()) <= 0) return fail("text", argv[2]);
            Sleep(50);
        }
    }
    if (argc < 3) {
        usage();
        return 2;
    }
    const char *which = argv[2];

    if (cmd == "wait-window" || cmd == "wait-gone") {
        bool want = cmd == "wait-window";
        DWORD until = GetTickCount() + wait_ms(argc, argv, 3, 10000);
        for (;;) {
            HWND w = find_top(which, true);
            if (want && w) {
                printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(w)));
                return 0;
            }
            if (!want && !w) {
                puts("gone");
                return 0;
            }
            if (static_cast<int>(until - GetTickCount()) <= 0) {
                printf("timed out waiting for %s\n", which);
                return 1;
            }
            Sleep(30);
        }
    }

    HWND top = find_top(which);
    if (!top) return fail("window", which);

    if (cmd == "find") {
        printf("0x%lx\n", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(top)));
        return 0;
    }
    if (cmd == "pid") {
        DWORD pid = 0;
        GetWindowThreadProcessId(top, &pid);
        printf("%lu\n", static_cast<unsigned long>(pid));
        return 0;
    }
    if (cmd == "caption") {
        std::string t = text_of(top);
        if (g_no_answer) {
            puts("window does not answer");
            return 1;
        }
        printf("%s\n", t.c_str());
        return 0;
    }
    if (cmd == "wait-caption" && argc >= 4) {
        DWORD until = GetTickCount() + wait_ms(argc, argv, 4, 10000);
        for (;;) {
            std::string t = text_of(top);
            if (t.find(argv[3]) != std::string::npos) {
                printf("%s\n", t.c_str());
                return 0;
            }
            if (!IsWindow(top) || static_cast<int>(until - GetTickCount()) <= 0) {
                printf("timed out; caption is \"%s\"\n", t.c_str());
                return 1;
            }
            Sleep(25);
        }
    }
    if (cmd == "rect") {
        HWND w = top;
        if (argc >= 4 && !(w = child_by_caption(top, nullptr, argv[3])))
            return fail("control", argv[3]);
        RECT r;
        GetWindowRect(w, &r);
        printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
        return 0;
    }
    if (cmd == "close") {
        PostMessageA(top, WM_CLOSE, 0, 0);
        puts("posted");
        return 0;
    }
    if (cmd == "list") {
        print_window(top, 0);
        for (HWND w : descendants(top)) {
            int depth = 0;
            for (HWND p = GetParent(w); p && p != top; p = GetParent(p))
                ++depth;
            print_window(w, depth + 1);
        }
        return 0;
    }
    if (argc < 4) {
        usage();
        return 2;
    }

    if (cmd == "click" || cmd == "post-click" || cmd == "enabled" || cmd == "check" ||
        cmd == "uncheck" || cmd == "checked") {
        HWND b = child_by_caption(top, "Button", argv[3]);
        if (!b) return fail("button", argv[3]);
        if (cmd == "enabled") {
            printf("%d\n", IsWindowEnabled(b) ? 1 : 0);
            return 0;
        }
        if (cmd == "checked") {
            printf("%d\n", static_cast<int>(SendMessageA(b, BM_GETCHECK, 0, 0)));
            return 0;
        }
        // A user cannot press a disabled button; neither does the driver.
        if (!IsWindowEnabled(b)) {
            printf("disabled: %s\n", argv[3]);
            return 1;
        }
        if (cmd == "post-click") {
            PostMessageA(b, BM_CLICK, 0, 0);
        } else if (cmd == "click") {
            SendMessageA(b, BM_CLICK, 0, 0);
        } else {
            bool want = cmd == "check";
            if ((SendMessageA(b, BM_GETCHECK, 0, 0) == BST_CHECKED) != want)
                SendMessageA(b, BM_CLICK, 0, 0);
            int now = static_cast<int>(SendMessageA(b, BM_GETCHECK, 0, 0));
            printf("%d\n", now);
            return (now == BST_CHECKED) == want ? 0 : 1;
        }
        puts("clicked");
        return 0;
    }
    if (cmd == "select-combo") {
        HWND c = nth_child(top, "ComboBox", argc > 4 ? atoi(argv[4]) : 0);
        if (!c) return fail("combo box", argc > 4 ? argv[4] : "0");
        int idx = atoi(argv[3]);
        if (SendMessageA(c, CB_SETCURSEL, idx, 0) == CB_ERR && idx != -1) {
            printf("no item %d\n", idx);
            return 1;
        }
        // CB_SETCURSEL raises no notification; the program learns of a pick from the list
        // through CBN_SELCHANGE, as when the user clicks an item.
        notify_parent(c, CBN_SELCHANGE);
        printf("%d\n", static_cast<int>(SendMessageA(c, CB_GETCURSEL, 0, 0)));
        return 0;
    }
    if (cmd == "set-trackbar" || cmd == "get-trackbar") {
        HWND t = nth_child(top, TRACKBAR_CLASSA, atoi(argv[3]));
        if (!t) return fail("trackbar", argv[3]);
        if (cmd == "set-trackbar") {
            if (argc < 5) return 2;
            int pos = atoi(argv[4]);
            SendMessageA(t, TBM_SETPOS, TRUE, pos);
            // TBM_SETPOS is silent; a drag by the user ends with these two scroll messages.
            UINT msg = (GetWindowLongA(t, GWL_STYLE) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
            SendMessageA(GetParent(t), msg, MAKEWPARAM(TB_THUMBPOSITION, pos),
                         reinterpret_cast<LPARAM>(t));
            SendMessageA(GetParent(t), msg, MAKEWPARAM(TB_ENDTRACK, 0),
                         reinterpret_cast<LPARAM>(t));
        }
        printf("%d\n", static_cast<int>(SendMessageA(t, TBM_GETPOS, 0, 0)));
        return 0;
    }
    if (cmd == "set-edit" || cmd == "get-edit") {
        HWND e = nth_child(top, "Edit", atoi(argv[3]));
        if (!e) return fail("edit box", argv[3]);
        if (cmd == "set-edit") {
            if (argc < 5) return 2;
            SendMessageA(e, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[4]));
        }
        printf("%s\n", text_of(e).c_str());
        return 0;
    }
    if (cmd == "text" && argc >= 5) {
        HWND w = nth_child(top, argv[4], atoi(argv[3]));
        if (!w) return fail(argv[4], argv[3]);
        printf("%s\n", text_of(w).c_str());
        return 0;
    }
    usage();
    return 2;
}
