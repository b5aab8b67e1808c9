// The rectangle a drag or a click takes, on the virtual screen.
#include "ui/arearules.h"

#include <algorithm>
#include <cstdlib>

namespace {

// DWMWA_EXTENDED_FRAME_BOUNDS (Windows Vista on), which SDK headers for older targets leave out.
constexpr DWORD ExtendedFrameBounds = 9;

// A window's rectangle on the screen. A top-level window's is its visible frame where the desktop
// composition knows it: the frame GetWindowRect gives takes in borders that are invisible from
// Windows 10 on, through which the windows behind show.
bool WindowBounds(HWND Window, bool TopLevel, RECT &Bounds) {
    using DwmAttribute = HRESULT(CALLBACK *)(HWND, DWORD, void *, DWORD);
    static HMODULE dwm = LoadLibraryA("dwmapi.dll");
    static auto attribute =
        dwm ? (DwmAttribute)(void *)GetProcAddress(dwm, "DwmGetWindowAttribute") : nullptr;
    if (TopLevel && attribute &&
        attribute(Window, ExtendedFrameBounds, &Bounds, sizeof(Bounds)) == 0 && !IsEmpty(Bounds))
        return true;
    return GetWindowRect(Window, &Bounds) != FALSE;
}

} // namespace

bool IsEmpty(const RECT &R) { return R.right <= R.left || R.bottom <= R.top; }

RECT Intersection(const RECT &A, const RECT &B) {
    RECT r = {std::max(A.left, B.left), std::max(A.top, B.top), std::min(A.right, B.right),
              std::min(A.bottom, B.bottom)};
    return IsEmpty(r) ? RECT{0, 0, 0, 0} : r;
}

RECT Union(const RECT &A, const RECT &B) {
    if (IsEmpty(A)) return B;
    if (IsEmpty(B)) return A;
    return {std::min(A.left, B.left), std::min(A.top, B.top), std::max(A.right, B.right),
            std::max(A.bottom, B.bottom)};
}

RECT Moved(RECT R, LONG Dx, LONG Dy) {
    return {R.left + Dx, R.top + Dy, R.right + Dx, R.bottom + Dy};
}

bool IsClick(POINT Press, POINT Release) {
    return std::abs(Release.x - Press.x) <= ClickSlop && std::abs(Release.y - Press.y) <= ClickSlop;
}

RECT VirtualScreen() {
    int x = GetSystemMetrics(SM_XVIRTUALSCREEN), y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {x, y, x + GetSystemMetrics(SM_CXVIRTUALSCREEN),
            y + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

RECT DraggedArea(POINT From, POINT To, const RECT &Screen) {
    RECT area = {std::min(From.x, To.x), std::min(From.y, To.y), std::max(From.x, To.x) + 1,
                 std::max(From.y, To.y) + 1};
    return Intersection(area, Screen);
}

RECT WindowArea(POINT Pt, const RECT &Screen) {
    HWND hit = WindowFromPoint(Pt);
    HWND top = hit ? GetAncestor(hit, GA_ROOT) : nullptr;
    DWORD process = 0;
    if (top) GetWindowThreadProcessId(top, &process);
    if (!top || top == GetDesktopWindow() || process == GetCurrentProcessId()) return {};
    // The visible desktop is the shell's window, over every monitor: it gives the one clicked.
    if (top == GetShellWindow()) {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        if (!GetMonitorInfoA(MonitorFromPoint(Pt, MONITOR_DEFAULTTONEAREST), &monitor)) return {};
        return Intersection(monitor.rcMonitor, Screen);
    }
    // Down to the deepest child there; a disabled one counts (a player's video surface may be).
    hit = top;
    for (;;) {
        POINT local = Pt;
        ScreenToClient(hit, &local);
        HWND child = ChildWindowFromPointEx(hit, local, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
        if (!child || child == hit) break;
        hit = child;
    }
    RECT bounds;
    if (!WindowBounds(hit, hit == top, bounds)) return {};
    return Intersection(bounds, Screen);
}
