// The GDI state of the double: the virtual screen, the objects, colour conversions, and the
// test side of the screen and the live-object counters.
#include "fakewin/area.h"
#include "fakewin/gdi_state.h"
#include "fakewin/screen.h"

#include <algorithm>
#include <cstring>

namespace fakewin {
namespace gdi {

std::mutex &mutex() {
    static std::mutex m;
    return m;
}

namespace {
BYTE expand(uint32_t v, int bits) {
    v <<= 8 - bits;
    return (BYTE)(v | (v >> bits));
}

Object make_tool(Kind kind, bool null_tool, COLORREF color) {
    Object o{kind};
    o.null_tool = null_tool;
    o.color = color;
    o.stock = true;
    return o;
}

} // namespace

Object *find_any(const void *handle) {
    auto it = state().objects.find(key(handle));
    return it == state().objects.end() ? nullptr : &it->second;
}

uintptr_t make_bitmap(int w, int h, int bpp) {
    Object b{Kind::Bitmap};
    b.surface = Surface::blank(w, h, bpp);
    return add_object(std::move(b));
}

State &state() {
    static State s;
    static bool ready = false;
    if (!ready) {
        ready = true;
        reset_locked();
    }
    return s;
}

const RGBQUAD *palette332() {
    static const std::vector<RGBQUAD> table = [] {
        auto rep3 = [](int v) { return (BYTE)((v << 5) | (v << 2) | (v >> 1)); };
        std::vector<RGBQUAD> p(256);
        for (int i = 0; i < 256; i++)
            p[i] = {(BYTE)((i & 3) * 85), rep3((i >> 2) & 7), rep3(i >> 5), 0};
        return p;
    }();
    return table.data();
}

const RGBQUAD *palette16() { // blue, green, red
    static const RGBQUAD vga[16] = {
        {0, 0, 0, 0},       {0, 0, 128, 0},   {0, 128, 0, 0},   {0, 128, 128, 0},
        {128, 0, 0, 0},     {128, 0, 128, 0}, {128, 128, 0, 0}, {192, 192, 192, 0},
        {128, 128, 128, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},   {0, 255, 255, 0},
        {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0}, {255, 255, 255, 0}};
    return vga;
}

uint32_t to_device(int bpp, COLORREF c) {
    int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    switch (bpp) {
    case 32:
    case 24:
        return c & 0xFFFFFF;
    case 16:
        return (uint32_t)((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
    case 8:
        return (uint32_t)(((r * 7 + 127) / 255) << 5 | ((g * 7 + 127) / 255) << 2 |
                          ((b * 3 + 127) / 255));
    default: // monochrome: white only for light colours
        return (r + g + b) >= 384 ? 1 : 0;
    }
}

COLORREF from_device(int bpp, uint32_t v) {
    switch (bpp) {
    case 32:
    case 24:
        return v & 0xFFFFFF;
    case 16:
        return RGB(expand(v >> 11, 5), expand((v >> 5) & 63, 6), expand(v & 31, 5));
    case 8: {
        const RGBQUAD &q = palette332()[v & 255];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    default:
        return v ? RGB(255, 255, 255) : 0;
    }
}

uintptr_t add_object(Object obj) {
    State &s = state();
    uintptr_t h = s.next_handle;
    s.next_handle += 4;
    s.objects.emplace(h, std::move(obj));
    return h;
}

Object *find(const void *handle, Kind kind) {
    Object *o = find_any(handle);
    return o && o->kind == kind ? o : nullptr;
}

void fill(Surface &s, int left, int top, int right, int bottom, COLORREF c) {
    uint32_t v = to_device(s.bpp, c);
    for (int y = std::max(top, 0); y < std::min(bottom, s.height); y++)
        for (int x = std::max(left, 0); x < std::min(right, s.width); x++)
            s.at(x, y) = v;
}

POINT dc_shift(const Object &dc) {
    return dc.dc_kind == DcKind::Screen ? state().origin : POINT{0, 0};
}

Surface *dc_surface(Object &dc) {
    if (dc.dc_kind == DcKind::Screen) return &state().screen;
    if (dc.dc_kind == DcKind::Memory)
        if (Object *b = find_any((void *)dc.bitmap)) return &b->surface;
    return nullptr;
}

void reset_locked() {
    State &s = state();
    s = State{};
    // The stock objects the program and a fresh device context use.
    s.stock[WHITE_BRUSH] = add_object(make_tool(Kind::Brush, false, RGB(255, 255, 255)));
    s.stock[BLACK_BRUSH] = add_object(make_tool(Kind::Brush, false, 0));
    s.stock[HOLLOW_BRUSH] = add_object(make_tool(Kind::Brush, true, 0));
    s.stock[BLACK_PEN] = add_object(make_tool(Kind::Pen, false, 0));
    s.stock[NULL_PEN] = add_object(make_tool(Kind::Pen, true, 0));
    s.default_bitmap = make_bitmap(1, 1, 1);
    s.objects.at(s.default_bitmap).stock = true;
    reset_cursors_locked();
}

namespace {
void reset_gdi() {
    std::lock_guard<std::mutex> lock(mutex());
    state(); // the first use sets the state up already
    reset_locked();
}
ResetHook hook(&reset_gdi);
} // namespace
} // namespace gdi

// Test control of the screen

using namespace gdi;

void set_screen(int width, int height, int bpp) {
    locked([&](State &s) {
        s.screen = Surface::blank(width, height, bpp);
        s.origin = {0, 0};
        s.monitors.clear();
    });
}

void set_monitors(const std::vector<Monitor> &monitors, int bpp) {
    locked([&](State &s) {
        RECT box = monitors.at(0).rect;
        for (const Monitor &m : monitors) {
            box.left = std::min(box.left, m.rect.left), box.top = std::min(box.top, m.rect.top);
            box.right = std::max(box.right, m.rect.right);
            box.bottom = std::max(box.bottom, m.rect.bottom);
        }
        s.screen = Surface::blank(box.right - box.left, box.bottom - box.top, bpp);
        s.origin = {box.left, box.top};
        s.monitors = monitors;
        s.dpi = monitors[0].dpi;
    });
}

void set_screen_dpi(int dpi) {
    locked([&](State &s) { s.dpi = dpi; });
}

void set_screen_pixel(int x, int y, COLORREF color) { fill_screen_rect(x, y, x + 1, y + 1, color); }

COLORREF screen_pixel(int x, int y) {
    return locked([&](State &s) {
        x -= s.origin.x, y -= s.origin.y;
        return s.screen.inside(x, y) ? from_device(s.screen.bpp, s.screen.at(x, y)) : CLR_INVALID;
    });
}

void fill_screen_rect(int left, int top, int right, int bottom, COLORREF color) {
    locked([&](State &s) {
        fill(s.screen, left - s.origin.x, top - s.origin.y, right - s.origin.x, bottom - s.origin.y,
             color);
    });
}

LiveObjects live_objects() {
    return locked([](State &s) {
        LiveObjects live;
        // Indexed by Kind; cursors are stock objects and never counted.
        int *counts[] = {&live.bitmaps, &live.brushes, &live.pens,
                         &live.regions, nullptr,       &live.dcs};
        for (auto &[h, o] : s.objects)
            if (!o.stock && !o.owned_by_window) ++*counts[(int)o.kind];
        live.globals = (int)s.blocks.size();
        return live;
    });
}

void fail_get_dibits(int n) {
    locked([&](State &s) { s.dibits_failures = n; });
}
std::vector<const char *> misuse_log() {
    return locked([](State &s) { return s.misuse; });
}
std::vector<WindowPaint> window_paints() {
    return locked([](State &s) { return s.paints; });
}
std::vector<std::string> drawn_texts() {
    return locked([](State &s) { return s.texts; });
}
int window_dcs_taken(HWND hwnd) {
    return locked([&](State &s) { return s.window_dcs.count(hwnd) ? s.window_dcs[hwnd] : 0; });
}

} // namespace fakewin

// The monitors and the virtual screen.

using namespace fakewin;
using namespace fakewin::gdi;

int GetSystemMetrics(int index) {
    return locked([&](State &s) {
        int place[] = {s.origin.x, s.origin.y, s.screen.width, s.screen.height};
        return index >= SM_XVIRTUALSCREEN && index <= SM_CYVIRTUALSCREEN
                   ? place[index - SM_XVIRTUALSCREEN]
                   : 0;
    });
}

// The first monitor the rectangle overlaps (1 the primary, 2 the next, ...), or none.
HMONITOR MonitorFromRect(const RECT *rect, DWORD) {
    return locked([&](State &s) {
        std::vector<Monitor> list = s.monitors;
        if (list.empty()) list.push_back({{0, 0, s.screen.width, s.screen.height}, s.dpi});
        for (size_t i = 0; i < list.size(); i++) {
            const RECT &m = list[i].rect;
            if (rect->left < m.right && m.left < rect->right && rect->top < m.bottom &&
                m.top < rect->bottom)
                return (HMONITOR)(i + 1);
        }
        return (HMONITOR) nullptr;
    });
}

HMONITOR MonitorFromPoint(POINT pt, DWORD flags) {
    RECT r = {pt.x, pt.y, pt.x + 1, pt.y + 1};
    return MonitorFromRect(&r, flags);
}

BOOL GetMonitorInfoA(HMONITOR monitor, MONITORINFO *info) {
    return locked([&](State &s) {
        std::vector<Monitor> list = s.monitors;
        if (list.empty()) list.push_back({{0, 0, s.screen.width, s.screen.height}, s.dpi});
        size_t i = (size_t)(uintptr_t)monitor;
        if (!info || i < 1 || i > list.size()) return FALSE;
        info->rcMonitor = info->rcWork = list[i - 1].rect;
        return TRUE;
    });
}
