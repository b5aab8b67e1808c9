// Forms: top-level windows whose state lives in C++ and whose window handle is created on
// first need, on the main thread. A form holds controls (framework/controls.h), realises them
// as child windows together with its own window, and routes their notifications back.
#pragma once
#include "framework/classes.h"
#include "framework/winapi.h"

#include <string>
#include <vector>

class TControl;

// The layouts are given in pixels at 96 dots per inch; on a display of another scale the forms
// and controls grow or shrink by its dots per inch (the program declares itself per-monitor
// aware, so the system does not stretch its windows' pixels).
constexpr int DesignDpi = 96;
// Value, given in pixels at FromDpi, in pixels at ToDpi.
int ScaleForDpi(int Value, int ToDpi, int FromDpi = DesignDpi);
// The dots per inch of the monitor the window is on.
int WindowDpi(HWND Window);

struct TCreateParams {
    std::string Caption;
    std::string WinClassName;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
    HBRUSH Background = nullptr; // null: the system button face
};

enum class TBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog };
enum class TFormStyle { fsNormal, fsStayOnTop };

// Title-bar buttons.
enum TBorderIcon { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };

// Modal results.
constexpr int mrNone = 0;
constexpr int mrOk = 1;
constexpr int mrCancel = 2;

// The font of every form and control: "MS Sans Serif", 8 points (11 pixels at 96 dpi), made
// once per dots per inch and kept for the life of the program.
HFONT DefaultFont(int Dpi = DesignDpi);

class TForm : public TComponent {
  public:
    explicit TForm(TComponent *AOwner);
    ~TForm() override;

    // The window handle, created hidden when first asked for, with the form's controls.
    HWND Handle();
    bool HandleAllocated() const { return FHandle != nullptr; }

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int Value);
    void SetTop(int Value);
    void SetWidth(int Value);
    void SetHeight(int Value);
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
    // The inside of the frame, where the controls are laid out.
    int ClientWidth();
    int ClientHeight();

    const std::string &Caption() const { return FCaption; }
    void SetCaption(const std::string &Value);

    TBorderStyle BorderStyle = TBorderStyle::bsSizeable;
    TFormStyle FormStyle = TFormStyle::fsNormal;
    int BorderIcons = biSystemMenu | biMinimize | biMaximize;
    // Hollow background: the form never erases, every pixel comes from its own painting.
    bool HollowBackground = false;

    bool Visible() const { return FVisible; }
    void Show();
    void Hide();
    // Asks the form to close: OnClose runs, then the main form ends the program, a modal
    // form ends its loop with mrCancel and any other form hides.
    void Close();
    TNotifyEvent OnClose;

    // Shows the form modally (its owner window disabled meanwhile) and returns the modal
    // result that ended the loop: a button's ModalResult, or mrCancel for Esc and the close box.
    int ShowModal();
    int ModalResult = mrNone;

    // Controls register themselves in creation order, which is also their tab order.
    void AddControl(TControl *Control);
    void RemoveControl(TControl *Control);
    const std::vector<TControl *> &Controls() const { return FControls; }
    // Lays out the controls aligned to the form (top, client) in the current client area.
    void Realign();
    // The dots per inch the form and its controls are laid out for.
    int Dpi() const { return FDpi; }
    // Puts the control's hint (none when empty) into the form's tool tip.
    void ShowHint(TControl *Control);

  protected:
    virtual void CreateParams(TCreateParams &Params);
    virtual LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT Msg, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK StdWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void CreateHandle();
    // Sizes the form and places and sizes its controls for NewDpi.
    void ScaleTo(int NewDpi);
    void UpdateBounds();
    void ClickDefault(bool Cancel);

    HWND FHandle = nullptr;
    HWND FToolTip = nullptr; // the controls' hints; the form's window owns it
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::string FCaption;
    bool FVisible = false;
    bool FModal = false;
    int FDpi = DesignDpi;
    std::vector<TControl *> FControls;
};

// Routes a WM_COMMAND or WM_HSCROLL from a realised control to it; true when it was one of
// ours. Forms and container controls call it from their window procedures.
bool DispatchControlMessage(UINT Msg, WPARAM wParam, LPARAM lParam);
