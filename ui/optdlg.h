// The Options dialog: edits the recorder's settings and holds the AVI and WAV file names.
#pragma once
#include "framework/buttons.h"
#include "framework/fields.h"
#include "framework/filedialog.h"

class TOptionDlg : public TForm {
  public:
    explicit TOptionDlg(TComponent *AOwner);

    TGroupBox *Compressor;         // the compressor and its quality
    TComboBox *ComboBoxCompressor; // the catalogue's compressors by description
    TButton *ButtonAbout;          // the chosen compressor's About box, where it has one
    TButton *ButtonConfig;         // its configuration dialog, where it has one
    TLabel *Label1;                // "Quality:"
    TTrackBar *TrackBarQuality;    // compression quality 0..100 (the recorder keeps 0..10000)
    TLabel *LabelQuality;          // the quality slider's value
    TGroupBox *GroupBox1;          // "Recording parameters": frame interval, key frames
    TLabel *Label6;                // "1 ms / Frame", the recording slider's left end
    TLabel *labelmspFrecord;       // the recording slider's value, "N ms"
    TLabel *Label4;                // "1 min. / Frame", its right end
    TTrackBar *TrackBarRecord;     // milliseconds between captured frames
    TLabel *Label2;                // "Set key frames every"
    TEdit *EditKeyFrames;          // frames between key frames
    TLabel *Label3;                // "frames"
    TGroupBox *GroupBox2;          // "Playback framerate"
    TLabel *Label5;                // "1 fps", the playback slider's left end
    TLabel *labelFPSPlayback;      // the playback slider's value, "N fps"
    TLabel *Label7;                // "50 fps", its right end
    TTrackBar *TrackBarPlayback;   // frames per second written into the AVI header
    TGroupBox *GroupBox3;          // "File Name": the AVI file
    TEdit *FileName;               // the AVI file's path
    TButton *Button6;              // "..": browse for the AVI file
    TGroupBox *GroupBox4;          // "Sound": the WAV file
    TEdit *WaveName;               // the WAV file's path
    TButton *Button1;              // "from fn.": the WAV name from the AVI name
    TButton *Button2;              // "OK": write the settings back
    TButton *Button3;              // "Cancel"
    TOpenDialog *OpenDialog1;      // the AVI file browser of Button6

    // Loads the controls from the recorder, shows the dialog modally, and writes the settings
    // back on OK (true then).
    bool ShowOptions();
    void UpdateCompressorButtons();
    void UpdateLabels();

    void ComboBoxCompressorSelect(TObject *Sender);
    void ButtonAboutClick(TObject *Sender);
    void ButtonConfigClick(TObject *Sender);
    void TrackBarQualityChange(TObject *Sender);
    void TrackBarPlaybackChange(TObject *Sender);
    void Button6Click(TObject *Sender);
    void Button1Click(TObject *Sender);
    // OK: a key-frame interval that is not a whole number is told before anything is applied,
    // and the dialog stays open with what was typed.
    void Button2Click(TObject *Sender);

  protected:
    void CreateParams(TCreateParams &Params) override;
};

extern TOptionDlg *OptionDlg;

// The slider mappings, in extended precision with halves rounded to even.
int QualityFromPosition(int Position, int Max);
int PositionFromQuality(int Quality, int Max);
int MsPerFrameFromPosition(int Position, int Max);
int PositionFromMsPerFrame(int MsPerFrame, int Max);
int FpsFromPosition(int Position, int Max);
int PositionFromFps(int Fps, int Max);
