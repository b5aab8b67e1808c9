// Shared state of the double's screen, GDI objects, cursor and global memory. One mutex guards
// all of it, so a worker thread can grab while the main thread paints.
#pragma once
#include "fakewin/screen.h"
#include "fakewin/windows.h"

#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace fakewin {
namespace gdi {

// Pixels as the device holds them: 32/24 bits a COLORREF, 16 bits RGB565, 8 bits a palette
// index, 1 bit 0 (black) or 1 (white).
struct Surface {
    int width = 0, height = 0, bpp = 32;
    std::vector<uint32_t> px;
    static Surface blank(int w, int h, int bpp, uint32_t v = 0) {
        return {w, h, bpp, std::vector<uint32_t>((size_t)w * h, v)};
    }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    uint32_t &at(int x, int y) { return px[(size_t)y * width + x]; }
};

enum class Kind { Bitmap, Brush, Pen, Region, Cursor, Dc };
enum class DcKind { Screen, Window, Memory };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    Kind kind;
    bool stock = false;
    bool owned_by_window = false; // regions handed to a window
    int selected_in = 0;          // bitmaps, brushes, pens: DCs holding it
    // Bitmap; a DIB section also has its bits block (see CreateDIBSection)
    Surface surface;
    std::vector<BYTE> dib_bits;
    LONG dib_height = 0; // as made: negative for rows top-down
    // Brush and pen: hollow brush / null pen have no colour
    bool null_tool = false;
    COLORREF color = 0;
    int pen_width = 1;
    // Region: disjoint rectangles
    std::vector<RECT> rects;
    // Cursor
    int hot_x = 0, hot_y = 0;
    const std::vector<const char *> *shape = nullptr;
    // Device context
    DcKind dc_kind = DcKind::Screen;
    HWND hwnd = nullptr;
    uintptr_t bitmap = 0, brush = 0, pen = 0;
};

struct Block {
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    int locks = 0;
};

struct State {
    Surface screen = Surface::blank(1024, 768, 32); // the screen after a reset
    int dpi = 96;                                   // its dots per inch (the primary's)
    // The virtual screen: where the surface's top-left pixel lies, and its monitors (the
    // primary first, at 0, 0); none means one monitor covering the surface.
    POINT origin = {0, 0};
    std::vector<Monitor> monitors;
    std::map<uintptr_t, Object> objects;
    uintptr_t next_handle = 0x10000;
    uintptr_t stock[19] = {};
    uintptr_t default_bitmap = 0;
    uintptr_t arrow = 0, ibeam = 0, current_cursor = 0;
    POINT cursor = {};
    int show_count = 0;
    bool icon_info_fails = false;
    std::map<uintptr_t, Block> blocks;
    int global_failures = 0;
    int dibits_failures = 0;
    std::vector<WindowPaint> paints;
    std::vector<std::string> texts;
    std::map<HWND, int> window_dcs;
    std::vector<const char *> misuse;
};

// Lock it before touching the state.
std::mutex &mutex();
State &state();
void reset_locked();
// Runs fn on the state under the lock: the test side's readers and setters.
template <class F> auto locked(F fn) {
    std::lock_guard<std::mutex> lock(mutex());
    return fn(state());
}

uintptr_t add_object(Object obj);
uintptr_t make_bitmap(int w, int h, int bpp); // all black
Object *find_any(const void *handle);
Object *find(const void *handle, Kind kind);
inline uintptr_t key(const void *handle) { return (uintptr_t)handle; }
template <class H> H handle_of(uintptr_t k) { return (H)(void *)k; }

// Conversions between colours and device values.
uint32_t to_device(int bpp, COLORREF color);
COLORREF from_device(int bpp, uint32_t value);
const RGBQUAD *palette332(); // 256 entries
const RGBQUAD *palette16();  // the 16 VGA colours

void reset_cursors_locked();

// The surface a DC reads and draws (the screen, or its selected bitmap); null for a window DC.
Surface *dc_surface(Object &dc);
// Where the DC's coordinates 0, 0 lie on its surface: the screen's are screen coordinates.
POINT dc_shift(const Object &dc);
// Fills a rectangle of a surface (right and bottom excluded), clipped to the surface.
void fill(Surface &s, int left, int top, int right, int bottom, COLORREF c);

} // namespace gdi
} // namespace fakewin
