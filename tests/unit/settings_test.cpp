// The kept settings: each value as a restart reads it back, bad ones included.
#include "fakewin/ic.h"
#include "recorder/scrcam.h"
#include "ui/settings.h"
#include "ui_fixture.h"

#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {
void Restart() {
    Application->FreeForms();
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    LoadSettings();
}
// Numbers, compressor chosen, area, Record Again, sound box, "Low" preset, the main window's
// place, file names.
std::string Kept() {
    char text[128];
    snprintf(text, sizeof(text), "%d %d %d %d %d | %d %d %d %d | %d %d %d | ",
             ScreenCam->Quality.load(), ScreenCam->KeyFrameEvery.load(),
             ScreenCam->MsPerFrame.load(), ScreenCam->PlaybackFps.load(),
             ScreenCam->SelectedCompressor.load(), CaptureLeft, CaptureTop, CaptureRight,
             CaptureBottom, Form1->Button1->Enabled(), Form1->CheckBox1->Checked(),
             Form1->RadioButton1->Checked());
    RECT place = Form1->Place();
    snprintf(text + strlen(text), sizeof(text) - strlen(text), "%ld %ld %ld %ld | ",
             (long)place.left, (long)place.top, (long)place.right, (long)place.bottom);
    return text + OptionDlg->FileName->Text() + " " + OptionDlg->WaveName->Text();
}
} // namespace

using SettingsTest = UiTest;

TEST_F(SettingsTest, EachValueIsReadCheckedAndWrittenBack) {
    fakewin::FakeCompressor dib;
    dib.fccHandler = mmioFOURCC('D', 'I', 'B', ' ');
    fakewin::install_compressor(dib);
    mkdir((std::string(getenv("APPDATA")) + "/Quillet").c_str(), 0777);
    const std::string defaults = " -1 | 0 0 0 0 | 0 0 0 | 537 195 906 639 | test.avi test.wav";
    const char *rows[][2] = {
        // Every value ('DIB ' loses its blank where the file is edited by hand), the area cut
        // to the screen.
        {"Compressor=DIB\nQuality=3700\nKeyFrameEvery=12\nMsPerFrame=498\nPlaybackFps=25\n"
         "AreaLeft=-90\nAreaTop=50\nAreaRight=1048576\nAreaBottom=1048576\nSound=1\n"
         "SoundQuality=Low\nAviName=C:\\a b.avi\r\nWavName=b.wav\nWindowLeft=-100\nWindowTop=20\n"
         "WindowRight=400\nWindowBottom=600",
         "3700 12 498 25 0 | 0 50 1024 768 | 1 1 1 | -100 20 400 600 | C:\\a b.avi b.wav"},
        {"\x01\xff\xfe garbage\n==\n=5\nQuality\n[Quillet", "10000 5 100 10"},
        {"Quality=20000\nKeyFrameEvery=99999999999999999999\nMsPerFrame=0\nPlaybackFps=-3",
         "10000 2147483647 1 1"},
        // Values of the wrong kind, an area inside out.
        {"Quality=high\nKeyFrameEvery=0x10\nMsPerFrame=100ms\nPlaybackFps= 5\nSound=yes\n"
         "SoundQuality=Loud\nAviName=\nWavName=a\tb\nAreaLeft=300\nAreaTop=10\nAreaRight=200\n"
         "AreaBottom=60",
         "10000 5 100 10"},
        {"AviName=C:\\Vid\xe9os\\take.avi", // letters from 0x80 up are no control characters
         "10000 5 100 10 -1 | 0 0 0 0 | 0 0 0 | 537 195 906 639 | C:\\Vid\xe9os\\take.avi "
         "test.wav"},
        // A compressor no longer installed, an area and a window on no monitor, a window too
        // small to be one a user left.
        {"Compressor=XVID\nAreaLeft=5000\nAreaTop=10\nAreaRight=5100\nAreaBottom=60\nQuality=6600\n"
         "WindowLeft=5000\nWindowTop=20\nWindowRight=5400\nWindowBottom=600",
         "6600 5 100 10"},
        {"WindowLeft=10\nWindowTop=-30\nWindowRight=400\nWindowBottom=600", "10000 5 100 10"},
        {"WindowLeft=10\nWindowTop=20\nWindowRight=40\nWindowBottom=600", "10000 5 100 10"},
    };
    for (auto &row : rows) {
        std::string want = row[1];
        if (want.find('|') == std::string::npos) want += defaults;
        std::ofstream(SettingsPath(), std::ios::binary) << row[0];
        Restart();
        EXPECT_EQ(want, Kept()) << row[0];
        ASSERT_TRUE(SaveSettings()); // what is written reads back the same
        Restart();
        EXPECT_EQ(want, Kept()) << row[0];
    }
    EXPECT_TRUE(fakewin::message_boxes().empty());
    // A folder named outside the ANSI code page (a user's name in another script): kept too.
    std::string kept = Kept(),
                folder = getenv("APPDATA") + std::string("/J\xc3\xbcrgen \xe6\x97\xa5");
    mkdir(folder.c_str(), 0777);
    setenv("APPDATA", folder.c_str(), 1);
    ASSERT_TRUE(SaveSettings());
    Restart();
    EXPECT_EQ(kept, Kept());
    // A folder that cannot be made (a file stands in its way) keeps nothing.
    setenv("APPDATA", SettingsPath().c_str(), 1);
    EXPECT_FALSE(SaveSettings());
}

TEST_F(SettingsTest, ASecondCopyOpensOffsetFromTheKeptPlace) {
    mkdir((std::string(getenv("APPDATA")) + "/Quillet").c_str(), 0777);
    // The first copy holds the hot keys.
    std::ofstream(SettingsPath(), std::ios::binary)
        << "WindowLeft=10\nWindowTop=20\nWindowRight=400\nWindowBottom=600";
    for (const HotKeyCommand &key : HotKeys)
        fakewin::hold_hot_key(MOD_CONTROL | MOD_SHIFT, key.Key);
    Restart();
    EXPECT_EQ("10000 5 100 10 -1 | 0 0 0 0 | 0 0 0 | 42 52 432 632 | test.avi test.wav", Kept());
}
