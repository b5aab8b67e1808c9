// Test control of the double's windows and message queue: what windows exist and how they
// look, which ShowWindow/SetWindowText calls ran on which thread, and how the main thread's
// queue behaves when a test pumps it.
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
    int id = 0;            // the child id (hMenu of a child window)
    bool visible = false;  // its own visibility flag (not its parents')
    bool enabled = true;
    HRGN region = nullptr; // the region handed over by SetWindowRgn
};

// False when hwnd is not a live window.
bool window_info(HWND hwnd, WindowInfo &info);
// Live windows in creation order; children of one window in creation order.
std::vector<HWND> windows();
std::vector<HWND> children(HWND parent);
// The first live window of that class (and caption, when given).
HWND find_window(const std::string &cls, const char *text = nullptr);
// The child of parent with that caption, searched depth first.
HWND find_child(HWND parent, const std::string &text);

struct ShowCall {
    HWND hwnd;
    int cmd;
    DWORD thread;
    bool main_thread;
};
std::vector<ShowCall> show_calls();

struct TextCall {
    HWND hwnd;
    std::string text;
    bool main_thread;
};
// SetWindowText / WM_SETTEXT calls, in order.
std::vector<TextCall> text_calls();

struct PostCall {
    HWND hwnd;
    UINT msg;
    bool main_thread;
};
// PostMessage calls, in order, with the posting thread.
std::vector<PostCall> post_calls();
size_t queued_messages();

// Called by GetMessage (and by a modal loop through it) when the queue is empty. It may post
// messages, click controls or wait; returning false makes GetMessage report WM_QUIT without
// removing any real quit request, so a test never blocks on an empty queue. Unset: no idle.
void on_idle(std::function<bool()> fn);
// Blocks for at most real_ms real milliseconds until a message is queued (for idle hooks
// that wait for a worker thread's post). True when one is queued.
bool wait_for_message(unsigned real_ms);

HWND focused_window();

// What the system's own controls hold (check state, list, selection, slider position).
int control_check(HWND hwnd);
int control_selection(HWND hwnd);
int control_position(HWND hwnd);
void control_range(HWND hwnd, int &min, int &max);
std::vector<std::string> control_items(HWND hwnd);
HFONT window_font(HWND hwnd);

// The user acting on a control: it changes as the real control would and notifies its parent
// (a click toggles an auto check box or checks an auto radio button among its siblings).
void user_click(HWND hwnd);
void user_pick(HWND hwnd, int index);
void user_type(HWND hwnd, const std::string &text);
void user_slide(HWND hwnd, int pos);

// The file-open dialog answers with path (confirmed) or is cancelled (empty path).
void answer_open_dialog(const std::string &path);
struct OpenDialogCall {
    HWND owner;
    std::string filter; // the double-NUL list with '|' in place of each NUL
    DWORD filter_index;
    bool default_ext, initial_dir, title;
};
std::vector<OpenDialogCall> open_dialogs();

// The user's decimal separator (GetLocaleInfo LOCALE_SDECIMAL); "." after a reset.
void set_decimal_separator(const std::string &sep);
int common_controls_initialised(); // InitCommonControlsEx calls
std::vector<LOGFONTA> fonts_created();

} // namespace fakewin
