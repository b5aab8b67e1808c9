// Grabs a known picture off the real screen through the recorder's frame grabber and shows
// the corner marker around an area of it, for tests/e2e/grab/run.sh.
//
// Prints one "PASS: <check>" or "FAIL: <check>" line per check (tests/e2e/programs/report.h),
// then "READY" once the
// marker is up, and keeps it up until the file "shot.done" appears in the current directory
// (at most 30 s) so the script can take its screenshot.
#include "marker/flashwnd.h"
#include "recorder/scrcam.h"
#include "tests/e2e/programs/report.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const int PicX = 200, PicY = 150, PicW = 400, PicH = 300;
const int AreaX = PicX + 50, AreaY = PicY + 60, AreaW = 200, AreaH = 150;

// The picture's colour at a point relative to its top-left corner; run.sh uses the same.
COLORREF Pattern(int x, int y) { return RGB((x * 7 + y) & 255, (y * 3) & 255, (x ^ y) & 255); }

std::vector<DWORD> PictureBits() {
    std::vector<DWORD> bits((size_t)PicW * PicH);
    for (int y = 0; y < PicH; y++)
        for (int x = 0; x < PicW; x++) {
            COLORREF c = Pattern(x, y);
            bits[(size_t)y * PicW + x] = GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
        }
    return bits;
}

LRESULT CALLBACK PictureProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    static std::vector<DWORD> bits = PictureBits();
    if (msg == WM_ERASEBKGND) return 1;
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
        bmi.bmiHeader.biWidth = PicW;
        bmi.bmiHeader.biHeight = -PicH;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        SetDIBitsToDevice(dc, 0, 0, PicW, PicH, 0, 0, 0, PicH, bits.data(), &bmi, DIB_RGB_COLORS);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void Pump(DWORD ms) {
    DWORD end = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while ((LONG)(GetTickCount() - end) < 0);
}

COLORREF FramePixel(const BITMAPINFOHEADER *f, int x, int y) {
    const BYTE *base = (const BYTE *)f;
    const BYTE *bits = base + f->biSize + 4 * f->biClrUsed;
    size_t stride = ((size_t)f->biWidth * f->biBitCount + 31) / 32 * 4;
    const BYTE *row = bits + (f->biHeight - 1 - y) * stride;
    if (f->biBitCount == 16) {
        WORD w = (WORD)(row[x * 2] | row[x * 2 + 1] << 8);
        return RGB((w >> 10 & 31) << 3, (w >> 5 & 31) << 3, (w & 31) << 3);
    }
    const BYTE *p = row + x * (f->biBitCount / 8);
    return RGB(p[2], p[1], p[0]);
}

std::string Hex(COLORREF c) {
    char s[16];
    snprintf(s, sizeof s, "%06lx", (unsigned long)c);
    return s;
}

// Differences between a frame of the picture at (left, top) and the pattern; the first one
// described in where.
int CompareWithPicture(const BITMAPINFOHEADER *f, int left, int top, COLORREF mask,
                       std::string &where) {
    int diffs = 0;
    for (int y = 0; y < f->biHeight; y++)
        for (int x = 0; x < f->biWidth; x++) {
            COLORREF got = FramePixel(f, x, y),
                     want = Pattern(left - PicX + x, top - PicY + y) & mask;
            if (got != want && diffs++ == 0)
                where = "at " + std::to_string(x) + "," + std::to_string(y) + " got " + Hex(got) +
                        " want " + Hex(want);
        }
    return diffs;
}

void CheckDepth(TScreenCam &cam, int bpp) {
    cam.BitsPerPixel = bpp;
    const int L = PicX + 10, T = PicY + 20, W = 201, H = 101;
    BITMAPINFOHEADER *f = cam.CaptureFrame(L, T, W, H);
    DWORD row = ((DWORD)W * bpp + 31) / 32 * 4;
    DWORD colors = bpp <= 8 ? 1u << bpp : 0;
    std::string found = "no frame";
    bool right = false;
    if (f &&
        (f->biWidth != W || f->biHeight != H || f->biBitCount != bpp || f->biClrUsed != colors ||
         f->biSizeImage != row * H || GlobalSize(GlobalHandle(f)) != 40 + 4 * colors + row * H)) {
        found = "wrong header or block size";
    } else if (f && bpp >= 16) {
        std::string where;
        int diffs = CompareWithPicture(f, L, T, bpp == 16 ? 0xF8F8F8 : 0xFFFFFF, where);
        right = diffs == 0;
        found = right ? "every pixel" : std::to_string(diffs) + " pixels differ, first " + where;
    } else if (f) {
        // A palette holds the screen's colours only roughly: header and size are what count.
        right = true;
        found = "header and block size";
    }
    FreeFrame(f);
    ok(right, "%d-bit frame of 201x101 matches the picture (%s)", bpp, found.c_str());
}

struct CursorMark {
    int hx = 0, hy = 0; // hot spot of the cursor shown
    int changed = 0, outside = 0, minx = 1 << 20, miny = 1 << 20;
};

// Grabs 201x101 at picture (10, 20) with the mouse at picture (60, 70) and the given cursor
// shown (by this thread): where the frame differs from the picture. The grab runs on a thread
// of its own when asked, as a recording's does.
CursorMark MarkCursor(TScreenCam &cam, HCURSOR shown, bool onWorker = false) {
    CursorMark m;
    SetCursor(shown);
    Pump(100);
    ICONINFO info = {};
    if (GetIconInfo(GetCursor(), &info)) {
        m.hx = (int)info.xHotspot;
        m.hy = (int)info.yHotspot;
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
    }
    BITMAPINFOHEADER *f = nullptr;
    auto grab = [&] { f = cam.CaptureFrame(PicX + 10, PicY + 20, 201, 101); };
    if (onWorker)
        std::thread(grab).join();
    else
        grab();
    for (int y = 0; f && y < 101; y++)
        for (int x = 0; x < 201; x++) {
            if (FramePixel(f, x, y) == Pattern(10 + x, 20 + y)) continue;
            int cx = x - (50 - m.hx), cy = y - (50 - m.hy);
            m.changed++;
            m.outside += !(cx >= 0 && cy >= 0 && cx < 32 && cy < 32);
            m.minx = std::min(m.minx, x);
            m.miny = std::min(m.miny, y);
        }
    FreeFrame(f);
    return m;
}

} // namespace

int main() {
    WNDCLASSEXA cls = {};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = PictureProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.lpszClassName = "GrabCheckPicture";
    RegisterClassExA(&cls);
    HWND picture =
        CreateWindowExA(WS_EX_TOPMOST, cls.lpszClassName, "grab check picture", WS_POPUP, PicX,
                        PicY, PicW, PicH, nullptr, nullptr, cls.hInstance, nullptr);
    ShowWindow(picture, SW_SHOW);
    UpdateWindow(picture);
    SetCursorPos(1000, 10);
    Pump(700);

    auto cam = std::make_unique<TScreenCam>(nullptr);
    printf("screen: %d bpp, %dx%d\n", cam->BitsPerPixel, cam->ScreenWidth, cam->ScreenHeight);
    int screenBpp = cam->BitsPerPixel;
    {
        // What the system does to biClrUsed in GetDIBits (the grabber sets it again after).
        HDC screen = GetDC(nullptr);
        HBITMAP bmp = CreateCompatibleBitmap(screen, 8, 8);
        std::vector<BYTE> buf(40 + 1024 + 64);
        auto *bmi = (BITMAPINFO *)buf.data();
        bmi->bmiHeader = {40, 8, 8, 1, 8, BI_RGB, 64, 0, 0, 256, 0};
        int lines = GetDIBits(screen, bmp, 0, 8, buf.data() + 1064, bmi, DIB_RGB_COLORS);
        printf("GetDIBits at 8 bpp: %d lines, biClrUsed 256 became %lu\n", lines,
               (unsigned long)bmi->bmiHeader.biClrUsed);
        DeleteObject(bmp);
        ReleaseDC(nullptr, screen);
    }
    for (int bpp : {32, 24, 16, 8})
        CheckDepth(*cam, bpp);
    cam->BitsPerPixel = 32;

    // The cursor: the arrow goes into the frame at the mouse position less the hot spot of the
    // cursor shown, and nowhere else. Drawn once with the I-beam shown and once with the arrow,
    // it moves by the difference of their hot spots.
    SetCursorPos(PicX + 60, PicY + 70);
    CursorMark ibeam = MarkCursor(*cam, LoadCursor(nullptr, IDC_IBEAM));
    CursorMark arrow = MarkCursor(*cam, LoadCursor(nullptr, IDC_ARROW));
    printf("cursor: I-beam hot spot %d,%d: %d pixels changed from %d,%d, %d outside its box; "
           "arrow hot spot %d,%d: %d changed from %d,%d, %d outside\n",
           ibeam.hx, ibeam.hy, ibeam.changed, ibeam.minx, ibeam.miny, ibeam.outside, arrow.hx,
           arrow.hy, arrow.changed, arrow.minx, arrow.miny, arrow.outside);
    // Counts may differ by a few arrow pixels that happen to match the picture.
    bool placed = ibeam.changed > 20 && arrow.changed > 20 && !ibeam.outside && !arrow.outside &&
                  (ibeam.hx != arrow.hx || ibeam.hy != arrow.hy) &&
                  arrow.minx - ibeam.minx == ibeam.hx - arrow.hx &&
                  arrow.miny - ibeam.miny == ibeam.hy - arrow.hy;
    ok(placed, "the arrow is drawn at the mouse position less the shown cursor's hot spot%s",
       placed ? "" : " (see the cursor line in the log)");
    CursorMark worker = MarkCursor(*cam, LoadCursor(nullptr, IDC_IBEAM), true);
    printf("cursor on a worker: %d pixels changed from %d,%d (main thread: from %d,%d)\n",
           worker.changed, worker.minx, worker.miny, ibeam.minx, ibeam.miny);
    ok(worker.changed > 20 && worker.minx == ibeam.minx && worker.miny == ibeam.miny,
       "on a worker thread the hot spot is that of the cursor shown by the main thread");
    {
        cam->RecordCursor = false;
        BITMAPINFOHEADER *f = cam->CaptureFrame(PicX + 10, PicY + 20, 201, 101);
        std::string where;
        int diffs = f ? CompareWithPicture(f, PicX + 10, PicY + 20, 0xFFFFFF, where) : -1;
        FreeFrame(f);
        ok(diffs == 0, "with RecordCursor off the frame is the picture alone (%d differ%s)", diffs,
           where.empty() ? "" : (", first " + where).c_str());
        cam->RecordCursor = true;
    }
    SetCursorPos(1000, 10);

    // An area reaching off the top-left of the screen.
    {
        BITMAPINFOHEADER *f = cam->CaptureFrame(-10, -10, 20, 20);
        int nonblack = 0;
        for (int y = 0; f && y < 10; y++)
            for (int x = 0; x < 20; x++)
                nonblack += (FramePixel(f, x, y) != 0) + (FramePixel(f, y, x) != 0);
        ok(f && !nonblack, "off-screen source pixels come out black (%s)",
           !f ? "no frame" : (std::to_string(nonblack) + " of them not black").c_str());
        FreeFrame(f);
    }

    // The marker around an area of the picture, painted idle.
    TFlashingWnd *marker = cam->MarkerWindow;
    marker->SetCaptureRect(AreaX, AreaY, AreaW, AreaH);
    ShowWindow(marker->Handle(), SW_SHOW);
    Pump(300);
    marker->PaintFrame(MarkerIdleColor);
    Pump(300);
    {
        BITMAPINFOHEADER *f = cam->CaptureFrame(AreaX, AreaY, AreaW, AreaH);
        std::string where;
        int diffs = f ? CompareWithPicture(f, AreaX, AreaY, 0xFFFFFF, where) : -1;
        FreeFrame(f);
        ok(diffs == 0, "a frame of the marked area holds no marker pixel (%d differ%s)", diffs,
           where.empty() ? "" : (", first " + where).c_str());
    }
    printf("marker: area %d %d %d %d picture %d %d %d %d\n", AreaX, AreaY, AreaW, AreaH, PicX, PicY,
           PicW, PicH);
    printf("READY\n");
    fflush(stdout);
    for (int i = 0; i < 300; i++) {
        if (GetFileAttributesA("shot.done") != INVALID_FILE_ATTRIBUTES) break;
        Pump(100);
    }
    cam.reset();
    DestroyWindow(picture);
    printf("depth %d, %d failed\n", screenBpp, report::failures());
    return report::exit_code();
}
