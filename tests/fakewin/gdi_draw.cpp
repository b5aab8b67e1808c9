// Brushes, pens, rectangles and rectangle-set regions.
#include "fakewin/area.h"
#include "fakewin/gdi_state.h"
#include "fakewin/screen.h"

#include <algorithm>

namespace fakewin {
namespace gdi {
namespace {
bool empty(const RECT &r) { return r.left >= r.right || r.top >= r.bottom; }

// a minus b as up to four disjoint rectangles.
void subtract(const RECT &a, const RECT &b, std::vector<RECT> &out) {
    RECT i = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
              std::min(a.bottom, b.bottom)};
    if (empty(i)) {
        out.push_back(a);
        return;
    }
    const RECT parts[4] = {{a.left, a.top, a.right, i.top},
                           {a.left, i.bottom, a.right, a.bottom},
                           {a.left, i.top, i.left, i.bottom},
                           {i.right, i.top, a.right, i.bottom}};
    for (const RECT &p : parts)
        if (!empty(p)) out.push_back(p);
}

std::vector<RECT> minus(const std::vector<RECT> &a, const std::vector<RECT> &b) {
    std::vector<RECT> cur = a;
    for (const RECT &r : b) {
        std::vector<RECT> next;
        for (const RECT &c : cur)
            subtract(c, r, next);
        cur.swap(next);
    }
    return cur;
}
} // namespace
} // namespace gdi

using namespace gdi;

bool take_region(HRGN rgn) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *r = find(rgn, Kind::Region);
    if (!r || r->owned_by_window) return false;
    r->owned_by_window = true;
    return true;
}

void drop_region(HRGN rgn) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *r = find(rgn, Kind::Region);
    if (r && r->owned_by_window) state().objects.erase(key(rgn));
}

bool region_contains(HRGN rgn, int x, int y) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *r = find(rgn, Kind::Region);
    if (!r) return false;
    for (const RECT &c : r->rects)
        if (x >= c.left && x < c.right && y >= c.top && y < c.bottom) return true;
    return false;
}

bool region_valid(HRGN rgn) {
    return locked([&](State &) { return find(rgn, Kind::Region) != nullptr; });
}

} // namespace fakewin

using namespace fakewin;
using namespace fakewin::gdi;

HBRUSH CreateSolidBrush(COLORREF color) {
    std::lock_guard<std::mutex> lock(mutex());
    Object b{Kind::Brush};
    b.color = color & 0xFFFFFF;
    return handle_of<HBRUSH>(add_object(std::move(b)));
}

HPEN CreatePen(int, int width, COLORREF color) { // solid pens only
    std::lock_guard<std::mutex> lock(mutex());
    Object p{Kind::Pen};
    p.pen_width = width < 1 ? 1 : width;
    p.color = color & 0xFFFFFF;
    return handle_of<HPEN>(add_object(std::move(p)));
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *d = find(dc, Kind::Dc);
    if (!d) return FALSE;
    Object *brush = find((void *)d->brush, Kind::Brush);
    Object *pen = find((void *)d->pen, Kind::Pen);
    bool filled = brush && !brush->null_tool, outlined = pen && !pen->null_tool;
    if (Surface *s = dc_surface(*d)) {
        POINT shift = dc_shift(*d);
        left -= shift.x, right -= shift.x, top -= shift.y, bottom -= shift.y;
        if (filled) fill(*s, left + 1, top + 1, right - 1, bottom - 1, brush->color);
        if (outlined) {
            fill(*s, left, top, right, top + 1, pen->color);
            fill(*s, left, bottom - 1, right, bottom, pen->color);
            fill(*s, left, top, left + 1, bottom, pen->color);
            fill(*s, right - 1, top, right, bottom, pen->color);
        }
        return TRUE;
    }
    WindowPaint p = {d->hwnd,
                     {left, top, right, bottom},
                     filled,
                     filled ? brush->color : 0,
                     outlined,
                     outlined ? pen->color : 0,
                     pen ? pen->pen_width : 0,
                     on_main_thread()};
    state().paints.push_back(p);
    return TRUE;
}

HRGN CreateRectRgn(int left, int top, int right, int bottom) {
    std::lock_guard<std::mutex> lock(mutex());
    // The corners are put in order, as the system does.
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    Object r{Kind::Region};
    if (left != right && top != bottom) r.rects.push_back({left, top, right, bottom});
    return handle_of<HRGN>(add_object(std::move(r)));
}

int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *d = find(dst, Kind::Region), *a = find(src1, Kind::Region),
           *b = find(src2, Kind::Region);
    if (!d || !a || !b) {
        state().misuse.push_back("CombineRgn with an unknown region");
        return ERROR;
    }
    if (mode != RGN_DIFF) return ERROR;
    d->rects = minus(a->rects, b->rects);
    return d->rects.empty() ? NULLREGION : COMPLEXREGION;
}

BOOL GdiFlush() { return TRUE; } // the fake draws at once
COLORREF SetBkColor(HDC, COLORREF) { return 0; }
COLORREF SetTextColor(HDC, COLORREF) { return 0; }
BOOL ExtTextOutA(HDC, int, int, UINT, const RECT *, LPCSTR text, UINT count, const int *) {
    std::lock_guard<std::mutex> lock(mutex());
    state().texts.emplace_back(text, count);
    return TRUE;
}
BOOL GetTextExtentPoint32A(HDC, LPCSTR, int count, SIZE *size) {
    *size = {7 * count, 15};
    return TRUE;
}
