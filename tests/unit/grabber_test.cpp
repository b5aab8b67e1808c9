#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/ic.h"
#include "fakewin/kernel.h"
#include "fakewin/screen.h"
#include "marker/flashwnd.h"
#include "recorder/recordthread.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

namespace {

COLORREF Pattern(int x, int y) { return RGB(x * 7 + y, y * 5 + 3, (x ^ y) * 3); }

void PaintPattern() {
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 400; x++)
            fakewin::set_screen_pixel(x, y, Pattern(x, y));
}

// Reads a frame pixel (row 0 at the top) back as a colour, whatever the depth.
COLORREF FramePixel(const BITMAPINFOHEADER *f, int x, int y) {
    const BYTE *base = (const BYTE *)f;
    const RGBQUAD *table = (const RGBQUAD *)(base + f->biSize);
    const BYTE *bits = base + f->biSize + 4 * f->biClrUsed;
    size_t stride = ((size_t)f->biWidth * f->biBitCount + 31) / 32 * 4;
    const BYTE *row = bits + (f->biHeight - 1 - y) * stride;
    switch (f->biBitCount) {
    case 32:
    case 24: {
        const BYTE *p = row + x * (f->biBitCount / 8);
        return RGB(p[2], p[1], p[0]);
    }
    case 16: {
        WORD w = (WORD)(row[x * 2] | row[x * 2 + 1] << 8);
        return RGB((w >> 10 & 31) << 3, (w >> 5 & 31) << 3, (w & 31) << 3);
    }
    case 8:
        return RGB(table[row[x]].rgbRed, table[row[x]].rgbGreen, table[row[x]].rgbBlue);
    default:
        return CLR_INVALID;
    }
}

// What the screen colour becomes in a frame of that depth.
COLORREF AsFrame(COLORREF c, int bpp) { return bpp == 16 ? c & 0xF8F8F8 : c; }

class Grabber : public ::testing::Test {
  protected:
    void SetUp() override {
        fakewin::reset();
        fakewin::set_cursor_pos(1000, 700); // far from every area unless a test moves it
    }
    void TearDown() override {
        EXPECT_EQ(fakewin::live_objects(), fakewin::LiveObjects{});
        EXPECT_TRUE(fakewin::misuse_log().empty()) << fakewin::misuse_log()[0];
    }
    // The screen area, cursor drawn where the test expects, compared pixel by pixel.
    void ExpectArea(const BITMAPINFOHEADER *f, int left, int top, int bpp) {
        for (int y = 0; y < f->biHeight; y++)
            for (int x = 0; x < f->biWidth; x++)
                ASSERT_EQ(FramePixel(f, x, y),
                          AsFrame(fakewin::screen_pixel(left + x, top + y), bpp))
                    << "at " << x << "," << y;
    }
};

TEST_F(Grabber, FramesAtEveryScreenDepthHoldTheScreenPixels) {
    for (int bpp : {32, 24, 16, 8}) {
        SCOPED_TRACE(bpp);
        fakewin::set_screen(640, 480, bpp);
        PaintPattern();
        TScreenCam cam(nullptr);
        ASSERT_EQ(cam.BitsPerPixel, bpp);
        BITMAPINFOHEADER *f = cam.CaptureFrame(13, 9, 321, 37);
        ASSERT_NE(f, nullptr);
        DWORD colors = bpp == 8 ? 256 : 0;
        size_t row = ((size_t)321 * bpp + 31) / 32 * 4;
        EXPECT_EQ(f->biSize, 40u);
        EXPECT_EQ(f->biWidth, 321);
        EXPECT_EQ(f->biHeight, 37);
        EXPECT_EQ(f->biPlanes, 1);
        EXPECT_EQ(f->biBitCount, bpp);
        EXPECT_EQ(f->biCompression, (DWORD)BI_RGB);
        EXPECT_EQ(f->biSizeImage, row * 37);
        EXPECT_EQ(f->biXPelsPerMeter, 0);
        EXPECT_EQ(f->biYPelsPerMeter, 0);
        EXPECT_EQ(f->biClrUsed, colors);
        EXPECT_EQ(f->biClrImportant, 0u);
        HGLOBAL mem = GlobalHandle(f);
        EXPECT_EQ(GlobalSize(mem), 40 + 4 * colors + row * 37);
        EXPECT_EQ(fakewin::global_lock_count(mem), 1);
        ExpectArea(f, 13, 9, bpp);
        FreeFrame(f);
        EXPECT_EQ(f, nullptr);
    }
}

TEST_F(Grabber, RowPaddingAndFormatBlockOffsets) {
    TScreenCam cam(nullptr);
    cam.BitsPerPixel = 24;
    BITMAPINFOHEADER *f = cam.CaptureFrame(0, 0, 321, 2);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->biSizeImage, 964u * 2);
    FreeFrame(f);

    fakewin::set_screen(640, 480, 8);
    fakewin::fill_screen_rect(0, 0, 640, 480, RGB(255, 255, 255));
    TScreenCam cam8(nullptr);
    f = cam8.CaptureFrame(0, 0, 5, 3);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->biClrUsed, 256u);
    EXPECT_EQ(f->biSizeImage, 8u * 3);
    // Pixels start right after the 1064-byte format block.
    const BYTE *p = (const BYTE *)f;
    const RGBQUAD *table = (const RGBQUAD *)(p + 40);
    BYTE index = p[1064];
    EXPECT_EQ(RGB(table[index].rgbRed, table[index].rgbGreen, table[index].rgbBlue),
              RGB(255, 255, 255));
    EXPECT_EQ(GlobalSize(GlobalHandle(f)), 1064u + 24);
    FreeFrame(f);
}

TEST_F(Grabber, LowDepthConversionFillsTheColourTableAndKeepsItsCount) {
    for (int depth : {1, 4}) {
        SCOPED_TRACE(depth);
        HDC screen = GetDC(nullptr);
        HBITMAP bmp = CreateCompatibleBitmap(screen, 9, 2);
        ReleaseDC(nullptr, screen);
        HGLOBAL mem = BitmapToDIB(bmp, depth);
        DeleteObject(bmp);
        ASSERT_NE(mem, nullptr);
        EXPECT_EQ(fakewin::global_lock_count(mem), 0);
        auto *h = (BITMAPINFOHEADER *)GlobalLock(mem);
        EXPECT_EQ(h->biClrUsed, 1u << depth);
        EXPECT_EQ(h->biSizeImage, (depth == 1 ? 4u : 8u) * 2); // 9 pixels padded to 32 bits or 64
        const RGBQUAD *table = (const RGBQUAD *)(h + 1);
        EXPECT_EQ(table[(1 << depth) - 1].rgbRed, 255); // the last entry is white
        GlobalUnlock(mem);
        GlobalFree(mem);
    }
}

TEST_F(Grabber, DepthsOutsideOneToThirtyTwoGiveNoBlock) {
    HDC screen = GetDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 9, 2);
    ReleaseDC(nullptr, screen);
    for (int depth : {-1, 0, 33, 40, -2147483647 - 1}) {
        SCOPED_TRACE(depth);
        EXPECT_EQ(BitmapToDIB(bmp, depth), nullptr);
    }
    DeleteObject(bmp);
}

TEST_F(Grabber, AreaReachingOffTheScreenComesOutBlack) {
    fakewin::fill_screen_rect(0, 0, 1024, 768, RGB(10, 20, 30));
    TScreenCam cam(nullptr);
    BITMAPINFOHEADER *f = cam.CaptureFrame(1020, -2, 8, 4);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(FramePixel(f, 0, 0), 0u);
    EXPECT_EQ(FramePixel(f, 3, 2), RGB(10, 20, 30));
    EXPECT_EQ(FramePixel(f, 4, 2), 0u);
    FreeFrame(f);
}

class GrabberCursor : public Grabber {
  protected:
    void SetUp() override {
        Grabber::SetUp();
        PaintPattern();
        owned = std::make_unique<TScreenCam>(nullptr);
    }
    void TearDown() override {
        owned.reset();
        Grabber::TearDown();
    }
    // The arrow's shape with its top-left corner at (ax, ay) of the frame, the screen elsewhere.
    void ExpectArrowAt(const BITMAPINFOHEADER *f, int left, int top, int ax, int ay) {
        const auto &shape = fakewin::arrow_shape();
        for (int y = 0; y < f->biHeight; y++)
            for (int x = 0; x < f->biWidth; x++) {
                int sx = x - ax, sy = y - ay;
                char c = ' ';
                if (sy >= 0 && sy < (int)shape.size() && sx >= 0 && sx < (int)strlen(shape[sy]))
                    c = shape[sy][sx];
                COLORREF want = c == 'B'   ? RGB(0, 0, 0)
                                : c == 'W' ? RGB(255, 255, 255)
                                           : fakewin::screen_pixel(left + x, top + y);
                ASSERT_EQ(FramePixel(f, x, y), want) << "at " << x << "," << y;
            }
    }
    std::unique_ptr<TScreenCam> owned;
    TScreenCam &cam() { return *owned; }
};

TEST_F(GrabberCursor, ArrowIsDrawnAtTheHotSpotAdjustedPosition) {
    fakewin::set_cursor_pos(60, 40);
    BITMAPINFOHEADER *f = cam().CaptureFrame(50, 30, 40, 40);
    ExpectArrowAt(f, 50, 30, 10, 10);
    FreeFrame(f);

    // The hot spot is the shown cursor's, the image still the arrow.
    fakewin::set_current_cursor(LoadCursor(nullptr, IDC_IBEAM));
    f = cam().CaptureFrame(50, 30, 40, 40);
    ExpectArrowAt(f, 50, 30, 6, 2);
    FreeFrame(f);

    fakewin::set_current_cursor(cam().ArrowCursor);
    fakewin::set_cursor_hotspot(3, 5);
    f = cam().CaptureFrame(50, 30, 40, 40);
    ExpectArrowAt(f, 50, 30, 7, 5);
    FreeFrame(f);
}

TEST_F(GrabberCursor, OnAWorkerTheHotSpotIsThatOfTheCursorOnTheScreen) {
    // The I-beam was set by this (the main) thread; the worker has no cursor of its own.
    fakewin::set_current_cursor(LoadCursor(nullptr, IDC_IBEAM));
    fakewin::set_cursor_pos(60, 40);
    BITMAPINFOHEADER *f = nullptr;
    std::thread([&] { f = cam().CaptureFrame(50, 30, 40, 40); }).join();
    ExpectArrowAt(f, 50, 30, 6, 2);
    FreeFrame(f);
}

TEST_F(GrabberCursor, WithoutIconInfoTheArrowGoesToTheUnadjustedPosition) {
    fakewin::set_current_cursor(LoadCursor(nullptr, IDC_IBEAM));
    fakewin::fail_icon_info(true);
    fakewin::set_cursor_pos(60, 40);
    BITMAPINFOHEADER *f = cam().CaptureFrame(50, 30, 40, 40);
    ExpectArrowAt(f, 50, 30, 10, 10);
    FreeFrame(f);
}

TEST_F(GrabberCursor, CursorAtTheEdgesIsClippedAndOutsideLeavesTheFrameAlone) {
    const struct {
        int x, y;
    } places[] = {{50 + 37, 30 + 35}, {50 + 39, 30 + 39}, {50 - 4, 30 - 6},
                  {50 + 40, 30},      {50, 30 + 40},      {0, 0}};
    for (auto p : places) {
        SCOPED_TRACE(p.x);
        fakewin::set_cursor_pos(p.x, p.y);
        BITMAPINFOHEADER *f = cam().CaptureFrame(50, 30, 40, 40);
        ExpectArrowAt(f, 50, 30, p.x - 50, p.y - 30);
        FreeFrame(f);
    }
    // Right of and below the area the frame is the screen alone.
    fakewin::set_cursor_pos(50 + 40, 30 + 2);
    BITMAPINFOHEADER *f = cam().CaptureFrame(50, 30, 40, 40);
    ExpectArea(f, 50, 30, 32);
    FreeFrame(f);
}

TEST_F(GrabberCursor, RecordCursorOffLeavesTheScreenPixelsAlone) {
    cam().RecordCursor = false;
    fakewin::set_cursor_pos(60, 40);
    BITMAPINFOHEADER *f = cam().CaptureFrame(50, 30, 40, 40);
    ExpectArea(f, 50, 30, 32);
    FreeFrame(f);
}

TEST_F(Grabber, FailedConversionIsReportedAndTheFrameKeepsZeroPixels) {
    // A bitmap of the screen's kind is read out (a DIB section's bits are read in place).
    fakewin::set_screen(1024, 768, 8);
    fakewin::fill_screen_rect(0, 0, 1024, 768, RGB(200, 100, 50));
    TScreenCam cam(nullptr);
    fakewin::fail_get_dibits(1);
    BITMAPINFOHEADER *f = cam.CaptureFrame(0, 0, 10, 10);
    ASSERT_NE(f, nullptr);
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, "Error retrieving bitmap bits");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, (UINT)(MB_OK | RunBox));
    EXPECT_EQ(f->biWidth, 10);
    EXPECT_EQ(f->biSizeImage, 120u);
    const BYTE *bits = (const BYTE *)(f + 1) + 4 * f->biClrUsed;
    for (DWORD i = 0; i < f->biSizeImage; i++)
        ASSERT_EQ(bits[i], 0) << i;
    FreeFrame(f);
    // Outside a recording (the Options dialog's probe) every failed read-out is told.
    fakewin::fail_get_dibits(1);
    f = cam.CaptureFrame(0, 0, 10, 10);
    FreeFrame(f);
    EXPECT_EQ(fakewin::message_boxes().size(), 2u);
}

TEST_F(Grabber, FailedAllocationGivesNoFrameAndAWarning) {
    TScreenCam cam(nullptr);
    fakewin::fail_global_allocs(1);
    BITMAPINFOHEADER *f = cam.CaptureFrame(0, 0, 10, 10);
    EXPECT_EQ(f, nullptr);
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].text, "Error capturing a frame!");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, (UINT)(MB_ICONWARNING | RunBox));
    FreeFrame(f); // nil is accepted
    EXPECT_EQ(f, nullptr);
}

TEST_F(Grabber, WithoutARecordingThreadTheMarkerIsNotPainted) {
    TScreenCam cam(nullptr);
    cam.MarkerWindow->SetCaptureRect(100, 100, 50, 50);
    ASSERT_TRUE(cam.ShowMarker);
    ASSERT_EQ(cam.RecordThread, nullptr);
    BITMAPINFOHEADER *f = cam.CaptureFrame(100, 100, 50, 50);
    FreeFrame(f);
    EXPECT_TRUE(fakewin::window_paints().empty());
    EXPECT_EQ(fakewin::window_dcs_taken(cam.MarkerWindow->Handle()), 0);
}

TEST_F(Grabber, AWorkerGrabsWhileTheMainThreadPaintsTheMarker) {
    PaintPattern();
    TScreenCam cam(nullptr);
    cam.MarkerWindow->SetCaptureRect(20, 20, 100, 50);
    int good = 0;
    std::thread worker([&] {
        for (int i = 0; i < 30; i++) {
            BITMAPINFOHEADER *f = cam.CaptureFrame(20, 20, 100, 50);
            good += f && FramePixel(f, 99, 49) == Pattern(119, 69);
            FreeFrame(f);
        }
    });
    for (int i = 0; i < 30; i++)
        cam.MarkerWindow->PaintFrame(i % 2 ? MarkerIdleColor : MarkerActiveColor);
    worker.join();
    EXPECT_EQ(good, 30);
    EXPECT_EQ(fakewin::window_paints().size(), 30u);
}

// Grabs by the recording worker: the surface it keeps through a run, and the marker it paints.
class GrabberInARecording : public Grabber {
  protected:
    void SetUp() override {
        Grabber::SetUp();
        fakewin::set_real_sleep_scale(0.01);
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->MsPerFrame = 20;
    }
    void TearDown() override {
        if (cam) {
            cam->StopRecording();
            Serve([this] { return cam->RecordThread == nullptr; });
        }
        cam.reset();
        EXPECT_EQ(fakewin::avi_live_handles(), 0);
        Grabber::TearDown();
    }
    static std::vector<fakewin::AviWrite> Writes() {
        auto files = fakewin::avi_files();
        return files.empty() ? std::vector<fakewin::AviWrite>{} : files.back().writes;
    }
    // Records the area for two frames, moves the cursor to (x, y), records two more and stops;
    // the frames written.
    std::vector<fakewin::AviWrite> RecordMovingTheCursorTo(int Left, int Top, int x, int y,
                                                           int Width = 64) {
        cam->StartRecording(Left, Top, Width, 48, "test.avi");
        EXPECT_TRUE(Serve([] { return Writes().size() >= 2; }));
        fakewin::set_cursor_pos(x, y);
        size_t moved = Writes().size();
        EXPECT_TRUE(Serve([&] { return Writes().size() >= moved + 2; }));
        cam->StopRecording();
        EXPECT_TRUE(Serve([this] { return cam->RecordThread == nullptr; }));
        return Writes();
    }
    // Waits for the condition, running the worker's calls on this (the main) thread when serve
    // is set; false after ten seconds.
    static bool Serve(const std::function<bool()> &done, bool serve = true) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (!serve || !CheckSynchronize())
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (std::chrono::steady_clock::now() > deadline) return false;
        }
        return true;
    }
    // The colour of a written 32-bit frame's pixel (row 0 at the top).
    static COLORREF WrittenPixel(const fakewin::AviWrite &w, int width, int height, int x, int y) {
        const BYTE *p = w.data.data() + ((size_t)(height - 1 - y) * width + x) * 4;
        return RGB(p[2], p[1], p[0]);
    }
    std::unique_ptr<TScreenCam> cam;
};

TEST_F(GrabberInARecording, TheMarkerBlinksWhileTheMainThreadIsBusy) {
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    ASSERT_TRUE(Serve([] { return Writes().size() >= 2; }));
    size_t written = Writes().size(), painted = fakewin::window_paints().size();
    // The main thread is busy elsewhere: frames and both paints of each go on. The writer
    // trails the loop, whose paints may already be ahead of the writes counted: wait for both.
    ASSERT_TRUE(Serve(
        [&] {
            return Writes().size() >= written + 3 && fakewin::window_paints().size() >= painted + 6;
        },
        false));
    auto paints = fakewin::window_paints();
    for (size_t i = 0; i < paints.size(); i++) {
        EXPECT_EQ(paints[i].hwnd, cam->MarkerWindow->Handle());
        EXPECT_EQ(paints[i].brush, i % 2 ? MarkerIdleColor : MarkerActiveColor) << i;
    }
}

TEST_F(GrabberInARecording, EveryFrameOfARunHoldsTheScreenOfItsGrab) {
    // The default compressor takes multiples of 4 only: the run's first grabs are at the
    // size asked for, the rest at the size grown to 68 x 52.
    fakewin::FakeCompressor msvc;
    msvc.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
    msvc.accepts = [](const BITMAPINFOHEADER &h) {
        return h.biWidth % 4 == 0 && h.biHeight % 4 == 0;
    };
    fakewin::install_compressor(msvc);
    cam->RecordCursor = false;
    fakewin::fill_screen_rect(0, 0, 1024, 768, RGB(200, 0, 0));
    cam->StartRecording(10, 20, 66, 50, "test.avi");
    ASSERT_TRUE(Serve([] { return Writes().size() >= 2; }));
    fakewin::fill_screen_rect(0, 0, 1024, 768, RGB(0, 0, 200));
    size_t changed = Writes().size();
    ASSERT_TRUE(Serve([&] { return Writes().size() >= changed + 2; }));
    cam->StopRecording();
    ASSERT_TRUE(Serve([this] { return cam->RecordThread == nullptr; }));

    auto writes = Writes();
    ASSERT_EQ(writes[0].size, 68 * 52 * 4);
    for (int corner : {0, 1}) {
        int x = corner * 67, y = corner * 51;
        EXPECT_EQ(WrittenPixel(writes[0], 68, 52, x, y), RGB(200, 0, 0));
        EXPECT_EQ(WrittenPixel(writes.back(), 68, 52, x, y), RGB(0, 0, 200));
    }
    // Whatever the run kept for its grabs went with it.
    EXPECT_EQ(cam->HeldGrab[0], nullptr);
    EXPECT_EQ(cam->HeldGrab[1], nullptr);
}

TEST_F(GrabberInARecording, AnAreaOffTheScreenKeepsNoCursorOfAnEarlierFrame) {
    // 24 columns of the area lie right of the screen; the cursor at the edge reaches into them.
    fakewin::fill_screen_rect(0, 0, 1024, 768, RGB(0, 0, 200));
    fakewin::set_cursor_pos(1020, 40);
    auto writes = RecordMovingTheCursorTo(1024 - 40, 20, 0, 0);
    ASSERT_GE(writes.size(), 4u);
    // The arrow's 11th row, from its hot spot at (36, 20) of the frame, reaches off the screen.
    EXPECT_EQ(WrittenPixel(writes[0], 64, 48, 42, 30), RGB(255, 255, 255));
    EXPECT_EQ(WrittenPixel(writes[0], 64, 48, 46, 30), RGB(0, 0, 0));
    EXPECT_EQ(WrittenPixel(writes[0], 64, 48, 48, 30), RGB(0, 0, 0));
    for (int x = 40; x < 64; x++)
        for (int y = 0; y < 48; y++)
            ASSERT_EQ(WrittenPixel(writes.back(), 64, 48, x, y), RGB(0, 0, 0)) << x << "," << y;
}

TEST_F(GrabberInARecording, AnAreaAboveTheScreenKeepsNoCursorOfAnEarlierFrame) {
    // A shown cursor whose hot spot lies deep inside it puts the arrow above the screen's top
    // edge, into the 24 rows of the area that lie above it.
    fakewin::fill_screen_rect(0, 0, 1024, 768, RGB(0, 0, 200));
    fakewin::set_cursor_hotspot(20, 20);
    fakewin::set_cursor_pos(40, 2);
    auto writes = RecordMovingTheCursorTo(10, -24, 600, 600);
    ASSERT_GE(writes.size(), 4u);
    auto arrowAbove = [](const fakewin::AviWrite &w) {
        for (int y = 0; y < 24; y++)
            for (int x = 0; x < 64; x++)
                if (WrittenPixel(w, 64, 48, x, y) != RGB(0, 0, 0)) return true;
        return false;
    };
    EXPECT_TRUE(arrowAbove(writes[0]));
    EXPECT_FALSE(arrowAbove(writes.back()));
}

TEST_F(GrabberInARecording, AnAreaBelowTheScreenKeepsNoCursorOfAnEarlierFrame) {
    // A monitor above the primary: the virtual screen's top is not its left. The arrow reaches
    // below the screen's bottom edge, into the 24 rows of the area that lie below it.
    fakewin::set_monitors({{{0, 0, 1024, 768}, 96}, {{0, -768, 1024, 0}, 96}}, 32);
    cam = std::make_unique<TScreenCam>(nullptr); // it reads the virtual screen when made
    cam->MsPerFrame = 20;
    fakewin::fill_screen_rect(0, -768, 1024, 768, RGB(0, 0, 200));
    fakewin::set_cursor_pos(40, 760);
    auto writes = RecordMovingTheCursorTo(10, 768 - 24, 600, 600);
    ASSERT_GE(writes.size(), 4u);
    auto arrowBelow = [](const fakewin::AviWrite &w) {
        for (int y = 24; y < 48; y++)
            for (int x = 0; x < 64; x++)
                if (WrittenPixel(w, 64, 48, x, y) != RGB(0, 0, 0)) return true;
        return false;
    };
    EXPECT_TRUE(arrowBelow(writes[0]));
    EXPECT_FALSE(arrowBelow(writes.back()));
}

// Read in place from 16 bits up, read out into a block of the writer's below; that block goes
// when the files close (the fixture counts live blocks).
TEST_F(GrabberInARecording, FramesKeepTheirRowsPaddingAtEveryDepth) {
    for (int depth : {8, 16, 24}) {
        fakewin::set_screen(1024, 768, depth);
        cam = std::make_unique<TScreenCam>(nullptr); // it reads the depth when made
        cam->MsPerFrame = 20;
        auto writes = RecordMovingTheCursorTo(10, 20, 600, 600, 63);
        ASSERT_GE(writes.size(), 4u);
        EXPECT_EQ(writes.back().size, (63 * depth / 8 + 3) / 4 * 4 * 48) << depth;
    }
}

TEST_F(GrabberInARecording, AnAreaGrownInHeightOnlyIsGrabbedAtTheGrownSize) {
    // The width already suits the default compressor; the kept surface must follow the height.
    fakewin::FakeCompressor msvc;
    msvc.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
    msvc.accepts = [](const BITMAPINFOHEADER &h) {
        return h.biWidth % 4 == 0 && h.biHeight % 4 == 0;
    };
    fakewin::install_compressor(msvc);
    cam->StartRecording(10, 20, 68, 50, "test.avi");
    ASSERT_TRUE(Serve([] { return Writes().size() >= 2; }));
    cam->StopRecording();
    ASSERT_TRUE(Serve([this] { return cam->RecordThread == nullptr; }));
    EXPECT_EQ(fakewin::avi_files().back().header.rcFrame.bottom, 52);
    for (auto &w : Writes())
        EXPECT_EQ(w.size, 68 * 52 * 4);
}

TEST_F(GrabberInARecording, FramesAfterTheFirstNeedNoNewBlock) {
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    ASSERT_TRUE(Serve([] { return Writes().size() >= 2; }));
    // From here on every allocation fails: the run goes on with the block it has.
    fakewin::fail_global_allocs(1000000);
    size_t written = Writes().size();
    ASSERT_TRUE(Serve([&] { return Writes().size() >= written + 3; }));
    cam->StopRecording();
    ASSERT_TRUE(Serve([this] { return cam->RecordThread == nullptr; }));
    fakewin::fail_global_allocs(0);
    EXPECT_TRUE(fakewin::message_boxes().empty()) << fakewin::message_boxes()[0].text;
}

TEST_F(GrabberInARecording, AFailedReadOutGivesZeroPixelsAndOneBoxARun) {
    // Read out on the writer: a bitmap of the screen's kind (a DIB section's bits are read in
    // place).
    fakewin::set_screen(1024, 768, 8);
    cam = std::make_unique<TScreenCam>(nullptr);
    cam->MsPerFrame = 20;
    cam->RecordCursor = false;
    fakewin::fill_screen_rect(0, 0, 1024, 768, RGB(200, 100, 50));
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    ASSERT_TRUE(Serve([] { return Writes().size() >= 3; }));
    size_t before = Writes().size();
    fakewin::fail_get_dibits(3);
    ASSERT_TRUE(Serve([&] { return Writes().size() >= before + 4; }));
    cam->StopRecording();
    ASSERT_TRUE(Serve([this] { return cam->RecordThread == nullptr; }));

    // The frames whose read-out failed hold zeros, the others the screen; one box tells of it.
    auto writes = Writes();
    int zero = 0, screen = 0;
    for (auto &w : writes) {
        bool allZero = true;
        for (BYTE b : w.data)
            allZero = allZero && b == 0;
        zero += allZero;
        screen += w.data == writes[0].data;
    }
    EXPECT_EQ(zero, 3);
    EXPECT_EQ(screen, (int)writes.size() - 3);
    ASSERT_EQ(fakewin::message_boxes().size(), 1u);
    EXPECT_EQ(fakewin::message_boxes()[0].text, "Error retrieving bitmap bits");
    // The next run tells of it again.
    fakewin::fail_get_dibits(1);
    RecordMovingTheCursorTo(10, 20, 0, 0);
    EXPECT_EQ(fakewin::message_boxes().size(), 2u);
}

TEST_F(GrabberInARecording, AnAreaOfWidthOrHeightZeroIsTheSystemsOnePixelBitmap) {
    for (size_t width : {0, 64}) {
        cam->StartRecording(10, 20, (int)width, 48 - (int)width * 3 / 4, "test.avi");
        ASSERT_TRUE(Serve(
            [&] { return fakewin::avi_files().size() > width / 64 && Writes().size() >= 3; }));
        cam->StopRecording();
        ASSERT_TRUE(Serve([this] { return cam->RecordThread == nullptr; }));
        EXPECT_EQ(Writes().back().size, 4);
    }
    EXPECT_TRUE(fakewin::message_boxes().empty()) << fakewin::message_boxes()[0].text;
}

} // namespace
