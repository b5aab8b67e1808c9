// The program's entry: the three forms in their order, then the main thread's message loop.
#include "framework/application.h"
#include "framework/thread.h"
#include "avifile/journalfile.h"
#include "ui/Unit1.h"
#include "ui/Unit2.h"
#include "ui/optdlg.h"
#include "ui/settings.h"

#include <system_error>
#include <vector>

namespace {

// The start-up repair reads every frame of the files it rebuilds (a recording of an hour takes
// a while): it runs on a thread of its own while the window answers and says what goes on.
class TRepairThread : public TThread {
  public:
    std::vector<RepairResult> Results;

  protected:
    void Execute() override { Results = RepairOpenJournals(); }
};

// Recordings whose process died are rebuilt once the main window shows.
VOID CALLBACK RepairAfterShow(HWND, UINT, UINT_PTR Timer, DWORD) {
    KillTimer(nullptr, Timer);
    if (ReadOpenJournals().empty()) {
        Form1->RepairEnded();
        return;
    }
    Form1->RepairRuns();
    auto *thread = new TRepairThread;
    thread->FreeOnTerminate = true;
    thread->OnTerminate = [thread](TObject *) {
        Form1->RepairEnded();
        ShowRepairNotice(thread->Results);
    };
    try {
        thread->Start();
    } catch (const std::system_error &) {
        // No thread to be had: the repair runs here, the window waiting for it.
        thread->OnTerminate = nullptr;
        delete thread;
        std::vector<RepairResult> results = RepairOpenJournals();
        Form1->RepairEnded();
        ShowRepairNotice(results);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Application->Initialize();
    Application->Title = "Quillet";
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    Application->CreateForm(Form2);
    LoadSettings();
    // Record waits for the repair from the first message the window takes.
    Form1->HoldCommandsForRepair();
    SetTimer(nullptr, 0, 0, RepairAfterShow); // runs once the loop has shown the window
    Application->Run();
    SaveSettings();
    Application->FreeForms();
    return 0;
}
