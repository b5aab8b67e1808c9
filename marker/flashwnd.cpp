// The corner marker window.
#include "marker/flashwnd.h"

namespace {
// A GDI object of the marker's own, deleted when it goes out of scope unless handed on.
template <class H> class GdiObject {
  public:
    explicit GdiObject(H h) : obj(h) {}
    ~GdiObject() {
        if (obj) DeleteObject(obj);
    }
    GdiObject(const GdiObject &) = delete;
    GdiObject &operator=(const GdiObject &) = delete;
    H release() {
        H h = obj;
        obj = nullptr;
        return h;
    }
    H obj;
};

class WindowDC {
  public:
    explicit WindowDC(HWND hwnd) : hwnd(hwnd), dc(GetDC(hwnd)) {}
    ~WindowDC() { ReleaseDC(hwnd, dc); }
    WindowDC(const WindowDC &) = delete;
    WindowDC &operator=(const WindowDC &) = delete;
    HWND hwnd;
    HDC dc;
};

// Selects a tool into a context and puts the previous one back.
class Selection {
  public:
    Selection(HDC dc, HGDIOBJ obj) : dc(dc), previous(SelectObject(dc, obj)) {}
    ~Selection() { SelectObject(dc, previous); }
    Selection(const Selection &) = delete;
    Selection &operator=(const Selection &) = delete;
    HDC dc;
    HGDIOBJ previous;
};
} // namespace

TFlashingWnd::TFlashingWnd(TComponent *AOwner) : TForm(AOwner) {
    BorderStyle = TBorderStyle::bsNone;
    SetTop(104);
    SetLeft(430);
    SetHeight(458);
    SetWidth(483);
    // Never erased: every pixel it shows comes from PaintFrame.
    HollowBackground = true;
}

void TFlashingWnd::CreateParams(TCreateParams &Params) {
    TForm::CreateParams(Params);
    Params.ExStyle |= WS_EX_TOPMOST;
    Params.Style |= WS_POPUP;
}

void TFlashingWnd::SetCaptureRect(int Left, int Top, int Width, int Height) {
    SetLeft(Left - 8);
    SetTop(Top - 8);
    SetWidth(Width + 16);
    SetHeight(Height + 16);
    AreaLeft = Left;
    AreaTop = Top;
    AreaRight = Left + Width - 1;
    AreaBottom = Top + Height - 1;

    int W = AreaRight - AreaLeft + 1, H = AreaBottom - AreaTop + 1;
    // Cutting the inner area and two bands through the middle out of the whole window leaves
    // four corner brackets; the right and bottom arms stand one pixel off the area.
    GdiObject<HRGN> outer(CreateRectRgn(0, 0, W + 16, H + 16));
    GdiObject<HRGN> inner(CreateRectRgn(8, 8, W + 9, H + 9));
    GdiObject<HRGN> across(CreateRectRgn(0, 24, W + 16, H - 11));
    GdiObject<HRGN> down(CreateRectRgn(24, 0, W - 11, H + 16));
    CombineRgn(outer.obj, outer.obj, inner.obj, RGN_DIFF);
    CombineRgn(outer.obj, outer.obj, across.obj, RGN_DIFF);
    CombineRgn(outer.obj, outer.obj, down.obj, RGN_DIFF);
    // The window owns the region once it is set; a refused region stays ours to delete.
    if (SetWindowRgn(Handle(), outer.obj, TRUE)) outer.release();
}

void TFlashingWnd::PaintFrame(COLORREF Color) {
    WindowDC window(Handle());
    if (AreaLeft < AreaRight && AreaTop < AreaBottom) {
        GdiObject<HBRUSH> brush(CreateSolidBrush(Color));
        GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, Color));
        Selection brushSel(window.dc, brush.obj);
        Selection penSel(window.dc, pen.obj);
        Rectangle(window.dc, 0, 0, AreaRight - AreaLeft + 17, AreaBottom - AreaTop + 17);
    }
}
