// The Record command's look at the screen: full-screen snapshots about every 100 ms, each read
// out once with GetDIBits and compared with the one before in memory, the changes gathered in a
// ChangeMap; then the picture chosen among them, taken out to its edges and snapped to the
// window it nearly fills.
#include "ui/areadetect.h"
#include "framework/gdiholders.h"

#include <algorithm>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

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

// The program's own windows, in snapshot pixels: they change while it looks (the caption says
// that it looks) and are never the picture.
BOOL CALLBACK CollectOwnWindow(HWND Window, LPARAM Boxes) {
    RECT r;
    if (IsWindowVisible(Window) && GetWindowRect(Window, &r))
        ((std::vector<PixelBox> *)Boxes)->push_back({r.left, r.top, r.right - 1, r.bottom - 1});
    return TRUE;
}

void ClearOwnWindows(ChangeMap &Map, int Left, int Top) {
    std::vector<PixelBox> own;
    EnumThreadWindows(GetCurrentThreadId(), &CollectOwnWindow, (LPARAM)&own);
    for (PixelBox b : own)
        Map.Clear({b.Left - Left, b.Top - Top, b.Right - Left, b.Bottom - Top});
}

// The windows and controls under the middle of Box (screen pixels) that the picture might
// fill: from the top-level window down to the deepest child there, each with its client area.
// None of this program, nor the desktop.
std::vector<PixelBox> WindowsUnder(const PixelBox &Box) {
    std::vector<PixelBox> found;
    POINT middle = {(Box.Left + Box.Right) / 2, (Box.Top + Box.Bottom) / 2};
    HWND hit = WindowFromPoint(middle);
    HWND window = hit ? GetAncestor(hit, GA_ROOT) : nullptr;
    DWORD process = 0;
    if (window) GetWindowThreadProcessId(window, &process);
    if (!window || window == GetDesktopWindow() || process == GetCurrentProcessId()) return found;
    for (int depth = 0; window && depth < 32; depth++) {
        RECT r;
        if (GetWindowRect(window, &r)) found.push_back({r.left, r.top, r.right - 1, r.bottom - 1});
        POINT origin = {0, 0}, local = middle;
        ScreenToClient(window, &origin);
        if (GetClientRect(window, &r))
            found.push_back({r.left - origin.x, r.top - origin.y, r.right - 1 - origin.x,
                             r.bottom - 1 - origin.y});
        ScreenToClient(window, &local);
        HWND child = ChildWindowFromPointEx(window, local, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        window = child == window ? nullptr : child;
    }
    return found;
}

} // namespace

bool DetectChangingArea(int &Left, int &Top, int &Right, int &Bottom, const LookWait &Wait) {
    Left = Top = Right = Bottom = 0;
    // Shown again on every path out, a failed snapshot included: the user must not be left
    // without a mouse cursor behind an error box.
    HiddenCursor hidden;
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (width <= 0 || height <= 0) return true;
    std::optional<ScreenCopy> copy;
    std::vector<uint32_t> before, after;
    auto snapshot = [&](std::vector<uint32_t> &pixels) {
        // The desktop's context is held only while the screen is copied, not across a wait.
        WindowDC desktop(GetDesktopWindow());
        if (!copy) copy.emplace(desktop.get(), width, height);
        copy->Take(desktop.get(), left, top);
        if (pixels.empty()) copy->Reserve(pixels);
        copy->ReadOut(pixels);
    };
    snapshot(before);
    ChangeMap changes(width, height);
    // The look's times run by the clock: on a busy machine a snapshot may take longer than the
    // interval, and the look still ends on time.
    DWORD start = timeGetTime(), end = LongestStillLook, last = 0;
    bool moved = false;
    for (DWORD due = SnapshotInterval;; due += SnapshotInterval) {
        DWORD now = timeGetTime() - start;
        if (!(Wait ? Wait(due > now ? due - now : 0) : (Sleep(due > now ? due - now : 0), true)))
            return false;
        snapshot(after);
        changes.Add(before.data(), after.data());
        before.swap(after);
        ClearOwnWindows(changes, left, top);
        now = timeGetTime() - start;
        if (!moved && !changes.Empty()) {
            moved = true;
            end = last + LookAfterMotion;
        }
        if (now >= end) break;
        last = now;
        due = std::max(due, now);
    }
    PixelBox found = ChooseRegion(changes);
    if (found.Empty()) return true;
    found = SnapToEdges(before.data(), width, height, found);
    found = {found.Left + left, found.Top + top, found.Right + left, found.Bottom + top};
    found = SnapToWindow(found, WindowsUnder(found));
    Left = found.Left, Top = found.Top, Right = found.Right, Bottom = found.Bottom;
    return true;
}
