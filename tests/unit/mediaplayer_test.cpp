#include "fakewin/fakewin.h"
#include "fakewin/mcilog.h"
#include "framework/application.h"
#include "framework/mediaplayer.h"
#include "framework/sysutils.h"

#include <gtest/gtest.h>

class MediaPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakewin::reset();
        form = std::make_unique<TForm>(nullptr);
        form->SetBounds(0, 0, 400, 400);
        display = new TPanel(form.get(), nullptr);
        display->SetBounds(0, 100, 353, 220);
        player = new TMediaPlayer(form.get(), nullptr);
        player->Display = display;
        form->Handle();
        fakewin::add_media_file("clip.avi", true, 160, 120);
        fakewin::add_media_file("tune.wav", false, 0, 0);
    }
    void TearDown() override {
        form.reset();
        fakewin::reset();
    }
    std::unique_ptr<TForm> form;
    TPanel *display;
    TMediaPlayer *player;
};

TEST_F(MediaPlayerTest, VideoOpensIntoTheDisplayScaledAndPlaysWithoutWaiting) {
    player->FileName = "clip.avi";
    player->Open();
    player->SetDisplayRect({0, 0, display->Width(), display->Height()});
    player->Play();
    auto log = fakewin::mci_commands();
    ASSERT_EQ(6u, log.size());
    EXPECT_EQ((UINT)MCI_OPEN, log[0].msg);
    EXPECT_EQ((DWORD_PTR)(MCI_OPEN_ELEMENT | MCI_WAIT), log[0].flags);
    EXPECT_EQ("clip.avi", log[0].element);
    EXPECT_FALSE(log[0].device_type);
    EXPECT_EQ((UINT)MCI_GETDEVCAPS, log[1].msg);
    EXPECT_EQ((DWORD)MCI_GETDEVCAPS_HAS_VIDEO, log[1].item);
    EXPECT_EQ((UINT)MCI_WINDOW, log[2].msg);
    EXPECT_EQ(display->Handle(), log[2].window);
    EXPECT_TRUE(log[2].flags & MCI_DGV_WINDOW_HWND);
    EXPECT_EQ((UINT)MCI_WHERE, log[3].msg);
    EXPECT_TRUE(log[3].flags & MCI_DGV_WHERE_DESTINATION);
    EXPECT_EQ((UINT)MCI_PUT, log[4].msg);
    EXPECT_EQ((DWORD_PTR)(MCI_DGV_RECT | MCI_DGV_PUT_DESTINATION | MCI_WAIT), log[4].flags);
    EXPECT_EQ(353, log[4].rect.right);
    EXPECT_EQ(220, log[4].rect.bottom);
    EXPECT_EQ((UINT)MCI_PLAY, log[5].msg);
    EXPECT_EQ((DWORD_PTR)MCI_NOTIFY, log[5].flags);
    EXPECT_EQ((DWORD_PTR)player->Handle(), log[5].callback);
    EXPECT_NE(nullptr, player->Handle());

    // A zero rectangle stands for the video's own size.
    player->SetDisplayRect({0, 0, 0, 0});
    log = fakewin::mci_commands();
    EXPECT_EQ(160, log.back().rect.right);
    EXPECT_EQ(120, log.back().rect.bottom);
}

TEST_F(MediaPlayerTest, SoundGetsNoDisplayAndANewOpenClosesTheOldDevice) {
    player->FileName = "tune.wav";
    player->Open();
    player->SetDisplayRect({0, 0, 10, 10});
    EXPECT_FALSE(player->HasVideo());
    auto log = fakewin::mci_commands();
    ASSERT_EQ(2u, log.size()); // open, capabilities: nothing for the display
    player->FileName = "clip.avi";
    player->Open();
    log = fakewin::mci_commands();
    EXPECT_EQ((UINT)MCI_CLOSE, log[2].msg);
    EXPECT_EQ((DWORD_PTR)MCI_WAIT, log[2].flags);
    EXPECT_EQ(1, fakewin::open_mci_devices());
    form.reset(); // the player's window goes and closes the device
    EXPECT_EQ(0, fakewin::open_mci_devices());
}

TEST_F(MediaPlayerTest, FailedOpenRaisesTheSystemTextAndLeavesNoDevice) {
    player->FileName = "tune.wav";
    player->Open();
    player->FileName = "missing.avi";
    try {
        player->Open();
        FAIL() << "no error";
    } catch (const Exception &e) {
        char text[256];
        mciGetErrorStringA(MCIERR_FILE_NOT_FOUND, text, sizeof(text));
        EXPECT_STREQ(text, e.what());
    }
    EXPECT_EQ(0, fakewin::open_mci_devices());
    size_t sent = fakewin::mci_commands().size();
    player->Play();
    player->Close();
    EXPECT_EQ(sent, fakewin::mci_commands().size());
}
