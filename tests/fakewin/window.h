// Test side of the double's windows: a record per window (what the program set on it), the
// calls that must happen on the main thread, and the main thread's message queue. Controls
// keep their own state in the framework, so tests set and click them there, not here.
#pragma once
#include "fakewin/types.h"
#include "fakewin/user.h"

#include <functional>
#include <string>
#include <vector>

namespace fakewin {

struct WindowInfo {
    HWND hwnd = nullptr;
    std::string cls;
    std::string text;
    DWORD style = 0;
    DWORD exstyle = 0;
    RECT rect = {}; // as created or moved: parent client coordinates for children, else screen
    HWND parent = nullptr; // the parent of a child, the owner of a top-level window
    bool visible = false;  // its own visibility flag (not its parents')
    bool enabled = true;
    HRGN region = nullptr;      // the region handed over by SetWindowRgn
    bool region_redraw = false; // the redraw flag of that call
};

// False when hwnd is not a live window.
bool window_info(HWND hwnd, WindowInfo &info);
// The font a CreateFontIndirect handle was made from.
LOGFONTA font_of(HFONT font);
// Live child windows of parent in creation order.
std::vector<HWND> children(HWND parent);

// ShowWindow, SetWindowText and PostMessage calls in order, with the calling thread.
struct WindowCall {
    enum Kind { Show, Text, Post } kind;
    HWND hwnd;
    UINT value; // the show command or the posted message
    std::string text;
    bool main_thread;
};
std::vector<WindowCall> window_calls(WindowCall::Kind kind);

// Called by GetMessage (and by a modal loop through it) when the queue is empty. It may post
// messages, click controls or wait; returning false makes GetMessage report WM_QUIT without
// removing any real quit request, so a test never blocks on an empty queue. Unset: no idle.
void on_idle(std::function<bool()> fn);
// Blocks for at most real_ms real milliseconds until a message is queued (for idle hooks
// that wait for a worker thread's post). True when one is queued.
bool wait_for_message(unsigned real_ms);

// The file-open dialog answers with path (confirmed) or is cancelled (empty path).
void answer_open_dialog(const std::string &path);
struct OpenDialogCall {
    HWND owner;
    std::string filter; // the double-NUL list with '|' in place of each NUL
    DWORD filter_index;
    bool default_ext, initial_dir, title;
};
std::vector<OpenDialogCall> open_dialogs();

// Hot keys: another program holds this one (RegisterHotKey for it fails); the hot keys
// registered now as (window, id, modifiers, key).
void hold_hot_key(UINT modifiers, UINT vk);
// As before Windows 7: RegisterHotKey with MOD_NOREPEAT fails (ERROR_INVALID_PARAMETER).
void refuse_no_repeat();
struct HotKey {
    HWND hwnd;
    int id;
    UINT modifiers, vk;
};
std::vector<HotKey> hot_keys();
// The program's TrackMouseEvent calls in order.
std::vector<TRACKMOUSEEVENT> mouse_tracking();

// Keys typed into an edit field (or a combo box's) at its caret, each reported to the parent as
// the system reports it (EN_CHANGE, CBN_EDITCHANGE).
void type_keys(HWND edit, const std::string &keys);

// The tools of the tool tip windows, as added (a tool added again replaces the old one).
struct Tool {
    HWND hwnd;
    UINT_PTR id;
    RECT rect;
    std::string text;
};
std::vector<Tool> tools();

// The desktop as the shell shows it (GetShellWindow); none after a reset.
void set_shell_window(HWND hwnd);

// The window, and the children made in it from now on, become another process's.
void make_foreign(HWND hwnd);

// The user's decimal separator (GetLocaleInfo LOCALE_SDECIMAL); "." after a reset.
void set_decimal_separator(const std::string &sep);

} // namespace fakewin
