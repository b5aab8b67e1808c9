// Changing-area scan on the virtual screen: the bulk comparison of two read-out snapshots
// against single GetPixel reads, at 1024 x 768 and 1920 x 1080, with nothing changed and with
// a 640 x 360 box changed. Prints the median of each and the ratio.
#include "fakewin/fakewin.h"
#include "fakewin/screen.h"
#include "ui/areadetect.h"
#include "unit/areadetect_reference.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

double median_ms(int runs, const std::function<void()> &fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; i++) {
        auto start = std::chrono::steady_clock::now();
        fn();
        t.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

// The screen read out at 32 bits, top row first, the way the detection reads a snapshot.
std::vector<uint32_t> read_screen(int w, int h) {
    std::vector<uint32_t> px((size_t)w * h);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(mem, bmp, 0, h, px.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return px;
}

void run(int w, int h, bool box) {
    fakewin::reset();
    fakewin::set_screen(w, h, 32);
    fakewin::fill_screen_rect(0, 0, w, h, RGB(30, 60, 90));
    HDC screen = GetDC(nullptr);
    std::vector<uint32_t> first = read_screen(w, h);
    PixelSnapshot before(screen, w, h);
    if (box) fakewin::fill_screen_rect(400, 200, 400 + 640, 200 + 360, RGB(200, 10, 10));
    std::vector<uint32_t> second = read_screen(w, h);
    PixelSnapshot after(screen, w, h);

    int l, t, r, b, rl, rt, rr, rb;
    double scan =
        median_ms(21, [&] { ScanChangedArea(first.data(), second.data(), w, h, l, t, r, b); });
    double readout = median_ms(5, [&] {
        std::vector<uint32_t> again = read_screen(w, h);
        ScanChangedArea(first.data(), again.data(), w, h, l, t, r, b);
    });
    double by_pixel = median_ms(
        3, [&] { ScanChangedAreaByPixel(before.get(), after.get(), w, h, rl, rt, rr, rb); });
    ReleaseDC(nullptr, screen);
    std::printf("%4dx%-4d %-9s bounds %d,%d,%d,%d (reference %d,%d,%d,%d)\n"
                "          scan %.2f ms, read-out + scan %.2f ms, per-pixel GetPixel %.1f ms, "
                "ratio per-pixel / scan %.0f\n",
                w, h, box ? "640x360" : "no change", l, t, r, b, rl, rt, rr, rb, scan, readout,
                by_pixel, by_pixel / scan);
}

} // namespace

int main() {
    std::printf("Changing-area scan on the double's virtual screen (medians)\n");
    for (bool box : {false, true}) {
        run(1024, 768, box);
        run(1920, 1080, box);
    }
    return 0;
}
