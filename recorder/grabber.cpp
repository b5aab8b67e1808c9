// The frame grabber: a screen area with the arrow cursor drawn in, as a packed DIB in a
// movable global block.
#include "recorder/scrcam.h"

#include <cstdint>
#include <cstring>

namespace {
// Holders release in the reverse order of their declaration, which is the order the grab
// gives its objects back: bitmap, memory context, screen context.
class ScreenDC {
  public:
    ScreenDC() : dc(GetDC(nullptr)) {}
    ~ScreenDC() { ReleaseDC(nullptr, dc); }
    ScreenDC(const ScreenDC &) = delete;
    ScreenDC &operator=(const ScreenDC &) = delete;
    HDC dc;
};

class MemoryDC {
  public:
    explicit MemoryDC(HDC compatible) : dc(CreateCompatibleDC(compatible)) {}
    ~MemoryDC() { reset(); }
    MemoryDC(const MemoryDC &) = delete;
    MemoryDC &operator=(const MemoryDC &) = delete;
    void reset() {
        if (dc) DeleteDC(dc);
        dc = nullptr;
    }
    HDC dc;
};

class Bitmap {
  public:
    explicit Bitmap(HBITMAP b) : bmp(b) {}
    ~Bitmap() { reset(); }
    Bitmap(const Bitmap &) = delete;
    Bitmap &operator=(const Bitmap &) = delete;
    void reset() {
        if (bmp) DeleteObject(bmp);
        bmp = nullptr;
    }
    HBITMAP bmp;
};

// Keeps a block locked for as long as it is filled.
class BlockLock {
  public:
    explicit BlockLock(HGLOBAL mem) : mem(mem), ptr((BYTE *)GlobalLock(mem)) {}
    ~BlockLock() {
        if (ptr) GlobalUnlock(mem);
    }
    BlockLock(const BlockLock &) = delete;
    BlockLock &operator=(const BlockLock &) = delete;
    HGLOBAL mem;
    BYTE *ptr;
};

DWORD ColorTableSize(int BitDepth) { return BitDepth <= 8 ? 4u << BitDepth : 0; }
} // namespace

HGLOBAL BitmapToDIB(HBITMAP Bitmap, int BitDepth) {
    BITMAP bm = {};
    GetObject(Bitmap, sizeof(bm), &bm);

    uint64_t rowSize = ((uint64_t)bm.bmWidth * (uint64_t)BitDepth + 31) / 32 * 4;
    DWORD colorTable = ColorTableSize(BitDepth);
    uint64_t total = sizeof(BITMAPINFOHEADER) + colorTable + rowSize * (uint64_t)bm.bmHeight;
    if (bm.bmWidth < 0 || bm.bmHeight < 0 || BitDepth <= 0 || BitDepth > 32 ||
        total > (uint64_t)INT32_MAX)
        return nullptr;

    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, (size_t)total);
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
        if (!GetDIBits(dc.dc, Bitmap, 0, (UINT)bm.bmHeight, lock.ptr + header->biSize + colorTable,
                       (BITMAPINFO *)header, DIB_RGB_COLORS))
            MessageBox(nullptr, "Error retrieving bitmap bits", "Error", MB_OK);
        // GetDIBits may rewrite the count of colours used.
        header->biClrUsed = colorTable / 4;
    }
    return mem;
}

BITMAPINFOHEADER *TScreenCam::CaptureFrame(int Left, int Top, int Width, int Height) {
    ScreenDC screen;
    if (ShowMarker && RecordThread) PaintMarker(true);

    MemoryDC memory(screen.dc);
    Bitmap bitmap(CreateCompatibleBitmap(screen.dc, Width, Height));
    HGDIOBJ previous = SelectObject(memory.dc, bitmap.bmp);
    BitBlt(memory.dc, 0, 0, Width, Height, screen.dc, Left, Top, SRCCOPY);

    POINT pos = {};
    GetCursorPos(&pos);
    HCURSOR shown = GetCursor();
    int x = pos.x - Left, y = pos.y - Top;
    if (RecordCursor) {
        // The hot spot is that of the cursor on the screen; the image is always the arrow.
        ICONINFO info = {};
        if (GetIconInfo(shown, &info)) {
            x -= (int)info.xHotspot;
            y -= (int)info.yHotspot;
            if (info.hbmMask) DeleteObject(info.hbmMask);
            if (info.hbmColor) DeleteObject(info.hbmColor);
        }
        DrawIcon(memory.dc, x, y, ArrowCursor);
    }
    SelectObject(memory.dc, previous);

    HGLOBAL mem = BitmapToDIB(bitmap.bmp, BitsPerPixel);
    auto *frame = mem ? (BITMAPINFOHEADER *)GlobalLock(mem) : nullptr;
    if (!frame) {
        if (mem) GlobalFree(mem);
        MessageBox(nullptr, "Error capturing a frame!", "Error", MB_ICONWARNING);
        return nullptr;
    }
    bitmap.reset();
    memory.reset();
    if (ShowMarker && RecordThread) PaintMarker(false);
    return frame;
}

void FreeFrame(BITMAPINFOHEADER *&Frame) {
    if (!Frame) return;
    HGLOBAL mem = GlobalHandle(Frame);
    GlobalUnlock(mem);
    GlobalFree(mem);
    Frame = nullptr;
}
