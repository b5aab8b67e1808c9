// What the main window shows of a take once it has ended, in the display area while nothing
// plays: where its files are, how long it is and what it holds, as labels a screen reader
// reads, and a button that shows the file in its folder.
#pragma once
#include "framework/buttons.h"
#include "framework/fields.h"
#include "ui/takename.h"

#include <cstdint>
#include <string>
#include <vector>

struct TakeSummary {
    std::string AviPath; // the first file's full path
    int Files = 0;       // the first and its numbered parts
    double Seconds = 0;  // as the files play, at the playback rate
    int Frames = 0;
    int Skipped = 0;
    int64_t Bytes = 0;    // of every file of the take
    std::string WavePath; // the WAV's full path, empty when there is none
};

// Reads what the take left on disk; the frames and positions are the recorder's count. No AVI
// file: Files is 0.
TakeSummary ReadTake(const TakeNames &Take, bool WithSound, int Frames, int Skipped, int Fps);

// The labels' texts: the AVI, the figures, the skipped frames and the WAV (empty when there
// are none).
std::vector<std::string> TakeSummaryLines(const TakeSummary &Take);

// The take's labels and its folder button, on the display panel.
class TakeView {
  public:
    TakeView(TForm *Form, TPanel *Display);
    void Show(const TakeSummary &Take);
    void Hide();
    // Shows the take shown last again, if any.
    void ShowLast();
    // Follows the display's width.
    void Resize();
    bool Showing() const { return FFolder->Visible(); }

  private:
    void ShowInFolder();

    TPanel *FDisplay;
    std::vector<TLabel *> FLines;
    TButton *FFolder;  // "Show in Folder": the folder with the take's AVI selected
    std::string FPath; // of the take shown last
};
