// Choosing the area by hand. The selection window covers the virtual screen with a snapshot taken
// before it showed, dimmed; the area under the mouse shows undimmed inside an outline, with its
// size and place beside the cursor. Nothing on the screen moves meanwhile, so the picture the user
// chooses from is the one they saw, and no window of other programs needs to be layered.
#include "ui/areaselect.h"
#include "framework/forms.h"
#include "framework/gdiholders.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Other programs repaint what a hidden window uncovers in their own time: the snapshot, and the
// recording after a choice, wait this long for it.
constexpr DWORD ScreenSettleMs = 150;
// Drawn at 96 dots per inch and scaled with the display: the outline just outside the area, the
// readout's distance from the cursor, its margin and the height of its letters.
constexpr int OutlineWidth = 2;
constexpr int ReadoutGap = 16;
constexpr int ReadoutMargin = 4;
constexpr int ReadoutFontHeight = 15;
constexpr COLORREF OutlineColor = RGB(255, 170, 0);
// White on black stays readable over any picture.
constexpr COLORREF ReadoutTextColor = RGB(255, 255, 255);
constexpr COLORREF ReadoutBackColor = RGB(0, 0, 0);
// WM_DPICHANGED (Windows 8.1 on), which SDK headers for older targets leave out.
constexpr UINT DpiChanged = 0x02E0;

// The readout's font, made once per dots per inch and kept, as the forms keep theirs.
HFONT ReadoutFont(int Dpi) {
    static std::map<int, HFONT> fonts;
    HFONT &font = fonts[Dpi];
    if (!font) {
        LOGFONTA lf = {};
        lf.lfHeight = -ScaleForDpi(ReadoutFontHeight, Dpi);
        lf.lfWeight = FW_BOLD;
        lf.lfCharSet = DEFAULT_CHARSET;
        strcpy(lf.lfFaceName, "Tahoma");
        font = CreateFontIndirectA(&lf);
    }
    return font;
}

bool EqualArea(const RECT &A, const RECT &B) {
    return A.left == B.left && A.top == B.top && A.right == B.right && A.bottom == B.bottom;
}

// A copy of part of a device context at 32 bits per pixel, kept selected in a context of its own.
class Snapshot {
  public:
    Snapshot(HDC Source, const RECT &Area)
        : width(Area.right - Area.left), height(Area.bottom - Area.top), dc(Source),
          bitmap(MakeSection(Source, width, height, &bits)), selected(dc.get(), bitmap.get()) {
        if (!dc.get() || !bitmap.get())
            throw std::runtime_error("Not enough memory for a screen snapshot.");
        BitBlt(dc.get(), 0, 0, width, height, Source, Area.left, Area.top, SRCCOPY);
        GdiFlush(); // the pixels are in the section before Dim reads them
    }
    HDC Dc() const { return dc.get(); }
    // Every pixel at half its brightness.
    void Dim() {
        auto *pixel = (uint32_t *)bits;
        for (size_t i = 0, n = (size_t)width * height; i < n; ++i)
            pixel[i] = (pixel[i] >> 1) & 0x007F7F7F;
    }

  private:
    static HBITMAP MakeSection(HDC Source, int Width, int Height, void **Bits) {
        BITMAPINFO info = TopDown32Format(Width, Height);
        return CreateDIBSection(Source, &info, DIB_RGB_COLORS, Bits, nullptr, 0);
    }
    int width, height;
    void *bits = nullptr;
    MemoryDC dc;
    GdiObject<HBITMAP> bitmap;
    Selection selected;
};

// This thread's visible top-level windows but one (the main window, a message box, a tool tip),
// hidden while the holder lives and then shown again as they were, without taking the activation.
class OwnWindowsHidden {
  public:
    explicit OwnWindowsHidden(HWND Keep) : keep(Keep) {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, (LPARAM)this);
        for (HWND w : windows)
            ShowWindow(w, SW_HIDE);
    }
    ~OwnWindowsHidden() {
        for (HWND w : windows)
            if (IsWindow(w)) ShowWindow(w, SW_SHOWNA);
    }
    OwnWindowsHidden(const OwnWindowsHidden &) = delete;
    OwnWindowsHidden &operator=(const OwnWindowsHidden &) = delete;

  private:
    static BOOL CALLBACK Collect(HWND Window, LPARAM Self) {
        auto *self = (OwnWindowsHidden *)Self;
        if (Window != self->keep && IsWindowVisible(Window)) self->windows.push_back(Window);
        return TRUE;
    }
    HWND keep;
    std::vector<HWND> windows;
};

// The selection window: borderless and top-most over the whole virtual screen, its client
// coordinates the snapshot's. Made first as one pixel beyond the screen's corner, it takes the
// activation (and the keys: Esc) from the main window before that hides, so that no other
// program's window gets it meanwhile. Run ends its modal loop with mrOk and the area in Chosen,
// or with mrCancel.
class TAreaSelection : public TForm {
  public:
    TAreaSelection(const RECT &Screen, const AreaRecorded &Recorded)
        : TForm(nullptr), FScreen(Screen), FRecorded(Recorded) {
        BorderStyle = TBorderStyle::bsNone;
        FormStyle = TFormStyle::fsStayOnTop;
        HollowBackground = true;
        SetCaption("Select Area");
        Handle();
        SetBounds(Screen.left - 1, Screen.top - 1, 1, 1);
        Show();
        SetForegroundWindow(Handle());
    }
    // Takes the snapshot of the screen as it is now and shows it over the whole of it.
    int Run() {
        {
            WindowDC screen(nullptr);
            FBright.emplace(screen.get(), FScreen);
        }
        FDim.emplace(FBright->Dc(), Moved(FScreen, -FScreen.left, -FScreen.top));
        FDim->Dim();
        // In the screen's own pixels, whatever the scale the window was made at.
        SetBounds(FScreen.left, FScreen.top, FScreen.right - FScreen.left,
                  FScreen.bottom - FScreen.top);
        // Off the screen it had the activation but perhaps not the keyboard (a window system
        // gives that only to windows it shows): asked again now that it covers the screen.
        SetFocus(nullptr);
        SetFocus(Handle());
        POINT cursor;
        if (GetCursorPos(&cursor)) Track(cursor);
        return ShowModal();
    }
    RECT Chosen = {};

  protected:
    LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

  private:
    POINT At(LPARAM lParam) const {
        return {FScreen.left + (short)LOWORD(lParam), FScreen.top + (short)HIWORD(lParam)};
    }
    int Scaled(int Value) const { return ScaleForDpi(Value, Dpi()); }
    RECT WindowUnder(POINT Pt);
    void Track(POINT Cursor);
    void Release(POINT Cursor);
    void Highlight(const RECT &Area, POINT Cursor);
    RECT Extent() const;
    void Draw(const RECT &Part);
    void Compose(HDC Dc, const RECT &Part);

    RECT FScreen;
    AreaRecorded FRecorded;
    std::optional<Snapshot> FBright, FDim;
    bool FPressed = false;
    POINT FPress = {};
    // WindowFromPoint is asked about the windows beneath this one: it answers as if it were not
    // there.
    bool FSeeThrough = false;
    // What shows undimmed, and the readout beside the cursor: screen coordinates.
    RECT FArea = {}, FReadout = {};
    RECT FReadoutOf = {}, FRecordedArea = {}; // the last area told about, and its recording
    std::string FText;
};

LRESULT TAreaSelection::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_NCHITTEST:
        if (FSeeThrough) return HTTRANSPARENT;
        break;
    case WM_SETCURSOR:
        SetCursor(LoadCursorA(nullptr, IDC_CROSS));
        return TRUE;
    case WM_MOUSEMOVE:
        Track(At(lParam));
        return 0;
    case WM_LBUTTONDOWN:
        FPressed = true;
        FPress = At(lParam);
        SetCapture(Handle());
        Track(FPress);
        return 0;
    case WM_LBUTTONUP:
        if (FPressed) Release(At(lParam));
        return 0;
    case WM_CAPTURECHANGED:
        if ((HWND)lParam != Handle()) FPressed = false;
        return 0;
    case WM_RBUTTONUP: // on the release, so that it does not reach the window beneath
        ModalResult = mrCancel;
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) ModalResult = mrCancel;
        return 0;
    case WM_PAINT: // drawn whole, then validated by the default handling
        Draw(Moved(FScreen, -FScreen.left, -FScreen.top));
        break;
    case DpiChanged: // it keeps covering the whole virtual screen
        return 0;
    }
    return TForm::WndProc(Msg, wParam, lParam);
}

RECT TAreaSelection::WindowUnder(POINT Pt) {
    FSeeThrough = true;
    RECT area = WindowArea(Pt, FScreen);
    FSeeThrough = false;
    return area;
}

// Pressed and moved beyond the click's reach, the dragged rectangle; otherwise the window a click
// takes, where the button went down or where the cursor is.
void TAreaSelection::Track(POINT Cursor) {
    if (FPressed && !IsClick(FPress, Cursor))
        Highlight(DraggedArea(FPress, Cursor, FScreen), Cursor);
    else
        Highlight(WindowUnder(FPressed ? FPress : Cursor), Cursor);
}

void TAreaSelection::Release(POINT Cursor) {
    FPressed = false;
    ReleaseCapture();
    RECT area =
        IsClick(FPress, Cursor) ? WindowUnder(FPress) : DraggedArea(FPress, Cursor, FScreen);
    if (IsEmpty(area)) { // a click where there is no window to take
        Track(Cursor);
        return;
    }
    Chosen = area;
    ModalResult = mrOk;
}

void TAreaSelection::Highlight(const RECT &Area, POINT Cursor) {
    RECT before = Extent();
    FArea = Area;
    FReadout = {};
    FText.clear();
    if (!IsEmpty(Area)) {
        // What a recording of it holds, which the compressor may grow.
        if (!EqualArea(Area, FReadoutOf)) FReadoutOf = Area, FRecordedArea = FRecorded(Area);
        const RECT &r = FRecordedArea;
        char text[96];
        snprintf(text, sizeof(text), "%ld x %ld at %ld, %ld", (long)(r.right - r.left),
                 (long)(r.bottom - r.top), (long)r.left, (long)r.top);
        FText = text;
        SIZE size = {};
        {
            WindowDC window(Handle());
            Selection selected(window.get(), ReadoutFont(Dpi()));
            GetTextExtentPoint32A(window.get(), FText.c_str(), (int)FText.size(), &size);
        }
        int w = size.cx + 2 * Scaled(ReadoutMargin), h = size.cy + 2 * Scaled(ReadoutMargin);
        int gap = Scaled(ReadoutGap);
        // Away from where the drag started, so that it does not cover the area; turned back
        // where the screen ends.
        bool left = FPressed && Cursor.x < FPress.x, up = FPressed && Cursor.y < FPress.y;
        int x = left ? Cursor.x - gap - w : Cursor.x + gap;
        int y = up ? Cursor.y - gap - h : Cursor.y + gap;
        if (x < FScreen.left || x + w > FScreen.right)
            x = left ? Cursor.x + gap : Cursor.x - gap - w;
        if (y < FScreen.top || y + h > FScreen.bottom) y = up ? Cursor.y + gap : Cursor.y - gap - h;
        FReadout = {x, y, x + w, y + h};
    }
    RECT after = Extent();
    // What either highlight covers, at once: the mouse moves faster than a paint would come.
    RECT both = Union(before, after);
    if (!IsEmpty(both)) Draw(Intersection(both, Moved(FScreen, -FScreen.left, -FScreen.top)));
}

// What the highlight covers (the area with its outline, the readout), in client coordinates.
RECT TAreaSelection::Extent() const {
    int o = Scaled(OutlineWidth);
    RECT outlined = IsEmpty(FArea)
                        ? RECT{}
                        : RECT{FArea.left - o, FArea.top - o, FArea.right + o, FArea.bottom + o};
    return Moved(Union(outlined, FReadout), -FScreen.left, -FScreen.top);
}

// Composed off the screen and copied in one piece, so that nothing flickers while the mouse moves.
void TAreaSelection::Draw(const RECT &Part) {
    if (!FDim) return; // nothing to show before the snapshot
    int w = Part.right - Part.left, h = Part.bottom - Part.top;
    WindowDC window(Handle());
    MemoryDC back(window.get());
    GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(window.get(), w, h));
    if (!back.get() || !bitmap.get()) return;
    Selection selected(back.get(), bitmap.get());
    Compose(back.get(), Part);
    BitBlt(window.get(), Part.left, Part.top, w, h, back.get(), 0, 0, SRCCOPY);
}

// Draws the client area's Part into Dc, whose origin is Part's top-left corner.
void TAreaSelection::Compose(HDC Dc, const RECT &Part) {
    BitBlt(Dc, 0, 0, Part.right - Part.left, Part.bottom - Part.top, FDim->Dc(), Part.left,
           Part.top, SRCCOPY);
    if (IsEmpty(FArea)) return;
    RECT area = Moved(FArea, -FScreen.left, -FScreen.top);
    RECT lit = Intersection(area, Part);
    if (!IsEmpty(lit))
        BitBlt(Dc, lit.left - Part.left, lit.top - Part.top, lit.right - lit.left,
               lit.bottom - lit.top, FBright->Dc(), lit.left, lit.top, SRCCOPY);
    int o = Scaled(OutlineWidth);
    RECT sides[] = {{area.left - o, area.top - o, area.right + o, area.top},
                    {area.left - o, area.bottom, area.right + o, area.bottom + o},
                    {area.left - o, area.top, area.left, area.bottom},
                    {area.right, area.top, area.right + o, area.bottom}};
    GdiObject<HBRUSH> brush(CreateSolidBrush(OutlineColor));
    Selection brushed(Dc, brush.get());
    Selection unlined(Dc, GetStockObject(NULL_PEN));
    for (const RECT &side : sides) {
        RECT r = Moved(side, -Part.left, -Part.top);
        // Without a pen a rectangle leaves its right and bottom edges out: one more each way.
        Rectangle(Dc, r.left, r.top, r.right + 1, r.bottom + 1);
    }
    RECT box = Moved(FReadout, -FScreen.left - Part.left, -FScreen.top - Part.top);
    Selection selected(Dc, ReadoutFont(Dpi()));
    SetBkColor(Dc, ReadoutBackColor);
    SetTextColor(Dc, ReadoutTextColor);
    int margin = Scaled(ReadoutMargin);
    ExtTextOutA(Dc, box.left + margin, box.top + margin, ETO_OPAQUE, &box, FText.c_str(),
                (UINT)FText.size(), nullptr);
}

} // namespace

bool SelectArea(RECT &Area, const AreaRecorded &Recorded) {
    HWND foreground = GetForegroundWindow();
    auto selection = std::make_unique<TAreaSelection>(
        VirtualScreen(), Recorded ? Recorded : [](const RECT &A) { return A; });
    bool chosen = false;
    {
        OwnWindowsHidden hidden(selection->Handle());
        Sleep(ScreenSettleMs);
        chosen = selection->Run() == mrOk;
        Area = selection->Chosen;
        selection.reset(); // gone before this program's windows show again
    }
    if (foreground && IsWindow(foreground)) SetForegroundWindow(foreground);
    if (chosen) Sleep(ScreenSettleMs);
    return chosen;
}
