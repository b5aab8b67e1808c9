// The frame grabber: a screen area with the arrow cursor drawn in, as a packed DIB in a
// movable global block.
#include "recorder/scrcam.h"
#include "framework/gdiholders.h"

#include <cstdint>
#include <cstring>

namespace {
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
        if (!GetDIBits(dc.get(), Bitmap, 0, (UINT)bm.bmHeight,
                       lock.ptr + header->biSize + colorTable, (BITMAPINFO *)header,
                       DIB_RGB_COLORS))
            MessageBox(nullptr, "Error retrieving bitmap bits", "Error", MB_OK);
        // GetDIBits may rewrite the count of colours used.
        header->biClrUsed = colorTable / 4;
    }
    return mem;
}

BITMAPINFOHEADER *TScreenCam::CaptureFrame(int Left, int Top, int Width, int Height) {
    // Declared so that they go back in the grab's order: bitmap, memory context, screen.
    WindowDC screen(nullptr);
    if (ShowMarker && RecordThread) PaintMarker(true);

    MemoryDC memory(screen.get());
    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.get(), Width, Height));
    {
        // The bitmap must be out of the context again before it is converted.
        Selection selected(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, Width, Height, screen.get(), Left, Top, SRCCOPY);

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
            DrawIcon(memory.get(), x, y, ArrowCursor);
        }
    }

    HGLOBAL mem = BitmapToDIB(bitmap.get(), BitsPerPixel);
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
