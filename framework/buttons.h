// Push buttons, check boxes and radio buttons.
#pragma once
#include "framework/controls.h"

// A push button; a click raises OnClick and, in a modal form, closes it with ModalResult.
// Watches the mouse's hover over a button of the system's class at the system's pace once the
// button is lit (see buttons.cpp).
void WatchButtonHover(HWND Button);

class TButton : public TControl {
  public:
    using TControl::TControl;
    bool Default = false; // Enter clicks it
    bool Cancel = false;  // Esc clicks it
    int ModalResult = mrNone;
    void Click() override;
    void Notify(WORD Code) override;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
};

// A box the user ticks and clears.
class TCheckBox : public TControl {
  public:
    using TControl::TControl;
    bool Checked() const { return FChecked; }
    void SetChecked(bool Value); // raises OnClick when it changes
    void Click() override;       // toggles
    void Notify(WORD Code) override;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
    void HandleCreated() override;

  private:
    bool FChecked = false;
};

// Radio buttons with the same parent form one group: checking one clears the others.
class TRadioButton : public TControl {
  public:
    using TControl::TControl;
    bool Checked() const { return FChecked; }
    void SetChecked(bool Value); // raises OnClick when it becomes checked
    void Click() override;       // checks it
    void Notify(WORD Code) override;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
    void HandleCreated() override;

  private:
    bool FChecked = false;
};
