// Forms: top-level windows whose state lives in C++ and whose window handle is created on
// first need, on the main thread.
#pragma once
#include "framework/classes.h"
#include "framework/winapi.h"

#include <string>

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

class TForm : public TComponent {
  public:
    explicit TForm(TComponent *AOwner);
    ~TForm() override;

    // The window handle, created hidden when first asked for.
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

    const std::string &Caption() const { return FCaption; }
    void SetCaption(const std::string &Value);

    TBorderStyle BorderStyle = TBorderStyle::bsSizeable;
    // Hollow background: the form never erases, every pixel comes from its own painting.
    bool HollowBackground = false;

  protected:
    virtual void CreateParams(TCreateParams &Params);
    virtual LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultHandler(UINT Msg, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK StdWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void CreateHandle();
    void UpdateBounds();

    HWND FHandle = nullptr;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    std::string FCaption;
};
