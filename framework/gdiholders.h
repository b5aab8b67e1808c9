// Holders of device contexts, GDI objects and selections: each gives back what it holds when
// it goes out of scope, so every path releases it, in the reverse order of declaration.
#pragma once
#include "framework/winapi.h"

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

// A memory device context compatible with another (the screen's for null).
class MemoryDC {
  public:
    explicit MemoryDC(HDC Compatible) : dc(CreateCompatibleDC(Compatible)) {}
    ~MemoryDC() { reset(); }
    MemoryDC(const MemoryDC &) = delete;
    MemoryDC &operator=(const MemoryDC &) = delete;
    HDC get() const { return dc; }
    void reset() {
        if (dc) DeleteDC(dc);
        dc = nullptr;
    }

  private:
    HDC dc;
};

// A bitmap, brush, pen or region of our own; release() hands it on to a new owner.
template <class H> class GdiObject {
  public:
    explicit GdiObject(H Handle) : obj(Handle) {}
    ~GdiObject() { reset(); }
    GdiObject(const GdiObject &) = delete;
    GdiObject &operator=(const GdiObject &) = delete;
    H get() const { return obj; }
    void reset() {
        if (obj) DeleteObject(obj);
        obj = nullptr;
    }
    H release() {
        H h = obj;
        obj = nullptr;
        return h;
    }

  private:
    H obj;
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
