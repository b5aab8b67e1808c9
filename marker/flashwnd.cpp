// The corner marker window.
#include "marker/flashwnd.h"
#include "framework/application.h"
#include "framework/gdiholders.h"

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
    // Never the main window, whenever its window is made: owned by the application's hidden
    // window, it stays off the taskbar and out of Alt-Tab.
    Params.WndParent = Application->Handle();
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
    CombineRgn(outer.get(), outer.get(), inner.get(), RGN_DIFF);
    CombineRgn(outer.get(), outer.get(), across.get(), RGN_DIFF);
    CombineRgn(outer.get(), outer.get(), down.get(), RGN_DIFF);
    // The window owns the region once it is set; a refused region stays ours to delete.
    if (SetWindowRgn(Handle(), outer.get(), TRUE)) outer.release();
}

void TFlashingWnd::PaintFrame(COLORREF Color) {
    WindowDC window(Handle());
    if (AreaLeft < AreaRight && AreaTop < AreaBottom) {
        GdiObject<HBRUSH> brush(CreateSolidBrush(Color));
        GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, Color));
        Selection brushSel(window.get(), brush.get());
        Selection penSel(window.get(), pen.get());
        Rectangle(window.get(), 0, 0, AreaRight - AreaLeft + 17, AreaBottom - AreaTop + 17);
    }
}
