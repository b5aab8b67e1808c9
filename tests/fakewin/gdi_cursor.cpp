// The virtual mouse cursor: position, shape, hot spot, visibility counter and icon drawing.
#include "fakewin/gdi_state.h"
#include "fakewin/screen.h"

namespace fakewin {
namespace gdi {
namespace {
// Cursors are 32 x 32; the shapes sit in the top-left corner, the rest is transparent.
const int cursor_size = 32;

const std::vector<const char *> arrow = {
    "B",         "BB",        "BWB",        "BWWB",        "BWWWB",        "BWWWWB",   "BWWWWWB",
    "BWWWWWWB",  "BWWWWWWWB", "BWWWWWWWWB", "BWWWWWWWWWB", "BWWWWWWBBBBB", "BWWWBWWB", "BWWBBWWB",
    "BWB  BWWB", "BB   BWWB", "B     BWWB", "      BWWB",  "       BB",
};

const std::vector<const char *> ibeam = {
    "BBB BBB", "   B", "   B", "   B", "   B", "   B", "   B", "   B",
    "   B",    "   B", "   B", "   B", "   B", "   B", "   B", "BBB BBB",
};

uintptr_t make_cursor(const std::vector<const char *> &shape, int hx, int hy) {
    Object c{Kind::Cursor};
    c.stock = true;
    c.shape = &shape;
    c.hot_x = hx;
    c.hot_y = hy;
    return add_object(std::move(c));
}

// Calls fn(x, y, colour) for each pixel the cursor covers, x and y within its 32 x 32 square.
template <class F> void each_pixel(const Object &cursor, F fn) {
    const std::vector<const char *> &shape = *cursor.shape;
    for (int y = 0; y < (int)shape.size(); y++)
        for (int x = 0; shape[y][x]; x++)
            if (shape[y][x] != ' ') fn(x, y, shape[y][x] == 'W' ? RGB(255, 255, 255) : 0);
}
} // namespace

void reset_cursors_locked() {
    State &s = state();
    s.arrow = make_cursor(arrow, 0, 0);
    s.ibeam = make_cursor(ibeam, 4, 8);
    s.current_cursor = s.arrow;
}
} // namespace gdi

using namespace gdi;

void set_cursor_pos(int x, int y) {
    locked([&](State &s) { s.cursor = {x, y}; });
}
void set_current_cursor(HCURSOR cursor) {
    locked([&](State &s) { s.current_cursor = key(cursor); });
}
void set_cursor_hotspot(int x, int y) {
    locked([&](State &s) {
        if (Object *c = find((void *)s.current_cursor, Kind::Cursor)) c->hot_x = x, c->hot_y = y;
    });
}
void fail_icon_info(bool fail) {
    locked([&](State &s) { s.icon_info_fails = fail; });
}
int cursor_show_count() {
    return locked([](State &s) { return s.show_count; });
}

const std::vector<const char *> &arrow_shape() { return arrow; }

} // namespace fakewin

using namespace fakewin;
using namespace fakewin::gdi;

HCURSOR LoadCursorA(HINSTANCE inst, LPCSTR name) {
    std::lock_guard<std::mutex> lock(mutex());
    if (inst) return nullptr; // the program has no cursor resources of its own
    if (name == IDC_ARROW) return handle_of<HCURSOR>(state().arrow);
    if (name == IDC_IBEAM) return handle_of<HCURSOR>(state().ibeam);
    return nullptr;
}

BOOL GetCursorInfo(PCURSORINFO info) {
    std::lock_guard<std::mutex> lock(mutex());
    if (!info || info->cbSize != sizeof(CURSORINFO)) return FALSE;
    const State &s = state();
    info->flags = s.show_count >= 0 ? CURSOR_SHOWING : 0;
    info->hCursor = handle_of<HCURSOR>(s.current_cursor);
    info->ptScreenPos = s.cursor;
    return TRUE;
}

BOOL GetCursorPos(LPPOINT pt) {
    std::lock_guard<std::mutex> lock(mutex());
    if (!pt) return FALSE;
    *pt = state().cursor;
    return TRUE;
}

int ShowCursor(BOOL show) {
    std::lock_guard<std::mutex> lock(mutex());
    return show ? ++state().show_count : --state().show_count;
}

BOOL GetIconInfo(HICON icon, PICONINFO info) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *c = find(icon, Kind::Cursor);
    if (!c || !info || state().icon_info_fails) return FALSE;
    // The caller owns copies of the mask and colour bitmaps.
    Object mask{Kind::Bitmap}, color{Kind::Bitmap};
    mask.surface = Surface::blank(cursor_size, cursor_size, 1, 1);
    color.surface = Surface::blank(cursor_size, cursor_size, state().screen.bpp);
    each_pixel(*c, [&](int x, int y, COLORREF rgb) {
        mask.surface.at(x, y) = 0;
        color.surface.at(x, y) = to_device(color.surface.bpp, rgb);
    });
    info->fIcon = FALSE;
    info->xHotspot = (DWORD)c->hot_x;
    info->yHotspot = (DWORD)c->hot_y;
    info->hbmMask = handle_of<HBITMAP>(add_object(std::move(mask)));
    info->hbmColor = handle_of<HBITMAP>(add_object(std::move(color)));
    return TRUE;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *d = find(dc, Kind::Dc);
    Object *c = find(icon, Kind::Cursor);
    Surface *s = d ? dc_surface(*d) : nullptr;
    if (!c) return FALSE;
    if (!s) return d != nullptr; // drawing on a window goes unrecorded
    x -= dc_shift(*d).x, y -= dc_shift(*d).y;
    // The icon's top-left corner goes to (x, y); the hot spot plays no part here.
    each_pixel(*c, [&](int i, int j, COLORREF rgb) {
        if (s->inside(x + i, y + j)) s->at(x + i, y + j) = to_device(s->bpp, rgb);
    });
    return TRUE;
}
