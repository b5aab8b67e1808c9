// The program's entry: the three forms in their order, then the main thread's message loop.
#include "framework/application.h"
#include "avifile/journalfile.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/optdlg.h"

namespace {

// Recordings whose process died are rebuilt once the main window shows, and one notice says
// what became of them.
VOID CALLBACK RepairAfterShow(HWND, UINT, UINT_PTR Timer, DWORD) {
    KillTimer(nullptr, Timer);
    ShowRepairNotice(RepairOpenJournals());
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Application->Initialize();
    Application->Title = "Quillet";
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    Application->CreateForm(Form2);
    SetTimer(nullptr, 0, 0, RepairAfterShow); // runs once the loop has shown the window
    Application->Run();
    Application->FreeForms();
    return 0;
}
