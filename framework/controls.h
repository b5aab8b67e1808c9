// The controls the forms are built from. Each keeps its state in C++ and raises its events
// from that state, so a test can set and click them without a window system; once its form
// has a window, each is realised as a child window of the system's own class and kept in step
// with it, and notifications from that window update the state and raise the same events.
#pragma once
#include "framework/forms.h"

#include <string>
#include <vector>

enum class TAlign { alNone, alTop, alClient };

class TControl : public TComponent {
  public:
    // A control belongs to a form and sits on AParent (a panel or group box) or, without
    // one, directly on the form. The form frees it.
    TControl(TForm *AForm, TControl *AParent);
    ~TControl() override;

    TForm *Form() const { return FForm; }
    TControl *Parent() const { return FParent; }
    HWND Handle() const { return FHandle; }
    int Id() const { return FId; }
    // The window the control's window sits in (a panel's or the form's), and its place there.
    HWND HostWindow() const;
    RECT PlaceInHost() const;

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

    const std::string &Caption() const { return FCaption; }
    void SetCaption(const std::string &Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);

    TAlign Align = TAlign::alNone;
    // Shown in a tool tip while the mouse rests on the control, enabled or not; the tip follows
    // every change.
    const std::string &Hint() const { return FHint; }
    void SetHint(const std::string &Value);
    TNotifyEvent OnClick;
    TNotifyEvent OnResize;

    // What a click does (a button's modal result, a box's check) and its OnClick.
    virtual void Click();

    // Children's windows are created inside this control's own window (panels), rather
    // than beside it in the parent's (group boxes draw a frame around their children).
    virtual bool IsContainer() const { return false; }

    // Realises the window under its parent's; the form calls it in creation order.
    void CreateHandle();
    // The window went with its form's.
    void HandleDestroyed();
    // Notifications of the realised window.
    virtual void Notify(WORD Code) { (void)Code; }
    virtual void Scrolled() {}

  protected:
    virtual void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) = 0;
    // Pushes the C++ state into the window just created.
    virtual void HandleCreated() {}
    virtual void Resized();

  private:
    TControl *Host() const;
    POINT WindowOrigin() const;

    TForm *FForm;
    TControl *FParent;
    HWND FHandle = nullptr;
    int FId = 0;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::string FCaption, FHint;
    bool FEnabled = true;
    bool FVisible = true;
};

// The text of a window as the system holds it.
std::string WindowText(HWND Window);

enum class TAlignment { taLeftJustify, taCenter, taRightJustify };

// A caption that the user cannot change.
class TLabel : public TControl {
  public:
    using TControl::TControl;
    TAlignment Alignment = TAlignment::taLeftJustify;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
};

// A framed caption around controls that belong together (it does not hold them).
class TGroupBox : public TControl {
  public:
    using TControl::TControl;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
};

// A plain area that holds other controls in its own window; with alClient it fills what
// the form's other aligned controls leave.
class TPanel : public TControl {
  public:
    using TControl::TControl;
    bool IsContainer() const override { return true; }

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
};
