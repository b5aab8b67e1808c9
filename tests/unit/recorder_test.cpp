#include "fakewin/fakewin.h"
#include "fakewin/screen.h"
#include "fakewin/window.h"
#include "marker/flashwnd.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

namespace {

class Recorder : public ::testing::Test {
  protected:
    void SetUp() override { fakewin::reset(); }
    void TearDown() override {
        EXPECT_EQ(fakewin::live_objects(), fakewin::LiveObjects{});
        EXPECT_TRUE(fakewin::misuse_log().empty()) << fakewin::misuse_log()[0];
    }
};

TEST_F(Recorder, FreshRecorderHoldsTheDefaultsAndTheScreenMetrics) {
    fakewin::set_screen(800, 600, 16);
    TScreenCam cam(nullptr);
    EXPECT_EQ(cam.BitsPerPixel, 16);
    EXPECT_EQ(cam.ScreenWidth, 800);
    EXPECT_EQ(cam.ScreenHeight, 600);
    EXPECT_EQ(cam.CompressorFourCC, mmioFOURCC('M', 'S', 'V', 'C'));
    EXPECT_EQ(cam.CompressorFourCC, 0x4356534Du);
    EXPECT_FALSE(cam.Recording);
    EXPECT_EQ(cam.MsPerFrame, 100);
    EXPECT_EQ(cam.PlaybackFps, 10);
    EXPECT_EQ(cam.KeyFrameEvery, 5);
    EXPECT_EQ(cam.Quality, 6550);
    EXPECT_EQ(cam.SelectedCompressor, -1);
    EXPECT_EQ(cam.CompressorCount, 0);
    EXPECT_TRUE(cam.RecordCursor);
    EXPECT_TRUE(cam.ShowMarker);
    EXPECT_EQ(cam.RecordThread, nullptr);
    EXPECT_EQ(cam.ArrowCursor, LoadCursor(nullptr, IDC_ARROW));
    EXPECT_NE(cam.ArrowCursor, nullptr);
    EXPECT_EQ(cam.StartTime, 0u);
    EXPECT_EQ(cam.MsPerFrameActual, 0.0);
    EXPECT_EQ(cam.SkippedFrames + cam.FrameIndex + cam.FramesWritten, 0);
    EXPECT_EQ(cam.CaptureWidth + cam.CaptureHeight, 0);
    EXPECT_FALSE(cam.OnProgress || cam.OnStart || cam.OnStop || cam.OnError);
    ASSERT_NE(cam.MarkerWindow, nullptr);
    EXPECT_EQ(cam.MarkerWindow->AreaRight, 0);
}

TEST_F(Recorder, MarkerBelongsToTheOwnerButGoesWithTheRecorder) {
    TComponent owner(nullptr);
    auto cam = std::make_unique<TScreenCam>(&owner);
    EXPECT_EQ(cam->MarkerWindow->Owner(), &owner);
    cam->MarkerWindow->SetCaptureRect(10, 10, 100, 100);
    HWND marker = cam->MarkerWindow->Handle();
    fakewin::WindowInfo info;
    ASSERT_TRUE(fakewin::window_info(marker, info));
    EXPECT_FALSE(info.visible); // shown only by a recording run
    cam.reset();
    EXPECT_FALSE(fakewin::window_info(marker, info));
    // The owner, freed after the recorder, must not free the marker a second time.
}

} // namespace
