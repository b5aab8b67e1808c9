#include "fakewin/ic.h"
#include "recorder/scrcam.h"
#include "ui_fixture.h"

#include <cstring>

namespace {

fakewin::FakeCompressor Compressor(const char *fourcc, const char16_t *description,
                                   bool about = false, bool configure = false) {
    fakewin::FakeCompressor c;
    c.fccHandler = mmioFOURCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
    c.description = description;
    c.has_about = about;
    c.has_configure = configure;
    return c;
}

} // namespace

class OptionsTest : public UiTest {
  protected:
    // The Options command as the user runs it, with one scripted step inside the dialog.
    void RunOptions(std::function<void()> step) {
        OnModal(step);
        Press(Form1->Button3);
    }
};

TEST_F(OptionsTest, OpensFromTheDefaultsAndOkWritesThemBack) {
    fakewin::install_compressor(Compressor("cvid", u"Cinepak"));
    fakewin::install_compressor(Compressor("MSVC", u"Microsoft Video 1"));
    fakewin::install_compressor(Compressor("abcd", u"Other"));
    // The labels start empty and follow the sliders from the first opening on.
    EXPECT_EQ("", OptionDlg->labelmspFrecord->Caption());
    RunOptions([] {
        EXPECT_EQ(419, OptionDlg->TrackBarRecord->Position());
        EXPECT_EQ(183, OptionDlg->TrackBarPlayback->Position());
        EXPECT_EQ(100, OptionDlg->TrackBarQuality->Position());
        EXPECT_EQ("100 ms", OptionDlg->labelmspFrecord->Caption());
        EXPECT_EQ("10 fps", OptionDlg->labelFPSPlayback->Caption());
        EXPECT_EQ("100", OptionDlg->LabelQuality->Caption());
        EXPECT_EQ("5", OptionDlg->EditKeyFrames->Text());
        EXPECT_EQ(1, OptionDlg->ComboBoxCompressor->ItemIndex());
        EXPECT_EQ(std::vector<std::string>({"Cinepak", "Microsoft Video 1", "Other"}),
                  OptionDlg->ComboBoxCompressor->Items());
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(100, ScreenCam->MsPerFrame);
    EXPECT_EQ(10, ScreenCam->PlaybackFps);
    EXPECT_EQ(10000, ScreenCam->Quality);
    EXPECT_EQ(5, ScreenCam->KeyFrameEvery);
    EXPECT_EQ(1, ScreenCam->SelectedCompressor);
    EXPECT_TRUE(fakewin::message_boxes().empty());
}

TEST_F(OptionsTest, SliderMappingsAtTheirEndsAndInBetween) {
    EXPECT_EQ(1, MsPerFrameFromPosition(1, 1000));
    EXPECT_EQ(60000, MsPerFrameFromPosition(1000, 1000));
    EXPECT_EQ(565, PositionFromMsPerFrame(500, 1000));
    EXPECT_EQ(498, MsPerFrameFromPosition(565, 1000));
    EXPECT_EQ(0, PositionFromFps(1, 1000)); // clamped to 1 by the slider
    EXPECT_EQ(999, PositionFromFps(50, 1000));
    EXPECT_EQ(1, FpsFromPosition(1, 1000));
    EXPECT_EQ(50, FpsFromPosition(999, 1000));
    for (int fps = 1; fps <= 50; ++fps)
        EXPECT_EQ(fps, FpsFromPosition(std::max(1, PositionFromFps(fps, 1000)), 1000)) << fps;
    EXPECT_EQ(3700, QualityFromPosition(37, 100));
    EXPECT_EQ(66, PositionFromQuality(6550, 100)); // 65.5: halves go to the even neighbour
    EXPECT_EQ(64, PositionFromQuality(6450, 100));
}

TEST_F(OptionsTest, EditedSlidersAndStoredValuesRoundTrip) {
    ScreenCam->MsPerFrame = 500;
    ScreenCam->PlaybackFps = 1;
    RunOptions([] {
        EXPECT_EQ(565, OptionDlg->TrackBarRecord->Position());
        EXPECT_EQ(1, OptionDlg->TrackBarPlayback->Position());
        OptionDlg->TrackBarQuality->SetPosition(37);
        EXPECT_EQ("37", OptionDlg->LabelQuality->Caption());
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(498, ScreenCam->MsPerFrame);
    EXPECT_EQ(1, ScreenCam->PlaybackFps);
    EXPECT_EQ(3700, ScreenCam->Quality);

    ScreenCam->PlaybackFps = 50;
    RunOptions([] {
        EXPECT_EQ(999, OptionDlg->TrackBarPlayback->Position());
        OptionDlg->TrackBarRecord->SetPosition(1);
        EXPECT_EQ("1 ms", OptionDlg->labelmspFrecord->Caption());
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(1, ScreenCam->MsPerFrame);
    EXPECT_EQ(50, ScreenCam->PlaybackFps);

    RunOptions([] {
        OptionDlg->TrackBarRecord->SetPosition(1000);
        EXPECT_EQ("60000 ms", OptionDlg->labelmspFrecord->Caption());
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(60000, ScreenCam->MsPerFrame);
}

TEST_F(OptionsTest, BadKeyFrameTextKeepsTheDialogOpenAndAppliesNothing) {
    fakewin::install_compressor(Compressor("MSVC", u"Microsoft Video 1"));
    fakewin::install_compressor(Compressor("abcd", u"Other"));
    ScreenCam->MsPerFrame = 250;
    ScreenCam->PlaybackFps = 20;
    ScreenCam->KeyFrameEvery = 7;
    // OK is clicked as the user does, through the dialog's window; its loop goes on after it.
    int round = 0;
    fakewin::on_idle([&round] {
        if (round++ == 0) {
            OptionDlg->ComboBoxCompressor->Select(1);
            OptionDlg->TrackBarQuality->SetPosition(40);
            OptionDlg->TrackBarRecord->SetPosition(900);
            OptionDlg->TrackBarPlayback->SetPosition(10);
            OptionDlg->EditKeyFrames->SetText("abc");
            HWND ok = OptionDlg->Button2->Handle();
            PostMessageA(OptionDlg->Handle(), WM_COMMAND, (WPARAM)BN_CLICKED << 16, (LPARAM)ok);
            return true;
        }
        fakewin::on_idle(nullptr);
        EXPECT_TRUE(OptionDlg->Visible());
        EXPECT_EQ("abc", OptionDlg->EditKeyFrames->Text());
        // The box belongs to the dialog: the main window takes nothing after it.
        EXPECT_FALSE(IsWindowEnabled(Form1->Handle()));
        Press(OptionDlg->Button3);
        return true;
    });
    Press(Form1->Button3);
    EXPECT_EQ(2, round);
    EXPECT_EQ(-1, ScreenCam->SelectedCompressor);
    EXPECT_EQ(10000, ScreenCam->Quality);
    EXPECT_EQ(7, ScreenCam->KeyFrameEvery);
    EXPECT_EQ(250, ScreenCam->MsPerFrame);
    EXPECT_EQ(20, ScreenCam->PlaybackFps);
    auto boxes = fakewin::message_boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("'abc' n'est pas une valeur enti\xE8re correcte.", boxes[0].text);
    EXPECT_EQ("Quillet", boxes[0].caption);
    EXPECT_EQ(OptionDlg->Handle(), boxes[0].owner);
    EXPECT_TRUE(boxes[0].type & MB_ICONERROR);
    EXPECT_FALSE(OptionDlg->Visible());

    // Zero and negative intervals are numbers like any other.
    RunOptions([] {
        OptionDlg->EditKeyFrames->SetText(" -$10");
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(-16, ScreenCam->KeyFrameEvery);
}

TEST_F(OptionsTest, MicrosoftEntryIsPickedAtEveryOpening) {
    fakewin::install_compressor(Compressor("aaaa", u"Alpha"));
    fakewin::install_compressor(Compressor("MSVC", u"Microsoft Video", true, false));
    fakewin::install_compressor(Compressor("bbbb", u"Beta", false, true));
    fakewin::install_compressor(Compressor("MRLE", u"Run-Length by Microsoft"));
    RunOptions([] {
        EXPECT_EQ(3, OptionDlg->ComboBoxCompressor->ItemIndex());
        EXPECT_FALSE(OptionDlg->ButtonAbout->Enabled());
        OptionDlg->ComboBoxCompressor->Select(1);
        EXPECT_TRUE(OptionDlg->ButtonAbout->Enabled());
        EXPECT_FALSE(OptionDlg->ButtonConfig->Enabled());
        Press(OptionDlg->ButtonAbout);
        OptionDlg->ComboBoxCompressor->Select(2);
        EXPECT_FALSE(OptionDlg->ButtonAbout->Enabled());
        EXPECT_TRUE(OptionDlg->ButtonConfig->Enabled());
        Press(OptionDlg->ButtonConfig);
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(2, ScreenCam->SelectedCompressor);
    auto dialogs = fakewin::compressor_dialogs();
    ASSERT_EQ(2u, dialogs.size());
    EXPECT_EQ("about", dialogs[0].kind);
    EXPECT_EQ("configure", dialogs[1].kind);
    EXPECT_EQ(OptionDlg->Handle(), dialogs[0].owner);
    // The choice made with OK is shown again, so that the next OK keeps it.
    RunOptions([] {
        EXPECT_EQ(2, OptionDlg->ComboBoxCompressor->ItemIndex());
        OptionDlg->ComboBoxCompressor->Select(0);
        Press(OptionDlg->Button2);
    });
    RunOptions([] { // the first of the list as well
        EXPECT_EQ(0, OptionDlg->ComboBoxCompressor->ItemIndex());
        Press(OptionDlg->Button3);
    });
}

TEST_F(OptionsTest, WithoutMicrosoftTheFirstEntryIsPicked) {
    fakewin::install_compressor(Compressor("aaaa", u"Alpha"));
    fakewin::install_compressor(Compressor("bbbb", u"microsoft beta"));
    RunOptions([] {
        EXPECT_EQ(0, OptionDlg->ComboBoxCompressor->ItemIndex());
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(0, ScreenCam->SelectedCompressor);
}

TEST_F(OptionsTest, EmptyCatalogueSelectsNothingAndStoresMinusOne) {
    RunOptions([] {
        EXPECT_TRUE(OptionDlg->ComboBoxCompressor->Items().empty());
        EXPECT_EQ(-1, OptionDlg->ComboBoxCompressor->ItemIndex());
        EXPECT_FALSE(OptionDlg->ButtonAbout->Enabled());
        EXPECT_FALSE(OptionDlg->ButtonConfig->Enabled());
        Press(OptionDlg->Button2);
    });
    EXPECT_EQ(-1, ScreenCam->SelectedCompressor);
}

TEST_F(OptionsTest, FileNameButtons) {
    struct Case {
        const char *avi, *wav;
    } cases[] = {{"clip.avi", "clip.wav"},
                 {"my.files\\clip.avi", "my.files\\clip.wav"},
                 {"clip", "clip.wav"}};
    for (auto &c : cases) {
        OptionDlg->FileName->SetText(c.avi);
        Press(OptionDlg->Button1);
        EXPECT_EQ(c.wav, OptionDlg->WaveName->Text()) << c.avi;
    }

    fakewin::answer_open_dialog("C:\\videos\\new.avi");
    Press(OptionDlg->Button6);
    EXPECT_EQ("C:\\videos\\new.avi", OptionDlg->FileName->Text());
    fakewin::answer_open_dialog(""); // cancelled
    Press(OptionDlg->Button6);
    EXPECT_EQ("C:\\videos\\new.avi", OptionDlg->FileName->Text());
    auto calls = fakewin::open_dialogs();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("Videos AVI(*.avi)|*.avi|All files|*.*|", calls[0].filter);
    EXPECT_EQ(1u, calls[0].filter_index);
    EXPECT_FALSE(calls[0].default_ext || calls[0].initial_dir || calls[0].title);
}

TEST_F(OptionsTest, CancelKeepsTheSettingsButNotTheTypedFileName) {
    ScreenCam->MsPerFrame = 300;
    RunOptions([] {
        OptionDlg->FileName->SetText("edited.avi");
        OptionDlg->TrackBarRecord->SetPosition(10);
        OptionDlg->EditKeyFrames->SetText("9");
        Press(OptionDlg->Button3);
    });
    EXPECT_EQ(300, ScreenCam->MsPerFrame);
    EXPECT_EQ(5, ScreenCam->KeyFrameEvery);
    EXPECT_EQ(10000, ScreenCam->Quality);
    CaptureRight = 64, CaptureBottom = 48;
    Form1->Button1Click(Form1->Button1); // Record Again, as Record runs it
    ASSERT_NE(nullptr, ScreenCam->RecordThread.load());
    EXPECT_EQ("edited.avi", ScreenCam->RecordThread.load()->AviFileName);
}

// Keys land at the caret, which the edit fields put at the start whenever their text is set.
TEST_F(OptionsTest, TypedTextReadsAsTypedInEveryBox) {
    OptionDlg->Handle();
    const std::pair<TControl *, const char *> boxes[] = {{OptionDlg->FileName, "neg.avi"},
                                                         {OptionDlg->WaveName, "neg.wav"},
                                                         {OptionDlg->EditKeyFrames, "12"},
                                                         {Form1->ComboBox1, "My Cam"}};
    for (auto &box : boxes) {
        SetWindowTextA(box.first->Handle(), "");
        fakewin::type_keys(box.first->Handle(), box.second);
        fakewin::WindowInfo info;
        ASSERT_TRUE(fakewin::window_info(box.first->Handle(), info));
        EXPECT_EQ(box.second, info.text);
        EXPECT_EQ(box.second, box.first->Caption());
    }
}

// Enter as the dialog keys deliver it when the focused control is not the default button.
void PressEnterOn(TControl *Focused) {
    SetFocus(Focused->Handle());
    SendMessageA(OptionDlg->Handle(), WM_COMMAND, IDOK, 0);
}

TEST_F(OptionsTest, EnterPressesTheFocusedButtonAndOkOtherwise) {
    fakewin::install_compressor(Compressor("MSVC", u"Microsoft Video 1", true, true));
    RunOptions([] {
        OptionDlg->TrackBarQuality->SetPosition(50);
        PressEnterOn(OptionDlg->Button3); // Cancel
    });
    EXPECT_EQ(10000, ScreenCam->Quality);

    RunOptions([] {
        OptionDlg->FileName->SetText("C:\\take.avi");
        PressEnterOn(OptionDlg->ButtonAbout);
        PressEnterOn(OptionDlg->ButtonConfig);
        PressEnterOn(OptionDlg->Button1); // from fn.
        EXPECT_EQ(mrNone, OptionDlg->ModalResult);
        OptionDlg->TrackBarQuality->SetPosition(50);
        PressEnterOn(OptionDlg->EditKeyFrames);
    });
    auto dialogs = fakewin::compressor_dialogs();
    ASSERT_EQ(2u, dialogs.size());
    EXPECT_EQ("about", dialogs[0].kind);
    EXPECT_EQ("configure", dialogs[1].kind);
    EXPECT_EQ("C:\\take.wav", OptionDlg->WaveName->Text());
    EXPECT_EQ(5000, ScreenCam->Quality);

    // On OK itself, and with the focus nowhere, Enter is OK.
    for (TControl *focused : {(TControl *)OptionDlg->Button2, (TControl *)nullptr}) {
        ScreenCam->Quality = 10000;
        RunOptions([focused] {
            OptionDlg->TrackBarQuality->SetPosition(50);
            SetFocus(focused ? focused->Handle() : nullptr);
            SendMessageA(OptionDlg->Handle(), WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(5000, ScreenCam->Quality);
    }
}

TEST_F(OptionsTest, DialogLayoutKeepsEveryControlInsideAndApart) {
    HWND dlg = OptionDlg->Handle();
    fakewin::WindowInfo info;
    ASSERT_TRUE(fakewin::window_info(dlg, info));
    EXPECT_EQ("Options", info.text);
    EXPECT_EQ(304, info.rect.left);
    EXPECT_EQ(160, info.rect.top);
    EXPECT_EQ(455, info.rect.right - info.rect.left);
    EXPECT_EQ(504, info.rect.bottom - info.rect.top);
    EXPECT_TRUE(info.style & WS_THICKFRAME);
    EXPECT_TRUE(info.style & WS_SYSMENU);
    EXPECT_FALSE(info.style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    RECT client;
    GetClientRect(dlg, &client);
    // Controls that are not group boxes never overlap one another and stay in the window.
    std::vector<RECT> placed;
    for (HWND child : fakewin::children(dlg)) {
        ASSERT_TRUE(fakewin::window_info(child, info));
        RECT r = info.rect;
        if (info.cls == "COMBOBOX") r.bottom = r.top + 21; // the closed box, not its drop-down list
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, client.right) << info.text;
        EXPECT_LE(r.bottom, client.bottom) << info.text;
        if ((info.style & BS_TYPEMASK) == BS_GROUPBOX && info.cls == "BUTTON") continue;
        for (const RECT &o : placed)
            EXPECT_TRUE(r.right <= o.left || o.right <= r.left || r.bottom <= o.top ||
                        o.bottom <= r.top)
                << info.text;
        placed.push_back(r);
    }
    EXPECT_EQ(23u, placed.size());
}
