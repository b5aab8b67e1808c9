// Device contexts, bitmaps and the pixel transfers between them and the screen.
#include "fakewin/gdi_state.h"
#include "fakewin/screen.h"

#include <algorithm>
#include <cstring>

namespace fakewin {
namespace gdi {
namespace {
Object *find_dc(HDC dc) {
    Object *o = find(dc, Kind::Dc);
    if (!o) state().misuse.push_back("unknown device context");
    return o;
}

uintptr_t make_dc(DcKind kind, HWND hwnd) {
    State &s = state();
    Object dc{Kind::Dc};
    dc.dc_kind = kind;
    dc.hwnd = hwnd;
    dc.brush = s.stock[WHITE_BRUSH];
    dc.pen = s.stock[BLACK_PEN];
    if (kind == DcKind::Memory) dc.bitmap = s.default_bitmap;
    return add_object(std::move(dc));
}

// Frees a DC that came from GetDC(hwnd) (memory false) or CreateCompatibleDC (memory true);
// any other is a misuse. What it held is selected in one context less.
BOOL free_dc(HDC dc, bool memory, HWND hwnd, const char *misuse) {
    Object *o = find_dc(dc);
    if (!o || (o->dc_kind == DcKind::Memory) != memory || o->hwnd != hwnd) {
        state().misuse.push_back(misuse);
        return FALSE;
    }
    for (uintptr_t h : {o->bitmap, o->brush, o->pen})
        if (Object *held = find_any((void *)h)) held->selected_in--;
    state().objects.erase(key(dc));
    return TRUE;
}

// The index of the table entry closest to c (the first of equals), as the device maps colours.
int nearest(const RGBQUAD *table, int n, COLORREF c) {
    auto distance = [&](const RGBQUAD &q) {
        long dr = q.rgbRed - GetRValue(c), dg = q.rgbGreen - GetGValue(c),
             db = q.rgbBlue - GetBValue(c);
        return dr * dr + dg * dg + db * db;
    };
    int best = 0;
    for (int i = 1; i < n; i++)
        if (distance(table[i]) < distance(table[best])) best = i;
    return best;
}
} // namespace
} // namespace gdi
} // namespace fakewin

using namespace fakewin;
using namespace fakewin::gdi;

HDC GetDC(HWND hwnd) {
    std::lock_guard<std::mutex> lock(mutex());
    if (hwnd) state().window_dcs[hwnd]++;
    // The desktop window's context reads and draws the whole screen, as on Windows.
    bool screen = !hwnd || hwnd == GetDesktopWindow();
    return handle_of<HDC>(make_dc(screen ? DcKind::Screen : DcKind::Window, hwnd));
}

int ReleaseDC(HWND hwnd, HDC dc) {
    std::lock_guard<std::mutex> lock(mutex());
    return free_dc(dc, false, hwnd, "ReleaseDC of a context not from GetDC of that window");
}

int GetDeviceCaps(HDC dc, int index) {
    std::lock_guard<std::mutex> lock(mutex());
    if (!find_dc(dc)) return 0;
    const Surface &s = state().screen;
    switch (index) {
    case HORZRES:
        return state().monitors.empty() ? s.width : (int)state().monitors[0].rect.right;
    case VERTRES:
        return state().monitors.empty() ? s.height : (int)state().monitors[0].rect.bottom;
    case BITSPIXEL:
        return s.bpp;
    case LOGPIXELSY:
        return state().dpi;
    default:
        return 0;
    }
}

HDC CreateCompatibleDC(HDC dc) {
    std::lock_guard<std::mutex> lock(mutex());
    if (dc && !find_dc(dc)) return nullptr;
    return handle_of<HDC>(make_dc(DcKind::Memory, nullptr));
}

BOOL DeleteDC(HDC dc) {
    std::lock_guard<std::mutex> lock(mutex());
    return free_dc(dc, true, nullptr, "DeleteDC of a context not from CreateCompatibleDC");
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *o = find_dc(dc);
    if (!o || width < 0 || height < 0 || (int64_t)width * height > (int64_t)1 << 26) return nullptr;
    if (width == 0 || height == 0) return handle_of<HBITMAP>(state().default_bitmap);
    int bpp = state().screen.bpp;
    if (Surface *s = o->dc_kind == DcKind::Memory ? dc_surface(*o) : nullptr)
        bpp = s->bpp; // a memory context makes bitmaps like the one it holds
    return handle_of<HBITMAP>(make_bitmap(width, height, bpp));
}

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO *bmi, UINT usage, void **bits, HANDLE section,
                         DWORD offset) {
    std::lock_guard<std::mutex> lock(mutex());
    if (bits) *bits = nullptr;
    if (!bmi || usage != DIB_RGB_COLORS || section || offset) return nullptr;
    const BITMAPINFOHEADER &h = bmi->bmiHeader;
    int width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    int bpp = h.biBitCount;
    if ((dc && !find_dc(dc)) || h.biCompression != BI_RGB || width <= 0 || height <= 0 ||
        (int64_t)width * height > (int64_t)1 << 26 || (bpp != 16 && bpp != 24 && bpp != 32))
        return nullptr;
    uintptr_t k = make_bitmap(width, height, bpp);
    Object &b = state().objects.at(k);
    b.dib_bits.assign(((size_t)width * bpp + 31) / 32 * 4 * height, 0);
    b.dib_height = h.biHeight;
    if (bits) *bits = b.dib_bits.data();
    return handle_of<HBITMAP>(k);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *d = find_dc(dc);
    Object *o = find_any(obj);
    if (!d || !o) return nullptr;
    uintptr_t *slot = nullptr;
    switch (o->kind) {
    case Kind::Bitmap:
        if (d->dc_kind != DcKind::Memory || (o->selected_in > 0 && d->bitmap != key(obj)))
            return nullptr; // a bitmap lives in one memory context at a time
        slot = &d->bitmap;
        break;
    case Kind::Brush:
        slot = &d->brush;
        break;
    case Kind::Pen:
        slot = &d->pen;
        break;
    default:
        return nullptr;
    }
    uintptr_t old = *slot;
    if (Object *prev = find_any((void *)old)) prev->selected_in--;
    *slot = key(obj);
    o->selected_in++;
    return (HGDIOBJ)old;
}

BOOL DeleteObject(HGDIOBJ obj) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *o = find_any(obj);
    if (!o || o->kind == Kind::Dc || o->kind == Kind::Cursor) {
        state().misuse.push_back("DeleteObject of an unknown or freed object");
        return FALSE;
    }
    if (o->stock) return TRUE;
    if (o->selected_in > 0) {
        state().misuse.push_back("DeleteObject of an object still selected in a context");
        return FALSE;
    }
    if (o->owned_by_window) {
        state().misuse.push_back("DeleteObject of a region that belongs to a window");
        return FALSE;
    }
    state().objects.erase(key(obj));
    return TRUE;
}

namespace {
// One row of the surface in a DIB's format, into a zeroed row.
void WriteDibRow(const Surface &sf, int row, int width, int bpp, const RGBQUAD *table, BYTE *out) {
    for (int x = 0; x < width; x++) {
        uint32_t v = sf.px[(size_t)row * sf.width + x];
        COLORREF c = from_device(sf.bpp, v);
        switch (bpp) {
        case 32:
        case 24: {
            BYTE *p = out + x * (bpp / 8);
            p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
            break;
        }
        case 16: {
            WORD w = (WORD)((GetRValue(c) >> 3) << 10 | (GetGValue(c) >> 3) << 5 |
                            (GetBValue(c) >> 3));
            out[x * 2] = (BYTE)w;
            out[x * 2 + 1] = (BYTE)(w >> 8);
            break;
        }
        case 8:
            out[x] = (BYTE)(sf.bpp == 8 ? v : to_device(8, c));
            break;
        case 4:
            out[x / 2] |= (BYTE)(nearest(table, 16, c) << (x % 2 ? 0 : 4));
            break;
        case 1:
            if (nearest(table, 2, c)) out[x / 8] |= (BYTE)(0x80 >> (x % 8));
            break;
        }
    }
}
} // namespace

int GetObjectA(HGDIOBJ obj, int size, LPVOID out) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *o = find(obj, Kind::Bitmap);
    if (!o) return 0;
    BITMAP bm = {};
    bm.bmWidth = o->surface.width;
    bm.bmHeight = o->surface.height;
    bm.bmWidthBytes = (o->surface.width * o->surface.bpp + 15) / 16 * 2;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = (WORD)o->surface.bpp;
    if (size >= (int)sizeof(DIBSECTION) && !o->dib_bits.empty()) {
        // A DIB section: its bits as drawn so far (the fake draws into its surface), rows in
        // the order it was made with.
        const Surface &sf = o->surface;
        DIBSECTION ds = {};
        size_t stride = ((size_t)sf.width * sf.bpp + 31) / 32 * 4;
        for (int line = 0; line < sf.height; line++) {
            BYTE *out = o->dib_bits.data() + (size_t)line * stride;
            memset(out, 0, stride);
            WriteDibRow(sf, o->dib_height > 0 ? sf.height - 1 - line : line, sf.width, sf.bpp,
                        nullptr, out);
        }
        ds.dsBm = bm;
        ds.dsBm.bmWidthBytes = (LONG)stride;
        ds.dsBm.bmBits = o->dib_bits.data();
        ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
        ds.dsBmih.biWidth = sf.width;
        ds.dsBmih.biHeight = o->dib_height;
        ds.dsBmih.biPlanes = 1;
        ds.dsBmih.biBitCount = (WORD)sf.bpp;
        ds.dsBmih.biCompression = BI_RGB;
        ds.dsBmih.biSizeImage = (DWORD)o->dib_bits.size();
        memcpy(out, &ds, sizeof(ds));
        return (int)sizeof(ds);
    }
    int n = std::min(size, (int)sizeof(BITMAP));
    if (n <= 0) return 0;
    memcpy(out, &bm, n);
    return n;
}

HGDIOBJ GetStockObject(int index) {
    std::lock_guard<std::mutex> lock(mutex());
    return index >= 0 && index < 19 ? (HGDIOBJ)state().stock[index] : nullptr;
}

BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *d = find_dc(dst), *s = find_dc(src);
    if (!d || !s || rop != SRCCOPY) return FALSE;
    Surface *ds = dc_surface(*d), *ss = dc_surface(*s);
    if (!ds || !ss) return FALSE;
    x -= dc_shift(*d).x, y -= dc_shift(*d).y;
    x1 -= dc_shift(*s).x, y1 -= dc_shift(*s).y;
    // Copy through a buffer so that overlapping copies on one surface come out right. Where
    // the source lies off its surface the destination is left as it was, as the system does.
    std::vector<COLORREF> buf((size_t)std::max(cx, 0) * std::max(cy, 0), 0);
    for (int j = 0; j < cy; j++)
        for (int i = 0; i < cx; i++)
            if (ss->inside(x1 + i, y1 + j))
                buf[(size_t)j * cx + i] = from_device(ss->bpp, ss->at(x1 + i, y1 + j));
    for (int j = 0; j < cy; j++)
        for (int i = 0; i < cx; i++)
            if (ds->inside(x + i, y + j) && ss->inside(x1 + i, y1 + j))
                ds->at(x + i, y + j) = to_device(ds->bpp, buf[(size_t)j * cx + i]);
    return TRUE;
}

COLORREF GetPixel(HDC dc, int x, int y) {
    std::lock_guard<std::mutex> lock(mutex());
    Object *d = find_dc(dc);
    Surface *s = d ? dc_surface(*d) : nullptr;
    if (s) x -= dc_shift(*d).x, y -= dc_shift(*d).y;
    if (!s || !s->inside(x, y)) return CLR_INVALID;
    return from_device(s->bpp, s->at(x, y));
}

int GetDIBits(HDC dc, HBITMAP bmp, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi,
              UINT usage) {
    std::lock_guard<std::mutex> lock(mutex());
    State &st = state();
    Object *b = find(bmp, Kind::Bitmap);
    if (!find_dc(dc) || !b || !bmi || usage != DIB_RGB_COLORS) return 0;
    if (st.dibits_failures > 0) {
        st.dibits_failures--;
        return 0;
    }
    BITMAPINFOHEADER &h = bmi->bmiHeader;
    int bpp = h.biBitCount;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biCompression != BI_RGB || h.biWidth <= 0 ||
        h.biHeight == 0 ||
        (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32))
        return 0;
    if (b->selected_in > 0)
        st.misuse.push_back("GetDIBits on a bitmap still selected in a context");

    // The colour table, as the device would give it.
    const RGBQUAD *table = nullptr;
    int entries = bpp <= 8 ? 1 << bpp : 0;
    static const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    if (bpp == 8)
        table = palette332();
    else if (bpp == 4)
        table = palette16();
    else if (bpp == 1)
        table = mono;
    RGBQUAD *colors = (RGBQUAD *)((BYTE *)bmi + h.biSize);
    if (entries) memcpy(colors, table, entries * sizeof(RGBQUAD));
    // Like the system, report a full table as 0 used entries.
    h.biClrUsed = 0;

    const Surface &sf = b->surface;
    int height = h.biHeight > 0 ? h.biHeight : -h.biHeight;
    int first = std::min((int)start, height);
    int count = std::min((int)lines, height - first);
    size_t stride = ((size_t)h.biWidth * bpp + 31) / 32 * 4;
    int width = std::min((int)h.biWidth, sf.width);
    for (int i = 0; i < count; i++) {
        int line = first + i; // scan line counted from the DIB's first row in memory order
        int row = h.biHeight > 0 ? height - 1 - line : line;
        BYTE *out = (BYTE *)bits + (size_t)i * stride;
        memset(out, 0, stride);
        if (row >= sf.height) continue;
        WriteDibRow(sf, row, width, bpp, table, out);
    }
    return count;
}
