// The system's file-open dialog.
#pragma once
#include "framework/forms.h"

#include <string>

// The system's file-open dialog. Filter is "description|pattern|..." as forms write it.
class TOpenDialog : public TComponent {
  public:
    explicit TOpenDialog(TForm *AOwner) : TComponent(AOwner), FForm(AOwner) {}
    std::string Filter;
    int FilterIndex = 1;
    std::string FileName;
    // True when the user picked a file; FileName is then its full path.
    bool Execute();

  private:
    TForm *FForm;
};
