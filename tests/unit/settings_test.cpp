// The kept settings: what a restart reads back, and what a bad file gives.
#include "fakewin/ic.h"
#include "recorder/scrcam.h"
#include "ui/settings.h"
#include "ui_fixture.h"

#include <fstream>
#include <sys/stat.h>

namespace {
void Restart() {
    Application->FreeForms();
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    LoadSettings();
}
// The recorder's numbers, the compressor chosen, the area, Record Again and the sound box.
std::string Kept() {
    char text[128];
    snprintf(text, sizeof(text), "%d %d %d %d %d | %d %d %d %d | %d %d", ScreenCam->Quality.load(),
             ScreenCam->KeyFrameEvery.load(), ScreenCam->MsPerFrame.load(),
             ScreenCam->PlaybackFps.load(), ScreenCam->SelectedCompressor.load(), CaptureLeft,
             CaptureTop, CaptureRight, CaptureBottom, Form1->Button1->Enabled(),
             Form1->CheckBox1->Checked());
    return text;
}
} // namespace

using SettingsTest = UiTest;

TEST_F(SettingsTest, ARestartGivesBackEveryValueAndTheLastAreaToRecordAgain) {
    fakewin::FakeCompressor c;
    for (DWORD code : {mmioFOURCC('M', 'S', 'V', 'C'), mmioFOURCC('D', 'I', 'B', ' ')})
        c.fccHandler = code, fakewin::install_compressor(c);
    ScreenCam->EnumerateCompressors();
    ScreenCam->SelectedCompressor = 1;
    ScreenCam->Quality = 3700, ScreenCam->KeyFrameEvery = 12;
    ScreenCam->MsPerFrame = 498, ScreenCam->PlaybackFps = 25;
    OptionDlg->FileName->SetText("C:\\clips\\a b.avi");
    Form1->CheckBox1->SetChecked(true);
    Form1->RadioButton1->SetChecked(true);
    CaptureLeft = 100, CaptureTop = 50, CaptureRight = 299, CaptureBottom = 149;
    Form1->Button1Click(Form1->Button1); // a recording that starts writes the settings
    Press(Form1->Button2);
    Restart();
    EXPECT_EQ("3700 12 498 25 1 | 100 50 299 149 | 1 1", Kept());
    EXPECT_EQ("C:\\clips\\a b.avi", OptionDlg->FileName->Text());
    EXPECT_EQ("11025", WaveSamplesPerSec);
}

TEST_F(SettingsTest, BadInputGivesTheDefaultOrTheNearestValueInRange) {
    // What each file gives: the numbers, no compressor, the default area, no sound.
    const char *rows[][2] = {
        {"\x01\xff\xfe garbage\n==\n=5\nQuality\n[Quillet", "10000 5 100 10"},
        {"Quality=20000\nKeyFrameEvery=99999999999999999999\nMsPerFrame=0\nPlaybackFps=-3",
         "10000 2147483647 1 1"},
        {"Quality=high\nKeyFrameEvery=0x10\r\nMsPerFrame=100ms\nPlaybackFps= 5\nSound=yes\n"
         "SoundQuality=Loud\nAviName=\nWavName=a\tb",
         "10000 5 100 10"},
        // A compressor no longer installed, an area on no monitor, an area inside out.
        {"Compressor=XVID\nAreaLeft=5000\nAreaTop=10\nAreaRight=5100\nAreaBottom=60",
         "10000 5 100 10"},
        {"AreaLeft=300\nAreaTop=10\nAreaRight=200\nAreaBottom=60\nQuality=6600", "6600 5 100 10"},
    };
    std::string folder = std::string(getenv("APPDATA")) + "/Quillet";
    mkdir(folder.c_str(), 0777);
    for (auto &row : rows) {
        std::ofstream(SettingsPath(), std::ios::binary) << row[0];
        Restart();
        EXPECT_EQ(std::string(row[1]) + " -1 | 0 0 0 0 | 0 0", Kept()) << row[0];
        EXPECT_EQ("test.avi test.wav",
                  OptionDlg->FileName->Text() + " " + OptionDlg->WaveName->Text());
        EXPECT_TRUE(Form1->RadioButton3->Checked());
    }
    EXPECT_TRUE(fakewin::message_boxes().empty());
    // A folder that cannot be made (a file stands in its way) keeps nothing.
    setenv("APPDATA", SettingsPath().c_str(), 1);
    EXPECT_FALSE(SaveSettings());
}
