// grab_ceiling: the fastest grab of a screen area this display allows, as the reference for the
// capture benchmark: BitBlt into one DIB section at the screen's depth, made once, and a copy
// of its pixels out into one buffer, as often as it goes for the given time.
//
//   grab_ceiling X Y W H seconds
//
// Prints: ceiling W=640 H=480 grabs=N seconds=S fps=F ms=M
#include "bench/programs/bench_clock.h"
#include "framework/winapi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using bench::NowMs;

int main(int argc, char **argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: grab_ceiling X Y W H seconds\n");
        return 2;
    }
    int x = atoi(argv[1]), y = atoi(argv[2]), w = atoi(argv[3]), h = atoi(argv[4]);
    double limit = atof(argv[5]) * 1000;

    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, BITSPIXEL);
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = (WORD)(depth > 16 ? depth : 16);
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(screen);
    if (!dib || !memory || !bits) {
        std::fprintf(stderr, "grab_ceiling: no DIB section\n");
        return 1;
    }
    HGDIOBJ old = SelectObject(memory, dib);
    size_t size = ((size_t)w * info.bmiHeader.biBitCount + 31) / 32 * 4 * h;
    std::vector<unsigned char> copy(size);

    int grabs = 0;
    double start = NowMs(), now = start;
    while (now - start < limit) {
        BitBlt(memory, 0, 0, w, h, screen, x, y, SRCCOPY);
        GdiFlush();
        std::memcpy(copy.data(), bits, size);
        grabs++;
        now = NowMs();
    }
    double seconds = (now - start) / 1000;
    std::printf("ceiling W=%d H=%d grabs=%d seconds=%.3f fps=%.1f ms=%.3f\n", w, h, grabs, seconds,
                grabs / seconds, (now - start) / grabs);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(dib);
    ReleaseDC(nullptr, screen);
    return 0;
}
