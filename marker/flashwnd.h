// The corner marker: a borderless top-most popup shaped as four brackets just outside the
// recorded area, painted pale yellow while a frame is grabbed and green in between.
#pragma once
#include "framework/forms.h"

constexpr COLORREF MarkerActiveColor = 0x00B4FFFF; // 255, 255, 180
constexpr COLORREF MarkerIdleColor = 0x0050FF00;   // 0, 255, 80

class TFlashingWnd : public TForm {
  public:
    explicit TFlashingWnd(TComponent *AOwner);

    void SetCaptureRect(int Left, int Top, int Width, int Height);
    void PaintFrame(COLORREF Color);

    int AreaLeft = 0;
    int AreaTop = 0;
    int AreaRight = 0;  // inclusive
    int AreaBottom = 0; // inclusive

  protected:
    void CreateParams(TCreateParams &Params) override;
};
