// The main window out of the recordings: left out of screen copies by the system where it can,
// else moved out of the recorded area for the recording.
#include "ui/ownwindow.h"
#include "ui/arearules.h"

#include <algorithm>
#include <climits>

namespace {

// SetWindowDisplayAffinity's value that leaves a window out of screen copies; systems before
// Windows 10 2004 (build 19041) take it as WDA_MONITOR, which copies the window black.
constexpr DWORD ExcludeFromCapture = 0x11;
constexpr DWORD FirstBuildThatExcludes = 19041;

// OSVERSIONINFOW, as RtlGetVersion fills it.
struct SystemVersion {
    DWORD Size, Major, Minor, Build, Platform;
    WCHAR ServicePack[128];
};

DWORD SystemBuild() {
    // GetVersionEx reports what the manifest allows; RtlGetVersion the system itself.
    using RtlGetVersionCall = LONG(CALLBACK *)(SystemVersion *);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    auto call = ntdll ? (RtlGetVersionCall)(void *)GetProcAddress(ntdll, "RtlGetVersion") : nullptr;
    SystemVersion info{};
    info.Size = sizeof(info);
    return call && call(&info) == 0 ? info.Build : 0;
}

bool Overlap(const RECT &a, const RECT &b) { return !IsEmpty(Intersection(a, b)); }

} // namespace

bool PlaceOutside(const RECT &Window, const RECT &Area, const RECT &Monitor, POINT &To) {
    LONG w = Window.right - Window.left, h = Window.bottom - Window.top;
    auto clamp = [](LONG v, LONG lo, LONG hi) { return std::max(lo, std::min(v, hi)); };
    LONG y = clamp(Window.top, Monitor.top, Monitor.bottom - h);
    LONG x = clamp(Window.left, Monitor.left, Monitor.right - w);
    const POINT places[] = {
        {Area.left - w, y}, {Area.right, y}, {x, Area.top - h}, {x, Area.bottom}};
    long long best = LLONG_MAX;
    for (const POINT &p : places) {
        RECT r = {p.x, p.y, p.x + w, p.y + h};
        bool fits = r.left >= Monitor.left && r.top >= Monitor.top && r.right <= Monitor.right &&
                    r.bottom <= Monitor.bottom;
        long long dx = p.x - Window.left, dy = p.y - Window.top, d = dx * dx + dy * dy;
        if (fits && !Overlap(r, Area) && d < best) best = d, To = p;
    }
    return best != LLONG_MAX;
}

void OwnWindowOutOfRecording::Exclude(HWND Window) {
    window = Window;
    using SetAffinity = BOOL(CALLBACK *)(HWND, DWORD);
    HMODULE user32 = GetModuleHandleA("user32.dll");
    auto set =
        user32 ? (SetAffinity)(void *)GetProcAddress(user32, "SetWindowDisplayAffinity") : nullptr;
    excluded = set && SystemBuild() >= FirstBuildThatExcludes && set(Window, ExcludeFromCapture);
}

void OwnWindowOutOfRecording::StepAside(const RECT &Area) {
    RECT now;
    if (excluded || aside || !window || !GetWindowRect(window, &now) || !Overlap(now, Area)) return;
    RECT work = VirtualScreen();
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoA(MonitorFromRect(&now, MONITOR_DEFAULTTONEAREST), &info)) work = info.rcWork;
    home = now;
    aside = true;
    POINT to;
    minimized = !PlaceOutside(now, Area, work, to);
    if (minimized)
        ShowWindow(window, SW_SHOWMINNOACTIVE);
    else
        SetWindowPos(window, nullptr, to.x, to.y, now.right - now.left, now.bottom - now.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void OwnWindowOutOfRecording::ComeBack() {
    if (!aside) return;
    aside = false;
    if (!IsWindow(window)) return;
    if (minimized) ShowWindow(window, SW_SHOWNOACTIVATE);
    SetWindowPos(window, nullptr, home.left, home.top, home.right - home.left,
                 home.bottom - home.top, SWP_NOZORDER | SWP_NOACTIVATE);
}
