// The second form: created at start-up with the others and never shown.
#pragma once
#include "framework/forms.h"

class TForm2 : public TForm {
  public:
    explicit TForm2(TComponent *AOwner);
};

extern TForm2 *Form2;
