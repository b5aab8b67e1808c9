// The control base (its window, bounds, caption and notifications) and the controls that only
// show: labels, group boxes and panels.
#include "framework/controls.h"
#include "framework/application.h"
#include "framework/buttons.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace {

// Realised controls by window, for routing notifications; touched on the main thread only.
std::map<HWND, TControl *> &ControlWindows() {
    static std::map<HWND, TControl *> map;
    return map;
}

int NextControlId() {
    static int id = 100; // clear of IDOK and IDCANCEL, which the dialog keys send
    return id++;
}

// Panels pass their controls' notifications on, and like forms keep handler errors from
// unwinding through the system.
LRESULT CALLBACK PanelWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND || msg == WM_HSCROLL) {
        try {
            if (DispatchControlMessage(msg, wp, lp)) return 0;
        } catch (const std::exception &e) {
            Application->HandleException(e);
            return 0;
        }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void EnsurePanelClass() {
    WNDCLASSEXA cls = {};
    if (GetClassInfoExA(GetModuleHandleA(nullptr), "QuilletPanel", &cls)) return;
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = &PanelWndProc;
    cls.hInstance = GetModuleHandleA(nullptr);
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    cls.lpszClassName = "QuilletPanel";
    RegisterClassExA(&cls);
}

} // namespace

bool DispatchControlMessage(UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (!lParam) return false;
    auto it = ControlWindows().find((HWND)lParam);
    if (it == ControlWindows().end()) return false;
    if (Msg == WM_COMMAND)
        it->second->Notify(HIWORD(wParam));
    else
        it->second->Scrolled();
    return true;
}

// --- TControl ---

TControl::TControl(TForm *AForm, TControl *AParent)
    : TComponent(AForm), FForm(AForm), FParent(AParent) {
    if (FForm) FForm->AddControl(this);
}

TControl::~TControl() {
    if (FHandle) {
        ControlWindows().erase(FHandle);
        DestroyWindow(FHandle);
    }
    if (FForm) FForm->RemoveControl(this);
}

void TControl::CreateHandle() {
    if (FHandle || !FForm) return;
    TControl *host = Host();
    HWND parent = host ? host->FHandle : FForm->Handle();
    POINT at = WindowOrigin();
    if (!parent) return;
    std::string cls;
    DWORD style = 0, exstyle = 0;
    CreateParams(cls, style, exstyle);
    style |= WS_CHILD | (FVisible ? WS_VISIBLE : 0) | (FEnabled ? 0 : WS_DISABLED);
    if (cls == "QuilletPanel") EnsurePanelClass();
    FId = NextControlId();
    FHandle =
        CreateWindowExA(exstyle, cls.c_str(), FCaption.c_str(), style, at.x, at.y, FWidth, FHeight,
                        parent, (HMENU)(UINT_PTR)FId, GetModuleHandleA(nullptr), nullptr);
    if (!FHandle) return;
    ControlWindows()[FHandle] = this;
    if (cls == "BUTTON") WatchButtonHover(FHandle);
    SendMessageA(FHandle, WM_SETFONT, (WPARAM)DefaultFont(FForm->Dpi()), FALSE);
    HandleCreated();
}

// Group boxes only frame their children: the children's windows sit beside them in the
// nearest container (or the form), moved by the group boxes' places.
TControl *TControl::Host() const {
    TControl *host = FParent;
    while (host && !host->IsContainer())
        host = host->FParent;
    return host;
}

HWND TControl::HostWindow() const {
    TControl *host = Host();
    return host ? host->FHandle : FForm ? FForm->Handle() : nullptr;
}

RECT TControl::PlaceInHost() const {
    POINT at = WindowOrigin();
    return {at.x, at.y, at.x + FWidth, at.y + FHeight};
}

POINT TControl::WindowOrigin() const {
    POINT at = {FLeft, FTop};
    for (TControl *p = FParent; p && !p->IsContainer(); p = p->FParent) {
        at.x += p->FLeft;
        at.y += p->FTop;
    }
    return at;
}

void TControl::HandleDestroyed() {
    if (FHandle) ControlWindows().erase(FHandle);
    FHandle = nullptr;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    bool sized = AWidth != FWidth || AHeight != FHeight;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    if (FHandle) {
        POINT at = WindowOrigin();
        SetWindowPos(FHandle, nullptr, at.x, at.y, FWidth, FHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (FHandle && !FHint.empty()) FForm->ShowHint(this); // the tip's place moves with it
    if (sized) Resized();
}

void TControl::SetHint(const std::string &Value) {
    FHint = Value;
    if (FHandle) FForm->ShowHint(this);
}

void TControl::Resized() {
    if (OnResize) OnResize(this);
}

std::string WindowText(HWND Window) {
    int length = GetWindowTextLengthA(Window);
    std::string text((size_t)length + 1, '\0');
    GetWindowTextA(Window, &text[0], length + 1);
    text.resize(strlen(text.c_str()));
    return text;
}

void TControl::SetCaption(const std::string &Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    // A text the window holds already (the user's own typing) is never written back: an edit
    // field puts its caret at the start when its text is set, and the next key would land there.
    if (FHandle && WindowText(FHandle) != FCaption) SetWindowTextA(FHandle, FCaption.c_str());
}

void TControl::SetEnabled(bool Value) {
    FEnabled = Value;
    if (FHandle) EnableWindow(FHandle, Value);
}

void TControl::SetVisible(bool Value) {
    FVisible = Value;
    if (FHandle) ShowWindow(FHandle, Value ? SW_SHOWNA : SW_HIDE);
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

// --- TLabel, TGroupBox, TPanel ---

void TLabel::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    ClassName = "STATIC";
    Style = SS_NOPREFIX | (Alignment == TAlignment::taCenter         ? SS_CENTER
                           : Alignment == TAlignment::taRightJustify ? SS_RIGHT
                                                                     : SS_LEFT);
}

void TGroupBox::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    ClassName = "BUTTON";
    Style = BS_GROUPBOX;
}

void TPanel::CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) {
    ClassName = "QuilletPanel";
    Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    ExStyle = WS_EX_CONTROLPARENT;
}
