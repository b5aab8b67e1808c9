// The Options dialog: edits the recorder's settings and holds the AVI and WAV file names.
#pragma once
#include "framework/controls.h"

class TOptionDlg : public TForm {
  public:
    explicit TOptionDlg(TComponent *AOwner);

    TGroupBox *Compressor;
    TComboBox *ComboBoxCompressor;
    TButton *ButtonAbout;
    TButton *ButtonConfig;
    TLabel *Label1;
    TTrackBar *TrackBarQuality;
    TLabel *LabelQuality;
    TGroupBox *GroupBox1;
    TLabel *Label6;
    TLabel *labelmspFrecord;
    TLabel *Label4;
    TTrackBar *TrackBarRecord;
    TLabel *Label2;
    TEdit *EditKeyFrames;
    TLabel *Label3;
    TGroupBox *GroupBox2;
    TLabel *Label5;
    TLabel *labelFPSPlayback;
    TLabel *Label7;
    TTrackBar *TrackBarPlayback;
    TGroupBox *GroupBox3;
    TEdit *FileName;
    TButton *Button6;
    TGroupBox *GroupBox4;
    TEdit *WaveName;
    TButton *Button1;
    TButton *Button2;
    TButton *Button3;
    TOpenDialog *OpenDialog1;

    // Loads the controls from the recorder, shows the dialog modally, and writes the settings
    // back on OK.
    void ShowOptions();
    void UpdateCompressorButtons();
    void UpdateLabels();

    void ComboBoxCompressorSelect(TObject *Sender);
    void ButtonAboutClick(TObject *Sender);
    void ButtonConfigClick(TObject *Sender);
    void TrackBarQualityChange(TObject *Sender);
    void TrackBarPlaybackChange(TObject *Sender);
    void Button6Click(TObject *Sender);
    void Button1Click(TObject *Sender);

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
