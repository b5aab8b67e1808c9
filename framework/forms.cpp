#include "framework/forms.h"

#include <set>

namespace {
// Each distinct window class (name and background) is registered once per process.
void EnsureClass(const std::string &name, HBRUSH background, WNDPROC proc) {
    static std::set<std::string> registered;
    if (registered.count(name))
        return;
    WNDCLASSEXA cls = {};
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = proc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = background ? background : GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = name.c_str();
    if (RegisterClassExA(&cls))
        registered.insert(name);
}
} // namespace

TForm::TForm(TComponent *AOwner) : TComponent(AOwner) {}

TForm::~TForm() {
    if (FHandle) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
    }
}

HWND TForm::Handle() {
    if (!FHandle)
        CreateHandle();
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
    switch (BorderStyle) {
    case TBorderStyle::bsNone:
        Params.Style |= WS_POPUP;
        break;
    case TBorderStyle::bsSingle:
        Params.Style |= WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_BORDER;
        break;
    case TBorderStyle::bsSizeable:
        Params.Style |= WS_OVERLAPPEDWINDOW;
        break;
    case TBorderStyle::bsDialog:
        Params.Style |= WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
        Params.ExStyle |= WS_EX_DLGMODALFRAME;
        break;
    }
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
    if (FHandle)
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, (LONG_PTR)this);
}

LRESULT CALLBACK TForm::StdWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto *form = (TForm *)GetWindowLongPtrA(hwnd, GWLP_USERDATA);
    if (!form)
        return DefWindowProcA(hwnd, msg, wp, lp);
    return form->WndProc(msg, wp, lp);
}

LRESULT TForm::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Msg == WM_ERASEBKGND && HollowBackground)
        return 1;
    return DefaultHandler(Msg, wParam, lParam);
}

LRESULT TForm::DefaultHandler(UINT Msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(FHandle, Msg, wParam, lParam);
}

void TForm::UpdateBounds() {
    if (FHandle)
        SetWindowPos(FHandle, nullptr, FLeft, FTop, FWidth, FHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
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

void TForm::SetCaption(const std::string &Value) {
    FCaption = Value;
    if (FHandle)
        SetWindowTextA(FHandle, FCaption.c_str());
}
