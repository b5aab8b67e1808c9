#include "framework/forms.h"
#include "framework/application.h"
#include "framework/buttons.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <utility>

namespace {
// WM_DPICHANGED (Windows 8.1 on), which SDK headers for older targets leave out.
constexpr UINT DpiChanged = 0x02E0;

// Each distinct window class (name and background) is registered once per process.
void EnsureClass(const std::string &name, HBRUSH background, WNDPROC proc) {
    WNDCLASSEXA cls = {};
    if (GetClassInfoExA(GetModuleHandleA(nullptr), name.c_str(), &cls)) return;
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = background ? background : GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = name.c_str();
    RegisterClassExA(&cls);
}
} // namespace

int ScaleForDpi(int Value, int ToDpi, int FromDpi) {
    return (int)std::nearbyint((double)Value * ToDpi / FromDpi);
}

int WindowDpi(HWND Window) {
    // Windows 10 on: the window's own monitor. Earlier systems have one scale for all.
    using DpiForWindow = UINT(CALLBACK *)(HWND);
    static auto dpiForWindow =
        (DpiForWindow)(void *)GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow");
    if (dpiForWindow)
        if (UINT dpi = dpiForWindow(Window)) return (int)dpi;
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : DesignDpi;
}

HFONT DefaultFont(int Dpi) {
    // The layouts are in pixels drawn at 96 dpi, so the font is 11 pixels high at 96 dpi too.
    static std::map<int, HFONT> fonts;
    HFONT &font = fonts[Dpi];
    if (!font) {
        LOGFONTA lf = {};
        lf.lfHeight = -ScaleForDpi(11, Dpi);
        lf.lfWeight = FW_NORMAL;
        lf.lfCharSet = DEFAULT_CHARSET;
        lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
        lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
        lf.lfQuality = DEFAULT_QUALITY;
        lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
        strcpy(lf.lfFaceName, "MS Sans Serif");
        font = CreateFontIndirectA(&lf);
    }
    return font;
}

TForm::TForm(TComponent *AOwner) : TComponent(AOwner) {}

TForm::~TForm() {
    if (FHandle) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
        for (TControl *c : FControls)
            c->HandleDestroyed();
    }
    // The controls go before the rest of the form: they unregister themselves from it.
    while (!FControls.empty())
        delete FControls.back();
}

HWND TForm::Handle() {
    if (!FHandle) CreateHandle();
    return FHandle;
}

void TForm::CreateParams(TCreateParams &Params) {
    Params.Caption = FCaption;
    Params.WinClassName = "QuilletForm";
    Params.X = FLeft;
    Params.Y = FTop;
    Params.Width = FWidth;
    Params.Height = FHeight;
    Params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    DWORD icons = ((BorderIcons & biSystemMenu) ? WS_SYSMENU : 0) |
                  ((BorderIcons & biMinimize) ? WS_MINIMIZEBOX : 0) |
                  ((BorderIcons & biMaximize) ? WS_MAXIMIZEBOX : 0);
    switch (BorderStyle) {
    case TBorderStyle::bsNone:
        Params.Style |= WS_POPUP;
        break;
    case TBorderStyle::bsSingle:
        Params.Style |= WS_CAPTION | WS_BORDER | icons;
        break;
    case TBorderStyle::bsSizeable:
        Params.Style |= WS_CAPTION | WS_THICKFRAME | icons;
        break;
    case TBorderStyle::bsDialog:
        Params.Style |= WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
        Params.ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    }
    if (FormStyle == TFormStyle::fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
    // Every form but the main one (the first created, which makes its window while being
    // built, before it is known as the main form) is owned by the application's hidden
    // window: an unowned top-level window gets a taskbar button and an Alt-Tab entry.
    if (Application->MainForm && Application->MainForm != this)
        Params.WndParent = Application->Handle();
    if (!FControls.empty()) Params.ExStyle |= WS_EX_CONTROLPARENT; // Tab moves through the controls
    if (HollowBackground) {
        Params.Background = (HBRUSH)GetStockObject(HOLLOW_BRUSH);
        Params.WinClassName += "Hollow";
    }
}

void TForm::CreateHandle() {
    TCreateParams params;
    CreateParams(params);
    EnsureClass(params.WinClassName, params.Background, &TForm::StdWndProc);
    FHandle = CreateWindowExA(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(),
                              params.Style, params.X, params.Y, params.Width, params.Height,
                              params.WndParent, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!FHandle) return;
    SetWindowLongPtrA(FHandle, GWLP_USERDATA, (LONG_PTR)this);
    // Made at the size for 96 dpi, the window learns the scale of its monitor; its controls
    // are made at that scale.
    int dpi = WindowDpi(FHandle);
    if (dpi != FDpi) {
        ScaleTo(dpi);
        UpdateBounds();
    }
    SendMessageA(FHandle, WM_SETFONT, (WPARAM)DefaultFont(FDpi), FALSE);
    for (TControl *c : FControls)
        c->CreateHandle();
    for (TControl *c : FControls)
        if (!c->Hint().empty()) ShowHint(c);
    Realign();
}

// The wait before a hint shows when the mouse moves on from another control's: that of the first.
constexpr int HintReshowMs = 500;

// One tool tip window for the form shows the hints of its controls. Each control is two tools:
// itself, and its place in the window under it, which gets the mouse while the control is
// disabled (a disabled button says why in its hint).
void TForm::ShowHint(TControl *Control) {
    HWND control = Control->Handle(), under = Control->HostWindow();
    if (!control || !under) return;
    if (!FToolTip && !Control->Hint().empty()) {
        FToolTip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                                   WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0, FHandle,
                                   nullptr, GetModuleHandleA(nullptr), nullptr);
        // A shown tip watches for the mouse's leaving at its reshow pace, under Wine by asking
        // where the pointer is (100 ms by default): at the pace a first tip waits to show.
        if (FToolTip) SendMessageA(FToolTip, TTM_SETDELAYTIME, TTDT_RESHOW, HintReshowMs);
    }
    if (!FToolTip) return;
    TOOLINFOA tools[2] = {};
    tools[0].uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tools[0].hwnd = FHandle;
    tools[0].uId = (UINT_PTR)control;
    tools[1].uFlags = TTF_SUBCLASS;
    tools[1].hwnd = under;
    tools[1].uId = (UINT_PTR)Control->Id(); // a small number: never a window's handle
    tools[1].rect = Control->PlaceInHost();
    for (TOOLINFOA &tool : tools) {
        tool.cbSize = sizeof(tool);
        tool.lpszText = (LPSTR)Control->Hint().c_str();
        SendMessageA(FToolTip, TTM_DELTOOLA, 0, (LPARAM)&tool);
        if (!Control->Hint().empty()) SendMessageA(FToolTip, TTM_ADDTOOLA, 0, (LPARAM)&tool);
    }
}

LRESULT CALLBACK TForm::StdWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto *form = (TForm *)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (!form) return DefWindowProcA(hwnd, msg, wp, lp);
    // An error in a handler ends that handler only; it must not unwind through the system.
    try {
        return form->WndProc(msg, wp, lp);
    } catch (const std::exception &e) {
        Application->HandleException(e);
    }
    return 0;
}

LRESULT TForm::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
    switch (Msg) {
    case WM_ERASEBKGND:
        if (HollowBackground) return 1;
        break;
    case WM_COMMAND:
        if (DispatchControlMessage(Msg, wParam, lParam)) return 0;
        // Enter and Esc, as the dialog keys send them.
        if (!lParam && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
            ClickDefault(LOWORD(wParam) == IDCANCEL);
            return 0;
        }
        break;
    case WM_HSCROLL:
        if (DispatchControlMessage(Msg, wParam, lParam)) return 0;
        break;
    case WM_SIZE:
        Realign();
        break;
    case DpiChanged: {
        // Moved to a monitor of another scale: the system suggests the window's new place.
        ScaleTo(LOWORD(wParam));
        const RECT *r = (const RECT *)lParam;
        SetBounds(r->left, r->top, r->right - r->left, r->bottom - r->top);
        Realign();
        return 0;
    }
    case WM_CLOSE:
        Close();
        return 0;
    case WM_NCDESTROY:
        FHandle = nullptr;
        FToolTip = nullptr;
        for (TControl *c : FControls)
            c->HandleDestroyed();
        break;
    }
    return DefaultHandler(Msg, wParam, lParam);
}

LRESULT TForm::DefaultHandler(UINT Msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(FHandle, Msg, wParam, lParam);
}

void TForm::ClickDefault(bool Cancel) {
    // Enter presses the button that has the focus, as in any dialog; the default button only
    // when no other button has it. (The dialog keys send IDOK for a focused button that is
    // not the default push button, since this window is not a dialog box.)
    if (!Cancel) {
        HWND focus = GetFocus();
        for (TControl *c : FControls)
            if (auto *button = dynamic_cast<TButton *>(c))
                if (focus && button->Handle() == focus && button->Enabled()) {
                    button->Click();
                    return;
                }
    }
    for (TControl *c : FControls)
        if (auto *button = dynamic_cast<TButton *>(c))
            if ((Cancel ? button->Cancel : button->Default) && button->Enabled()) {
                button->Click();
                return;
            }
    if (Cancel && FModal) ModalResult = mrCancel;
}

void TForm::UpdateBounds() {
    if (FHandle)
        SetWindowPos(FHandle, nullptr, FLeft, FTop, FWidth, FHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::SetLeft(int Value) {
    FLeft = Value;
    UpdateBounds();
}
void TForm::SetTop(int Value) {
    FTop = Value;
    UpdateBounds();
}
void TForm::SetWidth(int Value) {
    FWidth = Value;
    UpdateBounds();
}
void TForm::SetHeight(int Value) {
    FHeight = Value;
    UpdateBounds();
}
void TForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    UpdateBounds();
}

int TForm::ClientWidth() {
    RECT r = {};
    GetClientRect(Handle(), &r);
    return r.right;
}

int TForm::ClientHeight() {
    RECT r = {};
    GetClientRect(Handle(), &r);
    return r.bottom;
}

void TForm::SetCaption(const std::string &Value) {
    FCaption = Value;
    if (FHandle) SetWindowTextA(FHandle, FCaption.c_str());
}

void TForm::Show() {
    FVisible = true;
    ShowWindow(Handle(), SW_SHOW);
}

void TForm::Hide() {
    FVisible = false;
    if (FHandle) ShowWindow(FHandle, SW_HIDE);
}

void TForm::Close() {
    if (OnClose) OnClose(this);
    if (FModal)
        ModalResult = mrCancel;
    else if (Application->MainForm == this)
        Application->Terminate();
    else
        Hide();
}

int TForm::ShowModal() {
    HWND owner = nullptr;
    if (Application->MainForm && Application->MainForm != this &&
        Application->MainForm->HandleAllocated())
        owner = Application->MainForm->Handle();
    bool reenable = owner && IsWindowEnabled(owner);
    if (owner) EnableWindow(owner, FALSE);
    ModalResult = mrNone;
    FModal = true;
    TForm *outer = std::exchange(Application->ModalForm, this);
    Show();
    MSG msg;
    while (ModalResult == mrNone) {
        if (!GetMessageA(&msg, nullptr, 0, 0)) {
            // The program is ending: the loop above ours must see the quit request too.
            PostQuitMessage((int)msg.wParam);
            ModalResult = mrCancel;
            break;
        }
        Application->DispatchOne(msg);
        // A box owned by the owner (a compressor's, say) enables it when it closes.
        if (owner && IsWindowEnabled(owner)) EnableWindow(owner, FALSE);
    }
    Application->ModalForm = outer;
    FModal = false;
    // The owner comes back before this form hides, so that activation returns to it.
    if (reenable) EnableWindow(owner, TRUE);
    Hide();
    return ModalResult;
}

void TForm::ScaleTo(int NewDpi) {
    if (NewDpi <= 0 || NewDpi == FDpi) return;
    int old = FDpi;
    FDpi = NewDpi;
    FWidth = ScaleForDpi(FWidth, NewDpi, old);
    FHeight = ScaleForDpi(FHeight, NewDpi, old);
    for (TControl *c : FControls) {
        c->SetBounds(ScaleForDpi(c->Left(), NewDpi, old), ScaleForDpi(c->Top(), NewDpi, old),
                     ScaleForDpi(c->Width(), NewDpi, old), ScaleForDpi(c->Height(), NewDpi, old));
        if (c->Handle()) SendMessageA(c->Handle(), WM_SETFONT, (WPARAM)DefaultFont(FDpi), TRUE);
    }
}

void TForm::AddControl(TControl *Control) { FControls.push_back(Control); }

void TForm::RemoveControl(TControl *Control) {
    FControls.erase(std::remove(FControls.begin(), FControls.end(), Control), FControls.end());
}

void TForm::Realign() {
    if (!FHandle) return;
    RECT client = {};
    GetClientRect(FHandle, &client);
    int top = 0;
    for (TControl *c : FControls)
        if (!c->Parent() && c->Align == TAlign::alTop) {
            c->SetBounds(0, top, client.right, c->Height());
            top += c->Height();
        }
    for (TControl *c : FControls)
        if (!c->Parent() && c->Align == TAlign::alClient)
            c->SetBounds(0, top, client.right, std::max(0, (int)client.bottom - top));
}
