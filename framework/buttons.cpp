// Push buttons, check boxes and radio buttons.
#include "framework/buttons.h"

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
