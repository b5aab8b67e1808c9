// What the Record command's area detection adds to its half-second pause on the real API,
// against the same scan done with single GetPixel reads. A helper thread owns a popup that
// changes colour every 20 ms, so that one case has a changing box to find.
//
//   detect_bench_win [runs]      prints "name: value" lines and the bounds found
#include "bench/programs/bench_clock.h"
#include "framework/winapi.h"
#include "tests/e2e/programs/report.h"
#include "tests/unit/areadetect_reference.h"
#include "ui/areadetect.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using bench::NowMs;

// The format of a 32-bit top-down copy of w x h screen pixels, as the detection reads them.
BITMAPINFO TopDown32(int w, int h) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return info;
}

double median_ms(int runs, const std::function<void()> &fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; i++) {
        double start = NowMs();
        fn();
        t.push_back(NowMs() - start);
    }
    return bench::Median(t);
}

// A popup at a fixed place that changes colour every 20 ms while it runs.
class ChangingBox {
  public:
    ChangingBox(int x, int y, int w, int h) : worker([=] { run(x, y, w, h); }) {
        while (!ready)
            Sleep(5);
    }
    ~ChangingBox() {
        stop = true;
        worker.join();
    }

  private:
    void run(int x, int y, int w, int h) {
        HWND wnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP, x, y,
                                   w, h, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(wnd, SW_SHOWNOACTIVATE);
        int flip = 0;
        while (!stop) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            HDC dc = GetDC(wnd);
            // A new colour every time, so no two moments of the box look alike.
            flip++;
            HBRUSH brush = CreateSolidBrush(RGB(flip * 37 & 255, flip * 91 & 255, flip & 255));
            RECT r = {0, 0, w, h};
            FillRect(dc, &r, brush);
            DeleteObject(brush);
            ReleaseDC(wnd, dc);
            GdiFlush();
            ready = true;
            Sleep(20);
        }
        DestroyWindow(wnd);
    }
    std::atomic<bool> ready{false}, stop{false};
    std::thread worker;
};

struct Bounds {
    int l = 0, t = 0, r = 0, b = 0;
};

// One detection, timed; the pause inside it is taken off by the caller.
double detect(Bounds &out) {
    double start = NowMs();
    DetectChangingArea(out.l, out.t, out.r, out.b);
    return NowMs() - start;
}

// The same command with single-pixel reads: snapshot, pause, snapshot, scan.
double detect_by_pixel(HDC screen, int w, int h, Bounds &out, double &scan_ms) {
    double start = NowMs();
    ShowCursor(FALSE);
    PixelSnapshot first(screen, w, h);
    Sleep(500);
    PixelSnapshot second(screen, w, h);
    double scan = NowMs();
    ScanChangedAreaByPixel(first.get(), second.get(), w, h, out.l, out.t, out.r, out.b);
    scan_ms = NowMs() - scan;
    ShowCursor(TRUE);
    return NowMs() - start;
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    HDC screen = GetDC(nullptr);
    int w = GetDeviceCaps(screen, HORZRES), h = GetDeviceCaps(screen, VERTRES);
    std::printf("screen: %dx%d at %d bits\n", w, h, GetDeviceCaps(screen, BITSPIXEL));

    double pause = median_ms(runs, [] { Sleep(500); });
    std::printf("pause: %.1f ms (Sleep(500) measured)\n", pause);

    // One full-screen snapshot alone: the part both ways have to pay twice.
    double snapshot = median_ms(runs, [&] {
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
    });
    std::printf("snapshot: %.1f ms (one full-screen BitBlt)\n", snapshot);

    // The floor of any detection: two copies of the screen into a 32-bit DIB section.
    double floorMs = median_ms(runs, [&] {
        BITMAPINFO info = TopDown32(w, h);
        void *bits = nullptr;
        HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC mem = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        GdiFlush();
        SelectObject(mem, old);
        DeleteDC(mem);
        DeleteObject(dib);
    });
    std::printf("floor: %.1f ms (two full-screen BitBlts into one DIB section)\n", floorMs);

    // One read-out of a snapshot and the in-memory scan of two, for the breakdown.
    {
        HDC mem = CreateCompatibleDC(screen);
        HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        std::vector<uint32_t> a((size_t)w * h), b((size_t)w * h);
        BITMAPINFO info = TopDown32(w, h);
        double readout =
            median_ms(runs, [&] { GetDIBits(mem, bmp, 0, h, a.data(), &info, DIB_RGB_COLORS); });
        b = a;
        Bounds none;
        double scan = median_ms(runs, [&] {
            ScanChangedArea(a.data(), b.data(), w, h, none.l, none.t, none.r, none.b);
        });
        std::printf("read-out: %.1f ms (one GetDIBits of a snapshot)\nscan: %.1f ms (two "
                    "unchanged snapshots in memory)\n",
                    readout, scan);
        DeleteObject(bmp);
        DeleteDC(mem);
    }

    for (int boxed = 0; boxed < 2; boxed++) {
        const char *name = boxed ? "box" : "still";
        std::unique_ptr<ChangingBox> box;
        if (boxed) box = std::make_unique<ChangingBox>(400, 200, 640, 360);
        Bounds found;
        std::vector<double> t;
        for (int i = 0; i < runs; i++)
            t.push_back(detect(found));
        std::sort(t.begin(), t.end());
        double total = t[t.size() / 2];
        std::printf("%s bounds: %d %d %d %d\n", name, found.l, found.t, found.r, found.b);
        std::printf("%s detection: %.1f ms total, %.1f ms over the pause (fastest run %.1f, "
                    "slowest run %.1f)\n",
                    name, total, total - pause, t.front() - pause, t.back() - pause);
        std::printf("%s over the pause / floor: %.2f (slowest run %.2f)\n", name,
                    (total - pause) / floorMs, (t.back() - pause) / floorMs);
        std::printf("%s runs over the pause:", name);
        for (double v : t)
            std::printf(" %.1f", v - pause);
        std::printf("\n");

        Bounds ref;
        double scan = 0;
        double ref_total = detect_by_pixel(screen, w, h, ref, scan);
        std::printf("%s reference bounds: %d %d %d %d\n", name, ref.l, ref.t, ref.r, ref.b);
        // A figure counts only when both ways found the same thing.
        ok(found.l == ref.l && found.t == ref.t && found.r == ref.r && found.b == ref.b,
           "%s: the detection and the per-pixel reference find the same bounds", name);
        std::printf("%s per-pixel: %.1f ms total, %.1f ms over the pause (GetPixel scan %.1f "
                    "ms)\n",
                    name, ref_total, ref_total - pause, scan);
        std::printf("%s ratio: per-pixel / bulk over the pause %.1f\n", name,
                    (ref_total - pause) / std::max(0.1, total - pause));
    }
    ReleaseDC(nullptr, screen);
    return report::exit_code();
}
