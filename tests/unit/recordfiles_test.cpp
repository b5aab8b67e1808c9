// The files of a recording on the virtual clock: a lowered size limit splits a recording into
// numbered files, each complete on its own, and every write is checked before a frame counts.
#include "fakewin/avifile.h"
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "fakewin/screen.h"
#include "fakewin/window.h"
#include "marker/flashwnd.h"
#include "avifile/recordfile.h"
#include "recorder/scrcam.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <unistd.h>

using namespace fakewin;

namespace {

constexpr LONG FrameBytes = 64 * 48 * 4; // the test area, 32 bits per pixel
constexpr int64_t Limit = 100000;        // room for six such frames, not seven and the rest

class RecordFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
        AviFileLimit = Limit;
        cam = std::make_unique<TScreenCam>(nullptr);
        cam->RecordCursor = false;
        cam->OnStart = [this](TObject *) { events.push_back("start"); };
        cam->OnStop = [this](TObject *) { events.push_back("stop"); };
        cam->OnError = [this](TObject *) { events.push_back("error"); };
    }
    void TearDown() override {
        int64_t limit = AviFileLimit;
        AviFileLimit = AviFileSizeLimit;
        EXPECT_EQ(avi_live_handles(), 0);
        EXPECT_EQ(avi_init_balance(), 0);
        EXPECT_TRUE(avi_misuse().empty());
        // Every file made is a whole file that stays within the limit.
        for (auto &f : avi_files()) {
            EXPECT_TRUE(f.has_format) << f.name;
            EXPECT_LE(f.disk_size(), limit) << f.name;
            // On the disk it ends where its RIFF chunk does.
            std::ifstream disk(f.name, std::ios::binary | std::ios::ate);
            uint32_t head[2] = {};
            std::streamoff size = disk.tellg();
            if (disk.seekg(0).read((char *)head, 8) && std::memcmp(head, "RIFF", 4) == 0) {
                EXPECT_EQ(size, head[1] + 8) << f.name;
            }
        }
        cam.reset();
    }
    // Records until the clock reaches ms.
    int RunUntil(DWORD ms, const char *name = "take.avi") {
        on_sleep([this, ms](DWORD) {
            if (now() >= ms) cam->Recording = false;
        });
        cam->Recording = true;
        return cam->RecordToFile(10, 20, 64, 48, name);
    }
    static std::vector<LONG> Positions(const AviFileRecord &f) {
        std::vector<LONG> out;
        for (auto &w : f.writes)
            out.push_back(w.pos);
        return out;
    }
    std::unique_ptr<TScreenCam> cam;
    std::vector<std::string> events;
};

TEST_F(RecordFilesTest, ALongRecordingGoesOnIntoNumberedFilesEachWholeOnItsOwn) {
    // The area shows the position now due, so that each frame shows where it came from.
    fill_screen_rect(10, 20, 74, 68, RGB(0, 0, 0));
    on_sleep([this](DWORD) {
        fill_screen_rect(10, 20, 74, 68, RGB(0, 0, now() / 100));
        if (now() >= 1950) cam->Recording = false;
    });
    cam->Recording = true;
    put_files({"take (3).avi"}); // another recording's, kept: the split takes the next number
    EXPECT_EQ(cam->RecordToFile(10, 20, 64, 48, "take.avi"), 1); // positions 0 to 19
    auto files = avi_files();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].name, "take.avi");
    EXPECT_EQ(files[1].name, "take (2).avi");
    EXPECT_EQ(files[2].name, "take (4).avi");
    EXPECT_EQ(files[3].name, "take (5).avi");
    std::vector<LONG> six{0, 1, 2, 3, 4, 5};
    int frame = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        auto &f = files[i];
        EXPECT_EQ(Positions(f), i < 3 ? six : (std::vector<LONG>{0, 1})) << f.name;
        // Filled as far as a frame still fits with room for one that compresses badly.
        if (i < 3) {
            EXPECT_GT(f.disk_size() + 2 * (8 + FrameBytes + 16), Limit) << f.name;
        }
        EXPECT_EQ(f.mode, 0x1001u);
        EXPECT_EQ(std::memcmp(&f.header, &files[0].header, sizeof f.header), 0);
        EXPECT_EQ(std::memcmp(&f.options, &files[0].options, sizeof f.options), 0);
        EXPECT_EQ(f.format, files[0].format);
        EXPECT_EQ(f.format_pos, 0);
        // The frames follow each other across the files: none lost, none twice.
        for (auto &w : f.writes) {
            ASSERT_EQ(w.size, FrameBytes);
            EXPECT_EQ(w.data[0], frame) << f.name << " position " << w.pos;
            ++frame;
        }
    }
    EXPECT_EQ(frame, 20);
    EXPECT_EQ(cam->FramesWritten, 20);
    EXPECT_EQ(cam->SkippedFrames, 0);
    EXPECT_EQ(cam->FrameIndex, 19);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "stop"}));
    EXPECT_TRUE(message_boxes().empty());
    EXPECT_EQ(avi_options_frees(), 4);

    // Each file is closed before the next is made.
    auto log = avi_log();
    auto open2 = std::find(log.begin(), log.end(), "open take (2).avi 4097");
    ASSERT_NE(open2, log.end());
    EXPECT_EQ(
        std::vector<std::string>(open2 - 5, open2 + 5),
        (std::vector<std::string>{"write 5", "options free 1", "release file", "release stream",
                                  "release compressed", "open take (2).avi 4097", "create stream",
                                  "make compressed MSVC", "set format 40", "write 0"}));
}

TEST_F(RecordFilesTest, AFileStartsAtItsFirstFrameAndKeepsTheTimingAfterIt) {
    // The write at position 5 takes 160 ms: the next pass lands on 7, the first of file 2, and
    // the empty position before it stays counted as skipped; in the file, 8 follows 7 at 1.
    // (A write behind the loop would take its time beside the loop's.)
    cam->WriteBehind = false;
    on_avi_call([](const std::string &line) {
        if (line == "write 5") advance(160);
    });
    RunUntil(1150);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(Positions(files[0]), (std::vector<LONG>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Positions(files[1]), (std::vector<LONG>{0, 1, 2, 3, 4}));
    EXPECT_EQ(cam->FrameIndex, 11);
    EXPECT_EQ(cam->SkippedFrames, 1);
    EXPECT_EQ(cam->FramesWritten, 11);
}

TEST_F(RecordFilesTest, TheSizesTheWriterReportsDecideWhereAFileEnds) {
    // Compressed to a tenth, a file holds many more frames than raw ones would take; the
    // counts may come back the other way round, as Wine's compressed stream gives them.
    for (bool swapped : {false, true}) {
        reset();
        AviFileLimit = Limit;
        cam = std::make_unique<TScreenCam>(nullptr);
        avi_counts_swapped(swapped);
        avi_compressed_size([](LONG raw) { return raw / 10; });
        RunUntil(9950); // 100 frames
        auto files = avi_files();
        ASSERT_EQ(files.size(), 2u) << swapped;
        EXPECT_GT(files[0].writes.size(), 50u) << swapped;
        EXPECT_EQ(files[0].writes.size() + files[1].writes.size(), 100u);
        EXPECT_EQ(cam->FramesWritten, 100);
        for (auto &f : files)
            EXPECT_LE(f.disk_size(), Limit) << swapped;
    }

    // Below the room a file keeps for a frame that compresses badly, each file holds one frame,
    // the first file too: it is never left empty.
    reset();
    AviFileLimit = 20000;
    cam = std::make_unique<TScreenCam>(nullptr);
    RunUntil(250);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].name, "take.avi");
    for (auto &f : files)
        EXPECT_EQ(Positions(f), std::vector<LONG>{0}) << f.name;
}

TEST_F(RecordFilesTest, AnEmptyFrameFromTheCompressorIsAnEmptyChunkAndCounts) {
    // Some compressors give nothing for a picture that did not change; the other frames too.
    for (bool swapped : {false, true}) {
        reset();
        cam = std::make_unique<TScreenCam>(nullptr);
        avi_counts_swapped(swapped);
        avi_compressed_size([n = 0](LONG raw) mutable { return n++ < 3 ? raw : 0; });
        RunUntil(950);
        EXPECT_EQ(avi_files()[0].written_bytes,
                  (std::vector<LONG>{FrameBytes, FrameBytes, FrameBytes, 0, 0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(cam->FramesWritten, 10);
        EXPECT_TRUE(message_boxes().empty()) << swapped;
    }
}

TEST_F(RecordFilesTest, ManySmallFramesFillEachFileCloseToTheLimitAndNoFurther) {
    // With thousands of frames per file what each frame adds besides its pixels (chunk header,
    // index entry) decides whether a file passes the limit.
    AviFileLimit = 200000;
    on_sleep([this](DWORD) {
        if (now() >= 500000) cam->Recording = false;
    });
    cam->Recording = true;
    cam->RecordToFile(10, 20, 4, 4, "small.avi"); // 64-byte frames, 5000 of them
    auto files = avi_files();
    ASSERT_GE(files.size(), 2u);
    size_t frames = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        frames += files[i].writes.size();
        if (i + 1 < files.size()) {
            EXPECT_GT(files[i].disk_size(), 196000) << files[i].name;
        }
    }
    EXPECT_EQ(frames, 5000u);
    EXPECT_EQ(cam->FramesWritten, 5000);
}

TEST_F(RecordFilesTest, OddSizedFramesCountTheirPaddingTowardsTheLimit) {
    // A compressed frame of odd size takes one byte more in the file: over thousands of frames
    // that is more than the room kept for the headers.
    avi_compressed_size([](LONG) { return 7; });
    on_sleep([this](DWORD) {
        if (now() >= 500000) cam->Recording = false;
    });
    cam->Recording = true;
    cam->RecordToFile(10, 20, 4, 4, "odd.avi"); // 5000 frames
    auto files = avi_files();
    ASSERT_GE(files.size(), 2u);
    size_t frames = 0;
    for (auto &f : files) {
        frames += f.writes.size();
        EXPECT_LE(f.disk_size(), Limit) << f.name;
    }
    EXPECT_EQ(frames, 5000u);
}

TEST_F(RecordFilesTest, FullSizeLimitLeavesOrdinaryRecordingsInOneFile) {
    AviFileLimit = AviFileSizeLimit;
    RunUntil(9950);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].writes.size(), 100u);
    EXPECT_LT(AviFileSizeLimit, (int64_t)1 << 31); // what 32-bit signed offsets reach
}

TEST_F(RecordFilesTest, NumberedNamesPutTheNumberBeforeTheExtension) {
    EXPECT_EQ(NumberedFileName("take.avi", 1), "take.avi");
    EXPECT_EQ(NumberedFileName("take.avi", 2), "take (2).avi");
    EXPECT_EQ(NumberedFileName("C:\\rec\\a.b.avi", 12), "C:\\rec\\a.b (12).avi");
    EXPECT_EQ(NumberedFileName("C:\\my.dir\\take", 3), "C:\\my.dir\\take (3)");
    EXPECT_EQ(NumberedFileName("/tmp/v.1/take", 2), "/tmp/v.1/take (2)");
}

TEST_F(RecordFilesTest, ANextFileThatCannotBeMadeEndsTheRunAndKeepsTheFirst) {
    // The open fails, or throws on the writer's thread (no thread or memory to be had).
    for (bool thrown : {false, true}) {
        reset();
        events.clear();
        fail_avi_call(AviCall::Open, AVIERR_FILEOPEN, 2);
        if (thrown)
            on_avi_call([](const std::string &line) {
                if (line.rfind("open", 0) == 0 && line.find("failed") != std::string::npos)
                    throw std::system_error(std::make_error_code(std::errc::not_enough_memory));
            });
        EXPECT_EQ(RunUntil(5000), 0);
        auto files = avi_files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].writes.size(), 6u);
        EXPECT_EQ(cam->FramesWritten, 6);
        EXPECT_EQ(events, (std::vector<std::string>{"start", "stop", "error"}));
        auto boxes = message_boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Error Creating AVI file");
        EXPECT_EQ(avi_log().back(), "exit");
    }
}

TEST_F(RecordFilesTest, AFillingDiskEndsTheRunWhileTheFileCanStillBeClosedWhole) {
    // The platform's writer answers success for frames that no longer fit on the disk; the run
    // looks at the free space itself, and stops while the frame and the closing index fit.
    AviFileLimit = AviFileSizeLimit;
    set_disk_free(AviDiskHeaderBytes + 8 + 5 * (8 + FrameBytes + 16) + 1000);
    EXPECT_EQ(RunUntil(5000, "C:\\rec\\take.avi"), 0);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_GE(files[0].writes.size(), 2u);
    EXPECT_LE(files[0].disk_size(), AviDiskHeaderBytes + 8 + 5 * (8 + FrameBytes + 16) + 1000);
    EXPECT_EQ(cam->FramesWritten, (int)files[0].writes.size());
    EXPECT_EQ(events, (std::vector<std::string>{"start", "stop", "error"}));
    auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error Creating AVI file");
    auto asked = disk_free_queries();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], "C:\\rec\\");

    // A name without a folder is in the current folder, which may be on another disk than the
    // root of the current drive.
    reset();
    events.clear();
    cam = std::make_unique<TScreenCam>(nullptr);
    set_disk_free(AviDiskHeaderBytes + 8 + 5 * (8 + FrameBytes + 16) + 1000);
    EXPECT_EQ(RunUntil(5000, "take.avi"), 0);
    asked = disk_free_queries();
    ASSERT_FALSE(asked.empty());
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    EXPECT_EQ(asked[0], std::string(here) + "/");
}

TEST_F(RecordFilesTest, TheFreeSpaceIsAskedOnceASecondWhileThereIsRoomAndAFillingDiskIsSeenInIt) {
    // Each question is a round trip to the system: with room to spare it is not asked for every
    // frame, yet a disk that another program fills is seen within a second.
    AviFileLimit = AviFileSizeLimit;
    cam->MsPerFrame = 10;
    DWORD filledAt = 0;
    on_sleep([&](DWORD) {
        if (!filledAt && now() >= 3500) {
            filledAt = now();
            set_disk_free(avi_files()[0].disk_size() + 2 * (8 + FrameBytes + 16));
        }
        if (now() >= 8000) cam->Recording = false;
    });
    cam->Recording = true;
    EXPECT_EQ(cam->RecordToFile(10, 20, 64, 48, "take.avi"), 0);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 1u);
    ASSERT_FALSE(files[0].writes.empty());
    LONG last = files[0].writes.back().pos;
    EXPECT_GE(last * 10, 3400);
    EXPECT_LE(last * 10, (LONG)filledAt + 1000 + 10);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "stop", "error"}));
    EXPECT_LE(disk_free_queries().size(), 6u) << files[0].writes.size() << " frames";

    // The answer kept is less what the file took since: uncompressed full-HD frames at 25 a
    // second take more than the margin within the second.
    reset();
    const LONG frame = 1920 * 1080 * 4;
    const int64_t room = (64 << 20) + 4 * (int64_t)frame;
    set_disk_free(room);
    BITMAPINFOHEADER format{sizeof format, 1920, 1080, 1, 32, BI_RGB, (DWORD)frame, 0, 0, 0, 0};
    StreamSetup setup;
    setup.Format.assign((BYTE *)&format, (BYTE *)(&format + 1));
    std::vector<BYTE> pixels(frame);
    AVIFileInit();
    RecordFile file;
    ASSERT_EQ(file.Open("hd.avi", setup), AVIERR_OK);
    for (LONG position = 0; position < 25; ++position, advance(40))
        if (file.Write(position, pixels.data(), frame) != AVIERR_OK) break;
    file.Close();
    AVIFileExit();
    EXPECT_LE(avi_files()[0].disk_size(), room);
}

// A write that fails, or answers success without taking the frame, ends the run with the
// write-failure message; only the frames that reached a file count.
struct Refusal {
    const char *name;
    std::function<void()> script; // makes the third write go wrong
};

class WriteRefused : public RecordFilesTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(WriteRefused, EndsTheRunCountingOnlyWrittenFrames) {
    AviFileLimit = AviFileSizeLimit;
    GetParam().script();
    EXPECT_EQ(RunUntil(5000), 0);
    auto files = avi_files();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Positions(files[0]), (std::vector<LONG>{0, 1}));
    EXPECT_EQ(cam->FramesWritten, 2);
    EXPECT_EQ(events, (std::vector<std::string>{"start", "stop", "error"}));
    auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error Creating AVI file");
    EXPECT_EQ(boxes[0].type, (UINT)(MB_ICONWARNING | RunBox));
    // The file is closed as it stands: what was written plays.
    EXPECT_EQ(avi_log().back(), "exit");
    EXPECT_LT(now(), 1000u);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, WriteRefused,
    ::testing::Values(Refusal{"DiskFull",
                              [] { fail_avi_call(AviCall::Write, AVIERR_FILEWRITE, 3); }},
                      Refusal{"Nothing", [] { short_avi_write(0, 0, 3); }},
                      Refusal{"NoSample", [] { short_avi_write(0, FrameBytes, 3); }}),
    [](const ::testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });

// A write that fails once frames are in the file is no fault of the compressor: asking to run
// again with the default one would replace the recording.
TEST_F(RecordFilesTest, AFailedWriteAfterFramesKeepsThemWhateverTheCompressor) {
    AviFileLimit = AviFileSizeLimit;
    cam->CompressorFourCC = mmioFOURCC('D', 'I', 'B', ' ');
    fail_avi_call(AviCall::Write, AVIERR_FILEWRITE, 3);
    EXPECT_EQ(RunUntil(5000), 0);
    auto boxes = message_boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error Creating AVI file");
    EXPECT_EQ(cam->CompressorFourCC.load(), mmioFOURCC('D', 'I', 'B', ' '));
    ASSERT_EQ(avi_files().size(), 1u);
    EXPECT_EQ(Positions(avi_files()[0]), (std::vector<LONG>{0, 1}));
    for (auto &gone : deleted_files()) // its journal only: the file stays
        EXPECT_NE(gone.substr(gone.size() - 8), "take.avi");
}

} // namespace
