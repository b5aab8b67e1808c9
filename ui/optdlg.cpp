#include "ui/optdlg.h"
#include "framework/application.h"
#include "framework/sysutils.h"
#include "recorder/scrcam.h"
#include "ui/Unit1.h"

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>

TOptionDlg *OptionDlg = nullptr;

namespace {

// The catalogue index the dialog treats as selected; kept in 8 bits as the catalogue takes it.
uint8_t CompressorIndex = 0;

// Nearest integer, halves to the even neighbour (the default rounding mode).
int Round(long double Value) {
    std::fesetround(FE_TONEAREST);
    return (int)std::nearbyint(Value);
}

const long double Log60000 = std::log10(60000.0L);

bool HoldsMicrosoft(const WCHAR *Text, size_t Length) {
    static const char Word[] = "Microsoft";
    const size_t n = sizeof(Word) - 1;
    for (size_t i = 0; i + n <= Length; ++i) {
        size_t j = 0;
        while (j < n && Text[i + j] == (WCHAR)Word[j])
            ++j;
        if (j == n) return true;
    }
    return false;
}

std::string ToAnsi(const WCHAR *Text, size_t Length) {
    if (Length == 0) return std::string();
    char buffer[DescriptionLength * 2 + 1];
    int n = WideCharToMultiByte(CP_ACP, 0, Text, (int)Length, buffer, sizeof(buffer) - 1, nullptr,
                                nullptr);
    return std::string(buffer, n > 0 ? (size_t)n : 0);
}

} // namespace

int QualityFromPosition(int Position, int Max) {
    return Round((long double)Position * 10000 / Max);
}
int PositionFromQuality(int Quality, int Max) { return Round((long double)Quality * Max / 10000); }
int MsPerFrameFromPosition(int Position, int Max) {
    return Round(std::pow(10.0L, Log60000 * (Position - 1) / (Max - 1)));
}
int PositionFromMsPerFrame(int MsPerFrame, int Max) {
    return Round(std::log10((long double)MsPerFrame) * (Max - 1) / Log60000 + 1);
}
int FpsFromPosition(int Position, int Max) {
    return Round((long double)(Position - 1) * 49 / (Max - 1) + 1);
}
int PositionFromFps(int Fps, int Max) { return Round((long double)(Fps - 1) * (Max - 1) / 49); }

TOptionDlg::TOptionDlg(TComponent *AOwner) : TForm(AOwner) {
    SetBounds(304, 160, 455, 504);
    SetCaption("Options");
    BorderStyle = TBorderStyle::bsSizeable;
    BorderIcons = biSystemMenu;

    auto label = [this](TControl *parent, const char *text, int x, int y, int w,
                        TAlignment align = TAlignment::taLeftJustify) {
        auto *l = new TLabel(this, parent);
        l->SetBounds(x, y, w, 13);
        l->SetCaption(text);
        l->Alignment = align;
        return l;
    };
    auto group = [this](const char *text, int y, int h) {
        auto *g = new TGroupBox(this, nullptr);
        g->SetBounds(8, y, 423, h);
        g->SetCaption(text);
        return g;
    };
    auto button = [this](TControl *parent, const char *text, int x, int y, int w, int h) {
        auto *b = new TButton(this, parent);
        b->SetBounds(x, y, w, h);
        b->SetCaption(text);
        return b;
    };
    auto slider = [this](TControl *parent, int y, int min, int max, int position) {
        auto *t = new TTrackBar(this, parent);
        t->SetBounds(8, y, 406, 26);
        t->SetMax(max);
        t->SetMin(min);
        t->SetPosition(position);
        return t;
    };

    // Created in tab order; each group box before what it frames.
    Compressor = group("Compressor", 6, 96);
    ComboBoxCompressor = new TComboBox(this, Compressor, TComboBoxStyle::csDropDownList);
    ComboBoxCompressor->SetBounds(12, 20, 250, 21);
    ButtonAbout = button(Compressor, "About", 270, 18, 68, 25);
    ButtonConfig = button(Compressor, "Configure", 344, 18, 68, 25);
    Label1 = label(Compressor, "Quality:", 12, 61, 44);
    TrackBarQuality = new TTrackBar(this, Compressor);
    TrackBarQuality->SetBounds(60, 55, 300, 26);
    TrackBarQuality->SetMin(0);
    TrackBarQuality->SetMax(100);
    TrackBarQuality->SetPosition(100);
    LabelQuality = label(Compressor, "", 366, 61, 40);

    GroupBox1 = group("Recording parameters", 108, 108);
    Label6 = label(GroupBox1, "1 ms / Frame", 12, 18, 100);
    labelmspFrecord = label(GroupBox1, "", 140, 18, 143, TAlignment::taCenter);
    Label4 = label(GroupBox1, "1 min. / Frame", 311, 18, 100, TAlignment::taRightJustify);
    TrackBarRecord = slider(GroupBox1, 34, 1, 1000, 50);
    Label2 = label(GroupBox1, "Set key frames every", 12, 80, 132);
    EditKeyFrames = new TEdit(this, GroupBox1);
    EditKeyFrames->SetBounds(148, 76, 56, 21);
    Label3 = label(GroupBox1, "frames", 210, 80, 60);

    GroupBox2 = group("Playback framerate", 222, 70);
    Label5 = label(GroupBox2, "1 fps", 12, 18, 100);
    labelFPSPlayback = label(GroupBox2, "", 140, 18, 143, TAlignment::taCenter);
    Label7 = label(GroupBox2, "50 fps", 311, 18, 100, TAlignment::taRightJustify);
    TrackBarPlayback = slider(GroupBox2, 34, 1, 1000, 50);

    GroupBox3 = group("File Name", 298, 50);
    FileName = new TEdit(this, GroupBox3);
    FileName->SetBounds(12, 19, 364, 21);
    FileName->SetText("test.avi");
    Button6 = button(GroupBox3, "..", 382, 18, 30, 23);

    GroupBox4 = group("Sound", 354, 50);
    WaveName = new TEdit(this, GroupBox4);
    WaveName->SetBounds(12, 19, 338, 21);
    WaveName->SetText("test.wav");
    Button1 = button(GroupBox4, "from fn.", 356, 18, 56, 23);

    Button2 = button(nullptr, "OK", 268, 414, 75, 25);
    Button2->Default = true;
    Button2->ModalResult = mrOk;
    Button3 = button(nullptr, "Cancel", 356, 414, 75, 25);
    Button3->Cancel = true;
    Button3->ModalResult = mrCancel;

    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->Filter = "Videos AVI(*.avi)|*.avi|All files|*.*";

    // Bound last: the labels start empty and first follow the sliders when the dialog opens.
    ComboBoxCompressor->OnSelect = [this](TObject *s) { ComboBoxCompressorSelect(s); };
    ButtonAbout->OnClick = [this](TObject *s) { ButtonAboutClick(s); };
    ButtonConfig->OnClick = [this](TObject *s) { ButtonConfigClick(s); };
    TrackBarQuality->OnChange = [this](TObject *s) { TrackBarQualityChange(s); };
    TrackBarRecord->OnChange = [this](TObject *s) { TrackBarPlaybackChange(s); };
    TrackBarPlayback->OnChange = [this](TObject *s) { TrackBarPlaybackChange(s); };
    Button6->OnClick = [this](TObject *s) { Button6Click(s); };
    Button1->OnClick = [this](TObject *s) { Button1Click(s); };
    Button2->OnClick = [this](TObject *s) { Button2Click(s); };
}

void TOptionDlg::CreateParams(TCreateParams &Params) {
    TForm::CreateParams(Params);
    // Group boxes leave their inside to the window under them, so the form paints there.
    Params.Style &= ~WS_CLIPCHILDREN;
    // Owned by the main window, which stays on top: the dialog must come above it.
    if (Application->MainForm && Application->MainForm != this)
        Params.WndParent = Application->MainForm->Handle();
}

bool TOptionDlg::ShowOptions() {
    CompressorIndex = 0;
    ComboBoxCompressor->ClearItems();
    for (int k = 0; k < ScreenCam->CompressorCount; ++k) {
        const WCHAR *text = ScreenCam->Compressors[k].szDescription;
        size_t length = 0;
        while (length < DescriptionLength && text[length])
            ++length;
        ComboBoxCompressor->AddItem(ToAnsi(text, length));
        if (HoldsMicrosoft(text, length)) CompressorIndex = (uint8_t)k;
    }
    // A compressor chosen with OK before (in this run or, kept, in an earlier one) is shown
    // again, so that OK keeps it.
    int chosen = ScreenCam->SelectedCompressor;
    if (chosen >= 0 && chosen < ScreenCam->CompressorCount) CompressorIndex = (uint8_t)chosen;
    ComboBoxCompressor->SetItemIndex(CompressorIndex);
    TrackBarRecord->SetPosition(
        PositionFromMsPerFrame(ScreenCam->MsPerFrame, TrackBarRecord->Max()));
    TrackBarPlayback->SetPosition(PositionFromFps(ScreenCam->PlaybackFps, TrackBarPlayback->Max()));
    char text[16];
    snprintf(text, sizeof(text), "%d", ScreenCam->KeyFrameEvery.load());
    EditKeyFrames->SetText(text);
    TrackBarQuality->SetPosition(PositionFromQuality(ScreenCam->Quality, TrackBarQuality->Max()));
    UpdateCompressorButtons();

    if (ShowModal() != mrOk) return false;
    ScreenCam->SelectedCompressor = ComboBoxCompressor->ItemIndex();
    ScreenCam->Quality = QualityFromPosition(TrackBarQuality->Position(), TrackBarQuality->Max());
    ScreenCam->KeyFrameEvery = StrToInt(EditKeyFrames->Text());
    ScreenCam->MsPerFrame =
        MsPerFrameFromPosition(TrackBarRecord->Position(), TrackBarRecord->Max());
    ScreenCam->PlaybackFps = FpsFromPosition(TrackBarPlayback->Position(), TrackBarPlayback->Max());
    return true;
}

void TOptionDlg::UpdateCompressorButtons() {
    CompressorIndex = (uint8_t)ComboBoxCompressor->ItemIndex();
    bool hasAbout = false, hasConfigure = false;
    ScreenCam->QueryCompressorDialogs(CompressorIndex, hasAbout, hasConfigure);
    ButtonAbout->SetEnabled(hasAbout);
    ButtonConfig->SetEnabled(hasConfigure);
}

void TOptionDlg::UpdateLabels() {
    char text[32];
    snprintf(text, sizeof(text), "%d ms",
             MsPerFrameFromPosition(TrackBarRecord->Position(), TrackBarRecord->Max()));
    labelmspFrecord->SetCaption(text);
    snprintf(text, sizeof(text), "%d fps",
             FpsFromPosition(TrackBarPlayback->Position(), TrackBarPlayback->Max()));
    labelFPSPlayback->SetCaption(text);
    snprintf(text, sizeof(text), "%d", TrackBarQuality->Position());
    LabelQuality->SetCaption(text);
}

void TOptionDlg::ComboBoxCompressorSelect(TObject *) { UpdateCompressorButtons(); }

void TOptionDlg::ButtonAboutClick(TObject *) {
    ScreenCam->ShowCompressorAbout((uint8_t)ComboBoxCompressor->ItemIndex(), Handle());
}

void TOptionDlg::ButtonConfigClick(TObject *) {
    ScreenCam->ConfigureCompressor((uint8_t)ComboBoxCompressor->ItemIndex(), Handle());
}

void TOptionDlg::TrackBarQualityChange(TObject *) { UpdateLabels(); }
void TOptionDlg::TrackBarPlaybackChange(TObject *) { UpdateLabels(); }

void TOptionDlg::Button6Click(TObject *) {
    if (OpenDialog1->Execute()) FileName->SetText(OpenDialog1->FileName);
}

void TOptionDlg::Button1Click(TObject *) {
    // The file name's own extension, not a dot in a folder's name; a name without one gets
    // ".wav" added.
    const std::string &name = FileName->Text();
    size_t base = name.find_last_of("\\/");
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || (base != std::string::npos && dot < base)) dot = name.size();
    WaveName->SetText(name.substr(0, dot) + ".wav");
}

void TOptionDlg::Button2Click(TObject *) {
    try {
        StrToInt(EditKeyFrames->Text());
    } catch (const EConvertError &) {
        ModalResult = mrNone;
        SetFocus(EditKeyFrames->Handle());
        throw;
    }
}
