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

// Detection pauses this long between the two copies of the screen.
constexpr DWORD DetectionPause = 500;

// Copies of the whole screen, made in one DIB section at 32 bits, top row first, and read out
// from it. One section serves both copies, and the copy is made at 32 bits by the blit itself,
// so the read-out is a plain copy. At 16 and 8 bits per pixel the conversion gives each device
// pixel the colour that GetPixel would give it (the same 5/6-bit expansion, the same palette),
// so comparing these values finds exactly the pixels whose GetPixel colours differ.
class ScreenCopy {
  public:
    ScreenCopy(HDC screen, int width, int height)
        : width(width), height(height), memory(screen), bitmap(MakeSection(screen)) {
        if (!memory.get() || !bitmap.get())
            throw std::runtime_error("Not enough memory for a screen snapshot.");
    }
    // The virtual screen from its top-left corner, which lies left of or above the primary
    // monitor's when another monitor is there.
    void Take(HDC screen, int left, int top) {
        Selection sel(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, width, height, screen, left, top, SRCCOPY);
    }
    // The pixels of the latest copy; the section is out of the memory context again, as
    // GetDIBits wants it.
    void ReadOut(std::vector<uint32_t> &pixels) {
        BITMAPINFO info = Format();
        if (GetDIBits(memory.get(), bitmap.get(), 0, height, pixels.data(), &info,
                      DIB_RGB_COLORS) != height)
            throw std::runtime_error("Cannot read a screen snapshot.");
    }
    void Reserve(std::vector<uint32_t> &pixels) const {
        try {
            pixels.resize((size_t)width * height);
        } catch (const std::bad_alloc &) {
            throw std::runtime_error("Not enough memory for a screen snapshot.");
        }
    }

  private:
    BITMAPINFO Format() const { return TopDown32Format(width, height); }
    HBITMAP MakeSection(HDC screen) const {
        BITMAPINFO info = Format();
        void *bits = nullptr;
        return CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    int width, height;
    MemoryDC memory;
    GdiObject<HBITMAP> bitmap;
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
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    std::optional<ScreenCopy> copy;
    std::vector<uint32_t> first, second;
    DWORD spent = 0;
    {
        WindowDC desktop(GetDesktopWindow());
        if (width > 0 && height > 0) {
            copy.emplace(desktop.get(), width, height);
            copy->Take(desktop.get(), left, top);
            // The pause runs from the first copy: reading it out and making room for the
            // second happen within it.
            DWORD taken = timeGetTime();
            copy->Reserve(first);
            copy->ReadOut(first);
            copy->Reserve(second);
            spent = timeGetTime() - taken;
        }
    }
    Sleep(spent < DetectionPause ? DetectionPause - spent : 0);
    if (!copy) return;
    // This context stays held through the scan.
    WindowDC desktop(GetDesktopWindow());
    copy->Take(desktop.get(), left, top);
    copy->ReadOut(second);
    ScanChangedArea(first.data(), second.data(), width, height, Left, Top, Right, Bottom);
    // The scan's rules hold within the snapshot; its bounds become screen coordinates.
    Left += left, Right += left;
    Top += top, Bottom += top;
}
