// Test control of the virtual screen, cursor and the live-object counters.
#pragma once
#include "fakewin/types.h"

#include <string>
#include <vector>

namespace fakewin {

// A fresh screen of the given size and depth (32, 24, 16 or 8 bits per pixel), all black.
// Pixels are kept as colours; at 16 and 8 bits they are stored as the device would hold them:
// 16 bits as RGB565, 8 bits as an index into a 3-3-2 system palette (index 0 black, 255 white).
void set_screen(int width, int height, int bpp);
void set_screen_pixel(int x, int y, COLORREF color);
// The screen's dots per inch (GetDeviceCaps LOGPIXELSY), 96 after a reset.
void set_screen_dpi(int dpi);
// Several monitors, the primary first (its top-left corner is 0, 0): the virtual screen is the
// box around them, all black, and every function here takes screen coordinates, which may be
// negative. GetDeviceCaps gives the primary's size and dots per inch, GetSystemMetrics the
// virtual screen's place and size.
struct Monitor {
    RECT rect;
    int dpi;
};
void set_monitors(const std::vector<Monitor> &monitors, int bpp);
// The colour as the device holds it (16 bits: expanded from 5/6 bits by repeating the top bits).
COLORREF screen_pixel(int x, int y);
void fill_screen_rect(int left, int top, int right, int bottom,
                      COLORREF color); // right, bottom excluded

void set_cursor_pos(int x, int y);

// Cursors: the arrow (LoadCursor(NULL, IDC_ARROW), hot spot 0,0) is the current cursor after a
// reset; the I-beam (IDC_IBEAM) has its hot spot at 4,8. set_cursor_hotspot changes the hot spot
// of the current cursor; fail_icon_info makes GetIconInfo fail until cleared.
void set_current_cursor(HCURSOR cursor);
void set_cursor_hotspot(int x, int y);
void fail_icon_info(bool fail);
int cursor_show_count(); // the ShowCursor counter, 0 after a reset
// The arrow's shape: 'B' black, 'W' white, ' ' transparent; row 0 is the top (hot spot row).
const std::vector<const char *> &arrow_shape();

// A Rectangle drawn on a window's device context (GetDC(hwnd)). Paints on the screen or memory
// contexts go into their pixels instead.
struct WindowPaint {
    HWND hwnd;
    RECT rect;      // as passed: right and bottom excluded
    bool filled;    // a brush other than the hollow one was selected
    COLORREF brush; // its colour
    bool outlined;  // a pen other than the null pen was selected
    COLORREF pen;   // its colour
    int pen_width;
    bool main_thread; // painted on the thread that owns the windows
};
std::vector<WindowPaint> window_paints();
int window_dcs_taken(HWND hwnd);        // GetDC(hwnd) calls so far
std::vector<std::string> drawn_texts(); // what ExtTextOut drew, on any context

// Regions. The window side of SetWindowRgn calls take_region to own a region (it no longer
// counts as live and DeleteObject on it fails), and drop_region when the window system frees
// it (replaced by another region, or the window destroyed).
bool take_region(HRGN rgn);
void drop_region(HRGN rgn);
bool region_contains(HRGN rgn, int x, int y);
bool region_valid(HRGN rgn);

// Objects alive now; every test that makes frames or marker paints checks these return to 0.
struct LiveObjects {
    int dcs = 0; // DCs from GetDC or CreateCompatibleDC not yet released or deleted
    int bitmaps = 0;
    int brushes = 0;
    int pens = 0;
    int regions = 0; // regions not deleted and not handed to a window
    int globals = 0; // global memory blocks not freed
    bool operator==(const LiveObjects &o) const {
        return dcs == o.dcs && bitmaps == o.bitmaps && brushes == o.brushes && pens == o.pens &&
               regions == o.regions && globals == o.globals;
    }
};
LiveObjects live_objects();

// The next n global allocations fail (0: none fail).
void fail_global_allocs(int n);
// The next n GetDIBits calls fail and return 0.
void fail_get_dibits(int n);
int global_lock_count(HGLOBAL mem); // -1 for a handle that is not a live block
// Faults seen so far: a GDI object deleted while selected, a block freed while locked, an
// unknown or already freed handle passed in, GetDIBits on a bitmap still selected in a DC.
std::vector<const char *> misuse_log();

} // namespace fakewin
