// The main window: the commands, the playback display and the sound recording.
#pragma once
#include "framework/controls.h"
#include "framework/mediaplayer.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class TScreenCam;

class TForm1 : public TForm {
  public:
    explicit TForm1(TComponent *AOwner);
    ~TForm1() override;

    TPanel *Panel2;
    TButton *Button1;
    TButton *Button2;
    TButton *Button3;
    TButton *Button4;
    TButton *Button7;
    TButton *Button5;
    TComboBox *ComboBox1;
    TCheckBox *CheckBox1;
    TButton *Button6;
    TRadioButton *RadioButton1;
    TRadioButton *RadioButton2;
    TRadioButton *RadioButton3;
    TLabel *Label1;
    TLabel *Label2;
    TPanel *Panel1;
    TMediaPlayer *MediaPlayer1;

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

  protected:
    LRESULT WndProc(UINT Msg, WPARAM wParam, LPARAM lParam) override;

  private:
    void SendSound(const std::string &Command);
    // Sets the caption from the main thread; progress text still queued is dropped, and so is
    // any the stopped recording reports later, until the next recording starts.
    void SetCaptionNow(const std::string &Text);

    std::unique_ptr<TScreenCam> FScreenCam;
    std::atomic<HWND> FWindow{nullptr};
    std::mutex FProgressLock;
    std::string FProgressText;  // guarded by FProgressLock
    bool FProgressHeld = false; // guarded by FProgressLock
};

extern TForm1 *Form1;
extern TScreenCam *ScreenCam;
extern int CaptureLeft, CaptureTop, CaptureRight, CaptureBottom;
extern int HeightFix;
extern std::string WaveBitsPerSample, WaveChannels, WaveSamplesPerSec, WaveBytesPerSec;
