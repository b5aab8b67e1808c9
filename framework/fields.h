// The controls that hold a value the user sets: combo boxes, edit fields and sliders.
#pragma once
#include "framework/controls.h"

#include <string>
#include <vector>

enum class TComboBoxStyle { csDropDown, csDropDownList };

// A list to pick from, with an edit field of its own in the drop-down style.
class TComboBox : public TControl {
  public:
    TComboBox(TForm *AForm, TControl *AParent, TComboBoxStyle AStyle);

    TComboBoxStyle Style() const { return FStyle; }
    const std::vector<std::string> &Items() const { return FItems; }
    void AddItem(const std::string &Item);
    void ClearItems(); // nothing selected afterwards
    int ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int Value); // out of range: nothing selected; raises no event
    // The edit field of a drop-down (the selected item of a list).
    const std::string &Text() const { return Caption(); }
    void SetText(const std::string &Value);

    // The user picks an item from the list: it becomes the text, then OnClick and OnSelect.
    void Select(int Index);
    TNotifyEvent OnSelect;
    TNotifyEvent OnChange; // the user typed into the edit field

    void Notify(WORD Code) override;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
    void HandleCreated() override;

  private:
    TComboBoxStyle FStyle;
    std::vector<std::string> FItems;
    int FItemIndex = -1;
};

// A one-line field the user types into.
class TEdit : public TControl {
  public:
    using TControl::TControl;
    const std::string &Text() const { return Caption(); }
    void SetText(const std::string &Value); // raises OnChange when it changes
    TNotifyEvent OnChange;
    void Notify(WORD Code) override;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
};

// A slider over the whole numbers from Min to Max.
class TTrackBar : public TControl {
  public:
    using TControl::TControl;
    int Min() const { return FMin; }
    int Max() const { return FMax; }
    int Position() const { return FPosition; }
    // Positions are clamped into Min..Max; a change of position raises OnChange.
    void SetMin(int Value);
    void SetMax(int Value);
    void SetPosition(int Value);
    TNotifyEvent OnChange;
    void Scrolled() override;

  protected:
    void CreateParams(std::string &ClassName, DWORD &Style, DWORD &ExStyle) override;
    void HandleCreated() override;

  private:
    void Apply(int Position);
    int FMin = 0, FMax = 10, FPosition = 0;
};
