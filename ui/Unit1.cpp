#include "ui/Unit1.h"
#include "avifile/journalfile.h"
#include "avifile/recordfile.h"
#include "framework/application.h"
#include "framework/sysutils.h"
#include "recorder/recordthread.h"
#include "recorder/scrcam.h"
#include "ui/areadetect.h"
#include "ui/areaselect.h"
#include "ui/hotkeys.h"
#include "ui/optdlg.h"
#include "ui/settings.h"
#include "ui/takename.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

TForm1 *Form1 = nullptr;
TScreenCam *ScreenCam = nullptr;
int CaptureLeft = 0, CaptureTop = 0, CaptureRight = 0, CaptureBottom = 0;
int HeightFix = 0;
std::string WaveBitsPerSample = "16";
std::string WaveChannels = "1";
std::string WaveSamplesPerSec = "48300";
std::string WaveBytesPerSec = "163000";

RECT CaptureArea() { return {CaptureLeft, CaptureTop, CaptureRight, CaptureBottom}; }

void SetCaptureArea(const RECT &Area) {
    CaptureLeft = Area.left, CaptureTop = Area.top;
    CaptureRight = Area.right, CaptureBottom = Area.bottom;
}

namespace {
constexpr DWORD SoundSettleMs = 250;
// While Record looks, messages are handled at least this often.
constexpr DWORD LookPumpMs = 10;
// Carries progress text from the recording worker to the main thread.
constexpr UINT WM_PROGRESSCAPTION = WM_APP + 1;
// Asks the main thread to tell the user which hot keys could not be had, once the window shows.
constexpr UINT WM_HOTKEYSREFUSED = WM_APP + 2;

constexpr char RepairingCaption[] = "Quillet: repairing recordings that were not closed...";
constexpr char WaitingCaption[] =
    "Quillet: recording starts once the recordings that were not closed are repaired...";
constexpr char NoChangeText[] =
    "Nothing on the screen changed while Quillet looked, so there is no area to record.\n\n"
    "Start the picture first (play the video), then press Record, or choose the area by hand "
    "with Select Area.";
constexpr char LookingCaption[] =
    "Quillet: looking for the moving picture... Stop (Ctrl+Shift+F10) cancels";
constexpr char ThinAreaText[] =
    "The area is %d pixels high, and the service fix takes %d pixels off its height: nothing "
    "would be left to record.\n\nChoose a taller area, or the service fix \"Standar Cam\".";

constexpr char NoAreaText[] =
    "There is no area to record yet.\n\n"
    "Press Record to find the changing area, or choose it with Select Area.";

} // namespace

TForm1::TForm1(TComponent *AOwner) : TForm(AOwner) {
    CreateControls();
    // The window exists before any recording can post progress to it.
    FWindow = Handle();
    FOwnWindow.Exclude(Handle());
    FormCreate(this);
    RegisterHotKeys();
}

TForm1::~TForm1() {
    FHotKeys.Unregister();
    FormDestroy(this);
}

void TForm1::RegisterHotKeys() {
    FHotKeys.Register(FWindow);
    for (const HotKeyCommand &key : HotKeys)
        ButtonOfKey(key.Id)->SetHint(KeyHintOf(ButtonOfKey(key.Id)));
    if (!FHotKeys.Refusal().empty()) PostMessageA(FWindow, WM_HOTKEYSREFUSED, 0, 0);
}

std::string TForm1::KeyHintOf(TButton *Button) const {
    for (const HotKeyCommand &key : HotKeys)
        if (ButtonOfKey(key.Id) == Button)
            return FHotKeys.OtherCopyHoldsThem()
                       ? std::string(key.Name) + " works in the other copy of Quillet"
                       : KeyHint(key);
    return "";
}

void TForm1::CommandsWhileRecording(bool Recording) {
    for (TButton *button : {Button7, SelectAreaButton, Button1, Button5}) {
        if (Recording || button != Button1) button->SetEnabled(!Recording);
        button->SetHint(!Recording          ? KeyHintOf(button)
                        : button == Button5 ? "Not while a recording runs: its AVI file is "
                                              "still being written"
                                            : "Not while a recording runs: Stop it first");
    }
}

void TForm1::OpenPlayer(const std::string &FileName, const char *MadeBy) {
    MediaPlayer1->FileName = FileName;
    try {
        MediaPlayer1->Open();
    } catch (const std::exception &e) {
        std::string why = GetFileAttributesA(FileName.c_str()) == INVALID_FILE_ATTRIBUTES
                              ? std::string("there is no such file. ") + MadeBy
                              : e.what();
        throw Exception("Cannot play \"" + FileName + "\": " + why);
    }
}

// Each hot key does what its button does, and nothing when the button is disabled or cannot
// be clicked because the Options dialog holds the window.
void TForm1::HotKeyPressed(int Id) {
    if (!IsWindowEnabled(Handle())) return;
    if (TButton *button = ButtonOfKey(Id)) button->Click();
}

TButton *TForm1::ButtonOfKey(int Id) const {
    return Id == RecordKey.Id        ? Button7
           : Id == RecordAgainKey.Id ? Button1
           : Id == PauseKey.Id       ? PauseButton
           : Id == StopKey.Id        ? Button2
           : Id == SelectAreaKey.Id  ? SelectAreaButton
                                     : nullptr;
}

RECT TForm1::Place() {
    RECT place = {0, 0, 0, 0};
    if (!FOwnWindow.HomeWhileAside(place) && HandleAllocated()) GetWindowRect(Handle(), &place);
    return place;
}

void ShowRepairNotice(const std::vector<RepairResult> &Results) {
    std::string notice = RepairNotice(Results);
    if (notice.empty()) return;
    UINT icon = MB_ICONINFORMATION;
    for (const RepairResult &r : Results)
        if (r.Result != RepairResult::Recovered) icon = MB_ICONWARNING;
    MessageBoxA(nullptr, notice.c_str(), "Notice", MB_OK | icon);
}

void TForm1::HoldCommandsForRepair() {
    FRepairing = true;
    FCaptionAfterRepair = Caption();
}

void TForm1::RepairRuns() { SetCaption(RepairingCaption); }

void TForm1::RepairEnded() {
    FRepairing = false;
    if (Caption() == RepairingCaption || Caption() == WaitingCaption)
        SetCaption(FCaptionAfterRepair);
    TButton *command = FWaitingCommand;
    FWaitingCommand = nullptr;
    if (!command) return;
    // Called from a timer or the repair's end, outside any window's handling of errors.
    try {
        command->Click();
    } catch (const std::exception &e) {
        Application->HandleException(e);
    }
}

void TForm1::FormCreate(TObject *) {
    FScreenCam = std::make_unique<TScreenCam>(this);
    ScreenCam = FScreenCam.get();
    ScreenCam->OnProgress = [this](TObject *s) { ShowProgress(s); };
    ScreenCam->OnIdle = [this](TObject *) { RecordingEnded(); };
    CaptureLeft = 0;
    CaptureTop = 0;
    CaptureRight = 0;
    CaptureBottom = 0;
    ScreenCam->Quality = 10000;
}

void TForm1::FormClose(TObject *) {
    FOwnWindow.ComeBack();
    if (ScreenCam) ScreenCam->StopRecording();
}

void TForm1::FormDestroy(TObject *) {
    // A pass of the worker still under way reports progress through ShowProgress, which reads
    // the recorder: it stays reachable until the worker has ended.
    if (FScreenCam) StopRecordingAndWait(FScreenCam.get());
    if (ScreenCam == FScreenCam.get()) ScreenCam = nullptr;
    FScreenCam.reset();
}

void TForm1::ShowProgress(TObject *) {
    char text[128];
    if (ScreenCam->LoopPaused)
        snprintf(text, sizeof(text), "Paused, FrameNr: %d, Skipped Frames: %d",
                 ScreenCam->FramesWritten, ScreenCam->SkippedFrames);
    else
        snprintf(text, sizeof(text), "ms/Frame: %.2f, FrameNr: %d, Skipped Frames: %d",
                 ScreenCam->MsPerFrameActual, ScreenCam->FramesWritten, ScreenCam->SkippedFrames);
    std::string caption = text;
    char sep[8] = ".";
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, sizeof(sep)) > 1) {
        size_t dot = caption.find('.');
        if (dot != std::string::npos) caption.replace(dot, 1, sep);
    }
    {
        std::lock_guard<std::mutex> lock(FProgressLock);
        // The pass under way at Stop may report after Stop has set its own caption.
        if (FProgressHeld) return;
        FProgressText = caption;
    }
    PostMessageA(FWindow.load(), WM_PROGRESSCAPTION, 0, 0);
}

LRESULT TForm1::WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Msg == WM_PROGRESSCAPTION) {
        std::string text;
        {
            std::lock_guard<std::mutex> lock(FProgressLock);
            text.swap(FProgressText);
        }
        if (!text.empty()) SetCaption(text);
        return 0;
    }
    if (Msg == WM_HOTKEY) {
        HotKeyPressed((int)wParam);
        return 0;
    }
    if (Msg == WM_HOTKEYSREFUSED) {
        MessageBoxA(nullptr, FHotKeys.Refusal().c_str(), "Error", MB_ICONWARNING);
        return 0;
    }
    return TForm::WndProc(Msg, wParam, lParam);
}

void TForm1::SetCaptionNow(const std::string &Text) {
    {
        std::lock_guard<std::mutex> lock(FProgressLock);
        FProgressText.clear();
        FProgressHeld = true;
    }
    SetCaption(Text);
}

void TForm1::SendSound(const std::string &Command) {
    mciSendStringA(Command.c_str(), nullptr, 0, Handle());
}

bool TForm1::ReadyToRecord(TButton *Command) {
    // A second start would delete the files the running recording has finished, and send the
    // sound's commands to the recording (RECORD resumes a paused one).
    if (ScreenCam->Recording || FLooking) return false;
    if (FRepairing) {
        FWaitingCommand = Command;
        SetCaption(WaitingCaption);
        return false;
    }
    return true;
}

void TForm1::Button1Click(TObject *) {
    // Only what lies on the screen now can be grabbed.
    RECT area = CaptureArea();
    if (!IsEmpty(area)) area = Intersection(area, VirtualScreen());
    int height = area.bottom - area.top + HeightFix;
    // A run on an area the service fix leaves no height of could only fail.
    if (!IsEmpty(area) && height <= 0 && !ScreenCam->Recording) {
        char text[320];
        snprintf(text, sizeof(text), ThinAreaText, (int)(area.bottom - area.top), -HeightFix);
        MessageBoxA(nullptr, text, "Record", MB_OK | MB_ICONWARNING | RunBox);
        return;
    }
    if (!ReadyToRecord(Button1)) return;
    if (IsEmpty(area)) {
        MessageBoxA(nullptr, NoAreaText, "Record Again", MB_OK | MB_ICONINFORMATION | RunBox);
        return;
    }
    MediaPlayer1->Close(); // it would hold the files the recording replaces
    ScreenCam->ShowMarker = true;
    {
        std::lock_guard<std::mutex> lock(FProgressLock);
        FProgressHeld = false;
    }
    if (CheckBox1->Checked()) {
        std::string set = "SET mysound TIME FORMAT MS BITSPERSAMPLE " + WaveBitsPerSample + " " +
                          "CHANNELS " + WaveChannels + " SAMPLESPERSEC " + WaveSamplesPerSec +
                          " BYTESPERSEC " + WaveBytesPerSec;
        SendSound("OPEN NEW TYPE WAVEAUDIO ALIAS mysound");
        SendSound(set);
    }
    // A take never replaces an earlier one: it gets a name of its own when the name is taken.
    TakeNames take =
        NameTakeNow(OptionDlg->FileName->Text(), OptionDlg->WaveName->Text(), CheckBox1->Checked());
    // The AVI gets the same sound as its own audio stream, in step with the frames.
    ScreenCam->RecordSound = CheckBox1->Checked();
    ScreenCam->SoundBitsPerSample = std::atoi(WaveBitsPerSample.c_str());
    ScreenCam->SoundChannels = std::atoi(WaveChannels.c_str());
    ScreenCam->SoundSamplesPerSec = std::atoi(WaveSamplesPerSec.c_str());
    if (CheckBox1->Checked()) SendSound("RECORD mysound");
    // Out of the area before the first frame, where the system cannot leave it out of copies.
    FOwnWindow.StepAside({area.left, area.top, area.right, area.top + height});
    ScreenCam->StartRecording(area.left, area.top, area.right - area.left, height, take.Avi);
    CommandsWhileRecording(ScreenCam->Recording);
    if (!ScreenCam->Recording) FOwnWindow.ComeBack();
    FTake = take;
    FTakeSound = CheckBox1->Checked();
    FTakeToShow = ScreenCam->Recording;
    FTakeView->Hide();
    FTakeFrom = {OptionDlg->FileName->Text(), OptionDlg->WaveName->Text()};
    PauseButton->SetCaption("Pause");
    PauseButton->SetEnabled(ScreenCam->Recording);
    FRecordingRuns = ScreenCam->Recording;
    SaveSettings(); // the area and the settings a recording started with
}

void TForm1::Button2Click(TObject *) {
    FWaitingCommand = nullptr;
    // Stop during Record's look cancels the look and nothing else.
    if (FLooking) {
        FLookCancelled = true;
        return;
    }
    FRecordingRuns = false;
    ScreenCam->StopRecording();
    MediaPlayer1->Close();
    // Nothing plays now: the last take shows again, unless the one just stopped is to come.
    if (!FTakeToShow) FTakeView->ShowLast();
    ShowStopped();
}

void TForm1::RecordingEnded() {
    PauseButtonIdle();
    if (FRecordingRuns) {
        FRecordingRuns = false;
        ShowStopped();
    }
    ShowTake();
}

void TForm1::ShowTake() {
    if (!FTakeToShow) return;
    FTakeToShow = false;
    TakeSummary take = ReadTake(FTake, FTakeSound, ScreenCam->FramesWritten,
                                ScreenCam->SkippedFrames, ScreenCam->PlaybackFps);
    if (take.Files > 0 && MediaPlayer1->DeviceID() == 0) FTakeView->Show(take);
}

void TForm1::ShowStopped() {
    FOwnWindow.ComeBack();
    Button1->SetEnabled(true);
    CommandsWhileRecording(false);
    PauseButtonIdle();
    if (!CheckBox1->Checked()) return;
    SendSound("STOP mysound");
    SetCaptionNow("Record the sound..");
    // STOP returns while the device's recording thread may still be leaving the driver; saving
    // and closing under it has crashed the program (under Wine, within 30 ms of the STOP).
    Sleep(SoundSettleMs);
    // Quoted, so that a name with spaces is saved where the user asked and not cut at the
    // first space.
    SendSound("SAVE mysound \"" + TakeWave() + "\"");
    SendSound("CLOSE mysound");
    SetCaptionNow("Sound record");
}

void TForm1::Button3Click(TObject *) {
    ScreenCam->EnumerateCompressors();
    if (OptionDlg->ShowOptions()) SaveSettings();
}

void TForm1::Button4Click(TObject *) {
    MessageBoxA(nullptr, "Quillet 1.542 by its author", "About", MB_OK);
}

// The last take's files while the names it was made from are still the Options dialog's.
std::string TForm1::TakeAvi() const {
    return FTake.Avi.empty() || FTakeFrom.Avi != OptionDlg->FileName->Text()
               ? OptionDlg->FileName->Text()
               : FTake.Avi;
}

std::string TForm1::TakeWave() const {
    return !FTakeSound || FTakeFrom.Wave != OptionDlg->WaveName->Text()
               ? OptionDlg->WaveName->Text()
               : FTake.Wave;
}

void TForm1::Button5Click(TObject *) {
    OpenPlayer(TakeAvi(), "Record makes it.");
    FTakeView->Hide();
    MediaPlayer1->SetDisplayRect({0, 0, Panel1->Width(), Panel1->Height()});
    MediaPlayer1->Play();
}

void TForm1::Button6Click(TObject *) {
    OpenPlayer(TakeWave(),
               "A recording with \"wave recorder (sound)\" ticked makes it when it stops.");
    FTakeView->Hide();
    MediaPlayer1->Play();
}

void TForm1::Button7Click(TObject *Sender) {
    if (!ReadyToRecord(Button7)) return;
    MediaPlayer1->Close(); // its picture would be the change found
    int left = 0, top = 0, right = 0, bottom = 0;
    if (!LookForThePicture(left, top, right, bottom)) return;
    // No change gives no area: recording it would only replace the last recording with a
    // file of no picture, so the area of the last Record stays.
    if (right <= left || bottom <= top) {
        MessageBoxA(nullptr, NoChangeText, "Record", MB_OK | MB_ICONINFORMATION | RunBox);
        return;
    }
    CaptureLeft = left;
    CaptureTop = top;
    CaptureRight = right;
    CaptureBottom = bottom;
    Button1Click(Sender);
}

// The look takes a second or more; the window answers meanwhile, so that Stop can cancel it.
bool TForm1::LookForThePicture(int &Left, int &Top, int &Right, int &Bottom) {
    std::string caption = Caption();
    SetCaption(LookingCaption);
    FLooking = true;
    FLookCancelled = false;
    bool looked = false;
    try {
        looked = DetectChangingArea(Left, Top, Right, Bottom, [this](DWORD Ms) {
            DWORD until = timeGetTime() + Ms;
            for (;;) {
                Application->ProcessMessages();
                if (FLookCancelled || Application->Terminated()) return false;
                DWORD now = timeGetTime();
                if ((int)(until - now) <= 0) return true;
                Sleep(std::min<DWORD>(until - now, LookPumpMs));
            }
        });
    } catch (...) {
        FLooking = false;
        SetCaption(caption);
        throw;
    }
    FLooking = false;
    SetCaption(caption);
    return looked;
}

void TForm1::ComboBox1Click(TObject *) {
    switch (ComboBox1->ItemIndex()) {
    case 0:
        HeightFix = StandardCamHeightFix;
        break;
    case 1:
        HeightFix = VlcHeightFix;
        break;
    case 2:
        HeightFix = YoutubeHeightFix;
        break;
    }
}

void TForm1::RadioButton1Click(TObject *) {
    WaveBitsPerSample = "8";
    WaveChannels = "1";
    WaveSamplesPerSec = "11025";
    WaveBytesPerSec = "11300";
}

void TForm1::RadioButton2Click(TObject *) {
    WaveBitsPerSample = "16";
    WaveChannels = "1";
    WaveSamplesPerSec = "22050";
    WaveBytesPerSec = "22128";
}

void TForm1::RadioButton3Click(TObject *) {
    WaveBitsPerSample = "16";
    WaveChannels = "1";
    WaveSamplesPerSec = "48300";
    WaveBytesPerSec = "163000";
}

void TForm1::Panel1Resize(TObject *) {
    FTakeView->Resize();
    MediaPlayer1->SetDisplayRect({0, 0, Panel1->Width(), Panel1->Height()});
}

void TForm1::PauseButtonIdle() {
    PauseButton->SetEnabled(false);
    PauseButton->SetCaption("Pause");
}

// The sound recording pauses with the picture, when the sound box is ticked now (as Stop
// goes by the box when it runs).
void TForm1::PauseButtonClick(TObject *) {
    if (!ScreenCam->Recording) return;
    if (!ScreenCam->Paused) {
        ScreenCam->PauseRecording();
        if (CheckBox1->Checked()) SendSound("PAUSE mysound");
        PauseButton->SetCaption("Resume");
    } else {
        if (CheckBox1->Checked()) SendSound("RESUME mysound");
        ScreenCam->ResumeRecording();
        PauseButton->SetCaption("Pause");
    }
}

// The chosen area is recorded as Record records the one it finds, through Record Again, and
// kept for the next Record Again.
void TForm1::SelectAreaButtonClick(TObject *Sender) {
    // As Record: nothing while a recording runs, and only once the start-up repair is done.
    if (!ReadyToRecord(SelectAreaButton)) return;
    // The readout tells the size recorded: the service fix taken off, grown for the compressor.
    auto recorded = [](const RECT &A) {
        int height = A.bottom - A.top + HeightFix;
        return height > 0 ? ScreenCam->AreaToRecord(A.left, A.top, A.right - A.left, height) : A;
    };
    RECT area;
    if (!SelectArea(area, recorded)) return;
    SetCaptureArea(area);
    Button1Click(Sender);
}
