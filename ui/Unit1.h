// The main window: the commands, the playback display and the sound recording.
#pragma once
#include "framework/buttons.h"
#include "framework/fields.h"
#include "framework/mediaplayer.h"
#include "ui/hotkeys.h"
#include "ui/ownwindow.h"
#include "ui/takename.h"
#include "ui/takesummary.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class TScreenCam;
struct RepairResult;

class TForm1 : public TForm {
  public:
    explicit TForm1(TComponent *AOwner);
    ~TForm1() override;

    TPanel *Panel2;             // the command area at the top
    TButton *Button1;           // "Record Again": record the area found last
    TButton *Button2;           // "Stop": end the recording, the playback and the sound
    TButton *Button3;           // "Options": the recording settings dialog
    TButton *Button4;           // "About"
    TButton *Button7;           // "Record": find the changing area, then Record Again
    TButton *Button5;           // "Play Avi": play the AVI file in Panel1
    TComboBox *ComboBox1;       // service fix: what to take off the area's height
    TCheckBox *CheckBox1;       // "wave recorder (sound)": record sound with the video
    TButton *Button6;           // "Play Sound": play the WAV file
    TRadioButton *RadioButton1; // sound quality "Low"
    TRadioButton *RadioButton2; // sound quality "Med"
    TRadioButton *RadioButton3; // sound quality "Hight" (the default)
    TLabel *Label1;             // "Service fix:"
    TLabel *Label2;             // "Quality:"
    TPanel *Panel1;             // the playback display below the commands
    TMediaPlayer *MediaPlayer1; // the playback of Play Avi and Play Sound
    TButton *PauseButton;       // "Pause" / "Resume": holds the recording still and goes on
    TButton *SelectAreaButton;  // "Select Area": record a rectangle dragged or a window clicked

    void FormCreate(TObject *Sender);
    void FormClose(TObject *Sender);
    void FormDestroy(TObject *Sender);
    // Runs on the recording worker: the text reaches the caption through a posted message.
    void ShowProgress(TObject *Sender);
    void Button1Click(TObject *Sender);
    void Button2Click(TObject *Sender);
    void Button3Click(TObject *Sender);
    void Button4Click(TObject *Sender);
    void Button5Click(TObject *Sender);
    void Button6Click(TObject *Sender);
    void Button7Click(TObject *Sender);
    void ComboBox1Click(TObject *Sender);
    void RadioButton1Click(TObject *Sender);
    void RadioButton2Click(TObject *Sender);
    void RadioButton3Click(TObject *Sender);
    void Panel1Resize(TObject *Sender);
    void PauseButtonClick(TObject *Sender);
    void SelectAreaButtonClick(TObject *Sender);

    // The start-up repair of the recordings that were not closed works on files that Record
    // and Record Again would delete or write: from HoldCommandsForRepair (before the window
    // takes commands) to RepairEnded they wait, the caption saying so, and the last one asked
    // for runs when the repair ends. RepairRuns shows that a repair works.
    // A copy of Quillet started before this one runs (it holds the hot keys).
    bool SecondCopy() const { return FHotKeys.OtherCopyHoldsThem(); }
    // The window's place on the screen now; empty before it has a window.
    RECT Place();

    void HoldCommandsForRepair();
    void RepairRuns();
    void RepairEnded();

  protected:
    LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

  private:
    // The form as designed (Unit1form.cpp): the controls, their places, captions and handlers.
    void CreateControls();
    void SendSound(const std::string &Command);
    // The system-wide keys of Record, Select Area, Record Again, Pause and Stop (README); the ones
    // another program holds are told once the window shows.
    void RegisterHotKeys();
    void HotKeyPressed(int Id);
    TButton *ButtonOfKey(int Id) const;
    // The hint of a command's button while it can run: its key, or where the key works.
    std::string KeyHintOf(TButton *Button) const;
    // While a recording runs, Record, Select Area and Record Again could only be refused, and
    // Play Avi would open the file being written: disabled then, their hints saying why. After
    // it, ShowStopped enables Record Again.
    void CommandsWhileRecording(bool Recording);
    // Opens the player on the file; when it cannot, the error names the file and the reason.
    void OpenPlayer(const std::string &FileName, const char *MadeBy);
    // The Pause button as it is while nothing records: disabled, captioned "Pause".
    void PauseButtonIdle();
    // Whether Record or Record Again may start now: not while a recording runs (paused too),
    // nor while the repair works (then the command waits for it).
    bool ReadyToRecord(TButton *Command);
    // The window as Stop leaves it: Record Again enabled, nothing to pause, the sound saved.
    void ShowStopped();
    // A recording that ended by itself (a failed write) leaves the window as after Stop.
    void RecordingEnded();
    // Sets the caption from the main thread; progress text still queued is dropped, and so is
    // any the stopped recording reports later, until the next recording starts.
    void SetCaptionNow(const std::string &Text);
    // Record's look at the screen (DetectChangingArea), the caption saying so; false when Stop
    // cancelled it.
    bool LookForThePicture(int &Left, int &Top, int &Right, int &Bottom);

    // The files Play Avi and Play Sound play and the sound is saved to: the last take's.
    std::string TakeAvi() const;
    std::string TakeWave() const;

    // Once the take's recording has ended: its files and figures in the display area.
    void ShowTake();

    TakeNames FTake;     // the last take started
    TakeNames FTakeFrom; // the Options dialog's names it was made from
    bool FTakeSound = false;
    bool FTakeToShow = false; // started, and not shown yet
    std::unique_ptr<TakeView> FTakeView;
    std::unique_ptr<TScreenCam> FScreenCam;
    std::atomic<HWND> FWindow{nullptr};
    std::mutex FProgressLock;
    std::string FProgressText;  // guarded by FProgressLock
    bool FProgressHeld = false; // guarded by FProgressLock
    HotKeyRegistration FHotKeys;
    bool FRecordingRuns = false; // started here and not stopped by Stop yet
    bool FRepairing = false;
    std::string FCaptionAfterRepair;
    TButton *FWaitingCommand = nullptr; // asked for during the repair
    OwnWindowOutOfRecording FOwnWindow; // this window, never in a recording
    bool FLooking = false;              // Record looks at the screen
    bool FLookCancelled = false;        // Stop was pressed during the look
};

extern TForm1 *Form1;
extern TScreenCam *ScreenCam;
// The area to record. Record Again records the rectangle they make: CaptureRight - CaptureLeft
// pixels across from CaptureLeft, CaptureBottom - CaptureTop down from CaptureTop. Record puts
// there the outermost changed pixels (inclusive bounds), so its recordings leave the last changed
// column and row out; Select Area puts its rectangle, right and bottom exclusive, so it records
// exactly what was chosen. CaptureArea and SetCaptureArea take them as one rectangle.
extern int CaptureLeft, CaptureTop, CaptureRight, CaptureBottom;
RECT CaptureArea();
void SetCaptureArea(const RECT &Area);
extern int HeightFix;
// What each service fix takes off the detected area's height, in ComboBox1's order.
constexpr int StandardCamHeightFix = 0;
constexpr int VlcHeightFix = -14;
constexpr int YoutubeHeightFix = -20;
extern std::string WaveBitsPerSample, WaveChannels, WaveSamplesPerSec, WaveBytesPerSec;

// At start-up, once the main window shows: one "Notice" box, with no owner like every box of the
// program, saying what became of the recordings that were not closed; none when there were none.
void ShowRepairNotice(const std::vector<RepairResult> &Results);
