// The kept settings: what a restart reads back, and what a bad file gives.
#include "fakewin/ic.h"
#include "recorder/scrcam.h"
#include "ui/settings.h"
#include "ui_fixture.h"

#include <fstream>
#include <sys/stat.h>

class SettingsTest : public UiTest {
  protected:
    void Restart() {
        Application->FreeForms();
        Application->CreateForm(Form1);
        Application->CreateForm(OptionDlg);
        LoadSettings();
    }
    static void WriteFile(const std::string &Text) {
        mkdir((std::string(getenv("APPDATA")) + "/Quillet").c_str(), 0777);
        std::ofstream(SettingsPath(), std::ios::binary) << Text;
    }
};

TEST_F(SettingsTest, ARestartGivesBackEveryValueAndRecordAgainTheLastArea) {
    fakewin::FakeCompressor c;
    for (DWORD code : {mmioFOURCC('M', 'S', 'V', 'C'), mmioFOURCC('D', 'I', 'B', ' ')})
        c.fccHandler = code, fakewin::install_compressor(c);
    ScreenCam->EnumerateCompressors();
    ScreenCam->SelectedCompressor = 1;
    ScreenCam->Quality = 3700, ScreenCam->KeyFrameEvery = 12;
    ScreenCam->MsPerFrame = 498, ScreenCam->PlaybackFps = 25;
    OptionDlg->FileName->SetText("C:\\clips\\a b.avi");
    OptionDlg->WaveName->SetText("b.wav");
    Form1->CheckBox1->SetChecked(true);
    Form1->RadioButton1->SetChecked(true);
    CaptureLeft = 100, CaptureTop = 50, CaptureRight = 299, CaptureBottom = 149;
    Form1->Button1Click(Form1->Button1); // a recording that starts writes the settings
    Press(Form1->Button2);
    CaptureLeft = CaptureTop = CaptureRight = CaptureBottom = 0;
    Restart();
    EXPECT_EQ(1, ScreenCam->SelectedCompressor);
    EXPECT_EQ((std::vector<int>{3700, 12, 498, 25}),
              (std::vector<int>{ScreenCam->Quality, ScreenCam->KeyFrameEvery, ScreenCam->MsPerFrame,
                                ScreenCam->PlaybackFps}));
    EXPECT_EQ("C:\\clips\\a b.avi", OptionDlg->FileName->Text());
    EXPECT_EQ("b.wav", OptionDlg->WaveName->Text());
    EXPECT_TRUE(Form1->CheckBox1->Checked());
    EXPECT_EQ("11025", WaveSamplesPerSec);
    ASSERT_TRUE(Form1->Button1->Enabled());
    Form1->CheckBox1->SetChecked(false);
    Press(Form1->Button1);
    EXPECT_EQ((std::vector<int>{100, 50, 199, 99}),
              (std::vector<int>{RecordLeft, RecordTop, RecordWidth, RecordHeight}));
}

TEST_F(SettingsTest, BadInputGivesTheDefaultOrTheNearestValueInRange) {
    struct Row {
        const char *text;
        int quality, keyFrames, msPerFrame, fps;
    } rows[] = {
        {"\x01\xff\xfe garbage\n==\n=5\nQuality\n[Quillet", 10000, 5, 100, 10},
        {"Quality=20000\nKeyFrameEvery=99999999999999999999\nMsPerFrame=0\nPlaybackFps=-3", 10000,
         INT32_MAX, 1, 1},
        {"Quality=high\r\nKeyFrameEvery=0x10\r\nMsPerFrame=100ms\r\nPlaybackFps= 5\r\n"
         "Sound=yes\r\nSoundQuality=Loud\r\nAviName=\r\nWavName=a\tb",
         10000, 5, 100, 10},
        // A compressor no longer installed, an area on no monitor, an area turned inside out.
        {"Compressor=XVID\nAreaLeft=5000\nAreaTop=10\nAreaRight=5100\nAreaBottom=60", 10000, 5, 100,
         10},
        {"AreaLeft=300\nAreaTop=10\nAreaRight=200\nAreaBottom=60\nQuality=6600", 6600, 5, 100, 10},
    };
    fakewin::FakeCompressor msvc;
    msvc.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
    fakewin::install_compressor(msvc);
    for (const Row &row : rows) {
        WriteFile(row.text);
        Restart();
        EXPECT_EQ((std::vector<int>{row.quality, row.keyFrames, row.msPerFrame, row.fps}),
                  (std::vector<int>{ScreenCam->Quality, ScreenCam->KeyFrameEvery,
                                    ScreenCam->MsPerFrame, ScreenCam->PlaybackFps}))
            << row.text;
        EXPECT_EQ(-1, ScreenCam->SelectedCompressor);
        EXPECT_EQ(mmioFOURCC('M', 'S', 'V', 'C'), ScreenCam->CompressorFourCC);
        EXPECT_EQ("test.avi", OptionDlg->FileName->Text());
        EXPECT_EQ("test.wav", OptionDlg->WaveName->Text());
        EXPECT_FALSE(Form1->CheckBox1->Checked());
        EXPECT_TRUE(Form1->RadioButton3->Checked());
        EXPECT_EQ((std::vector<int>{0, 0, 0, 0}),
                  (std::vector<int>{CaptureLeft, CaptureTop, CaptureRight, CaptureBottom}));
        EXPECT_FALSE(Form1->Button1->Enabled());
    }
    EXPECT_TRUE(fakewin::message_boxes().empty());
    // A folder that cannot be made keeps nothing, and nothing else changes.
    std::string file = std::string(getenv("APPDATA")) + "/file";
    std::ofstream(file) << "";
    setenv("APPDATA", file.c_str(), 1);
    EXPECT_FALSE(SaveSettings());
    Restart();
    EXPECT_EQ(10000, ScreenCam->Quality);
}
