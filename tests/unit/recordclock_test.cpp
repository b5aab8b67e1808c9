// The timed loop against a clock whose sleeps overshoot, as the platform's do: positions are
// kept from the start of the recording, not from the end of each pass.
#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <memory>

using namespace fakewin;

namespace {

class RecordClock : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->RecordCursor = false;
        cam->ShowMarker = false;
        // Each write happens in the pass that took its frame, so that the clock at a write is
        // the time of the frame and a write's cost falls into its pass.
        cam->WriteBehind = false;
    }
    void TearDown() override { cam.reset(); }
    // Every Sleep takes Overshoot ms longer than asked; the run stops once the clock reaches
    // StopMs.
    void Record(DWORD Overshoot, DWORD StopMs) {
        on_sleep([this, Overshoot, StopMs](DWORD) {
            advance(Overshoot);
            if (now() >= StopMs) cam->Recording = false;
        });
        on_avi_call([this](const std::string &line) {
            if (line.rfind("write", 0) == 0) times.push_back(now());
        });
        cam->Recording = true;
        cam->RecordToFile(0, 0, 32, 32, "clock.avi");
    }
    std::unique_ptr<TScreenCam> cam;
    std::vector<DWORD> times; // clock at each write
};

TEST_F(RecordClock, OvershootingSleepsLeaveNoPositionEmpty) {
    // Three minutes at 100 ms, each sleep a millisecond long.
    Record(1, 180050);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 1u);
    auto &writes = files[0].writes;
    ASSERT_EQ(writes.size(), 1801u);
    for (size_t i = 0; i < writes.size(); ++i)
        ASSERT_EQ(writes[i].pos, (LONG)i);
    EXPECT_EQ(cam->SkippedFrames, 0);
    EXPECT_EQ(cam->FramesWritten, 1801);
    // Each frame is taken within a millisecond or two of its position's time.
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_GE(times[i], i * 100) << i;
        EXPECT_LE(times[i], i * 100 + 2) << i;
    }
    EXPECT_NEAR(cam->MsPerFrameActual, 100.0, 1.0);
}

TEST_F(RecordClock, AStopIsSeenWithinASliceWhateverTheOvershoot) {
    // A minute per frame sleeps in 6 s slices; the stop at 10 s is seen after the second.
    cam->MsPerFrame = 60000;
    Record(3, 10000);
    auto all = sleeps();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], 6000u);
    EXPECT_LE(all[1], 6000u);
    EXPECT_LT(now(), 12010u);
}

TEST_F(RecordClock, ASlowPassGoesStraightOnAndLaterOnesCatchUp) {
    // The write at position 3 takes 250 ms: no sleep follows it, the next frame lands on 6
    // (at 550 ms, 5.5 rounding to even), and from there every position is filled again.
    on_avi_call([](const std::string &line) {
        if (line == "write 3") advance(250);
    });
    cam->Recording = true;
    on_sleep([this](DWORD) {
        if (now() >= 1000) cam->Recording = false;
    });
    cam->RecordToFile(0, 0, 32, 32, "clock.avi");
    auto files = avi_files();
    ASSERT_EQ(files.size(), 1u);
    std::vector<LONG> positions;
    for (auto &w : files[0].writes)
        positions.push_back(w.pos);
    EXPECT_EQ(positions, (std::vector<LONG>{0, 1, 2, 3, 6, 7, 8, 9}));
    EXPECT_EQ(cam->SkippedFrames, 2);
}

} // namespace
