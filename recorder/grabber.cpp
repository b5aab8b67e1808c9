// The frame grabber: a screen area with the arrow cursor drawn in, as a packed DIB in a
// movable global block.
#include "recorder/scrcam.h"
#include "recorder/recordthread.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {
DWORD ColorTableSize(int BitDepth) { return BitDepth <= 8 ? 4u << BitDepth : 0; }

// No cursor the system draws is wider or taller.
constexpr int MaxCursorSize = 256;

// The recording worker's last frame block, kept for its next grab instead of freed: a full-HD
// frame is 8 MB that the system would otherwise map and fault in anew at every pass. Only a
// recording worker keeps one, and its run gives it back when it ends.
thread_local HGLOBAL SpareBlock = nullptr;

// A movable block of that size: the spare one when it fits, else a new zero-filled one.
HGLOBAL FrameBlock(size_t Size) {
    HGLOBAL spare = SpareBlock;
    SpareBlock = nullptr;
    if (spare && GlobalSize(spare) == Size) return spare;
    if (spare) GlobalFree(spare);
    return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, Size);
}
} // namespace

void FreeSpareFrameBlock() {
    if (SpareBlock) GlobalFree(SpareBlock);
    SpareBlock = nullptr;
}

// A recording run shows "Error retrieving bitmap bits" once: what fails one read-out fails the
// next, and a modal box per frame would bury the user and hold up Stop and the next recording.
GrabHeldForRun::GrabHeldForRun(TScreenCam *ARecorder) : Recorder(ARecorder) {
    Recorder->ReadOutFailureShown = false;
}

GrabHeldForRun::~GrabHeldForRun() {
    for (auto &held : Recorder->HeldGrab)
        held.reset();
    FreeSpareFrameBlock();
}

namespace {
// The bits of a DIB section of that size and depth, rows bottom-up, once what was drawn into it
// is there; null for any other bitmap. Read straight from the section, a recording's frame needs
// no copy: under Wine GetDIBits takes two and a half times as long as a copy (1.25 ms against 0.5
// for a full-HD frame).
const BYTE *SectionBits(HBITMAP Bitmap, LONG Width, LONG Height, int Depth) {
    DIBSECTION section = {};
    if (GetObject(Bitmap, sizeof(section), &section) != (int)sizeof(section) ||
        !section.dsBm.bmBits || section.dsBmih.biCompression != BI_RGB ||
        section.dsBmih.biBitCount != Depth || section.dsBmih.biWidth != Width ||
        section.dsBmih.biHeight != Height)
        return nullptr;
    GdiFlush();
    return (const BYTE *)section.dsBm.bmBits;
}

bool CopySectionBits(HBITMAP Bitmap, const BITMAPINFOHEADER &Frame, BYTE *Pixels) {
    const BYTE *bits = SectionBits(Bitmap, Frame.biWidth, Frame.biHeight, Frame.biBitCount);
    if (bits) std::memcpy(Pixels, bits, Frame.biSizeImage);
    return bits != nullptr;
}

DWORD RowBytes(int Width, int Depth) { return ((DWORD)Width * Depth + 31) / 32 * 4; }
} // namespace

HGLOBAL BitmapToDIB(HBITMAP Bitmap, int BitDepth, std::atomic<bool> *FailureShown) {
    // A depth outside 1..32 is refused before it takes part in any size or shift.
    if (BitDepth <= 0 || BitDepth > 32) return nullptr;
    BITMAP bm = {};
    GetObject(Bitmap, sizeof(bm), &bm);

    uint64_t rowSize = ((uint64_t)bm.bmWidth * (uint64_t)BitDepth + 31) / 32 * 4;
    DWORD colorTable = ColorTableSize(BitDepth);
    uint64_t total = sizeof(BITMAPINFOHEADER) + colorTable + rowSize * (uint64_t)bm.bmHeight;
    if (bm.bmWidth < 0 || bm.bmHeight < 0 || total > (uint64_t)INT32_MAX) return nullptr;

    HGLOBAL mem = FrameBlock((size_t)total);
    if (!mem) return nullptr;
    {
        BlockLock lock(mem);
        if (!lock.ptr) {
            GlobalFree(mem);
            return nullptr;
        }
        auto *header = (BITMAPINFOHEADER *)lock.ptr;
        header->biSize = sizeof(BITMAPINFOHEADER);
        header->biWidth = bm.bmWidth;
        header->biHeight = bm.bmHeight;
        header->biPlanes = 1;
        header->biBitCount = (WORD)BitDepth;
        header->biCompression = BI_RGB;
        header->biSizeImage = (DWORD)(total - sizeof(BITMAPINFOHEADER) - colorTable);
        header->biXPelsPerMeter = 0;
        header->biYPelsPerMeter = 0;
        header->biClrUsed = colorTable / 4;
        header->biClrImportant = 0;

        MemoryDC dc(nullptr);
        BYTE *pixels = lock.ptr + header->biSize + colorTable;
        if (!CopySectionBits(Bitmap, *header, pixels) &&
            !GetDIBits(dc.get(), Bitmap, 0, (UINT)bm.bmHeight, pixels, (BITMAPINFO *)header,
                       DIB_RGB_COLORS)) {
            // A reused block still holds the frame before.
            std::memset(pixels, 0, header->biSizeImage);
            if (!FailureShown || !FailureShown->exchange(true))
                MessageBox(nullptr, "Error retrieving bitmap bits", "Error", MB_OK | RunBox);
        }
        // GetDIBits may rewrite the count of colours used.
        header->biClrUsed = colorTable / 4;
    }
    return mem;
}

namespace {
// At 16 bits and more the grab goes into a DIB section of the frame's own depth: the screen's
// pixels are converted once, by the copy, and the read-out is a plain copy (on Wine a copy into
// a bitmap that only the screen driver knows is slower). Below that the frame's colour table is
// the device's, so the bitmap is the screen's kind. So is an area of width or height 0 (Record
// with nothing changing), which no DIB section can hold: the system gives its 1 x 1 bitmap.
HBITMAP MakeGrabBitmap(HDC Screen, int Width, int Height, int Depth) {
    if (Depth < 16 || Width == 0 || Height == 0)
        return CreateCompatibleBitmap(Screen, Width, Height);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = (WORD)Depth;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    return CreateDIBSection(Screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
}

// The hot spot of the cursor shown on the screen, which a worker thread's own GetCursor does
// not give; 0, 0 when it cannot be had.
POINT HotSpotOf(GrabSurface &Surface, HCURSOR Shown) {
    if (Shown && Shown == Surface.HotSpotOf) return Surface.HotSpot;
    POINT hot = {0, 0};
    ICONINFO info = {};
    if (Shown && GetIconInfo(Shown, &info)) {
        hot = POINT{(LONG)info.xHotspot, (LONG)info.yHotspot};
        if (info.hbmMask) DeleteObject(info.hbmMask);
        if (info.hbmColor) DeleteObject(info.hbmColor);
    }
    Surface.HotSpotOf = Shown;
    Surface.HotSpot = hot;
    return hot;
}
} // namespace

GrabSurface::GrabSurface(int AWidth, int AHeight, int ADepth)
    : Screen(nullptr), Memory(Screen.get()),
      Bitmap(MakeGrabBitmap(Screen.get(), AWidth, AHeight, ADepth)), Width(AWidth), Height(AHeight),
      Depth(ADepth) {}

namespace {
// Marks the stage and, when the marker shows, paints it.
void PaintMarkerFor(TScreenCam &Cam, bool Active) {
    if (Cam.ShowMarker && Cam.RecordThread) Cam.PaintMarker(Active);
    Cam.MarkStage(Active ? LoopStage::MarkerActive : LoopStage::MarkerIdle);
}

// The area into the surface, with the arrow drawn in when the cursor is recorded.
void GrabInto(TScreenCam &Cam, GrabSurface &Surface, int Left, int Top) {
    PaintMarkerFor(Cam, true);
    int width = Surface.Width, height = Surface.Height;
    HDC memory = Surface.Memory.get();
    {
        // The bitmap must be out of the context again before it is read out.
        Selection selected(memory, Surface.Bitmap.get());
        if (Left < Cam.ScreenLeft || Top < Cam.ScreenTop ||
            Left + width > Cam.ScreenLeft + Cam.ScreenWidth ||
            Top + height > Cam.ScreenTop + Cam.ScreenHeight) {
            // The copy leaves what lies off the screen alone: black there, not the cursor that
            // an earlier frame drew.
            Selection black(memory, GetStockObject(BLACK_BRUSH));
            Selection noOutline(memory, GetStockObject(NULL_PEN));
            Rectangle(memory, 0, 0, width + 1, height + 1);
        }
        BitBlt(memory, 0, 0, width, height, Surface.Screen.get(), Left, Top, SRCCOPY);
        Cam.MarkStage(LoopStage::Grab);

        if (Cam.RecordCursor) {
            // One question gives the position and the cursor shown; the image is always the
            // arrow, placed by the shown cursor's hot spot.
            CURSORINFO shown = {};
            shown.cbSize = sizeof(shown);
            if (!GetCursorInfo(&shown)) {
                shown.hCursor = nullptr;
                GetCursorPos(&shown.ptScreenPos);
            }
            POINT hot = HotSpotOf(Surface, shown.hCursor);
            int x = shown.ptScreenPos.x - Left - hot.x, y = shown.ptScreenPos.y - Top - hot.y;
            // Drawn from its top-left corner: an arrow that cannot reach the frame is not drawn
            // (under Wine the drawing costs about as much as the read-out of a small frame).
            if (x < width && y < height && x > -MaxCursorSize && y > -MaxCursorSize)
                DrawIcon(memory, x, y, Cam.ArrowCursor);
        }
        // What was drawn is in the surface before another thread reads it.
        GdiFlush();
        Cam.MarkStage(LoopStage::Cursor);
    }
    PaintMarkerFor(Cam, false);
}
} // namespace

GrabSurface &TScreenCam::GrabArea(int Which, int Left, int Top, int Width, int Height) {
    MarkStage(LoopStage::Bookkeeping);
    std::unique_ptr<GrabSurface> &held = HeldGrab[Which];
    if (!held || held->Width != Width || held->Height != Height || held->Depth != BitsPerPixel) {
        held.reset();
        held = std::make_unique<GrabSurface>(Width, Height, BitsPerPixel);
        held->ReadOutFailureShown = &ReadOutFailureShown;
    }
    GrabInto(*this, *held, Left, Top);
    return *held;
}

FramePixels ReadGrab(const GrabSurface &Surface, OwnedFrame &Copy) {
    FramePixels pixels;
    if (Surface.Depth >= 16) {
        pixels.Data =
            SectionBits(Surface.Bitmap.get(), Surface.Width, Surface.Height, Surface.Depth);
        pixels.Size = RowBytes(Surface.Width, Surface.Depth) * (DWORD)Surface.Height;
        if (pixels.Data) return pixels;
    }
    // The frame before's block takes this one, on whichever thread reads.
    if (Copy.Bits) {
        HGLOBAL before = GlobalHandle(Copy.Bits);
        GlobalUnlock(before);
        Copy.Bits = nullptr;
        FreeSpareFrameBlock();
        SpareBlock = before;
    }
    HGLOBAL mem = BitmapToDIB(Surface.Bitmap.get(), Surface.Depth, Surface.ReadOutFailureShown);
    FreeSpareFrameBlock(); // one the read-out did not take
    Copy.Bits = mem ? (BITMAPINFOHEADER *)GlobalLock(mem) : nullptr;
    if (!Copy.Bits) {
        if (mem) GlobalFree(mem);
        MessageBox(nullptr, "Error capturing a frame!", "Error", MB_ICONWARNING | RunBox);
        return FramePixels{};
    }
    return FramePixels{Copy.Pixels(), Copy.Bits->biSizeImage};
}

BITMAPINFOHEADER *TScreenCam::CaptureFrame(int Left, int Top, int Width, int Height) {
    // The recording worker grabs into the first of its kept surfaces; any other caller (the
    // catalogue's probe, a test) has one for this grab alone.
    std::unique_ptr<GrabSurface> own;
    GrabSurface *surface = nullptr;
    if (CurrentRecordThread()) {
        surface = &GrabArea(0, Left, Top, Width, Height);
    } else {
        MarkStage(LoopStage::Bookkeeping);
        own = std::make_unique<GrabSurface>(Width, Height, BitsPerPixel);
        surface = own.get();
        GrabInto(*this, *surface, Left, Top);
    }
    HGLOBAL mem = BitmapToDIB(surface->Bitmap.get(), BitsPerPixel, surface->ReadOutFailureShown);
    auto *frame = mem ? (BITMAPINFOHEADER *)GlobalLock(mem) : nullptr;
    if (!frame) {
        if (mem) GlobalFree(mem);
        MessageBox(nullptr, "Error capturing a frame!", "Error", MB_ICONWARNING | RunBox);
        return nullptr;
    }
    MarkStage(LoopStage::Conversion);
    return frame;
}

void FreeFrame(BITMAPINFOHEADER *&Frame) {
    if (!Frame) return;
    HGLOBAL mem = GlobalHandle(Frame);
    GlobalUnlock(mem);
    if (CurrentRecordThread()) {
        FreeSpareFrameBlock();
        SpareBlock = mem;
    } else {
        GlobalFree(mem);
    }
    Frame = nullptr;
}
