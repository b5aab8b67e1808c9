// The program's entry: the three forms in their order, then the main thread's message loop.
#include "framework/application.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/optdlg.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Application->Initialize();
    Application->Title = "Quillet";
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    Application->CreateForm(Form2);
    Application->Run();
    Application->FreeForms();
    return 0;
}
