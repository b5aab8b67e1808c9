// The recording thread against the double: real worker threads, the virtual clock with a
// small real sleep so that workers do not spin, and the test's own thread as the main thread
// that runs the workers' synchronised calls.
#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/ic.h"
#include "fakewin/kernel.h"
#include "fakewin/screen.h"
#include "fakewin/window.h"
#include "marker/flashwnd.h"
#include "recorder/recordthread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <memory>

using namespace fakewin;

namespace {

constexpr DWORD MSVC = mmioFOURCC('M', 'S', 'V', 'C');
constexpr DWORD CVID = mmioFOURCC('c', 'v', 'i', 'd');

class RecordThread : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
        set_real_sleep_scale(0.01);
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->MsPerFrame = 20;
    }
    void TearDown() override {
        cam.reset(); // waits for any worker
        EXPECT_EQ(live_objects(), LiveObjects{});
        EXPECT_EQ(avi_live_handles(), 0);
        EXPECT_EQ(avi_init_balance(), 0);
        EXPECT_EQ(open_compressors(), 0);
        EXPECT_EQ(timer_period_balance(), 0);
        EXPECT_TRUE(avi_misuse().empty());
        EXPECT_TRUE(misuse_log().empty());
    }
    static size_t Writes(size_t file) {
        auto files = avi_files();
        return file < files.size() ? files[file].writes.size() : 0;
    }
    static bool Closed(size_t file) {
        auto log = avi_log();
        return (size_t)std::count(log.begin(), log.end(), "exit") > file;
    }
    // Serves the workers' calls until the condition holds; false after ten seconds, so that
    // a broken recorder fails the test instead of hanging it.
    static bool Pump(const std::function<bool()> &done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (!CheckSynchronize()) std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (std::chrono::steady_clock::now() > deadline) return false;
        }
        return true;
    }
    // Chooses the Cinepak entry (the test installs it), whose stream refuses the format; the
    // retry question gets the answer.
    void ChooseRefusingCompressor(int answer) {
        cam->Compressors[0].fccType = ICTYPE_VIDEO;
        cam->Compressors[0].fccHandler = CVID;
        cam->CompressorCount = 1;
        cam->SelectedCompressor = 0;
        refuse_format_for(CVID);
        answer_message_boxes({answer});
    }
    // Runs a recording and, on its fourth pass, right after the marker's first paint of the
    // pass, lets `cut` end the run's turn (Stop, or a newer recording); returns the paints by
    // then.
    size_t PaintsWhenCut(const std::function<void()> &cut) {
        std::atomic<int> passes{0};
        std::atomic<size_t> at_cut{0};
        cam->OnStage = [&](LoopStage stage) {
            if (stage != LoopStage::MarkerActive || ++passes != 4) return;
            cut();
            at_cut = window_paints().size();
        };
        cam->StartRecording(10, 20, 64, 48, "test.avi");
        EXPECT_TRUE(Pump([&] { return LiveRecordThreads(cam.get()) == 0; }));
        cam->OnStage = nullptr;
        EXPECT_GE(passes.load(), 4);
        return at_cut;
    }
    void WaitIdle() {
        ASSERT_TRUE(Pump([this] { return cam->RecordThread == nullptr; }));
    }
    std::unique_ptr<TScreenCam> cam;
};

TEST_F(RecordThread, StartStopAndRestart) {
    for (int round = 0; round < 3; ++round) {
        cam->StartRecording(10, 20, 64, 48, "test.avi");
        EXPECT_TRUE(cam->Recording);
        EXPECT_NE(cam->RecordThread, nullptr);
        ASSERT_TRUE(Pump([&] { return Writes(round) >= 3; }));
        cam->StopRecording();
        WaitIdle();
        EXPECT_FALSE(cam->Recording);
        EXPECT_EQ(LiveRecordThreads(cam.get()), 0);
        EXPECT_TRUE(Closed(round));
    }
    EXPECT_EQ(avi_files().size(), 3u);
    // The marker was placed and shown on the main thread, and hidden at the end.
    for (auto &call : window_calls(WindowCall::Show))
        EXPECT_TRUE(call.main_thread);
    EXPECT_FALSE(IsWindowVisible(cam->MarkerWindow->Handle()));
    EXPECT_TRUE(message_boxes().empty());
}

// The marker's paints. The rule: the marker is painted only while its run is the current
// recording, never once Stop has come, and on the thread the design names for it: the worker
// paints it itself once the window exists (the first grab of the first recording, before the
// window is made, goes through the main thread and draws nothing). That choice is this one
// constant.
constexpr bool MarkerPaintedOnMainThread = false;

size_t PaintsOnTheDesignedThread() {
    size_t n = 0;
    for (auto &p : window_paints())
        n += p.main_thread == MarkerPaintedOnMainThread;
    return n;
}

TEST_F(RecordThread, MarkerPaintsStopWithStopAndStayOnTheirThread) {
    // Stop between the pass's two paints: the second does not come.
    size_t at_stop = PaintsWhenCut([this] { cam->StopRecording(); });
    EXPECT_EQ(window_paints().size(), at_stop);
    ASSERT_GE(at_stop, 3u);
    EXPECT_EQ(PaintsOnTheDesignedThread(), at_stop);
    EXPECT_EQ(window_paints()[0].brush, MarkerActiveColor);
    EXPECT_EQ(window_paints()[1].brush, MarkerIdleColor);
}

TEST_F(RecordThread, RunReplacedByANewerRecordingPaintsNoMore) {
    // A newer recording became current between the pass's two paints (Stop and Record Again
    // while this worker still ran): the old worker leaves the marker to it.
    TRecordAVIThread newer(cam.get(), "newer.avi");
    size_t at_replace = PaintsWhenCut([&] { cam->RecordThread = &newer; });
    EXPECT_EQ(window_paints().size(), at_replace);
    EXPECT_GE(at_replace, 3u);
    cam->RecordThread = nullptr;
    cam->Recording = false;
}

TEST_F(RecordThread, WorkerPaintNeedsItsRunCurrentAndRecording) {
    // Called as a queued paint runs: the worker is still alive and still the recorder's
    // thread, but the recording was stopped; or it records, but another run is current.
    cam->MarkerWindow->SetCaptureRect(10, 20, 64, 48);
    TRecordAVIThread thread(cam.get(), "x.avi"), other(cam.get(), "y.avi");
    thread.MarkerColor = MarkerActiveColor;
    cam->RecordThread = &thread;
    cam->Recording = false;
    thread.DoPaintMarker();
    EXPECT_TRUE(window_paints().empty());
    cam->Recording = true;
    cam->RecordThread = &other;
    thread.DoPaintMarker();
    EXPECT_TRUE(window_paints().empty());
    cam->RecordThread = &thread;
    thread.DoPaintMarker();
    EXPECT_EQ(window_paints().size(), 1u);
    cam->Recording = false;
    cam->RecordThread = nullptr;
}

TEST_F(RecordThread, PaintsFromTheMainThreadOrAPlainThreadFollowRecording) {
    cam->MarkerWindow->SetCaptureRect(10, 20, 64, 48);
    // On the main thread (the catalogue's probe during a recording) the paint is immediate.
    cam->PaintMarker(true);
    EXPECT_TRUE(window_paints().empty());
    cam->Recording = true;
    cam->PaintMarker(true);
    ASSERT_EQ(window_paints().size(), 1u);
    EXPECT_TRUE(window_paints()[0].main_thread);
    // From a thread that is no recording worker, the paint goes to the main thread.
    for (bool recording : {false, true}) {
        cam->Recording = recording;
        std::atomic<bool> done{false};
        std::thread plain([&] {
            cam->PaintMarker(false);
            done = true;
        });
        EXPECT_TRUE(Pump([&] { return done.load(); }));
        plain.join();
    }
    cam->Recording = false;
    ASSERT_EQ(window_paints().size(), 2u);
    EXPECT_EQ(window_paints()[1].brush, MarkerIdleColor);
    EXPECT_TRUE(window_paints()[1].main_thread);
}

TEST_F(RecordThread, SecondStartOnlyStoresTheArea) {
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    TRecordAVIThread *first = cam->RecordThread;
    cam->StartRecording(1, 2, 3, 4, "other.avi");
    EXPECT_EQ(cam->RecordThread, first);
    EXPECT_TRUE(cam->Recording);
    EXPECT_EQ(LiveRecordThreads(cam.get()), 1);
    EXPECT_EQ(RecordLeft, 1);
    EXPECT_EQ(RecordHeight, 4);
    ASSERT_TRUE(Pump([&] { return Writes(0) >= 2; }));
    cam->StopRecording();
    WaitIdle();
    ASSERT_EQ(avi_files().size(), 1u);
    EXPECT_EQ(avi_files()[0].name, "test.avi");

    cam->StopRecording(); // idle: nothing changes
    EXPECT_FALSE(cam->Recording);
    EXPECT_EQ(cam->RecordThread, nullptr);
}

TEST_F(RecordThread, RecordAgainRightAfterStop) {
    // The stopped run lingers in its teardown, giving a new run time to open its file early
    // if the runs did not take turns (a quarter second at most, so the turn-taking run goes
    // on by itself).
    std::atomic<bool> lingered{false}, second_opened{false};
    on_avi_call([&](const std::string &line) {
        if (line.rfind("open b.avi", 0) == 0) second_opened = true;
        if (line != "release file" || lingered.exchange(true)) return;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
        while (!second_opened && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    cam->StartRecording(10, 20, 64, 48, "a.avi");
    ASSERT_TRUE(Pump([&] { return Writes(0) >= 2; }));
    cam->StopRecording();
    cam->StartRecording(10, 20, 64, 48, "b.avi");
    TRecordAVIThread *second = cam->RecordThread;
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(cam->Recording);
    // The first worker ends although the flag is set again, and its end leaves the new
    // recording alone.
    ASSERT_TRUE(Pump([&] { return LiveRecordThreads(cam.get()) == 1; }));
    EXPECT_TRUE(Closed(0));
    EXPECT_TRUE(cam->Recording);
    EXPECT_EQ(cam->RecordThread, second);
    size_t before = Writes(1);
    ASSERT_TRUE(Pump([&] { return Writes(1) >= before + 3; }));
    cam->StopRecording();
    WaitIdle();
    auto files = avi_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "a.avi");
    EXPECT_EQ(files[1].name, "b.avi");
    // The runs took turns: the new one opened its file after the old one had closed.
    auto log = avi_log();
    auto first_exit = std::find(log.begin(), log.end(), "exit");
    auto second_open = std::find(log.begin(), log.end(), "open b.avi 4097");
    EXPECT_LT(first_exit, second_open);
}

TEST_F(RecordThread, CatalogueRebuiltWhileARunStarts) {
    // The Options command rebuilds the catalogue right after a starting run has read its
    // chosen entry: a data race that ThreadSanitizer reports when either side leaves the lock
    // out. The run is held in its first format query (after the read) while the main thread
    // rebuilds; the two flags are relaxed so that they add no ordering of their own.
    std::atomic<bool> querying{false}, rebuilt{false};
    const auto main_id = std::this_thread::get_id();
    FakeCompressor video1{ICTYPE_VIDEO, MSVC, u"Video 1", nullptr, false, false, false};
    video1.accepts = [&](const BITMAPINFOHEADER &) {
        if (std::this_thread::get_id() == main_id || querying.exchange(true)) return true;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!rebuilt.load(std::memory_order_relaxed) && std::chrono::steady_clock::now() < until)
            std::this_thread::yield();
        return true;
    };
    install_compressor(video1);
    cam->ShowMarker = false;
    cam->EnumerateCompressors();
    ASSERT_EQ(cam->CompressorCount, 1);
    cam->SelectedCompressor = 0;
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    while (!querying.load(std::memory_order_relaxed))
        std::this_thread::yield();
    // This rebuild's probe fails, so it asks no compressor and leaves the catalogue empty.
    fail_global_allocs(1);
    cam->EnumerateCompressors();
    rebuilt.store(true, std::memory_order_relaxed);
    EXPECT_EQ(cam->CompressorCount, 0);
    ASSERT_TRUE(Pump([&] { return Writes(0) >= 1; }));
    cam->StopRecording();
    WaitIdle();
    EXPECT_EQ(avi_files()[0].options.fccHandler, MSVC); // the run keeps the entry it read
    EXPECT_EQ(message_boxes().size(), 1u);              // the failed probe
}

TEST_F(RecordThread, RecorderDestroyedWhileRecording) {
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    ASSERT_TRUE(Pump([&] { return Writes(0) >= 2; }));
    cam.reset();
    EXPECT_TRUE(Closed(0));
    cam = std::make_unique<TScreenCam>(nullptr);
}

TEST_F(RecordThread, RetryWithTheDefaultAfterYes) {
    // No read-out succeeds: each run says so once. (A DIB section's bits are read in place:
    // the screen's kind of bitmap is read out.)
    set_screen(1024, 768, 8);
    cam = std::make_unique<TScreenCam>(nullptr);
    cam->MsPerFrame = 20;
    install_compressor({ICTYPE_VIDEO, CVID, u"Cinepak", nullptr, false, false, false});
    ChooseRefusingCompressor(IDYES);
    fail_get_dibits(1 << 20);
    answer_message_boxes({IDOK, IDYES});
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    // The repeated run records with the default, although the same entry is still chosen,
    // and asks nothing more.
    ASSERT_TRUE(Pump([&] { return Writes(1) >= 2; }));
    cam->StopRecording();
    WaitIdle();
    auto files = avi_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].options.fccHandler, CVID);
    EXPECT_EQ(files[1].options.fccHandler, MSVC);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);
    auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "Error retrieving bitmap bits");
    EXPECT_EQ(boxes[1].caption, "Notice");
    EXPECT_FALSE(boxes[1].main_thread);
    EXPECT_EQ(boxes[2].text, boxes[0].text);
}

TEST_F(RecordThread, AYesForAReplacedRecordingStartsNoRunOfItsOwn) {
    // The chosen compressor fails; before the question comes, the user has pressed Stop and
    // Record Again. The old run's Yes belongs to a recording that is over: only the newer one
    // goes on (and asks for itself, answered No).
    install_compressor({ICTYPE_VIDEO, CVID, u"Cinepak", nullptr, false, false, false});
    ChooseRefusingCompressor(IDYES);
    answer_message_boxes({IDYES, IDNO});
    std::atomic<bool> failed{false}, replaced{false};
    on_avi_call([&](const std::string &line) {
        if (line.find(" failed") == std::string::npos || failed.exchange(true)) return;
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!replaced && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    cam->StartRecording(10, 20, 64, 48, "old.avi");
    ASSERT_TRUE(Pump([&] { return failed.load(); }));
    cam->StopRecording();
    cam->StartRecording(10, 20, 64, 48, "new.avi");
    replaced = true;
    ASSERT_TRUE(Pump([&] { return LiveRecordThreads(cam.get()) == 0; }));
    std::vector<std::string> names;
    for (auto &f : avi_files())
        names.push_back(f.name);
    EXPECT_EQ(names, (std::vector<std::string>{"old.avi", "new.avi"}));
    EXPECT_EQ(message_boxes().size(), 2u);
    EXPECT_FALSE(cam->Recording);
}

TEST_F(RecordThread, RepeatedRunSizesTheFramesForTheDefault) {
    // The chosen compressor takes even sizes and then fails; the default takes multiples of 4.
    FakeCompressor even;
    even.fccHandler = CVID;
    even.accepts = [](const BITMAPINFOHEADER &h) {
        return h.biWidth % 2 == 0 && h.biHeight % 2 == 0;
    };
    install_compressor(even);
    FakeCompressor video1;
    video1.fccHandler = MSVC;
    video1.accepts = [](const BITMAPINFOHEADER &h) {
        return h.biWidth % 4 == 0 && h.biHeight % 4 == 0;
    };
    install_compressor(video1);
    ChooseRefusingCompressor(IDYES);
    cam->StartRecording(10, 20, 321, 241, "test.avi");
    ASSERT_TRUE(Pump([&] { return Writes(1) >= 2; }));
    cam->StopRecording();
    WaitIdle();
    auto files = avi_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].header.rcFrame.right, 322);
    EXPECT_EQ(files[1].options.fccHandler, MSVC);
    EXPECT_EQ(files[1].header.rcFrame.right, 324);
    EXPECT_EQ(files[1].header.rcFrame.bottom, 244);
    for (auto &w : files[1].writes)
        EXPECT_EQ(w.size, 324 * 244 * 4);
}

TEST_F(RecordThread, MarkerHiddenWhenRecordAgainFailsBeforeShowingIt) {
    cam->StartRecording(10, 20, 64, 48, "a.avi");
    ASSERT_TRUE(Pump([&] { return Writes(0) >= 2; }));
    ASSERT_TRUE(IsWindowVisible(cam->MarkerWindow->Handle()));
    // The new run's first frame cannot be made once the old run has closed its file.
    on_avi_call([](const std::string &line) {
        if (line == "exit") fail_global_allocs(1);
    });
    cam->StopRecording();
    cam->StartRecording(10, 20, 64, 48, "b.avi");
    ASSERT_TRUE(Pump([&] { return LiveRecordThreads(cam.get()) == 0; }));
    EXPECT_EQ(avi_files().size(), 1u);
    ASSERT_EQ(message_boxes().size(), 1u);
    EXPECT_EQ(message_boxes()[0].text, "Error capturing a frame!");
    EXPECT_FALSE(IsWindowVisible(cam->MarkerWindow->Handle()));
}

TEST_F(RecordThread, FailedRunsEndIdle) {
    // No to the retry question.
    install_compressor({ICTYPE_VIDEO, CVID, u"Cinepak", nullptr, false, false, false});
    ChooseRefusingCompressor(IDNO);
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    WaitIdle();
    EXPECT_FALSE(cam->Recording);
    EXPECT_EQ(avi_files().size(), 1u);
    EXPECT_EQ(Writes(0), 0u); // the format was refused: nothing to write with
    EXPECT_EQ(message_boxes().size(), 1u);

    // A run that fails before its loop.
    set_vfw_version(0x01000000);
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    WaitIdle();
    EXPECT_FALSE(cam->Recording);
    EXPECT_EQ(message_boxes().size(), 2u);
}

TEST_F(RecordThread, GrabOnTheMainThreadDuringARecordingPaintsAtOnce) {
    cam->StartRecording(10, 20, 64, 48, "test.avi");
    ASSERT_TRUE(Pump([&] { return Writes(0) >= 1; }));
    size_t before = window_paints().size();
    BITMAPINFOHEADER *probe = cam->CaptureFrame(0, 0, 320, 200); // must not wait for itself
    ASSERT_NE(probe, nullptr);
    FreeFrame(probe);
    EXPECT_GE(window_paints().size(), before + 2);
    cam->StopRecording();
    WaitIdle();
}

} // namespace
