// The recording run on the virtual clock: each test calls RecordToFile on the main thread, so
// the marker calls run directly, and stops the run from the sleep hook at a chosen time.
#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/ic.h"
#include "fakewin/kernel.h"
#include "fakewin/screen.h"
#include "fakewin/wavein.h"
#include "fakewin/window.h"
#include "avifile/recordfile.h"
#include "marker/flashwnd.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>

using namespace fakewin;

namespace {

constexpr DWORD MSVC = mmioFOURCC('M', 'S', 'V', 'C');
constexpr DWORD CVID = mmioFOURCC('c', 'v', 'i', 'd');
const char *const CreatingError = "Error Creating AVI file";
const char *const RetryQuestion =
    "Error recording AVI file using current compressor. Use default compressor? ";

class RecordRun : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
        NewRecorder();
    }
    // A fresh recorder whose events the test records.
    void NewRecorder() {
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->RecordCursor = false;
        cam->OnStart = [this](TObject *s) { Event("start", s); };
        cam->OnStop = [this](TObject *s) { Event("stop", s); };
        cam->OnError = [this](TObject *s) { Event("error", s); };
        cam->OnProgress = [this](TObject *s) {
            Event("progress", s);
            progress.push_back(now() - cam->StartTime);
            reported = cam->FramesWritten;
            // Frames handed and positions skipped cover every position up to the current one.
            covered.push_back(cam->FramesWritten + cam->SkippedFrames == cam->FrameIndex + 1);
        };
    }
    void TearDown() override {
        // Nothing a run obtains may outlive it, whatever path it took.
        EXPECT_EQ(live_objects(), LiveObjects{});
        EXPECT_EQ(open_compressors(), 0);
        EXPECT_EQ(avi_live_handles(), 0);
        EXPECT_EQ(avi_init_balance(), 0);
        EXPECT_EQ(timer_period_balance(), 0);
        EXPECT_TRUE(avi_misuse().empty());
        EXPECT_TRUE(misuse_log().empty());
        if (cam->MarkerWindow->HandleAllocated()) {
            EXPECT_FALSE(IsWindowVisible(cam->MarkerWindow->Handle()));
        }
        cam.reset();
    }
    void Event(const char *name, TObject *sender) {
        EXPECT_EQ(sender, cam.get());
        if (events.empty() || events.back() != name || std::strcmp(name, "progress") != 0)
            events.push_back(name);
    }
    // The run stops once the clock reaches ms (seen after a sleep).
    void StopAt(DWORD ms) {
        on_sleep([this, ms](DWORD) {
            if (now() >= ms) cam->Recording = false;
        });
    }
    // Writing at these positions takes this long, in the pass that took the frame (a write
    // behind the loop would take its time beside the loop's).
    void WriteCosts(std::map<int, DWORD> costs) {
        cam->WriteBehind = false;
        on_avi_call([costs](const std::string &line) {
            if (line.rfind("write ", 0) != 0 || line.find("failed") != std::string::npos) return;
            auto it = costs.find(std::stoi(line.substr(6)));
            if (it != costs.end()) advance(it->second);
        });
    }
    int Run(int left = 10, int top = 20, int width = 64, int height = 48) {
        cam->Recording = true;
        return cam->RecordToFile(left, top, width, height, "test.avi");
    }
    AviFileRecord File() {
        auto files = avi_files();
        EXPECT_EQ(files.size(), 1u);
        return files.empty() ? AviFileRecord{} : files[0];
    }
    std::vector<int> Positions() {
        std::vector<int> out;
        for (auto &w : File().writes)
            out.push_back(w.pos);
        return out;
    }
    void Select(FakeCompressor c) {
        install_compressor(c);
        ICINFO &e = cam->Compressors[cam->CompressorCount++];
        e.fccType = c.fccType;
        e.fccHandler = c.fccHandler;
        cam->SelectedCompressor = cam->CompressorCount - 1;
    }
    static FakeCompressor DivisibleBy4(DWORD handler) {
        FakeCompressor c;
        c.fccHandler = handler;
        c.accepts = [](const BITMAPINFOHEADER &h) {
            return h.biWidth % 4 == 0 && h.biHeight % 4 == 0;
        };
        return c;
    }
    void ExpectOneBox(const char *text, const char *caption, UINT type) {
        auto boxes = message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].caption, caption);
        EXPECT_EQ(boxes[0].type, type | RunBox);
        EXPECT_EQ(boxes[0].owner, nullptr);
    }

    std::unique_ptr<TScreenCam> cam;
    std::vector<std::string> events;
    std::vector<DWORD> progress;
    std::vector<bool> covered;
    int reported = -1; // the frames of the last progress report
};

TEST_F(RecordRun, PositionsFollowTheClockRoundingHalvesToEven) {
    // Pass at 0 takes 150 ms: the next starts at 150 (1.5 -> 2, position 1 skipped); that one
    // takes 100 ms, so the pass at 250 lands on 2 again (2.5 -> 2) and is not written; it
    // sleeps until position 3 is due, at 300.
    set_now(5000);
    WriteCosts({{0, 150}, {2, 100}});
    StopAt(5000 + 360);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(cam->StartTime, 5000u);
    EXPECT_EQ(cam->FramesWritten, 3);
    EXPECT_EQ(cam->SkippedFrames, 1);
    EXPECT_EQ(cam->FrameIndex, 3);
    EXPECT_DOUBLE_EQ(cam->MsPerFrameActual, 150.0); // 150 -> 300
    EXPECT_EQ(events, (std::vector<std::string>{"start", "progress", "stop"}));
    EXPECT_TRUE(message_boxes().empty());
}

TEST_F(RecordRun, WrittenFramesCarryTheAreaBottomUp) {
    fill_screen_rect(10, 20, 74, 68, RGB(0, 0, 255));
    set_screen_pixel(10, 20, RGB(255, 0, 0)); // top left of the area
    StopAt(150);
    Run();
    auto file = File();
    ASSERT_EQ(file.writes.size(), 2u);
    const AviWrite &w = file.writes[0];
    EXPECT_EQ(w.samples, 1);
    EXPECT_EQ(w.flags, 0u);
    ASSERT_EQ(w.size, 64 * 48 * 4);
    ASSERT_EQ(w.data.size(), (size_t)w.size);
    const BYTE *top_row = &w.data[47 * 64 * 4];
    EXPECT_EQ(top_row[2], 255); // red of the top-left pixel, stored BGRA
    EXPECT_EQ(top_row[0], 0);
    EXPECT_EQ(w.data[0], 255); // blue elsewhere
    EXPECT_EQ(w.data[2], 0);
}

TEST_F(RecordRun, ProgressAtMostEvery500Ms) {
    StopAt(2000);
    Run();
    EXPECT_EQ(progress, (std::vector<DWORD>{600, 1200, 1800, 2000}));
    EXPECT_EQ(covered, std::vector<bool>(4, true));
    EXPECT_EQ(cam->FramesWritten, 20);
    EXPECT_EQ(reported, 20);
    EXPECT_EQ(cam->SkippedFrames, 0);
}

TEST_F(RecordRun, SleepsTheRestOfTheIntervalInSlices) {
    // 105 ms with 3 ms of work: ten slices of 10 and a rest of 2.
    cam->MsPerFrame = 105;
    WriteCosts({{0, 3}});
    StopAt(106);
    Run();
    auto all = sleeps();
    ASSERT_GE(all.size(), 11u);
    std::vector<DWORD> first(all.begin(), all.begin() + 11);
    EXPECT_EQ(first, (std::vector<DWORD>{10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 2}));
}

TEST_F(RecordRun, ShortIntervalsSleepInOneMillisecondSlices) {
    for (int ms : {1, 7, 9}) {
        reset();
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->MsPerFrame = ms;
        StopAt(ms);
        Run();
        EXPECT_EQ(sleeps(), std::vector<DWORD>(ms, 1)) << ms;
    }
}

TEST_F(RecordRun, StopDuringASliceEndsTheRunAfterThatSlice) {
    // A minute per frame sleeps in 6 s slices; a stop in the second ends the run there.
    cam->MsPerFrame = 60000;
    StopAt(12000);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(sleeps(), (std::vector<DWORD>{6000, 6000}));
    EXPECT_EQ(Positions(), (std::vector<int>{0}));

    // A stop in the last slice skips the rest sleep: 105 ms is ten slices of 10 and 5 rest.
    reset();
    cam = std::make_unique<TScreenCam>(nullptr);
    cam->MsPerFrame = 105;
    StopAt(100);
    Run();
    EXPECT_EQ(sleeps(), std::vector<DWORD>(10, 10));
}

TEST_F(RecordRun, NoCompressorChosenSizesTheFramesForTheOneInUse) {
    // The default compressor, like the platform's own Video 1, takes multiples of 4 only.
    install_compressor(DivisibleBy4(MSVC));
    cam->SelectedCompressor = -1;
    StopAt(50);
    EXPECT_EQ(Run(10, 20, 321, 241), 1);
    EXPECT_EQ(cam->CaptureWidth, 324);
    EXPECT_EQ(cam->CaptureHeight, 244);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);
    auto file = File();
    EXPECT_EQ(file.options.fccHandler, MSVC);
    EXPECT_EQ(file.header.rcFrame.right, 324);
    EXPECT_EQ(file.header.rcFrame.bottom, 244);
    for (auto &w : file.writes)
        EXPECT_EQ(w.size, 324 * 244 * 4);
}

TEST_F(RecordRun, NoCompressorChosenAndNoneToAskKeepsTheRequestedSize) {
    cam->SelectedCompressor = -1;
    StopAt(50);
    Run(10, 20, 321, 241);
    EXPECT_EQ(cam->CaptureWidth, 321);
    EXPECT_EQ(cam->CaptureHeight, 241);
    EXPECT_EQ(File().options.fccHandler, MSVC);
    EXPECT_EQ(File().header.rcFrame.right, 321);
}

TEST_F(RecordRun, NegotiatesTheSizeAndRecordsWithTheChosenCompressor) {
    Select(DivisibleBy4(CVID));
    StopAt(150);
    EXPECT_EQ(Run(10, 20, 321, 241), 1);
    EXPECT_EQ(compressor_log(), (std::vector<std::string>{"open cvid 4", "query cvid 321x241x32",
                                                          "query cvid 322x242x32",
                                                          "query cvid 324x244x32", "close cvid"}));
    EXPECT_EQ(cam->CaptureWidth, 324);
    EXPECT_EQ(cam->CaptureHeight, 244);
    EXPECT_EQ(cam->CompressorFourCC, CVID);
    auto file = File();
    EXPECT_EQ(file.options.fccHandler, CVID);
    EXPECT_EQ(file.header.rcFrame.right, 324);
    EXPECT_EQ(file.header.rcFrame.bottom, 244);
    ASSERT_EQ(file.writes.size(), 2u);
    for (auto &w : file.writes)
        EXPECT_EQ(w.size, 324 * 244 * 4);
}

TEST_F(RecordRun, AlignsDownAtTheScreenEdgeAndKeepsAlignedSizes) {
    set_screen(1366, 768, 32);
    cam = std::make_unique<TScreenCam>(nullptr);
    Select(DivisibleBy4(CVID));
    StopAt(50);
    Run(0, 0, 1365, 100);
    EXPECT_EQ(cam->CaptureWidth, 1364); // 1368 would pass the edge
    EXPECT_EQ(cam->CaptureHeight, 100); // already a multiple

    // Rounding up to exactly the screen size is allowed.
    reset();
    set_screen(1368, 768, 32);
    cam = std::make_unique<TScreenCam>(nullptr);
    Select(DivisibleBy4(CVID));
    StopAt(50);
    Run(0, 0, 1365, 100);
    EXPECT_EQ(cam->CaptureWidth, 1368);
}

TEST_F(RecordRun, RefusedEverywhereRecordsTheRequestedSizeWithTheDefault) {
    // The probes grew both sides, or only one: the format frame is grabbed again as asked.
    for (auto size : {std::pair<int, int>{321, 241}, {320, 241}, {321, 240}}) {
        reset();
        cam = std::make_unique<TScreenCam>(nullptr);
        FakeCompressor never = DivisibleBy4(CVID);
        never.accepts = [](const BITMAPINFOHEADER &) { return false; };
        Select(never);
        StopAt(150);
        EXPECT_EQ(Run(10, 20, size.first, size.second), 1);
        EXPECT_EQ(compressor_log().size(), 6u); // open, four queries, close
        EXPECT_EQ(cam->CompressorFourCC, MSVC);
        auto file = File();
        EXPECT_EQ(file.options.fccHandler, MSVC);
        BITMAPINFOHEADER format;
        ASSERT_EQ(file.format.size(), sizeof format);
        std::memcpy(&format, file.format.data(), sizeof format);
        EXPECT_EQ(format.biWidth, size.first);
        EXPECT_EQ(format.biHeight, size.second);
        EXPECT_EQ(file.header.rcFrame.right, size.first);
        EXPECT_EQ(file.header.dwSuggestedBufferSize, (DWORD)size.first * 4 * size.second);
        ASSERT_EQ(file.writes.size(), 2u);
        for (auto &w : file.writes)
            EXPECT_EQ(w.size, (LONG)format.biSizeImage);
    }
}

TEST_F(RecordRun, UnopenableAndReplacedCompressorsFallBackToTheDefault) {
    FakeCompressor broken = DivisibleBy4(CVID);
    broken.open_fails = true;
    Select(broken);
    StopAt(50);
    Run(10, 20, 321, 241);
    EXPECT_EQ(File().options.fccHandler, MSVC);
    EXPECT_EQ(cam->CaptureWidth, 321);

    reset();
    cam = std::make_unique<TScreenCam>(nullptr);
    Select(DivisibleBy4(mmioFOURCC('I', 'V', '5', '0')));
    StopAt(50);
    Run(10, 20, 320, 240);
    EXPECT_EQ(File().options.fccHandler, MSVC);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);
}

TEST_F(RecordRun, MarkerSurroundsTheSizeActuallyRecorded) {
    // The default compressor grows these areas by 3 and 2 pixels: brackets placed around the
    // requested area would stand inside every frame. At the screen's right and bottom edges the
    // area grows inside, so that no frame holds black from beyond them; the selection's readout
    // tells the same area beforehand.
    install_compressor(DivisibleBy4(MSVC));
    cam->SelectedCompressor = -1;
    fill_screen_rect(0, 0, 1024, 768, RGB(0, 0, 255));
    StopAt(50);
    struct {
        int left, top, width, height, recordedLeft, recordedTop;
    } rows[] = {
        {10, 20, 321, 242, 10, 20}, {10, 20, 322, 241, 10, 20}, {823, 639, 201, 129, 820, 636}};
    for (auto &r : rows) {
        RECT told = cam->AreaToRecord(r.left, r.top, r.width, r.height);
        EXPECT_EQ(Run(r.left, r.top, r.width, r.height), 1);
        const int w = r.width / 4 * 4 + 4, h = r.height / 4 * 4 + 4;
        ASSERT_EQ(cam->CaptureWidth, w);
        ASSERT_EQ(cam->CaptureHeight, h);
        const TFlashingWnd &marker = *cam->MarkerWindow;
        EXPECT_EQ(
            (std::vector<LONG>{r.recordedLeft, r.recordedTop, r.recordedLeft + w - 1,
                               r.recordedTop + h - 1, r.recordedLeft, r.recordedTop,
                               r.recordedLeft + w, r.recordedTop + h}),
            (std::vector<LONG>{marker.AreaLeft, marker.AreaTop, marker.AreaRight, marker.AreaBottom,
                               told.left, told.top, told.right, told.bottom}));
        EXPECT_EQ(marker.Width(), w + 16);
        auto files = avi_files();
        for (auto &write : files.back().writes)
            for (size_t i = 0; i < write.data.size(); i += 4)
                ASSERT_EQ(write.data[i], 255) << "pixel " << i / 4 << " not from the screen";
    }
}

TEST_F(RecordRun, HandlerCodesCompareWithoutRegardToCase) {
    // The manager may report a chosen 'IV50' as 'iv50': the default records in its place, at
    // the size the default takes.
    install_compressor(DivisibleBy4(MSVC));
    FakeCompressor indeo;
    indeo.fccHandler = mmioFOURCC('i', 'v', '5', '0');
    Select(indeo);
    StopAt(50);
    EXPECT_EQ(Run(10, 20, 321, 241), 1);
    EXPECT_EQ(File().options.fccHandler, MSVC);
    EXPECT_EQ(File().header.rcFrame.right, 324);
    EXPECT_EQ(File().header.rcFrame.bottom, 244);

    // A failing 'msvc' is the default already: no question to switch to it.
    reset();
    cam = std::make_unique<TScreenCam>(nullptr);
    cam->CompressorFourCC = mmioFOURCC('m', 's', 'v', 'c');
    fail_avi_call(AviCall::Open, AVIERR_FILEOPEN);
    answer_message_boxes({IDYES});
    EXPECT_EQ(Run(), 0);
    ExpectOneBox(CreatingError, "Error", MB_ICONWARNING);
}

TEST_F(RecordRun, StreamHeaderOptionsAndFormat) {
    set_screen(800, 600, 8);
    cam = std::make_unique<TScreenCam>(nullptr);
    cam->PlaybackFps = 25;
    cam->KeyFrameEvery = 7;
    cam->Quality = 10000;
    StopAt(50);
    Run(10, 20, 321, 241);
    auto file = File();
    EXPECT_EQ(file.name, "test.avi");
    EXPECT_EQ(file.mode, 0x1001u);

    AVISTREAMINFOA header;
    std::memset(&header, 0, sizeof header);
    header.fccType = mmioFOURCC('v', 'i', 'd', 's');
    header.dwScale = 1;
    header.dwRate = 25;
    header.dwSuggestedBufferSize = 324 * 241; // 8-bit rows padded to 324
    header.rcFrame = {0, 0, 321, 241};
    EXPECT_EQ(std::memcmp(&file.header, &header, sizeof header), 0);

    AVICOMPRESSOPTIONS options;
    std::memset(&options, 0, sizeof options);
    options.fccType = mmioFOURCC('v', 'i', 'd', 's');
    options.fccHandler = MSVC;
    options.dwKeyFrameEvery = 7;
    options.dwQuality = 10000;
    options.dwFlags = 12;
    EXPECT_EQ(std::memcmp(&file.options, &options, sizeof options), 0);

    // Header and 256-entry colour table, set at position 0.
    EXPECT_EQ(file.format_pos, 0);
    ASSERT_EQ(file.format.size(), 1064u);
    BITMAPINFOHEADER format;
    std::memcpy(&format, file.format.data(), sizeof format);
    EXPECT_EQ(format.biBitCount, 8);
    EXPECT_EQ(format.biClrUsed, 256u);
    ASSERT_EQ(file.writes.size(), 1u);
    EXPECT_EQ(file.writes[0].size, 324 * 241);
}

TEST_F(RecordRun, TeardownHidesTheMarkerThenReleasesInOrder) {
    bool visible_at_free = true;
    std::set<std::thread::id> threads; // that made the AVI calls
    on_avi_call([&](const std::string &line) {
        threads.insert(std::this_thread::get_id());
        if (line == "options free 1")
            visible_at_free = IsWindowVisible(cam->MarkerWindow->Handle()) != 0;
    });
    StopAt(50);
    Run(10, 20, 64, 48);
    // The writer thread owns the run's files: it starts the library, opens, writes, closes the
    // file and ends the library, every call on that one thread.
    EXPECT_EQ(avi_log(), (std::vector<std::string>{
                             "init", "open test.avi 4097", "create stream", "make compressed MSVC",
                             "set format 40", "write 0", "options free 1", "release file",
                             "release stream", "release compressed", "exit"}));
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
    EXPECT_FALSE(visible_at_free);
    EXPECT_EQ(avi_options_frees(), 1);
    auto shows = window_calls(WindowCall::Show);
    ASSERT_EQ(shows.size(), 2u);
    EXPECT_EQ(shows[0].value, (UINT)SW_SHOW);
    EXPECT_EQ(shows[1].value, (UINT)SW_HIDE);
}

TEST_F(RecordRun, NoMarkerWhenSwitchedOff) {
    cam->ShowMarker = false;
    StopAt(50);
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(window_calls(WindowCall::Show).empty());
}

struct SetupFailure {
    AviCall call;
    const char *failed_line;
    int options_frees;
};

class RecordRunSetupFailure : public RecordRun,
                              public ::testing::WithParamInterface<SetupFailure> {};

TEST_P(RecordRunSetupFailure, DefaultCompressorReportsAndReleases) {
    fail_avi_call(GetParam().call, AVIERR_FILEOPEN);
    StopAt(50);
    EXPECT_EQ(Run(), 0);
    ExpectOneBox(CreatingError, "Error", MB_ICONWARNING);
    EXPECT_EQ(events, (std::vector<std::string>{"error"}));
    EXPECT_EQ(avi_options_frees(), GetParam().options_frees);
    auto log = avi_log();
    EXPECT_NE(std::find(log.begin(), log.end(), GetParam().failed_line), log.end());
    EXPECT_EQ(log.back(), "exit");
    auto shows = window_calls(WindowCall::Show);
    ASSERT_EQ(shows.size(), 2u); // shown, and hidden again before the message
    EXPECT_EQ(shows[1].value, (UINT)SW_HIDE);
}

TEST_P(RecordRunSetupFailure, OtherCompressorAsksAndRetriesOnYes) {
    Select(DivisibleBy4(CVID));
    fail_avi_call(GetParam().call, AVIERR_FILEOPEN);
    answer_message_boxes({IDYES});
    EXPECT_EQ(Run(), -1);
    ExpectOneBox(RetryQuestion, "Notice", MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);
    EXPECT_EQ(events, (std::vector<std::string>{"error"}));

    clear_message_boxes();
    events.clear();
    cam->CompressorFourCC = CVID;
    fail_avi_call(GetParam().call, AVIERR_FILEOPEN);
    answer_message_boxes({IDNO});
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(message_boxes().size(), 1u);
    EXPECT_EQ(cam->CompressorFourCC, CVID);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, RecordRunSetupFailure,
    ::testing::Values(SetupFailure{AviCall::Open, "open test.avi 4097 failed", 0},
                      SetupFailure{AviCall::CreateStream, "create stream failed", 0},
                      SetupFailure{AviCall::MakeCompressed, "make compressed MSVC failed", 1},
                      SetupFailure{AviCall::SetFormat, "set format 40 failed", 1}));

TEST_F(RecordRun, DecoderOnlyCompressorRefusesTheFormatAndTheRetryUsesTheDefault) {
    Select(DivisibleBy4(CVID));
    refuse_format_for(CVID);
    answer_message_boxes({IDYES});
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);
}

TEST_F(RecordRun, FailedWriteStopsTheLoop) {
    // Written behind the loop, and in the loop itself (where no writer thread could be had).
    for (bool behind : {true, false}) {
        reset();
        events.clear();
        NewRecorder();
        cam->WriteBehind = behind;
        fail_avi_call(AviCall::Write, AVIERR_FILEWRITE, 3);
        StopAt(10000);
        EXPECT_EQ(Run(), 0) << behind;
        EXPECT_EQ(Positions(), (std::vector<int>{0, 1}));
        EXPECT_EQ(cam->FramesWritten, 2);
        EXPECT_EQ(events, (std::vector<std::string>{"start", "progress", "stop", "error"}));
        ExpectOneBox(CreatingError, "Error", MB_ICONWARNING);
        EXPECT_EQ(avi_log().back(), "exit");
    }
}

TEST_F(RecordRun, OldVideoForWindowsStopsBeforeAnything) {
    set_vfw_version(0x01090000);
    EXPECT_EQ(Run(), 0);
    ExpectOneBox("Failure: Video for Windows version too old!", "Error", MB_ICONERROR);
    EXPECT_EQ(events, (std::vector<std::string>{"error"}));
    EXPECT_TRUE(avi_log().empty());
    EXPECT_TRUE(window_calls(WindowCall::Show).empty());

    reset();
    cam = std::make_unique<TScreenCam>(nullptr);
    set_vfw_version(0x010A0000);
    StopAt(50);
    EXPECT_EQ(Run(), 1);
}

TEST_F(RecordRun, LostFrameEndsTheRunQuietly) {
    // The first frame: nothing is started.
    fail_global_allocs(1);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"error"}));
    EXPECT_TRUE(avi_log().empty());
    ExpectOneBox("Error capturing a frame!", "Error", MB_ICONWARNING);

    // A frame of the loop whose pixels cannot be had (read out on the writer, into a first
    // block, below 16 bits), with a sound input that gave nothing: the file is closed through
    // the ordinary teardown, holding no frame, so no sound, and no word about the sound.
    reset();
    events.clear();
    set_screen(1024, 768, 8);
    NewRecorder();
    cam->WriteBehind = true;
    cam->RecordSound = true;
    WaveInScript silent;
    silent.delivers = false;
    script_wave_in(silent);
    on_avi_call([](const std::string &line) {
        if (line.rfind("set format", 0) == 0) fail_global_allocs(1); // the grab after the open
    });
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(File().writes.empty());
    EXPECT_TRUE(File().sound_writes.empty());
    EXPECT_EQ(cam->FramesWritten, 0);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "progress", "stop", "error"}));
    ExpectOneBox("Error capturing a frame!", "Error", MB_ICONWARNING);
    EXPECT_EQ(avi_log().back(), "exit");
}

TEST_F(RecordRun, LostProbeFrameClosesTheCompressor) {
    FakeCompressor c = DivisibleBy4(CVID);
    c.accepts = [](const BITMAPINFOHEADER &) {
        fail_global_allocs(1); // the probe grabbed next
        return false;
    };
    Select(c);
    EXPECT_EQ(Run(10, 20, 321, 241), 0);
    EXPECT_EQ(compressor_log().back(), "close cvid");
    EXPECT_TRUE(avi_log().empty());
    EXPECT_EQ(events, (std::vector<std::string>{"error"}));
}

} // namespace

namespace {

// Holds the calling (writer) thread until the condition holds or five seconds have passed;
// whether it held.
bool HoldUntil(const std::function<bool()> &Done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!Done() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Done();
}

} // namespace

TEST_F(RecordRun, TheLoopGoesOnWhileAFrameIsWritten) {
    // Position 1 is read out and written only once the loop has grabbed position 2; the area
    // changes between every two grabs, and each frame must still show its own.
    int shade = 0;
    on_sleep([this, &shade](DWORD) {
        fill_screen_rect(0, 0, 80, 80, RGB(++shade, 0, 0));
        if (now() >= 400) cam->Recording = false;
    });
    std::mutex lock;
    std::condition_variable grabbed;
    bool handedOne = false, grabbedAfter = false; // a grab after position 1 was handed over
    cam->OnStage = [&](LoopStage stage) {
        std::lock_guard<std::mutex> hold(lock);
        if (stage == LoopStage::Write && cam->FrameIndex == 1) handedOne = true;
        if (stage != LoopStage::Grab || !handedOne) return;
        grabbedAfter = true;
        grabbed.notify_all();
    };
    int writes = 0;
    bool wentOn = false;
    cam->OnWriteStage = [&](WriteStage stage) {
        if (stage != WriteStage::Wait || ++writes != 2) return;
        // Held until the loop has grabbed position 2, however slowly it gets there. A loop
        // that waited for this write would never grab it: the two minutes only end that hang.
        std::unique_lock<std::mutex> hold(lock);
        wentOn = grabbed.wait_for(hold, std::chrono::minutes(2), [&] { return grabbedAfter; });
    };
    std::thread::id loop = std::this_thread::get_id(), writer;
    on_avi_call([&](const std::string &line) {
        if (line == "write 1") writer = std::this_thread::get_id();
    });
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(wentOn);
    EXPECT_NE(writer, loop);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(cam->FramesWritten, 4);
    EXPECT_EQ(cam->SkippedFrames, 0);
    auto frames = File().writes;
    ASSERT_EQ(frames.size(), 4u);
    for (size_t i = 1; i < frames.size(); i++)
        EXPECT_NE(frames[i].data, frames[i - 1].data) << i;
}

TEST_F(RecordRun, AStopWaitsForTheFrameInHandBeforeTheFileCloses) {
    // The run is stopped at 250 ms, while position 2 is still being written.
    on_sleep([this](DWORD) {
        if (now() >= 250) cam->Recording = false;
    });
    bool stoppedMeanwhile = false;
    on_avi_call([&](const std::string &line) {
        if (line == "write 2") stoppedMeanwhile = HoldUntil([&] { return !cam->Recording; });
    });
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(stoppedMeanwhile);
    EXPECT_EQ(Positions(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(cam->FramesWritten, 3);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "progress", "stop"}));
    auto log = avi_log();
    auto last = std::find(log.begin(), log.end(), "write 2");
    ASSERT_NE(last, log.end());
    EXPECT_EQ(std::vector<std::string>(last, last + 3),
              (std::vector<std::string>{"write 2", "options free 1", "release file"}));
}

TEST_F(RecordRun, FallbacksRecordWithTheDefaultNotTheCompressorOfAnEarlierRun) {
    // An earlier run recorded with Cinepak. Now the chosen compressor refuses every size, or
    // 'IV50' is chosen while the default cannot be asked: either way the default records.
    FakeCompressor never = DivisibleBy4(mmioFOURCC('X', 'V', 'I', 'D'));
    never.accepts = [](const BITMAPINFOHEADER &) { return false; };
    Select(never);
    cam->CompressorFourCC = CVID;
    StopAt(50);
    EXPECT_EQ(Run(10, 20, 321, 241), 1);
    EXPECT_EQ(File().options.fccHandler, MSVC);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);

    reset();
    cam = std::make_unique<TScreenCam>(nullptr);
    Select(DivisibleBy4(mmioFOURCC('I', 'V', '5', '0')));
    cam->CompressorFourCC = CVID;
    StopAt(50);
    EXPECT_EQ(Run(10, 20, 320, 240), 1);
    EXPECT_EQ(File().options.fccHandler, MSVC);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);

    // The choice was made in a longer catalogue than the one Options has built since (and then
    // cancelled): the entry the index points at is left over from the old one.
    reset();
    cam = std::make_unique<TScreenCam>(nullptr);
    Select(DivisibleBy4(mmioFOURCC('X', 'V', 'I', 'D')));
    cam->CompressorCount--;
    cam->CompressorFourCC = CVID;
    StopAt(50);
    EXPECT_EQ(Run(10, 20, 320, 240), 1);
    EXPECT_EQ(File().options.fccHandler, MSVC);
}

TEST_F(RecordRun, WriteFailuresAtTheEndAndAtTheStartAreReported) {
    // Stop comes while the last frame is being written, and that write fails: the recording
    // lacks its end, which the user must be told.
    fail_avi_call(AviCall::Write, AVIERR_FILEWRITE, 2);
    StopAt(150);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(cam->FramesWritten, 1);
    ExpectOneBox(CreatingError, "Error", MB_ICONWARNING);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "progress", "stop", "error"}));

    // With a chosen compressor the very first write fails: nothing was recorded, so running
    // again with the default is offered.
    clear_message_boxes();
    events.clear();
    Select(DivisibleBy4(CVID));
    fail_avi_call(AviCall::Write, AVIERR_FILEWRITE, 1);
    answer_message_boxes({IDYES});
    StopAt(10000);
    EXPECT_EQ(Run(), -1);
    EXPECT_EQ(cam->FramesWritten, 0);
    EXPECT_EQ(GetFileAttributesA("test.avi"), INVALID_FILE_ATTRIBUTES); // it would not play
    ExpectOneBox(RetryQuestion, "Notice", MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(cam->CompressorFourCC, MSVC);
}

TEST_F(RecordRun, APauseAnywhereInTheLoopLeavesNoGapAndNoSkip) {
    // 100 ms a frame, stopped at 2000 ms after 700 ms of pause: 13 frames at positions 0..12
    // wherever the pause comes. A frame grabbed before the pause is written; while paused
    // nothing is, and a progress tells the counts so far. Stop while paused closes the file.
    // With sound, what the input records while paused goes: the audio stream is one jump in
    // the input's samples, of the pause's length, and lasts as long as the frames.
    struct Case {
        const char *name;
        std::vector<int> grabs; // the grabs that ask for a pause (0 is the format frame's)
        std::vector<size_t> files;
        bool stop = false;  // stopped while paused
        bool sound = false; // 16-bit mono at 11025 samples a second
    };
    for (const Case &c :
         {Case{"before the first frame", {0}, {13}}, Case{"between grab and write", {4}, {13}},
          Case{"twice in a row", {4, 5}, {13}}, Case{"during a split", {7}, {6, 6, 1}},
          Case{"stopped while paused", {4}, {4}, true},
          Case{"with sound", {4}, {13}, false, true}}) {
        SCOPED_TRACE(c.name);
        reset();
        NewRecorder();
        if (c.sound) {
            script_wave_in(WaveInScript{});
            cam->RecordSound = true;
            cam->SoundBitsPerSample = 16;
            cam->SoundChannels = 1;
            cam->SoundSamplesPerSec = 11025;
        }
        if (c.files.size() > 1) AviFileLimit = 100000; // six frames a file
        int grabs = 0, framesWhenPaused = -1;
        DWORD pausedAt = 0, pausedFor = 0;
        cam->OnStage = [&](LoopStage stage) {
            if (stage != LoopStage::Grab) return;
            if (std::count(c.grabs.begin(), c.grabs.end(), grabs++)) cam->PauseRecording();
        };
        cam->OnProgress = [&](TObject *) {
            if (!cam->LoopPaused) return;
            pausedAt = now();
            if (framesWhenPaused < 0) framesWhenPaused = cam->FramesWritten;
        };
        on_sleep([&](DWORD) {
            if (cam->LoopPaused && now() - pausedAt >= 700 / c.grabs.size()) {
                if (c.stop) cam->StopRecording();
                cam->ResumeRecording();
                pausedFor += now() - pausedAt;
            }
            if (now() >= 2000) cam->StopRecording();
        });
        EXPECT_EQ(Run(), 1);
        AviFileLimit = AviFileSizeLimit;
        EXPECT_EQ(pausedFor, 700u);
        std::vector<size_t> files;
        std::vector<int> all;
        for (auto &f : avi_files()) {
            files.push_back(f.writes.size());
            for (auto &w : f.writes)
                all.push_back(w.pos);
        }
        EXPECT_EQ(files, c.files);
        if (files.size() == 1) {
            std::vector<int> positions(files[0]);
            std::iota(positions.begin(), positions.end(), 0);
            EXPECT_EQ(all, positions);
        }
        EXPECT_EQ(cam->FramesWritten, (int)all.size());
        EXPECT_EQ(cam->SkippedFrames, 0);
        EXPECT_EQ(framesWhenPaused, c.grabs[0] == 0 ? 0 : c.grabs[0]);
        EXPECT_FALSE(cam->LoopPaused);
        if (!c.sound) continue;
        std::vector<int> samples;
        for (auto &f : avi_files())
            for (auto &w : f.sound_writes)
                for (size_t i = 0; i + 1 < w.data.size(); i += 2)
                    samples.push_back(w.data[i] | w.data[i + 1] << 8);
        EXPECT_NEAR((double)samples.size(), 13 * 1102.5, 1102.5);
        while (!samples.empty() && samples.back() == 0) // silence after the input's last block
            samples.pop_back();
        std::vector<int> jumps;
        for (size_t i = 1; i < samples.size(); ++i) {
            int step = (samples[i] - samples[i - 1]) & 0x7FFF;
            if (step > 2) jumps.push_back(step);
        }
        ASSERT_EQ(jumps.size(), 1u);
        EXPECT_NEAR(jumps[0], 700 * 11.025, 40 * 11.025);
        EXPECT_TRUE(avi_misuse().empty());
    }
}
