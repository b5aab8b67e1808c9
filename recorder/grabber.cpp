// The frame grabber: a screen area with the arrow cursor drawn in, as a packed DIB in a
// movable global block.
#include "recorder/scrcam.h"
#include "recorder/recordthread.h"

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

// A recording run shows "Error retrieving bitmap bits" once: what fails one read-out fails the
// next, and a modal box per frame would bury the user and hold up Stop and the next recording.
thread_local bool InRun = false, ReadOutFailureShown = false;

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

GrabHeldForRun::GrabHeldForRun(TScreenCam *ARecorder) : Recorder(ARecorder) {
    InRun = true;
    ReadOutFailureShown = false;
}

GrabHeldForRun::~GrabHeldForRun() {
    Recorder->HeldGrab.reset();
    FreeSpareFrameBlock();
    InRun = false;
}

namespace {
// A DIB section at the frame's depth and row order (the recording's grab) is read out by a copy
// of its bits: under Wine GetDIBits takes two and a half times as long (1.25 ms against 0.5 for
// a full-HD frame), on the worker between two grabs.
bool CopySectionBits(HBITMAP Bitmap, const BITMAPINFOHEADER &Frame, BYTE *Pixels) {
    DIBSECTION section = {};
    if (GetObject(Bitmap, sizeof(section), &section) != (int)sizeof(section) ||
        !section.dsBm.bmBits || section.dsBmih.biCompression != BI_RGB ||
        section.dsBmih.biBitCount != Frame.biBitCount || section.dsBmih.biWidth != Frame.biWidth ||
        section.dsBmih.biHeight != Frame.biHeight)
        return false;
    GdiFlush(); // what was drawn into it is there
    std::memcpy(Pixels, section.dsBm.bmBits, Frame.biSizeImage);
    return true;
}
} // namespace

HGLOBAL BitmapToDIB(HBITMAP Bitmap, int BitDepth) {
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
            if (!ReadOutFailureShown)
                MessageBox(nullptr, "Error retrieving bitmap bits", "Error", MB_OK | RunBox);
            ReadOutFailureShown = InRun;
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

BITMAPINFOHEADER *TScreenCam::CaptureFrame(int Left, int Top, int Width, int Height) {
    MarkStage(LoopStage::Bookkeeping);
    // The recording worker keeps its surface from frame to frame; any other caller (the
    // catalogue's probe, a test) has one for this grab alone.
    std::unique_ptr<GrabSurface> own;
    GrabSurface *surface = nullptr;
    if (CurrentRecordThread()) {
        if (!HeldGrab || HeldGrab->Width != Width || HeldGrab->Height != Height ||
            HeldGrab->Depth != BitsPerPixel) {
            HeldGrab.reset();
            HeldGrab = std::make_unique<GrabSurface>(Width, Height, BitsPerPixel);
        }
        surface = HeldGrab.get();
    } else {
        own = std::make_unique<GrabSurface>(Width, Height, BitsPerPixel);
        surface = own.get();
    }
    if (ShowMarker && RecordThread) PaintMarker(true);
    MarkStage(LoopStage::MarkerActive);

    HDC memory = surface->Memory.get();
    {
        // The bitmap must be out of the context again before it is converted.
        Selection selected(memory, surface->Bitmap.get());
        if (Left < ScreenLeft || Top < ScreenTop || Left + Width > ScreenLeft + ScreenWidth ||
            Top + Height > ScreenTop + ScreenHeight) {
            // The copy leaves what lies off the screen alone: black there, not the cursor that
            // an earlier frame drew.
            Selection black(memory, GetStockObject(BLACK_BRUSH));
            Selection noOutline(memory, GetStockObject(NULL_PEN));
            Rectangle(memory, 0, 0, Width + 1, Height + 1);
        }
        BitBlt(memory, 0, 0, Width, Height, surface->Screen.get(), Left, Top, SRCCOPY);
        MarkStage(LoopStage::Grab);

        if (RecordCursor) {
            // One question gives the position and the cursor shown; the image is always the
            // arrow, placed by the shown cursor's hot spot.
            CURSORINFO shown = {};
            shown.cbSize = sizeof(shown);
            if (!GetCursorInfo(&shown)) {
                shown.hCursor = nullptr;
                GetCursorPos(&shown.ptScreenPos);
            }
            POINT hot = HotSpotOf(*surface, shown.hCursor);
            int x = shown.ptScreenPos.x - Left - hot.x, y = shown.ptScreenPos.y - Top - hot.y;
            // Drawn from its top-left corner: an arrow that cannot reach the frame is not drawn
            // (under Wine the drawing costs about as much as the read-out of a small frame).
            if (x < Width && y < Height && x > -MaxCursorSize && y > -MaxCursorSize)
                DrawIcon(memory, x, y, ArrowCursor);
        }
        MarkStage(LoopStage::Cursor);
    }

    HGLOBAL mem = BitmapToDIB(surface->Bitmap.get(), BitsPerPixel);
    auto *frame = mem ? (BITMAPINFOHEADER *)GlobalLock(mem) : nullptr;
    if (!frame) {
        if (mem) GlobalFree(mem);
        MessageBox(nullptr, "Error capturing a frame!", "Error", MB_ICONWARNING | RunBox);
        return nullptr;
    }
    own.reset();
    MarkStage(LoopStage::Conversion);
    if (ShowMarker && RecordThread) PaintMarker(false);
    MarkStage(LoopStage::MarkerIdle);
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
