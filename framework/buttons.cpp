// Push buttons, check boxes and radio buttons.
#include "framework/buttons.h"

// --- Hover tracking of the system's buttons ---

namespace {
WNDPROC SystemButtonProc = nullptr;

// A themed button asks to hear of a hover 1 ms after the mouse comes, and then of its leaving.
// Under Wine both are found by polling the pointer at the hover's pace, 100 times a second
// (a dozen server round trips each, on the main thread), for as long as the mouse rests on the
// button: through a whole recording when it rests on the button that started it. Once the
// button is lit, its leaving is watched at the system's hover pace (400 ms) instead.
LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    LRESULT result = CallWindowProcA(SystemButtonProc, hwnd, msg, wp, lp);
    if (msg == WM_MOUSEHOVER) {
        TRACKMOUSEEVENT track = {};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = hwnd;
        track.dwHoverTime = HOVER_DEFAULT;
        TrackMouseEvent(&track);
    }
    return result;
}
} // namespace

void WatchButtonHover(HWND Button) {
    WNDPROC proc = (WNDPROC)GetWindowLongPtrA(Button, GWLP_WNDPROC);
    if (!proc || proc == &ButtonProc) return;
    SystemButtonProc = proc;
    SetWindowLongPtrA(Button, GWLP_WNDPROC, (LONG_PTR)&ButtonProc);
}

// --- TButton ---

void TButton::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    ClassName = "BUTTON";
    Style = WS_TABSTOP | (Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

void TButton::Click() {
    if (!Enabled()) return;
    if (ModalResult != mrNone && Form()) Form()->ModalResult = ModalResult;
    TControl::Click();
}

void TButton::Notify(WORD Code) {
    if (Code == BN_CLICKED) Click();
}

// --- TCheckBox ---

void TCheckBox::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    ClassName = "BUTTON";
    Style = WS_TABSTOP | BS_AUTOCHECKBOX;
}

void TCheckBox::HandleCreated() {
    SendMessageA(Handle(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TCheckBox::SetChecked(bool Value) {
    if (Value == FChecked) return;
    FChecked = Value;
    if (Handle()) SendMessageA(Handle(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
    TControl::Click();
}

void TCheckBox::Click() { SetChecked(!FChecked); }

void TCheckBox::Notify(WORD Code) {
    if (Code == BN_CLICKED) SetChecked(SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED);
}

// --- TRadioButton ---

void TRadioButton::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    ClassName = "BUTTON";
    Style = WS_TABSTOP | BS_AUTORADIOBUTTON;
}

void TRadioButton::HandleCreated() {
    SendMessageA(Handle(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::SetChecked(bool Value) {
    if (Value == FChecked) return;
    FChecked = Value;
    if (Handle()) SendMessageA(Handle(), BM_SETCHECK, FChecked ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!FChecked) return;
    if (Form())
        for (TControl *c : Form()->Controls())
            if (c != this && c->Parent() == Parent())
                if (auto *radio = dynamic_cast<TRadioButton *>(c)) radio->SetChecked(false);
    TControl::Click();
}

void TRadioButton::Click() { SetChecked(true); }

void TRadioButton::Notify(WORD Code) {
    if (Code == BN_CLICKED && SendMessageA(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED)
        SetChecked(true);
}
