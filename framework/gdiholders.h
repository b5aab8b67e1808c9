// The program's handle holders, in one place: each gives back what it holds when it goes out
// of scope, so every path releases it, in the reverse order of declaration.
#pragma once
#include "framework/winapi.h"

// A handle given back with Release (DeleteObject, ICClose, ...) unless it is null;
// release() hands it on to a new owner instead.
template <class H, auto Release> class Holder {
  public:
    explicit Holder(H Handle = H()) : h(Handle) {}
    ~Holder() { reset(); }
    Holder(const Holder &) = delete;
    Holder &operator=(const Holder &) = delete;
    H get() const { return h; }
    void reset() {
        if (h) Release(h);
        h = H();
    }
    H release() {
        H old = h;
        h = H();
        return old;
    }

  private:
    H h;
};

// A bitmap, brush, pen or region of our own.
template <class H> using GdiObject = Holder<H, &DeleteObject>;

// A memory device context compatible with another (the screen's for null).
struct MemoryDC : Holder<HDC, &DeleteDC> {
    explicit MemoryDC(HDC Compatible) : Holder(CreateCompatibleDC(Compatible)) {}
};

// A compressor opened in query mode; a type of 0 (nothing chosen) opens nothing.
struct QueryCompressor : Holder<HIC, &ICClose> {
    QueryCompressor(DWORD Type, DWORD Handler)
        : Holder(Type ? ICOpen(Type, Handler, ICMODE_QUERY) : nullptr) {}
};

// A window's device context (the screen's for a null window).
class WindowDC {
  public:
    explicit WindowDC(HWND Wnd) : wnd(Wnd), dc(GetDC(Wnd)) {}
    ~WindowDC() {
        if (dc) ReleaseDC(wnd, dc);
    }
    WindowDC(const WindowDC &) = delete;
    WindowDC &operator=(const WindowDC &) = delete;
    HDC get() const { return dc; }

  private:
    HWND wnd;
    HDC dc;
};

// Selects an object into a context and puts the previous one back.
class Selection {
  public:
    Selection(HDC Dc, HGDIOBJ Obj) : dc(Dc), previous(SelectObject(Dc, Obj)) {}
    ~Selection() {
        if (previous) SelectObject(dc, previous);
    }
    Selection(const Selection &) = delete;
    Selection &operator=(const Selection &) = delete;

  private:
    HDC dc;
    HGDIOBJ previous;
};

// Keeps a global block locked while it is filled or read.
class BlockLock {
  public:
    explicit BlockLock(HGLOBAL Mem) : mem(Mem), ptr((BYTE *)GlobalLock(Mem)) {}
    ~BlockLock() {
        if (ptr) GlobalUnlock(mem);
    }
    BlockLock(const BlockLock &) = delete;
    BlockLock &operator=(const BlockLock &) = delete;
    HGLOBAL mem;
    BYTE *ptr;
};

// The cursor hidden while the holder lives.
class HiddenCursor {
  public:
    HiddenCursor() { ShowCursor(FALSE); }
    ~HiddenCursor() { ShowCursor(TRUE); }
    HiddenCursor(const HiddenCursor &) = delete;
    HiddenCursor &operator=(const HiddenCursor &) = delete;
};

// The format in which the screen is read: 32 bits per pixel, rows top-down.
inline BITMAPINFO TopDown32Format(int Width, int Height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}
