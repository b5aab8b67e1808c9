#include "ui/Unit2.h"

TForm2 *Form2 = nullptr;

TForm2::TForm2(TComponent *AOwner) : TForm(AOwner) {
    SetBounds(192, 107, 320, 240);
    SetCaption("Form2");
}
