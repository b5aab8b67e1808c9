#include "framework/controls.h"
#include "framework/application.h"

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
    int id = NextControlId();
    FHandle =
        CreateWindowExA(exstyle, cls.c_str(), FCaption.c_str(), style, at.x, at.y, FWidth, FHeight,
                        parent, (HMENU)(UINT_PTR)id, GetModuleHandleA(nullptr), nullptr);
    if (!FHandle) return;
    ControlWindows()[FHandle] = this;
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
    if (sized) Resized();
}

void TControl::Resized() {
    if (OnResize) OnResize(this);
}

void TControl::SetCaption(const std::string &Value) {
    if (Value == FCaption) return;
    FCaption = Value;
    if (FHandle) SetWindowTextA(FHandle, FCaption.c_str());
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
        char text[1024];
        GetWindowTextA(Handle(), text, sizeof(text));
        TControl::SetCaption(text);
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
    int length = GetWindowTextLengthA(Handle());
    std::string text((size_t)length + 1, '\0');
    GetWindowTextA(Handle(), &text[0], length + 1);
    text.resize(strlen(text.c_str()));
    if (text == Caption()) return;
    TControl::SetCaption(text);
    if (OnChange) OnChange(this);
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

// --- TOpenDialog ---

bool TOpenDialog::Execute() {
    // "text|pattern|text|pattern" becomes the NUL-separated, double-NUL-ended list.
    std::string filter = Filter;
    std::replace(filter.begin(), filter.end(), '|', '\0');
    filter.append(2, '\0');
    char file[MAX_PATH];
    snprintf(file, sizeof(file), "%s", FileName.c_str());
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = FForm && FForm->HandleAllocated() ? FForm->Handle() : nullptr;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = (DWORD)FilterIndex;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof(file);
    ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn)) return false;
    FileName = file;
    return true;
}
