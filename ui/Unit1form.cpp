// The main window's form: its size and place, its controls with their captions, places and hints,
// and the handlers each control raises.
#include "ui/Unit1.h"

namespace {
// The Pause button's place in the command panel.
constexpr int PauseLeft = 108, PauseTop = 138, PauseWidth = 62, PauseHeight = 20;
// Record gives the left half of its place to Select Area.
constexpr int RecordButtonWidth = 72, SelectAreaLeft = 84, SelectAreaWidth = 77;
} // namespace

void TForm1::CreateControls() {
    SetBounds(537, 195, 369, 444);
    SetCaption("Quillet 1.542");
    BorderStyle = TBorderStyle::bsSizeable;
    FormStyle = TFormStyle::fsStayOnTop;

    auto button = [this](const char *text, int x, int y) {
        auto *b = new TButton(this, Panel2);
        b->SetBounds(x, y, 153, 25);
        b->SetCaption(text);
        return b;
    };
    auto label = [this](const char *text, int x, int y, int w) {
        auto *l = new TLabel(this, Panel2);
        l->SetBounds(x, y, w, 13);
        l->SetCaption(text);
        return l;
    };
    auto radio = [this](const char *text, int x, int w) {
        auto *r = new TRadioButton(this, Panel2);
        r->SetBounds(x, 160, w, 17);
        r->SetCaption(text);
        return r;
    };

    Panel2 = new TPanel(this, nullptr);
    Panel2->SetBounds(0, 0, 353, 185);
    Panel2->Align = TAlign::alTop;
    // Created in tab order.
    Button1 = button("Record Again", 176, 56);
    Button1->SetEnabled(false);
    Button2 = button("Stop", 8, 88);
    Button3 = button("Options", 8, 16);
    Button4 = button("About", 176, 16);
    Button7 = button("Record", 8, 56);
    Button5 = button("Play Avi", 176, 88);
    ComboBox1 = new TComboBox(this, Panel2, TComboBoxStyle::csDropDown);
    ComboBox1->SetBounds(8, 160, 153, 21);
    ComboBox1->AddItem("Standar Cam");
    ComboBox1->AddItem("VLC");
    ComboBox1->AddItem("Youtube");
    ComboBox1->SetText("Standar Cam");
    CheckBox1 = new TCheckBox(this, Panel2);
    // Wider than the designed 137 pixels and the labels likewise, so that the captions stay
    // whole where the system draws this font wider than it was designed with.
    CheckBox1->SetBounds(10, 112, 160, 25);
    CheckBox1->SetCaption("wave recorder (sound)");
    Button6 = button("Play Sound", 176, 128);
    RadioButton1 = radio("Low", 208, 41);
    RadioButton2 = radio("Med", 256, 49);
    RadioButton3 = radio("Hight", 304, 49);
    RadioButton3->SetChecked(true);
    Label1 = label("Service fix:", 48, 144, 58);
    Label2 = label("Quality:", 162, 160, 45);
    Label2->Alignment = TAlignment::taRightJustify;

    Panel1 = new TPanel(this, nullptr);
    Panel1->SetBounds(0, 185, 353, 220);
    Panel1->Align = TAlign::alClient;
    MediaPlayer1 = new TMediaPlayer(this, nullptr);
    MediaPlayer1->SetBounds(8, 352, 253, 30);
    MediaPlayer1->Display = Panel1;
    FTakeView = std::make_unique<TakeView>(this, Panel1);
    // In the room left of "Play Sound", under the sound box; last in the tab order.
    PauseButton = new TButton(this, Panel2);
    PauseButton->SetBounds(PauseLeft, PauseTop, PauseWidth, PauseHeight);
    PauseButton->SetCaption("Pause");
    PauseButton->SetEnabled(false);
    // Beside Record, in the room Record had to its right; after Pause in the tab order.
    Button7->SetBounds(8, 56, RecordButtonWidth, 25);
    SelectAreaButton = new TButton(this, Panel2);
    SelectAreaButton->SetBounds(SelectAreaLeft, 56, SelectAreaWidth, 25);
    SelectAreaButton->SetCaption("Select Area");

    Button1->OnClick = [this](TObject *s) { Button1Click(s); };
    Button2->OnClick = [this](TObject *s) { Button2Click(s); };
    Button3->OnClick = [this](TObject *s) { Button3Click(s); };
    Button4->OnClick = [this](TObject *s) { Button4Click(s); };
    Button5->OnClick = [this](TObject *s) { Button5Click(s); };
    Button6->OnClick = [this](TObject *s) { Button6Click(s); };
    Button7->OnClick = [this](TObject *s) { Button7Click(s); };
    ComboBox1->OnClick = [this](TObject *s) { ComboBox1Click(s); };
    RadioButton1->OnClick = [this](TObject *s) { RadioButton1Click(s); };
    RadioButton2->OnClick = [this](TObject *s) { RadioButton2Click(s); };
    RadioButton3->OnClick = [this](TObject *s) { RadioButton3Click(s); };
    Panel1->OnResize = [this](TObject *s) { Panel1Resize(s); };
    PauseButton->OnClick = [this](TObject *s) { PauseButtonClick(s); };
    SelectAreaButton->OnClick = [this](TObject *s) { SelectAreaButtonClick(s); };
    OnClose = [this](TObject *s) { FormClose(s); };
}
