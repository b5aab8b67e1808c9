// movingpic: the moving test picture of the end-to-end checks, and the checker of recorded frames.
//
//   movingpic show X Y W H [ms_per_step] [topmost]
//       a borderless window at (X, Y), W x H pixels, showing picture number n = time since start
//       divided by ms_per_step (40 by default), redrawn by a timer.
//   movingpic check W H FW FH frames.rgb [max_bad_pixels]
//       reads raw rgb24 frames of FW x FH pixels (the top-left part of a W x H picture, as the
//       recorder captures it), reads the picture number from each and compares every pixel with
//       the picture drawn for that number. Prints one line per frame and a summary,
//       "PASS: frames=N matching=N" (or FAIL).
//   movingpic render W H n out.ppm
//       writes picture n as a PPM file, to look at.
//
// The picture is built from 4 x 4 pixel cells of flat colour so that a Video 1 recording keeps
// it exactly (up to the 5-bit colour channels): an 8 pixel border whose colour changes with every
// picture (so the recorder's area detection sees the whole box change), the picture number as two
// rows of eight black or white squares (bits 0..7 and 8..15), a green square fixed near the bottom
// left (shows flips), and a red bar that moves across. The last column and row, which the
// recorder leaves out of the area it detects, carry the border colour too.
#include "tests/e2e/programs/report.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Rgb {
    unsigned char r, g, b;
};

const int kBorder = 8, kCell = 16, kCellStep = 24, kBitsTop = 16, kBarWidth = 16;

// Three bits per channel, at levels a 5-bit channel holds exactly; period 512 pictures.
Rgb border_colour(unsigned n) {
    auto level = [](unsigned v) { return static_cast<unsigned char>((v & 7) * 32 + 16); };
    return {level(n), level(n >> 3), level(n >> 6)};
}

int bar_left(unsigned n, int w) {
    int travel = w - 1 - 2 * kBorder - kBarWidth;
    if (travel < 4) return kBorder;
    return kBorder + static_cast<int>((n * 4) % static_cast<unsigned>(travel)) / 4 * 4;
}

Rgb pixel(int x, int y, unsigned n, int w, int h) {
    if (x < kBorder || y < kBorder || x >= w - 1 - kBorder || y >= h - 1 - kBorder)
        return border_colour(n);
    for (int bit = 0; bit < 16; ++bit) {
        int cx = kBorder + 8 + (bit % 8) * kCellStep, cy = kBitsTop + (bit / 8) * kCellStep;
        if (x >= cx && x < cx + kCell && y >= cy && y < cy + kCell)
            return (n >> bit) & 1 ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
    }
    int bar_top = kBitsTop + 2 * kCellStep + 8;
    if (y >= bar_top && x >= bar_left(n, w) && x < bar_left(n, w) + kBarWidth) return {255, 0, 0};
    if (x >= 16 && x < 48 && y >= h - 1 - kBorder - 40 && y < h - 1 - kBorder - 8)
        return {0, 255, 0};
    return {0, 0, 128};
}

unsigned read_number(const unsigned char *rgb, int fw) {
    unsigned n = 0;
    for (int bit = 0; bit < 16; ++bit) {
        int cx = kBorder + 8 + (bit % 8) * kCellStep + kCell / 2;
        int cy = kBitsTop + (bit / 8) * kCellStep + kCell / 2;
        const unsigned char *p = rgb + (static_cast<size_t>(cy) * fw + cx) * 3;
        if (p[0] + p[1] + p[2] > 3 * 128) n |= 1u << bit;
    }
    return n;
}

// --- the window ---

int g_w, g_h, g_step;
DWORD g_start;
std::vector<unsigned char> g_bgr; // bottom-up 32-bit rows for SetDIBitsToDevice
unsigned g_shown = ~0u;

void draw(HDC dc, unsigned n) {
    for (int y = 0; y < g_h; ++y) {
        unsigned char *row = &g_bgr[static_cast<size_t>(g_h - 1 - y) * g_w * 4];
        for (int x = 0; x < g_w; ++x) {
            Rgb c = pixel(x, y, n, g_w, g_h);
            row[x * 4] = c.b;
            row[x * 4 + 1] = c.g;
            row[x * 4 + 2] = c.r;
            row[x * 4 + 3] = 0;
        }
    }
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = g_w;
    bi.bmiHeader.biHeight = g_h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(dc, 0, 0, g_w, g_h, 0, 0, 0, g_h, g_bgr.data(), &bi, DIB_RGB_COLORS);
    g_shown = n;
}

unsigned current() { return (GetTickCount() - g_start) / static_cast<unsigned>(g_step); }

LRESULT CALLBACK wndproc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        draw(dc, current());
        EndPaint(w, &ps);
        return 0;
    }
    case WM_TIMER:
        if (current() != g_shown) {
            HDC dc = GetDC(w);
            draw(dc, current());
            ReleaseDC(w, dc);
        }
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

int show(int x, int y, int w, int h, int step, bool topmost) {
    g_w = w;
    g_h = h;
    g_step = step > 0 ? step : 40;
    g_bgr.resize(static_cast<size_t>(w) * h * 4);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = wndproc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = "QuilletMovingPicture";
    RegisterClassA(&wc);
    DWORD ex = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | (topmost ? WS_EX_TOPMOST : 0);
    HWND wnd = CreateWindowExA(ex, wc.lpszClassName, "moving picture", WS_POPUP, x, y, w, h,
                               nullptr, nullptr, wc.hInstance, nullptr);
    if (!wnd) return 1;
    g_start = GetTickCount();
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    UpdateWindow(wnd);
    SetTimer(wnd, 1, static_cast<UINT>(g_step), nullptr);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0)
        DispatchMessageA(&m);
    return 0;
}

// --- checking recorded frames ---

int check(int w, int h, int fw, int fh, const char *path, long max_bad) {
    FILE *f = fopen(path, "rb");
    if (!f) {
        printf("cannot open %s\n", path);
        return 1;
    }
    if (fw <= kBorder + 8 + 8 * kCellStep || fh <= kBitsTop + 2 * kCellStep) {
        printf("frames of %dx%d are too small to carry the picture number\n", fw, fh);
        fclose(f);
        return 1;
    }
    std::vector<unsigned char> rgb(static_cast<size_t>(fw) * fh * 3);
    int frames = 0, good = 0;
    while (fread(rgb.data(), 1, rgb.size(), f) == rgb.size()) {
        unsigned n = read_number(rgb.data(), fw);
        long bad = 0, worst = 0;
        for (int y = 0; y < fh; ++y)
            for (int x = 0; x < fw; ++x) {
                Rgb want = pixel(x, y, n, w, h);
                const unsigned char *p = &rgb[(static_cast<size_t>(y) * fw + x) * 3];
                // The recording keeps 5 bits per channel.
                long d = labs(p[0] - want.r) + labs(p[1] - want.g) + labs(p[2] - want.b);
                if (d > worst) worst = d;
                if (labs(p[0] - want.r) > 12 || labs(p[1] - want.g) > 12 ||
                    labs(p[2] - want.b) > 12)
                    ++bad;
            }
        printf("frame %d n=%u bad_pixels=%ld worst=%ld\n", frames, n, bad, worst);
        if (bad <= max_bad) ++good;
        ++frames;
    }
    fclose(f);
    ok(frames > 0 && good == frames, "frames=%d matching=%d", frames, good);
    return report::exit_code();
}

int render(int w, int h, unsigned n, const char *path) {
    FILE *f = fopen(path, "wb");
    if (!f) return 1;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = pixel(x, y, n, w, h);
            fwrite(&c, 3, 1, f);
        }
    fclose(f);
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc >= 6 && !strcmp(argv[1], "show"))
        return show(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]),
                    argc > 6 ? atoi(argv[6]) : 40, argc > 7 && !strcmp(argv[7], "topmost"));
    if (argc >= 7 && !strcmp(argv[1], "check"))
        return check(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), argv[6],
                     argc > 7 ? atol(argv[7]) : 0);
    if (argc >= 6 && !strcmp(argv[1], "render"))
        return render(atoi(argv[2]), atoi(argv[3]), static_cast<unsigned>(atoi(argv[4])), argv[5]);
    puts("usage: movingpic show X Y W H [ms_per_step] [topmost]\n"
         "       movingpic check W H FW FH frames.rgb [max_bad_pixels]\n"
         "       movingpic render W H n out.ppm");
    return 2;
}
