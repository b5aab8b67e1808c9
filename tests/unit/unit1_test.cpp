#include "avifile/journalfile.h"
#include "ui_fixture.h"

#include "fakewin/avifile.h"
#include "fakewin/screen.h"
#include "marker/flashwnd.h"
#include "recorder/scrcam.h"
#include "ui/arearules.h"
#include "ui/settings.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

const char *const SetHight =
    "SET mysound TIME FORMAT MS BITSPERSAMPLE 16 CHANNELS 1 SAMPLESPERSEC 48300 BYTESPERSEC 163000";

std::string Caption() {
    char text[256];
    GetWindowTextA(Form1->Handle(), text, sizeof(text));
    return text;
}

// The texts of the control's tools: the control itself, and its place in the window under it.
std::vector<std::string> Tips(TControl *Control) {
    std::vector<std::string> texts;
    for (auto &tool : fakewin::tools())
        if (tool.id == (UINT_PTR)Control->Handle() || tool.id == (UINT_PTR)Control->Id())
            texts.push_back(tool.text);
    return texts;
}

} // namespace

class MainWindowTest : public UiTest {
  protected:
    void SetUp() override {
        UiTest::SetUp();
        // An area found before, as Record Again needs one.
        CaptureLeft = 0, CaptureTop = 0, CaptureRight = 64, CaptureBottom = 48;
    }
};

TEST_F(MainWindowTest, StartsAsDesigned) {
    fakewin::WindowInfo info;
    ASSERT_TRUE(fakewin::window_info(Form1->Handle(), info));
    EXPECT_EQ("Quillet 1.542", info.text);
    EXPECT_EQ(537, info.rect.left);
    EXPECT_EQ(195, info.rect.top);
    EXPECT_EQ(369, info.rect.right - info.rect.left);
    EXPECT_EQ(444, info.rect.bottom - info.rect.top);
    EXPECT_TRUE(info.exstyle & WS_EX_TOPMOST);
    EXPECT_TRUE(info.style & WS_THICKFRAME);
    EXPECT_EQ(Form1, Application->MainForm);
    EXPECT_EQ(10000, ScreenCam->Quality);
    EXPECT_FALSE(Form1->Button1->Enabled());
    EXPECT_TRUE(Form1->RadioButton3->Checked());
    EXPECT_FALSE(Form1->CheckBox1->Checked());
    EXPECT_EQ(-1, Form1->ComboBox1->ItemIndex());
    EXPECT_EQ("Standar Cam", Form1->ComboBox1->Text());
    EXPECT_EQ(185, Form1->Panel2->Height());
    EXPECT_EQ(185, Form1->Panel1->Top());
    EXPECT_EQ(Form1->ClientHeight() - 185, Form1->Panel1->Height());
    EXPECT_FALSE(Form2->Visible());
    EXPECT_EQ("Form2", Form2->Caption());

    // Tab order within the command panel.
    std::vector<std::string> tabs;
    for (HWND child : fakewin::children(Form1->Panel2->Handle()))
        if (fakewin::window_info(child, info) && (info.style & WS_TABSTOP))
            tabs.push_back(info.text);
    EXPECT_EQ(
        std::vector<std::string>({"Record Again", "Stop", "Options", "About", "Record", "Play Avi",
                                  "Standar Cam", "wave recorder (sound)", "Play Sound", "Low",
                                  "Med", "Hight", "Pause", "Select Area"}),
        tabs);
    ASSERT_TRUE(fakewin::window_info(Form1->Button5->Handle(), info));
    EXPECT_EQ(176, info.rect.left);
    EXPECT_EQ(88, info.rect.top);
    EXPECT_EQ(153, info.rect.right - info.rect.left);
}

TEST_F(MainWindowTest, RecordAgainWithSoundOpensSetsDeletesRecordsThenStarts) {
    Form1->CheckBox1->SetChecked(true);
    CaptureLeft = 10;
    CaptureTop = 50;
    CaptureRight = 110;
    CaptureBottom = 149;
    OptionDlg->FileName->SetText("out.avi");
    fakewin::put_files({"out.avi"}); // an earlier take, which the new one leaves alone
    Form1->ComboBox1->Select(1);     // VLC
    EXPECT_EQ(-14, HeightFix);
    Form1->Button1Click(Form1->Button1);

    auto strings = fakewin::mci_strings();
    ASSERT_EQ(3u, strings.size());
    EXPECT_EQ("OPEN NEW TYPE WAVEAUDIO ALIAS mysound", strings[0].command);
    EXPECT_EQ(SetHight, strings[1].command);
    EXPECT_EQ("RECORD mysound", strings[2].command);

    for (auto &s : strings) {
        EXPECT_EQ(Form1->Handle(), s.callback);
        EXPECT_FALSE(s.return_buffer);
        EXPECT_TRUE(s.main_thread);
    }
    EXPECT_EQ("out 2026-12-08 10-41-12.avi", ScreenCam->RecordThread.load()->AviFileName);
    EXPECT_EQ(10, RecordLeft);
    EXPECT_EQ(50, RecordTop);
    EXPECT_EQ(100, RecordWidth);
    EXPECT_EQ(85, RecordHeight);
    EXPECT_TRUE(ScreenCam->Recording);
    EXPECT_TRUE(ScreenCam->ShowMarker);

    // Record and Record Again while it records, paused or not: nothing is deleted or sent.
    TRecordAVIThread *running = ScreenCam->RecordThread;
    Form1->ComboBox1->Select(2); // Youtube
    Form1->RadioButton1->Click();
    Form1->Button1Click(Form1->Button1);
    Press(Form1->PauseButton);
    Press(Form1->Button7);
    Form1->Button1Click(Form1->Button1);
    EXPECT_EQ(std::vector<std::string>({"OPEN NEW TYPE WAVEAUDIO ALIAS mysound", SetHight,
                                        "RECORD mysound", "PAUSE mysound"}),
              MciStrings());
    EXPECT_EQ(85, RecordHeight);
    EXPECT_EQ(running, ScreenCam->RecordThread.load());
    // The sound is saved beside the take, under the same base, and both play back.
    Press(Form1->Button2);
    EXPECT_EQ("SAVE mysound \"test 2026-12-08 10-41-12.wav\"", MciStrings()[5]);
    Press(Form1->Button5);
    Press(Form1->Button6);
    auto opened = fakewin::mci_commands();
    EXPECT_EQ("out 2026-12-08 10-41-12.avi", opened[0].element);
    EXPECT_EQ("test 2026-12-08 10-41-12.wav", opened.back().element);
    EXPECT_TRUE(fakewin::deleted_files().empty());
}

TEST_F(MainWindowTest, TheStartUpNoticeHasNoOwner) {
    ShowRepairNotice({});
    RepairResult lost;
    lost.AviName = "take.avi";
    lost.Reason = "the file cannot be opened";
    ShowRepairNotice({lost});
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_EQ(boxes[0].caption, "Notice");
    EXPECT_EQ(boxes[0].type, (UINT)(MB_OK | MB_ICONWARNING));
}

TEST_F(MainWindowTest, RecordFindsTheChangingAreaThenRecordsIt) {
    // Nothing changes: one box above the main window says so; nothing deleted or recorded.
    Press(Form1->Button7);
    EXPECT_TRUE(fakewin::deleted_files().empty());
    ASSERT_EQ(1u, fakewin::message_boxes().size());
    EXPECT_EQ(MB_ICONINFORMATION | RunBox, fakewin::message_boxes()[0].type);
    fakewin::clear_message_boxes();
    // Stop during the look, the caption saying so, cancels it and does nothing else.
    std::string before = Form1->Caption(), during;
    fakewin::on_sleep([&during](DWORD) {
        during = Form1->Caption();
        Form1->Button2->Click();
    });
    Press(Form1->Button7);
    EXPECT_EQ("Quillet: looking for the moving picture... Stop (Ctrl+Shift+F10) cancels", during);
    EXPECT_EQ(before, Form1->Caption());
    EXPECT_TRUE(fakewin::message_boxes().empty());
    EXPECT_FALSE(Form1->Button1->Enabled());
    // A box changes during the detection's pause (its first sleep); the command records it
    // as Record Again would, with the service fix applied to its height.
    int sleeps = 0;
    fakewin::on_sleep([&sleeps](DWORD) {
        if (sleeps++ == 0) fakewin::fill_screen_rect(100, 50, 300, 150, RGB(255, 0, 0));
    });
    OptionDlg->FileName->SetText("found.avi");
    fakewin::put_files({"found.avi", "found (2).avi", "found (3).avi", "found (5).avi"});
    Form1->ComboBox1->Select(1); // VLC
    Press(Form1->Button7);
    fakewin::on_sleep(nullptr);
    EXPECT_EQ(100, CaptureLeft);
    EXPECT_EQ(50, CaptureTop);
    EXPECT_EQ(299, CaptureRight);
    EXPECT_EQ(149, CaptureBottom);
    EXPECT_EQ(100, RecordLeft);
    EXPECT_EQ(50, RecordTop);
    EXPECT_EQ(199, RecordWidth);
    EXPECT_EQ(99 - 14, RecordHeight);
    EXPECT_TRUE(ScreenCam->Recording);
    EXPECT_TRUE(ScreenCam->ShowMarker);
    // An earlier recording and its numbered files stay.
    EXPECT_EQ("found 2026-12-08 10-41-12.avi", ScreenCam->RecordThread.load()->AviFileName);
    EXPECT_TRUE(fakewin::deleted_files().empty());
    EXPECT_TRUE(fakewin::message_boxes().empty());
}

TEST_F(MainWindowTest, RecordOnTheMonitorLeftOfThePrimaryRecordsThereWithTheMarkerThere) {
    Application->FreeForms(); // the recorder reads the virtual screen when it is made
    fakewin::set_monitors({{{0, 0, 1024, 768}, 96}, {{-1280, -200, 0, 824}, 144}}, 32);
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    fakewin::on_sleep([](DWORD) { fakewin::fill_screen_rect(-1200, -150, -1000, -50, 255); });
    ScreenCam->RecordCursor = false;
    Press(Form1->Button7);
    for (int i = 0;
         i < 5000 && (fakewin::avi_files().empty() || fakewin::avi_files()[0].writes.size() < 2);
         i++)
        if (!CheckSynchronize()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Press(Form1->Button2);
    std::vector<BYTE> frame = fakewin::avi_files().at(0).writes.at(1).data;
    ASSERT_EQ(199u * 99 * 4, frame.size()); // the red box, less its last column and row
    for (size_t i = 0; i < frame.size(); i += 4)
        ASSERT_EQ(255, frame[i + 2] - frame[i] - frame[i + 1]) << i / 4;
    fakewin::WindowInfo marker;
    ASSERT_TRUE(fakewin::window_info(ScreenCam->MarkerWindow->Handle(), marker));
    EXPECT_EQ((std::vector<LONG>{-1208, -158}),
              (std::vector<LONG>{marker.rect.left, marker.rect.top}));
    EXPECT_EQ(ScreenCam->MarkerWindow->Handle(), fakewin::window_paints().at(0).hwnd);
}

TEST_F(MainWindowTest, SoundPresetsAndServiceFixesThroughTheControls) {
    // Each quality button sets the sound format Record Again sends; each service entry sets
    // the height taken off the area.
    struct Preset {
        TRadioButton *button;
        const char *format;
    } presets[] = {
        {Form1->RadioButton1, "BITSPERSAMPLE 8 CHANNELS 1 SAMPLESPERSEC 11025 BYTESPERSEC 11300"},
        {Form1->RadioButton2, "BITSPERSAMPLE 16 CHANNELS 1 SAMPLESPERSEC 22050 BYTESPERSEC 22128"},
        {Form1->RadioButton3,
         "BITSPERSAMPLE 16 CHANNELS 1 SAMPLESPERSEC 48300 BYTESPERSEC 163000"}};
    const int fixes[] = {-14, -20, 0}; // VLC, Youtube, "Standar Cam" after another one
    CaptureBottom = 100;
    Form1->CheckBox1->SetChecked(true);
    for (int i = 0; i < 3; ++i) {
        Press(presets[i].button);
        EXPECT_TRUE(presets[i].button->Checked());
        Form1->ComboBox1->Select((i + 1) % 3);
        EXPECT_EQ(fixes[i], HeightFix);
        Form1->Button1Click(Form1->Button1);
        ASSERT_EQ(6u * i + 3, MciStrings().size());
        EXPECT_EQ(std::string("SET mysound TIME FORMAT MS ") + presets[i].format,
                  MciStrings()[6 * i + 1]);
        EXPECT_EQ(100 + fixes[i], RecordHeight);
        Press(Form1->Button2);
    }
    // An area "Youtube" leaves no height of: one box, before anything is touched.
    SetCaptureArea({10, 50, 210, 70});
    Form1->ComboBox1->Select(2);
    size_t sent = MciStrings().size(), deleted = fakewin::deleted_files().size();
    size_t boxes = fakewin::message_boxes().size();
    Form1->Button1Click(Form1->Button1);
    ASSERT_EQ(boxes + 1, fakewin::message_boxes().size());
    EXPECT_EQ(0u, fakewin::message_boxes().back().text.find("The area is 20 pixels high"));
    EXPECT_EQ(sent, MciStrings().size());
    EXPECT_EQ(deleted, fakewin::deleted_files().size());
    EXPECT_FALSE(ScreenCam->Recording);
}

TEST_F(MainWindowTest, StopWithSoundSendsThreeCommandsAroundTheCaptions) {
    Form1->CheckBox1->SetChecked(true);
    OptionDlg->WaveName->SetText("my sound.wav");
    Press(Form1->Button2);
    auto strings = fakewin::mci_strings();
    ASSERT_EQ(3u, strings.size());
    EXPECT_EQ("STOP mysound", strings[0].command);
    EXPECT_EQ("Quillet 1.542", strings[0].caption);
    EXPECT_EQ("SAVE mysound \"my sound.wav\"", strings[1].command);
    EXPECT_EQ("Record the sound..", strings[1].caption);
    EXPECT_EQ("CLOSE mysound", strings[2].command);
    EXPECT_EQ("Record the sound..", strings[2].caption);
    EXPECT_EQ("Sound record", Caption());
    EXPECT_TRUE(Form1->Button1->Enabled());
    // The device gets a moment after STOP before it is saved and closed.
    EXPECT_EQ(std::vector<DWORD>({250}), fakewin::sleeps());
}

TEST_F(MainWindowTest, SoundStepsFollowTheBoxAtEachCommand) {
    // Unticked: nothing is sent, the caption stays.
    Form1->Button1Click(Form1->Button1);
    Form1->Button2Click(Form1->Button2);
    EXPECT_TRUE(fakewin::mci_strings().empty());
    EXPECT_EQ("Quillet 1.542", Caption());
    // Ticked only after Record Again: Stop still sends its three.
    Form1->Button1Click(Form1->Button1);
    Form1->CheckBox1->SetChecked(true);
    Form1->Button2Click(Form1->Button2);
    EXPECT_EQ(
        std::vector<std::string>({"STOP mysound", "SAVE mysound \"test.wav\"", "CLOSE mysound"}),
        MciStrings());
    // Cleared while sound records: the device is left alone.
    Form1->Button1Click(Form1->Button1);
    Form1->SetCaption("progress");
    Form1->CheckBox1->SetChecked(false);
    Form1->Button2Click(Form1->Button2);
    EXPECT_EQ(6u, fakewin::mci_strings().size());
    EXPECT_EQ("RECORD mysound", fakewin::mci_strings().back().command);
    EXPECT_EQ("progress", Caption());
}

TEST_F(MainWindowTest, PauseAndResumeWhileRecordingWithTheSound) {
    EXPECT_FALSE(Form1->PauseButton->Enabled());
    Form1->CheckBox1->SetChecked(true);
    Form1->Button1Click(Form1->Button1);
    ASSERT_TRUE(Form1->PauseButton->Enabled());
    Press(Form1->PauseButton);
    EXPECT_TRUE(ScreenCam->Paused);
    EXPECT_EQ("Resume", Form1->PauseButton->Caption());
    for (int i = 0; i < 500 && Caption().rfind("Paused, FrameNr: ", 0) != 0; i++) {
        fakewin::wait_for_message(10);
        Application->ProcessMessages();
    }
    EXPECT_EQ(0u, Caption().rfind("Paused, FrameNr: ", 0)) << Caption();
    Press(Form1->PauseButton);
    EXPECT_FALSE(ScreenCam->Paused);
    EXPECT_EQ("Pause", Form1->PauseButton->Caption());
    Press(Form1->PauseButton);
    Press(Form1->Button2); // Stop while paused
    EXPECT_FALSE(Form1->PauseButton->Enabled());
    EXPECT_EQ("Pause", Form1->PauseButton->Caption());
    EXPECT_EQ(std::vector<std::string>({"OPEN NEW TYPE WAVEAUDIO ALIAS mysound", SetHight,
                                        "RECORD mysound", "PAUSE mysound", "RESUME mysound",
                                        "PAUSE mysound", "STOP mysound",
                                        "SAVE mysound \"test.wav\"", "CLOSE mysound"}),
              MciStrings());

    // A recording that ends by itself leaves the window as Stop does.
    fakewin::fail_avi_call(fakewin::AviCall::Open, AVIERR_FILEOPEN);
    Form1->Button1->SetEnabled(false);
    Form1->Button1Click(Form1->Button1);
    EXPECT_TRUE(Form1->PauseButton->Enabled());
    PumpUntil([] { return LiveRecordThreads(ScreenCam) == 0; });
    EXPECT_FALSE(Form1->PauseButton->Enabled());
    EXPECT_TRUE(Form1->Button1->Enabled());
    EXPECT_EQ("CLOSE mysound", MciStrings().back());
}

TEST_F(MainWindowTest, HotKeysDoWhatTheirButtonsDoFromAnyWindow) {
    EXPECT_EQ("Ctrl+Shift+F9, from any window", Form1->PauseButton->Hint());
    auto press = [](UINT vk) {
        for (auto &k : fakewin::hot_keys()) {
            EXPECT_EQ(Form1->Handle(), k.hwnd);
            EXPECT_EQ((UINT)(MOD_CONTROL | MOD_SHIFT | MOD_NOREPEAT), k.modifiers);
            if (k.vk == vk) SendMessageA(Form1->Handle(), WM_HOTKEY, (WPARAM)k.id, 0);
        }
    };
    fakewin::on_sleep([](DWORD) { fakewin::fill_screen_rect(100, 50, 300, 150, RGB(90, 0, 0)); });
    Form1->CheckBox1->SetChecked(true);
    press(VK_F8); // Record Again is still disabled
    EXPECT_FALSE(ScreenCam->Recording);
    EnableWindow(Form1->Handle(), FALSE); // as a dialog of the program does while it shows
    press(VK_F7);
    EXPECT_FALSE(ScreenCam->Recording);
    EnableWindow(Form1->Handle(), TRUE);
    press(VK_F7);
    EXPECT_TRUE(ScreenCam->Recording);
    press(VK_F9);
    EXPECT_TRUE(ScreenCam->Paused);
    press(VK_F9);
    press(VK_F10);
    EXPECT_FALSE(ScreenCam->Recording);
    EXPECT_EQ(
        std::vector<std::string>({"OPEN NEW TYPE WAVEAUDIO ALIAS mysound", SetHight,
                                  "RECORD mysound", "PAUSE mysound", "RESUME mysound",
                                  "STOP mysound", "SAVE mysound \"test.wav\"", "CLOSE mysound"}),
        MciStrings());

    // A key another program holds is told once, when the window shows; the others work.
    StopRecordingAndWait(ScreenCam);
    fakewin::clear_message_boxes(); // the grabs of the empty area found on a still screen
    Application->FreeForms();
    EXPECT_TRUE(fakewin::hot_keys().empty());
    fakewin::hold_hot_key(MOD_CONTROL | MOD_SHIFT, VK_F9);
    fakewin::refuse_no_repeat(); // as before Windows 7
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    Application->CreateForm(Form2);
    EXPECT_EQ(4u, fakewin::hot_keys().size());
    Application->ProcessMessages();
    Application->ProcessMessages();
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::string::npos, boxes[0].text.find("Ctrl+Shift+F9."));
    EXPECT_EQ(nullptr, boxes[0].owner);

    // A copy started while another holds the keys says nothing: its hints send the user there.
    Application->FreeForms();
    for (UINT vk : {VK_F6, VK_F7, VK_F8, VK_F10})
        fakewin::hold_hot_key(MOD_CONTROL | MOD_SHIFT, vk);
    Application->CreateForm(Form1);
    Application->ProcessMessages();
    EXPECT_EQ(1u, fakewin::message_boxes().size());
    EXPECT_EQ("Ctrl+Shift+F7 works in the other copy of Quillet", Form1->Button7->Hint());
    EXPECT_EQ(std::vector<std::string>(2, Form1->Button7->Hint()), Tips(Form1->Button7));
}

TEST_F(MainWindowTest, RecordWaitsForTheStartUpRepair) {
    Form1->HoldCommandsForRepair();
    Form1->RepairRuns();
    Form1->Button1->SetEnabled(true);
    Press(Form1->Button1);
    EXPECT_TRUE(fakewin::deleted_files().empty());
    EXPECT_EQ(0u, Caption().find("Quillet: recording starts once")) << Caption();
    EXPECT_FALSE(ScreenCam->Recording);
    Form1->RepairEnded();
    EXPECT_TRUE(ScreenCam->Recording);
    EXPECT_EQ("Quillet 1.542", Caption());
    Press(Form1->Button2);
    // Stop meanwhile: the waiting command is given up.
    Form1->HoldCommandsForRepair();
    Press(Form1->Button1);
    Press(Form1->Button2);
    Form1->RepairEnded();
    EXPECT_FALSE(ScreenCam->Recording);
    EXPECT_TRUE(fakewin::deleted_files().empty());
}

TEST_F(MainWindowTest, FormsScaleWithTheDisplayAndAgainOnAMonitorOfAnotherScale) {
    Application->FreeForms();
    fakewin::set_screen_dpi(144);
    Application->CreateForm(Form1);
    Application->CreateForm(OptionDlg);
    fakewin::WindowInfo info;
    auto bounds = [&](HWND hwnd) {
        EXPECT_TRUE(fakewin::window_info(hwnd, info));
        return std::vector<LONG>{info.rect.left, info.rect.top, info.rect.right - info.rect.left,
                                 info.rect.bottom - info.rect.top};
    };
    auto fontHeight = [](HWND hwnd) {
        return fakewin::font_of((HFONT)SendMessageA(hwnd, WM_GETFONT, 0, 0)).lfHeight;
    };
    // 1.5 times the 96-dot layout, halves to even; the text too (11 pixels at 96 dots).
    EXPECT_EQ(-16, fontHeight(Form1->Button5->Handle()));
    EXPECT_EQ(-16, fontHeight(OptionDlg->Handle()));
    EXPECT_EQ((std::vector<LONG>{537, 195, 554, 666}), bounds(Form1->Handle()));
    EXPECT_EQ((std::vector<LONG>{264, 132, 230, 38}), bounds(Form1->Button5->Handle()));
    EXPECT_EQ(278, Form1->Panel1->Top());
    EXPECT_EQ((std::vector<LONG>{304, 160, 682, 756}), bounds(OptionDlg->Handle()));
    // Moved to a 96-dot monitor, at the place the system suggests.
    RECT suggested = {600, 200, 969, 644};
    SendMessageA(Form1->Handle(), WM_DPICHANGED, (WPARAM)(96 | 96 << 16), (LPARAM)&suggested);
    EXPECT_EQ((std::vector<LONG>{600, 200, 369, 444}), bounds(Form1->Handle()));
    EXPECT_EQ((std::vector<LONG>{176, 88, 153, 25}), bounds(Form1->Button5->Handle()));
    EXPECT_EQ(-11, fontHeight(Form1->Button5->Handle()));
    EXPECT_EQ(185, Form1->Panel1->Top());
}

TEST_F(MainWindowTest, RecordAgainWithNoAreaYetSaysSoAndKeepsTheLastRecording) {
    CaptureLeft = CaptureTop = CaptureRight = CaptureBottom = 0; // as at start
    fakewin::put_files({"test.avi"});
    Form1->ComboBox1->Select(2);
    Form1->ComboBox1->SetText("VLC"); // typing picks nothing
    EXPECT_EQ(-20, HeightFix);
    Press(Form1->Button2);
    EXPECT_FALSE(ScreenCam->Recording);
    ASSERT_TRUE(Form1->Button1->Enabled());
    Press(Form1->Button1);
    EXPECT_FALSE(ScreenCam->Recording);
    EXPECT_TRUE(fakewin::deleted_files().empty());
    ASSERT_EQ(1u, fakewin::message_boxes().size());
    EXPECT_EQ(0u, fakewin::message_boxes()[0].text.find("There is no area to record yet."));
}

TEST_F(MainWindowTest, ProgressReachesTheCaptionThroughTheMainThread) {
    fakewin::set_decimal_separator(",");
    ScreenCam->MsPerFrameActual = 100;
    ScreenCam->FramesWritten = 25;
    ScreenCam->SkippedFrames = 0;
    std::thread worker([] { Form1->ShowProgress(ScreenCam); });
    worker.join();
    EXPECT_EQ("Quillet 1.542", Caption());
    Application->ProcessMessages();
    EXPECT_EQ("ms/Frame: 100,00, FrameNr: 25, Skipped Frames: 0", Caption());
    auto texts = fakewin::window_calls(fakewin::WindowCall::Text);
    ASSERT_FALSE(texts.empty());
    EXPECT_TRUE(texts.back().main_thread);
    auto posts = fakewin::window_calls(fakewin::WindowCall::Post);
    ASSERT_FALSE(posts.empty());
    EXPECT_FALSE(posts.back().main_thread);

    // Progress still queued when Stop sets its captions does not overwrite them.
    Form1->CheckBox1->SetChecked(true);
    ScreenCam->FramesWritten = 26;
    std::thread late([] { Form1->ShowProgress(ScreenCam); });
    late.join();
    Form1->Button2Click(Form1->Button2);
    Application->ProcessMessages();
    EXPECT_EQ("Sound record", Caption());
}

TEST_F(MainWindowTest, LateProgressOfTheStoppedRunLeavesTheSoundCaption) {
    // The worker's pass that was under way at Stop reports after the sound is saved.
    Form1->CheckBox1->SetChecked(true);
    Form1->Button2Click(Form1->Button2);
    ScreenCam->MsPerFrameActual = 100;
    std::thread late([] { Form1->ShowProgress(ScreenCam); });
    late.join();
    Application->ProcessMessages();
    EXPECT_EQ("Sound record", Caption());

    // The next recording's progress shows again.
    Form1->Button1Click(Form1->Button1);
    std::thread next([] { Form1->ShowProgress(ScreenCam); });
    next.join();
    Application->ProcessMessages();
    EXPECT_EQ(0u, Caption().rfind("ms/Frame: ", 0)) << Caption();
}

TEST_F(MainWindowTest, OnlyTheMainWindowIsLeftUnowned) {
    // Owned top-level windows get no taskbar button: the main window is the program's one.
    HWND application = Application->Handle();
    ASSERT_NE(nullptr, application);
    auto owner = [](HWND hwnd) {
        fakewin::WindowInfo info;
        EXPECT_TRUE(fakewin::window_info(hwnd, info));
        return info.parent;
    };
    EXPECT_EQ(nullptr, owner(Form1->Handle()));
    EXPECT_EQ(Form1->Handle(), owner(OptionDlg->Handle()));
    EXPECT_EQ(application, owner(Form2->Handle()));
    EXPECT_EQ(application, owner(ScreenCam->MarkerWindow->Handle()));
}

TEST_F(MainWindowTest, PlaybackCommands) {
    OptionDlg->FileName->SetText("missing.avi");
    Press(Form1->Button5);
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Quillet", boxes[0].caption);
    EXPECT_EQ("Cannot play \"missing.avi\": there is no such file. Record makes it.",
              boxes[0].text);
    EXPECT_EQ(1u, fakewin::mci_commands().size()); // the failed open only

    fakewin::add_media_file("clip.avi", true, 160, 120);
    fakewin::add_media_file("test.wav", false, 0, 0);
    OptionDlg->FileName->SetText("clip.avi");
    Press(Form1->Button5);
    auto log = fakewin::mci_commands();
    EXPECT_EQ((UINT)MCI_PLAY, log.back().msg);
    EXPECT_EQ((UINT)MCI_PUT, log[log.size() - 2].msg);
    EXPECT_EQ(Form1->Panel1->Width(), log[log.size() - 2].rect.right);
    EXPECT_EQ(Form1->Panel1->Height(), log[log.size() - 2].rect.bottom);
    EXPECT_EQ(Form1->Panel1->Handle(), log[log.size() - 4].window);
    // Resizing the window rescales the video while it stays open.
    Form1->SetBounds(537, 195, 500, 600);
    log = fakewin::mci_commands();
    EXPECT_EQ((UINT)MCI_PUT, log.back().msg);
    EXPECT_EQ(Form1->Panel1->Height(), log.back().rect.bottom);
    // Stop ends the playback; resizing then sends nothing.
    Press(Form1->Button2);
    EXPECT_EQ((UINT)MCI_CLOSE, fakewin::mci_commands().back().msg);
    EXPECT_EQ(0, fakewin::open_mci_devices());
    size_t sent = fakewin::mci_commands().size();
    Form1->SetBounds(537, 195, 369, 444);
    EXPECT_EQ(sent, fakewin::mci_commands().size());

    Press(Form1->Button6);
    log = fakewin::mci_commands();
    EXPECT_EQ("test.wav", log[sent].element);
    for (size_t i = sent; i < log.size(); ++i)
        EXPECT_TRUE(log[i].msg != MCI_WINDOW && log[i].msg != MCI_PUT);
    EXPECT_EQ((UINT)MCI_PLAY, log.back().msg);
    // Record Again closes the player before it replaces the files.
    Press(Form1->Button1);
    EXPECT_EQ(0, fakewin::open_mci_devices());
    // What cannot run while it records is disabled, its hint saying why, until Stop.
    for (bool recording : {true, false}) {
        for (TButton *b :
             {Form1->Button7, Form1->SelectAreaButton, Form1->Button1, Form1->Button5}) {
            EXPECT_EQ(!recording, b->Enabled());
            EXPECT_EQ(recording || b != Form1->Button5 ? 2u : 0u, Tips(b).size());
            EXPECT_EQ(recording, b->Hint().find("Not while a recording runs") == 0);
        }
        Press(Form1->Button2);
    }
}

TEST_F(MainWindowTest, AboutAndClose) {
    Press(Form1->Button4);
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("About", boxes[0].caption);
    EXPECT_EQ((UINT)MB_OK, boxes[0].type);
    EXPECT_EQ(nullptr, boxes[0].owner);
    EXPECT_EQ(std::string::npos, boxes[0].text.find('\n'));

    Form1->Button1Click(Form1->Button1);
    ASSERT_TRUE(ScreenCam->Recording);
    PostMessageA(Form1->Handle(), WM_CLOSE, 0, 0);
    Application->ProcessMessages();
    EXPECT_FALSE(ScreenCam->Recording);
    EXPECT_TRUE(Application->Terminated());
}

// The desktop is the shell's window, over every monitor: a click there takes one monitor.
TEST_F(MainWindowTest, AClickOnTheDesktopTakesTheMonitorThere) {
    fakewin::set_monitors({{{0, 0, 1024, 768}, 96}, {{-1280, -200, 0, 824}, 144}}, 32);
    HWND desktop = CreateWindowExA(0, "other", "", WS_POPUP | WS_VISIBLE, -1280, -200, 2304, 1024,
                                   nullptr, nullptr, nullptr, nullptr);
    fakewin::make_foreign(desktop);
    fakewin::set_shell_window(desktop);
    RECT left = WindowArea({-5, 800}, VirtualScreen()),
         primary = WindowArea({5, 5}, VirtualScreen());
    EXPECT_EQ((std::vector<LONG>{-1280, -200, 0, 824, 0, 0, 1024, 768}),
              (std::vector<LONG>{left.left, left.top, left.right, left.bottom, primary.left,
                                 primary.top, primary.right, primary.bottom}));
}

TEST_F(MainWindowTest, SelectAreaRecordsTheDraggedRectangleOrTheClickedWindow) {
    // Another program's windows: a player half off the screen with a video surface and a hidden
    // panel, and an editor under Quillet's own main window.
    auto window = [](HWND parent, DWORD style, int x, int y, int w, int h) {
        return CreateWindowExA(0, "other", "", style, x, y, w, h, parent, nullptr, nullptr,
                               nullptr);
    };
    HWND player = window(nullptr, WS_POPUP | WS_VISIBLE, -40, 300, 400, 200);
    fakewin::make_foreign(player);
    window(player, WS_CHILD | WS_VISIBLE, 10, 20, 200, 100);
    window(player, WS_CHILD, 250, 20, 100, 100);
    fakewin::make_foreign(window(nullptr, WS_POPUP | WS_VISIBLE, 500, 50, 400, 350));
    Form1->Show();
    HWND hidden[] = {OptionDlg->Handle(), Form2->Handle()}; // made, and not shown
    struct Event {
        UINT msg;
        int x, y;
    };
    const std::vector<Event> escape = {{WM_KEYDOWN, VK_ESCAPE, 0}};
    struct Row {
        std::vector<Event> events;
        std::vector<int> area;    // left, top, width, height recorded; none: cancelled
        bool leftMonitor = false; // a monitor left of the primary and higher: from here on
    } rows[] = {
        {{{WM_LBUTTONDOWN, 100, 50}, {WM_MOUSEMOVE, 200, 90}, {WM_LBUTTONUP, 299, 149}},
         {100, 50, 200, 100}},
        {{{WM_LBUTTONDOWN, 299, 149}, {WM_LBUTTONUP, 100, 50}}, {100, 50, 200, 100}},
        {{{WM_LBUTTONDOWN, 100, 149}, {WM_LBUTTONUP, 299, 50}}, {100, 50, 200, 100}},
        {{{WM_LBUTTONDOWN, 10, 10}, {WM_LBUTTONUP, 14, 10}}, {10, 10, 5, 1}},
        {{{WM_LBUTTONDOWN, 5, 5}, {WM_LBUTTONUP, -20, -20}}, {0, 0, 6, 6}},
        {{{WM_LBUTTONDOWN, 1000, 700}, {WM_LBUTTONUP, 1100, 800}}, {1000, 700, 24, 68}},
        // Clicks: the video surface, cut to the screen; the player itself, whose child there is
        // hidden; the editor, not the main window above it.
        {{{WM_LBUTTONDOWN, 50, 350}, {WM_LBUTTONUP, 53, 347}}, {0, 320, 170, 100}},
        {{{WM_LBUTTONDOWN, 260, 350}, {WM_LBUTTONUP, 260, 350}}, {0, 300, 360, 200}},
        {{{WM_LBUTTONDOWN, 700, 200}, {WM_LBUTTONUP, 700, 200}}, {500, 50, 400, 350}},
        // Cancelled: Esc (after Record's key, which does nothing meanwhile), a right click, a
        // click where no window is, then Esc.
        {{{WM_HOTKEY, 1, 0}, {WM_KEYDOWN, VK_ESCAPE, 0}}, {}},
        {{{WM_RBUTTONUP, 300, 300}}, {}},
        {{{WM_LBUTTONDOWN, 1010, 10}, {WM_LBUTTONUP, 1010, 10}, {WM_KEYDOWN, VK_ESCAPE, 0}}, {}},
        // The selection's client area starts at the virtual screen's corner, -1280, -200.
        {{{WM_LBUTTONDOWN, 100, 100}, {WM_LBUTTONUP, 299, 149}}, {-1180, -100, 200, 50}, true},
    };
    fakewin::add_media_file("test.wav", false, 0, 0);
    int n = 0;
    for (const Row &row : rows) {
        SCOPED_TRACE(n);
        Press(Form1->Button6); // playing, which only a recording stops
        int round = 0;
        HWND selection = nullptr;
        fakewin::on_idle([&] {
            if (++round == 3) return false; // still open after Esc: ends as the program would
            selection = fakewin::window_calls(fakewin::WindowCall::Show).back().hwnd;
            EXPECT_EQ(selection, GetFocus()); // the keys go to it, whoever had them
            for (const Event &e : round > 1 ? escape : row.events)
                PostMessageA(e.msg == WM_HOTKEY ? Form1->Handle() : selection, e.msg,
                             e.msg == WM_HOTKEY || e.msg == WM_KEYDOWN ? e.x : 0,
                             MAKELONG(e.x, e.y));
            return true;
        });
        CaptureLeft = CaptureTop = CaptureRight = CaptureBottom = -1;
        if (n++ == 0) // by the key, from any window
            for (auto &k : fakewin::hot_keys())
                if (k.vk == VK_F6) SendMessageA(Form1->Handle(), WM_HOTKEY, (WPARAM)k.id, 0);
        if (row.leftMonitor)
            fakewin::set_monitors({{{0, 0, 1024, 768}, 96}, {{-1280, -200, 0, 824}, 96}}, 32);
        if (n > 1) Press(Form1->SelectAreaButton);
        fakewin::on_idle(nullptr);
        EXPECT_EQ(round, 1); // ended by the row's own events
        EXPECT_TRUE(IsWindowVisible(Form1->Handle()) && IsWindowEnabled(Form1->Handle()));
        EXPECT_FALSE(IsWindowVisible(hidden[0]) || IsWindowVisible(hidden[1]));
        EXPECT_TRUE(selection && !IsWindow(selection));
        if (row.area.empty()) {
            EXPECT_TRUE(fakewin::message_boxes().empty());
            EXPECT_FALSE(ScreenCam->Recording);
            EXPECT_EQ(-1, CaptureLeft);
            EXPECT_EQ(1, fakewin::open_mci_devices());
            continue;
        }
        EXPECT_EQ(row.area, (std::vector<int>{RecordLeft, RecordTop, RecordWidth, RecordHeight}));
        std::ostringstream kept; // for Record Again after a restart
        kept << std::ifstream(SettingsPath()).rdbuf();
        char area[96];
        snprintf(area, sizeof(area), "AreaLeft=%d\r\nAreaTop=%d\r\nAreaRight=%d\r\nAreaBottom=%d",
                 row.area[0], row.area[1], row.area[0] + row.area[2], row.area[1] + row.area[3]);
        EXPECT_NE(std::string::npos, kept.str().find(area)) << kept.str();
        size_t shown = fakewin::window_calls(fakewin::WindowCall::Show).size();
        Press(Form1->SelectAreaButton); // while it records: nothing
        EXPECT_EQ(shown, fakewin::window_calls(fakewin::WindowCall::Show).size());
        Press(Form1->Button2);
        StopRecordingAndWait(ScreenCam);
        // Record Again records the same area again.
        Press(Form1->Button1);
        EXPECT_EQ(row.area, (std::vector<int>{RecordLeft, RecordTop, RecordWidth, RecordHeight}));
        Press(Form1->Button2);
        StopRecordingAndWait(ScreenCam);
        fakewin::clear_message_boxes(); // a compressor that refuses a small area says so
    }
    // While the first row dragged, the readout showed the dragged rectangle.
    auto texts = fakewin::drawn_texts();
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "101 x 41 at 100, 50"));
}

TEST(PlaceOutside, TheNearestPlaceOnTheMonitorBesideTheAreaOrNone) {
    const RECT monitor = {0, 0, 1920, 1080}, window = {640, 300, 1280, 700};
    struct Case {
        RECT area;
        bool fits;
        POINT to;
    } cases[] = {
        {{600, 250, 1000, 800}, true, {1000, 300}}, // right of it: the other sides are off
        {{500, 200, 1400, 600}, true, {640, 600}},  // below it
        {{1200, 100, 1500, 650}, true, {560, 300}}, // left of it, the smaller move
        {{0, 0, 1920, 1080}, false, {0, 0}},        // the whole screen: minimized
    };
    for (const Case &c : cases) {
        POINT to = {0, 0};
        EXPECT_EQ(c.fits, PlaceOutside(window, c.area, monitor, to));
        EXPECT_EQ(c.to.x, to.x);
        EXPECT_EQ(c.to.y, to.y);
    }
}

TEST_F(MainWindowTest, TheMainWindowStepsOutOfTheRecordedAreaUntilStop) {
    Form1->Show();
    RECT home, aside;
    GetWindowRect(Form1->Handle(), &home);
    CaptureLeft = home.left + 20;
    CaptureTop = home.top - 10;
    CaptureRight = home.right + 10;
    CaptureBottom = home.bottom - 30;
    Form1->Button1Click(Form1->Button1);
    ASSERT_TRUE(ScreenCam->Recording);
    GetWindowRect(Form1->Handle(), &aside);
    EXPECT_EQ(CaptureLeft - (home.right - home.left), aside.left) << "left of the area";
    EXPECT_EQ(home.top, aside.top);
    Press(Form1->Button2);
    GetWindowRect(Form1->Handle(), &aside);
    EXPECT_EQ(home.left, aside.left);
    EXPECT_EQ(home.top, aside.top);
}

TEST_F(MainWindowTest, AfterARecordingTheDisplayShowsTheTakeAndItsFolder) {
    std::vector<HWND> shown;
    auto texts = [&shown] {
        std::vector<std::string> texts;
        fakewin::WindowInfo info;
        shown.clear();
        for (HWND child : fakewin::children(Form1->Panel1->Handle()))
            if (fakewin::window_info(child, info) && info.visible)
                texts.push_back(info.text), shown.push_back(child);
        return texts;
    };
    Form1->Button1Click(Form1->Button1);
    // Frames are written once the progress reaches the caption (the counts are the worker's).
    for (int i = 0; i < 500 && Caption().rfind("ms/Frame: ", 0) != 0; i++) {
        fakewin::wait_for_message(10);
        Application->ProcessMessages();
    }
    EXPECT_TRUE(texts().empty());
    Press(Form1->Button2);
    StopRecordingAndWait(ScreenCam);
    Application->ProcessMessages();
    auto files = fakewin::avi_files();
    ASSERT_EQ(1u, files.size());
    // The length of the positions the file holds, at the playback rate.
    char here[4096], figures[64];
    snprintf(figures, sizeof figures, "Length: %.1f s, %d frames, ",
             (files[0].writes.back().pos + 1) / (double)ScreenCam->PlaybackFps,
             (int)files[0].writes.size());
    std::string path = std::string(getcwd(here, sizeof here)) + "/test.avi";
    auto after = texts();
    ASSERT_EQ(3u, after.size()); // no skipped frames, no WAV
    EXPECT_EQ("Recorded: " + path, after[0]);
    EXPECT_EQ(0u, after[1].find(figures)) << after[1];
    fakewin::add_media_file("test.avi", true, 64, 48);
    Press(Form1->Button5); // playing hides it, Stop brings it back
    EXPECT_TRUE(texts().empty());
    Press(Form1->Button2);
    EXPECT_EQ(after, texts());
    SendMessageA(Form1->Panel1->Handle(), WM_COMMAND, BN_CLICKED << 16, (LPARAM)shown[2]);
    auto runs = fakewin::shell_runs();
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("explorer.exe /select,\"" + path + "\"", runs[0].file + " " + runs[0].parameters);
}
