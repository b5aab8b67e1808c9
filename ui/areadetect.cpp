// The Record command's detection of the changing area: two full-screen snapshots half a
// second apart, each read out once with GetDIBits and compared in memory. Reading single
// pixels from the snapshots took most of a second on a large screen, during which the main
// window did not answer.
#include "ui/areadetect.h"
#include "framework/gdiholders.h"

#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// A copy of the whole screen as a compatible bitmap, and its pixels read out at 32 bits,
// top row first. At 16 and 8 bits per pixel the read-out gives each device pixel the colour
// that GetPixel would give it (the same 5/6-bit expansion, the same palette), so comparing
// these values finds exactly the pixels whose GetPixel colours differ.
class Snapshot {
  public:
    Snapshot(HDC screen, int width, int height)
        : bitmap(CreateCompatibleBitmap(screen, width, height)) {
        if (!bitmap.get()) throw std::runtime_error("Not enough memory for a screen snapshot.");
        MemoryDC mem(screen);
        {
            Selection sel(mem.get(), bitmap.get());
            BitBlt(mem.get(), 0, 0, width, height, screen, 0, 0, SRCCOPY);
        }
        try {
            pixels.resize((size_t)width * height);
        } catch (const std::bad_alloc &) {
            throw std::runtime_error("Not enough memory for a screen snapshot.");
        }
        struct {
            BITMAPINFOHEADER header;
            DWORD masks[3]; // room the system may fill for some formats
        } info;
        std::memset(&info, 0, sizeof(info));
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        info.header.biWidth = width;
        info.header.biHeight = -height;
        info.header.biPlanes = 1;
        info.header.biBitCount = 32;
        info.header.biCompression = BI_RGB;
        // The bitmap is out of the memory context again, as GetDIBits wants it.
        if (GetDIBits(mem.get(), bitmap.get(), 0, height, pixels.data(), (BITMAPINFO *)&info,
                      DIB_RGB_COLORS) != height)
            throw std::runtime_error("Cannot read a screen snapshot.");
    }
    const uint32_t *data() const { return pixels.data(); }

  private:
    GdiObject<HBITMAP> bitmap;
    std::vector<uint32_t> pixels;
};

} // namespace

void ScanChangedArea(const uint32_t *First, const uint32_t *Second, int Width, int Height,
                     int &Left, int &Top, int &Right, int &Bottom) {
    Left = Top = Right = Bottom = 0;
    int limit = Width - 1;
    bool leftOpen = true, topOpen = true;
    for (int y = 0; y < Height; y++) {
        const uint32_t *a = First + (size_t)y * Width, *b = Second + (size_t)y * Width;
        int start = Left;
        if (limit < start) continue;
        // Unchanged rows are by far the common case; whole-row compares skip them quickly.
        // A row that differs only in the unused byte falls through to the exact test.
        if (std::memcmp(a + start, b + start, (size_t)(limit - start + 1) * 4) == 0) {
            if (!topOpen) limit = Right;
            continue;
        }
        for (int x = start; x <= limit; x++) {
            if (((a[x] ^ b[x]) & 0x00ffffff) == 0) continue;
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

void DetectChangingArea(int &Left, int &Top, int &Right, int &Bottom) {
    Left = Top = Right = Bottom = 0;
    // Shown again on every path out, a failed snapshot included: the user must not be left
    // without a mouse cursor behind an error box.
    HiddenCursor hidden;
    int width = 0, height = 0;
    std::optional<Snapshot> first;
    {
        WindowDC desktop(GetDesktopWindow());
        width = GetDeviceCaps(desktop.get(), HORZRES);
        height = GetDeviceCaps(desktop.get(), VERTRES);
        if (width > 0 && height > 0) first.emplace(desktop.get(), width, height);
    }
    Sleep(500);
    if (!first) return;
    // This context stays held through the scan.
    WindowDC desktop(GetDesktopWindow());
    Snapshot second(desktop.get(), width, height);
    ScanChangedArea(first->data(), second.data(), width, height, Left, Top, Right, Bottom);
}
