// The changing-area scan done the slow, obvious way: one GetPixel from each snapshot per
// scanned pixel. Tests and benchmarks hold the bulk scan against it; the program never uses it.
#pragma once
#include "framework/winapi.h"

inline void ScanChangedAreaByPixel(HDC First, HDC Second, int Width, int Height, int &Left,
                                   int &Top, int &Right, int &Bottom) {
    Left = Top = Right = Bottom = 0;
    int limit = Width - 1;
    bool leftOpen = true, topOpen = true;
    for (int y = 0; y < Height; y++) {
        for (int x = Left; x <= limit; x++) {
            if (GetPixel(First, x, y) == GetPixel(Second, x, y)) continue;
            if (leftOpen && x > Left) {
                Left = x;
                leftOpen = false;
            }
            if (x > Right) Right = x;
            if (topOpen && y > Top) {
                Top = y;
                topOpen = false;
            }
            if (y > Bottom) Bottom = y;
        }
        if (!topOpen) limit = Right;
    }
}

// A full-screen snapshot selected into its own memory context, for the reference scan.
class PixelSnapshot {
  public:
    PixelSnapshot(HDC screen, int width, int height)
        : dc(CreateCompatibleDC(screen)), bitmap(CreateCompatibleBitmap(screen, width, height)),
          old(SelectObject(dc, bitmap)) {
        BitBlt(dc, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    }
    ~PixelSnapshot() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    PixelSnapshot(const PixelSnapshot &) = delete;
    PixelSnapshot &operator=(const PixelSnapshot &) = delete;
    HDC get() const { return dc; }

  private:
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};
