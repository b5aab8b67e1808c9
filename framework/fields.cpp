// The controls that hold a value the user sets: combo boxes, edit fields and sliders.
#include "framework/fields.h"

#include <algorithm>
#include <cstring>

// --- TComboBox ---

TComboBox::TComboBox(TForm *AForm, TControl *AParent, TComboBoxStyle AStyle)
    : TControl(AForm, AParent), FStyle(AStyle) {}

void TComboBox::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    ClassName = "COMBOBOX";
    Style = WS_TABSTOP | WS_VSCROLL | CBS_HASSTRINGS |
            (FStyle == TComboBoxStyle::csDropDownList ? CBS_DROPDOWNLIST
                                                      : CBS_DROPDOWN | CBS_AUTOHSCROLL);
}

void TComboBox::HandleCreated() {
    // The window's height is that of the dropped list; the closed box keeps its own.
    SetWindowPos(Handle(), nullptr, 0, 0, Width(), Height() + 200,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const auto &item : FItems)
        SendMessageA(Handle(), CB_ADDSTRING, 0, (LPARAM)item.c_str());
    if (FItemIndex >= 0)
        SendMessageA(Handle(), CB_SETCURSEL, (WPARAM)FItemIndex, 0);
    else if (FStyle == TComboBoxStyle::csDropDown)
        SetWindowTextA(Handle(), Caption().c_str());
}

void TComboBox::AddItem(const std::string &Item) {
    FItems.push_back(Item);
    if (Handle()) SendMessageA(Handle(), CB_ADDSTRING, 0, (LPARAM)Item.c_str());
}

void TComboBox::ClearItems() {
    FItems.clear();
    FItemIndex = -1;
    if (FStyle == TComboBoxStyle::csDropDownList) TControl::SetCaption("");
    if (Handle()) SendMessageA(Handle(), CB_RESETCONTENT, 0, 0);
}

void TComboBox::SetItemIndex(int Value) {
    if (Value < 0 || Value >= (int)FItems.size()) Value = -1;
    FItemIndex = Value;
    if (Value >= 0)
        TControl::SetCaption(FItems[Value]);
    else if (FStyle == TComboBoxStyle::csDropDownList)
        TControl::SetCaption("");
    if (Handle()) SendMessageA(Handle(), CB_SETCURSEL, (WPARAM)Value, 0);
}

void TComboBox::SetText(const std::string &Value) {
    TControl::SetCaption(Value);
    // A list shows only its items: text that names one selects it.
    if (FStyle == TComboBoxStyle::csDropDownList) {
        auto it = std::find(FItems.begin(), FItems.end(), Value);
        SetItemIndex(it == FItems.end() ? -1 : (int)(it - FItems.begin()));
    }
}

void TComboBox::Select(int Index) {
    if (Index < 0 || Index >= (int)FItems.size()) return;
    SetItemIndex(Index);
    Click();
    if (OnSelect) OnSelect(this);
}

void TComboBox::Notify(WORD Code) {
    if (Code == CBN_SELCHANGE) {
        int index = (int)SendMessageA(Handle(), CB_GETCURSEL, 0, 0);
        if (index >= 0 && index < (int)FItems.size()) {
            FItemIndex = index;
            TControl::SetCaption(FItems[index]);
            Click();
            if (OnSelect) OnSelect(this);
        }
    } else if (Code == CBN_EDITCHANGE) {
        TControl::SetCaption(WindowText(Handle()));
        if (OnChange) OnChange(this);
    }
}

// --- TEdit ---

void TEdit::CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) {
    ClassName = "EDIT";
    Style = WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
    ExStyle = WS_EX_CLIENTEDGE;
}

void TEdit::SetText(const std::string &Value) {
    if (Value == Caption()) return;
    TControl::SetCaption(Value);
    if (OnChange) OnChange(this);
}

void TEdit::Notify(WORD Code) {
    if (Code != EN_CHANGE) return;
    std::string text = WindowText(Handle());
    if (text == Caption()) return;
    TControl::SetCaption(text);
    if (OnChange) OnChange(this);
}

// --- TTrackBar ---

void TTrackBar::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    ClassName = TRACKBAR_CLASSA;
    Style = WS_TABSTOP | TBS_HORZ | TBS_NOTICKS;
}

void TTrackBar::HandleCreated() {
    SendMessageA(Handle(), TBM_SETRANGEMIN, FALSE, FMin);
    SendMessageA(Handle(), TBM_SETRANGEMAX, FALSE, FMax);
    SendMessageA(Handle(), TBM_SETPOS, TRUE, FPosition);
}

void TTrackBar::Apply(int Position) {
    Position = std::max(FMin, std::min(FMax, Position));
    if (Handle() && SendMessageA(Handle(), TBM_GETPOS, 0, 0) != Position)
        SendMessageA(Handle(), TBM_SETPOS, TRUE, Position);
    if (Position == FPosition) return;
    FPosition = Position;
    if (OnChange) OnChange(this);
}

void TTrackBar::SetMin(int Value) {
    FMin = Value;
    if (FMax < FMin) FMax = FMin;
    if (Handle()) SendMessageA(Handle(), TBM_SETRANGEMIN, TRUE, FMin);
    Apply(FPosition);
}

void TTrackBar::SetMax(int Value) {
    FMax = Value;
    if (FMin > FMax) FMin = FMax;
    if (Handle()) SendMessageA(Handle(), TBM_SETRANGEMAX, TRUE, FMax);
    Apply(FPosition);
}

void TTrackBar::SetPosition(int Value) { Apply(Value); }

void TTrackBar::Scrolled() { Apply((int)SendMessageA(Handle(), TBM_GETPOS, 0, 0)); }
