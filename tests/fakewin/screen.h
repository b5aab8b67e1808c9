// Test control of the virtual screen, cursor and the live-object counters.
#pragma once
#include "fakewin/types.h"

namespace fakewin {

// A fresh screen of the given size and depth (32, 24, 16 or 8 bits per pixel), all black.
// Pixels are kept as colours; at 16 and 8 bits they are stored as the device would hold them.
void set_screen(int width, int height, int bpp);
void set_screen_pixel(int x, int y, COLORREF color);
COLORREF screen_pixel(int x, int y);
void fill_screen_rect(int left, int top, int right, int bottom, COLORREF color); // right, bottom excluded

void set_cursor_pos(int x, int y);

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

} // namespace fakewin
