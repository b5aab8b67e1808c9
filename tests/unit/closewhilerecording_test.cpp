// Closing the main window while a recording runs: the worker's pass that is still under way
// reports progress, and the recorder it reports on must still be there.
#include "ui_fixture.h"

#include "fakewin/avifile.h"

#include "recorder/scrcam.h"

#include <atomic>
#include <chrono>
#include <thread>

class CloseWhileRecording : public UiTest {};

TEST_F(CloseWhileRecording, ProgressOfTheLastPassStillFindsTheRecorder) {
    CaptureLeft = 10;
    CaptureTop = 20;
    CaptureRight = 74;
    CaptureBottom = 68;
    // The pass at 600 ms is the first to report progress. Its write lets the test close the
    // window, then waits for the main thread (which serves it only once the teardown waits for
    // the worker) before the pass goes on to report.
    std::atomic<bool> closing{false};
    fakewin::on_avi_call([&](const std::string &line) {
        if (line != "write 6") return;
        closing = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        CurrentRecordThread()->Synchronize([] {});
    });
    // The write stands for a point inside the worker's pass.
    ScreenCam->WriteBehind = false;
    Form1->Button1Click(Form1->Button1);
    TScreenCam *recorder = ScreenCam;
    std::atomic<int> reports{0}, reportsWithoutRecorder{0};
    auto show = recorder->OnProgress;
    recorder->OnProgress = [&, show](TObject *Sender) {
        ++reports;
        if (ScreenCam != recorder) {
            ++reportsWithoutRecorder;
            return; // ShowProgress would read a recorder that is gone
        }
        show(Sender);
    };
    while (!closing) {
        Application->ProcessMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Application->FreeForms();
    EXPECT_EQ(ScreenCam, nullptr);
    EXPECT_EQ(reports, 2); // the pass at 600 ms, and the final counts
    EXPECT_EQ(reportsWithoutRecorder, 0);
    EXPECT_EQ(LiveRecordThreads(recorder), 0);
    // The file was closed complete after its last frame.
    auto log = fakewin::avi_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "exit");
}
