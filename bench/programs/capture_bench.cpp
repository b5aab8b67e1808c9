// capture_bench: how many frames per second the recording loop gets through, with the real
// recorder, worker thread and marker, and where each pass spends its time. After the
// recording, the compressor (when there is one) encodes frames of the same area alone, so that
// the compressed stream's own cost shows beside the encoder's.
//
//   capture_bench FOURCC file.avi X Y W H seconds [ms-per-frame [quality]]
//
// Prints one line: capture W=.. H=.. frames=N seconds=S fps=F skipped=K passes=P, then the
// milliseconds per pass of each stage (bookkeeping marker grab cursor conversion write sleep),
// the slowest pass's work and its largest stage (slowest= slowest_stage=) and, with a compressor,
// encoder= and decoder=, ms per frame of each alone. With CAPTURE_BENCH_MARKER=0 in the environment
// the marker stays off, to see what its paints cost the grab; with QUILLET_BENCH_JOURNAL=off the
// recording keeps no journal beside its file; with CAPTURE_BENCH_WRITE=inline each frame is written
// on the worker before the next grab (the loop's order before frames were written behind it); with
// CAPTURE_BENCH_CPU=0 no thread's time is read (no cpu= and c_ fields), for the loop's own speed.
//
// Also the processor time each frame costs, from the first pass to the stop (user and system time
// of the process and of its threads, as the system counts it): cpu_frames= (frames in that span),
// cpu= (the process, ms per frame), and per stage, ms of its thread's time per frame: the worker's
// c_bookkeeping= c_marker= c_grab= c_cursor= c_conversion= c_write= c_sleep=, the writer's
// c_readout= (the cursor drawn in, the pixels read) c_sound= c_frame= (the frame through the
// compressed stream: conversion, encoder and the file's write) c_journal=, the main thread's
// c_main=, and c_other= (the rest of the process). The
// thread times are read at every mark; what one read costs (c_read=, ms) is taken off each stage.
// With a compressor, c_encoder= is the encoder's own time per frame (the driver's conversion
// included) on frames of the area.
#include "bench/programs/bench_clock.h"
#include "avifile/journalfile.h"
#include "recorder/recordthread.h"
#include "tests/e2e/programs/timed_recording.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using bench::NowMs;

const int StageCount = (int)LoopStage::Sleep + 1;
const int WriteStageCount = (int)WriteStage::Journal + 1;

double Ms(const FILETIME &T) {
    return (double)(((uint64_t)T.dwHighDateTime << 32) | T.dwLowDateTime) / 10000.0;
}
// User and system time of a thread, and of the whole process, in ms.
double ThreadCpu(HANDLE Thread) {
    FILETIME created, ended, kernel, user;
    if (!GetThreadTimes(Thread, &created, &ended, &kernel, &user)) return 0;
    return Ms(kernel) + Ms(user);
}
double ProcessCpu() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    return Ms(kernel) + Ms(user);
}

// Processor time per stage of one thread, from mark to mark, between the first mark and Stop.
// The process's and the main thread's times are read at the first mark and at the stop, the
// frames counted between the two.
struct CpuClock {
    double Last = -1;
    std::vector<double> Total;
    int Reads = 0;
    explicit CpuClock(int Stages) : Total(Stages) {}
    void Mark(int Stage) {
        double now = ThreadCpu(GetCurrentThread());
        if (Last >= 0) {
            Total[Stage] += now - Last;
            Reads++;
        }
        Last = now;
    }
};

struct Span {
    HANDLE Main = nullptr;
    double Process[2] = {}, MainCpu[2] = {};
    int Frames[2] = {};
    std::atomic<int> Taken{0}; // 1: started, 2: ended
    void Take(int FramesNow) {
        int i = Taken;
        Process[i] = ProcessCpu();
        MainCpu[i] = ThreadCpu(Main);
        Frames[i] = FramesNow;
        Taken = i + 1;
    }
};

// What one read of a thread's time costs the thread, in ms.
double ReadCost() {
    const int Reads = 2000;
    double start = ThreadCpu(GetCurrentThread()), sink = 0;
    for (int i = 0; i < Reads; i++)
        sink += ThreadCpu(GetCurrentThread());
    double end = ThreadCpu(GetCurrentThread());
    return sink >= 0 ? (end - start) / Reads : 0;
}

// Time per stage, summed on the worker; read after it has ended. Also the slowest pass's work
// (every stage but the sleep) and the stage that took most of it: a pass of one and a half
// intervals or more skips a position.
struct StageClock {
    double Last = 0;
    double Total[StageCount] = {};
    int Passes = 0;
    double Pass[StageCount] = {}; // the pass under way
    double Slowest = 0;
    LoopStage SlowestStage = LoopStage::Grab;
    bool Started = false; // the first pass also holds the start of the run: not counted
    void Mark(LoopStage Stage) {
        double now = NowMs();
        // The first mark of the run starts the clock.
        if (Last > 0) {
            Total[(int)Stage] += now - Last;
            Pass[(int)Stage] += now - Last;
        }
        Last = now;
        if (Stage == LoopStage::Bookkeeping) Passes++;
        if (Stage == LoopStage::Sleep) EndPass();
    }
    void EndPass() {
        double work = 0;
        int most = 0;
        for (int i = 0; i < (int)LoopStage::Sleep; i++) {
            work += Pass[i];
            if (Pass[i] > Pass[most]) most = i;
        }
        if (Started && work > Slowest) {
            Slowest = work;
            SlowestStage = (LoopStage)most;
        }
        for (double &t : Pass)
            t = 0;
        Started = true;
    }
    double PerPass(LoopStage Stage) const { return Passes ? Total[(int)Stage] / Passes : 0; }
};

const char *StageName(LoopStage Stage) {
    static const char *const names[StageCount] = {"bookkeeping", "marker", "grab",  "cursor",
                                                  "conversion",  "marker", "write", "sleep"};
    return names[(int)Stage];
}

struct CodecTimes {
    double Encoder = -1, Decoder = -1; // ms per frame; -1 when not measured
    double EncoderCpu = -1;            // the encoder's thread time per frame
};

// The encoder alone on frames of the area, in the loop's order of key and delta frames, and the
// decoder alone on what it made (the system's compressed stream may decode every frame it
// writes, to hand the encoder the previous frame).
CodecTimes CodecAlone(TScreenCam &Cam, DWORD Handler, int X, int Y, int W, int H) {
    const int Grabs = 8, Rounds = 8;
    CodecTimes times;
    std::vector<std::unique_ptr<OwnedFrame>> frames;
    for (int i = 0; i < Grabs; i++) {
        frames.push_back(std::make_unique<OwnedFrame>(
            Cam.CaptureFrame(X, Y, Cam.CaptureWidth ? Cam.CaptureWidth : W,
                             Cam.CaptureHeight ? Cam.CaptureHeight : H)));
        if (!frames.back()->Bits) return times;
        Sleep(30); // a moving picture: each frame differs
    }
    HIC hic = ICOpen(ICTYPE_VIDEO, Handler, ICMODE_COMPRESS);
    if (!hic) return times;
    BITMAPINFOHEADER *in = frames[0]->Bits;
    std::vector<BYTE> outFormat(ICCompressGetFormatSize(hic, in) + 64);
    auto *out = (BITMAPINFOHEADER *)outFormat.data();
    std::vector<std::vector<BYTE>> coded;
    if (ICCompressGetFormat(hic, in, out) == ICERR_OK &&
        ICCompressBegin(hic, in, out) == ICERR_OK) {
        DWORD room = ICCompressGetSize(hic, in, out) + 1024;
        double start = NowMs(), startCpu = ThreadCpu(GetCurrentThread());
        for (int n = 0; n < Grabs * Rounds; n++) {
            int i = n % Grabs, prev = (n + Grabs - 1) % Grabs;
            std::vector<BYTE> data(room);
            DWORD ckid = 0, flags = 0;
            out->biSizeImage = room;
            ICCompress(hic, n % Cam.KeyFrameEvery == 0 ? ICCOMPRESS_KEYFRAME : 0, out, data.data(),
                       frames[i]->Bits, frames[i]->Pixels(), &ckid, &flags, n, 0,
                       (DWORD)Cam.Quality, n ? frames[prev]->Bits : nullptr,
                       n ? frames[prev]->Pixels() : nullptr);
            data.resize(out->biSizeImage);
            coded.push_back(std::move(data));
        }
        times.Encoder = (NowMs() - start) / (Grabs * Rounds);
        times.EncoderCpu = (ThreadCpu(GetCurrentThread()) - startCpu) / (Grabs * Rounds);
        ICCompressEnd(hic);
    }
    ICClose(hic);

    // The decoder, into the format it offers first for these frames.
    hic = ICOpen(ICTYPE_VIDEO, Handler, ICMODE_DECOMPRESS);
    if (!hic || coded.empty()) {
        if (hic) ICClose(hic);
        return times;
    }
    std::vector<BYTE> pictureFormat(ICDecompressGetFormatSize(hic, out) + 1024);
    auto *picture = (BITMAPINFOHEADER *)pictureFormat.data();
    if (ICDecompressGetFormat(hic, out, picture) == ICERR_OK &&
        ICDecompressBegin(hic, out, picture) == ICERR_OK) {
        std::vector<BYTE> pixels(picture->biSizeImage ? picture->biSizeImage
                                                      : (size_t)W * H * 4 + 4096);
        double start = NowMs();
        for (auto &data : coded) {
            out->biSizeImage = (DWORD)data.size();
            ICDecompress(hic, 0, out, data.data(), picture, pixels.data());
        }
        times.Decoder = (NowMs() - start) / coded.size();
        ICDecompressEnd(hic);
    }
    ICClose(hic);
    return times;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: capture_bench FOURCC file.avi X Y W H seconds [ms-per-frame "
                             "[quality]]\n");
        return 2;
    }
    int x = atoi(argv[3]), y = atoi(argv[4]), w = atoi(argv[5]), h = atoi(argv[6]);

    const char *journal = std::getenv("QUILLET_BENCH_JOURNAL");
    if (journal && std::strcmp(journal, "off") == 0) SetJournalsEnabled(false);
    auto cam = std::make_unique<TScreenCam>(nullptr);
    DWORD handler = timed_recording::FourCC(argv[1]);
    cam->CompressorFourCC = handler;
    cam->MsPerFrame = argc > 8 ? atoi(argv[8]) : 1;
    cam->PlaybackFps = cam->MsPerFrame > 1 ? 1000 / cam->MsPerFrame : 50;
    if (argc > 9) cam->Quality = atoi(argv[9]);
    const char *marker = getenv("CAPTURE_BENCH_MARKER");
    if (marker && atoi(marker) == 0) cam->ShowMarker = false;
    const char *write = getenv("CAPTURE_BENCH_WRITE");
    if (write && std::strcmp(write, "inline") == 0) cam->WriteBehind = false;
    // The sound of the default input into the AVI as well (16 bits, mono, 48300 samples/s).
    const char *sound = getenv("CAPTURE_BENCH_SOUND");
    if (sound && atoi(sound) == 1) {
        cam->RecordSound = true;
        // The AVI takes the sound only where the picture plays at about the speed it was
        // recorded (else a box says why, which nobody here would answer): at 1 ms, 1000 a second.
        cam->PlaybackFps = 1000 / cam->MsPerFrame;
    }
    // Each read of a thread's time is a call into the system (under Wine a server round trip):
    // eight a pass slow the loop, so they are made only where the processor time is asked for.
    const char *cpu = getenv("CAPTURE_BENCH_CPU");
    bool threadTimes = !cpu || atoi(cpu) != 0;
    StageClock clock;
    CpuClock workerCpu(StageCount), writerCpu(WriteStageCount);
    Span span;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &span.Main, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    TScreenCam *camera = cam.get();
    cam->OnStage = [&](LoopStage Stage) {
        clock.Mark(Stage);
        if (span.Taken == 2) return;
        if (threadTimes) workerCpu.Mark((int)Stage);
        if (span.Taken == 0 || !camera->Recording) span.Take(camera->FramesWritten);
    };
    cam->OnWriteStage = [&](WriteStage Stage) {
        if (threadTimes && span.Taken == 1) writerCpu.Mark((int)Stage);
    };
    DWORD stopTime = timed_recording::RecordFor(*cam, x, y, w, h, argv[2], atof(argv[7]));
    cam->OnStage = nullptr;
    cam->OnWriteStage = nullptr;

    // The loop's own time: from its start to the stop request.
    double seconds = (stopTime - cam->StartTime) / 1000.0;
    std::printf("capture W=%d H=%d frames=%d seconds=%.3f fps=%.1f skipped=%d passes=%d", w, h,
                cam->FramesWritten, seconds, seconds > 0 ? cam->FramesWritten / seconds : 0.0,
                cam->SkippedFrames, clock.Passes);
    std::printf(" bookkeeping=%.3f marker=%.3f grab=%.3f cursor=%.3f conversion=%.3f write=%.3f "
                "sleep=%.3f",
                clock.PerPass(LoopStage::Bookkeeping),
                clock.PerPass(LoopStage::MarkerActive) + clock.PerPass(LoopStage::MarkerIdle),
                clock.PerPass(LoopStage::Grab), clock.PerPass(LoopStage::Cursor),
                clock.PerPass(LoopStage::Conversion), clock.PerPass(LoopStage::Write),
                clock.PerPass(LoopStage::Sleep));
    std::printf(" slowest=%.1f slowest_stage=%s", clock.Slowest, StageName(clock.SlowestStage));
    int frames = span.Frames[1] - span.Frames[0];
    if (span.Taken == 2 && frames > 0 && threadTimes) {
        double read = ReadCost(), worker = 0, writer = 0;
        auto per = [&](double Total, int Reads) { return (Total - Reads * read) / frames; };
        std::printf(" cpu_frames=%d cpu=%.3f c_read=%.4f", frames,
                    (span.Process[1] - span.Process[0]) / frames, read);
        // Each stage's share of the reads: one a mark.
        static const char *const workerNames[StageCount] = {
            "bookkeeping", "marker", "grab", "cursor", "conversion", "marker2", "write", "sleep"};
        double stage[StageCount];
        int marks = workerCpu.Reads / StageCount;
        for (int i = 0; i < StageCount; i++) {
            stage[i] = per(workerCpu.Total[i], marks);
            worker += stage[i];
        }
        stage[(int)LoopStage::MarkerActive] += stage[(int)LoopStage::MarkerIdle];
        for (int i = 0; i < StageCount; i++)
            if (i != (int)LoopStage::MarkerIdle)
                std::printf(" c_%s=%.3f", workerNames[i], stage[i]);
        static const char *const writerNames[WriteStageCount] = {"wait", "readout", "sound",
                                                                 "frame", "journal"};
        marks = writerCpu.Reads / WriteStageCount;
        for (int i = 0; i < WriteStageCount; i++) {
            double t = per(writerCpu.Total[i], marks);
            writer += t;
            std::printf(" c_%s=%.3f", writerNames[i], t);
        }
        double main = (span.MainCpu[1] - span.MainCpu[0]) / frames;
        std::printf(" c_main=%.3f c_other=%.3f", main,
                    (span.Process[1] - span.Process[0]) / frames - worker - writer - main);
    }
    if (handler != mmioFOURCC('D', 'I', 'B', ' ')) {
        CodecTimes codec = CodecAlone(*cam, handler, x, y, w, h);
        std::printf(" encoder=%.3f decoder=%.3f c_encoder=%.3f", codec.Encoder, codec.Decoder,
                    codec.EncoderCpu);
    }
    std::printf("\n");
    std::fflush(stdout);
    int written = cam->FramesWritten;
    cam.reset();
    CloseHandle(span.Main);
    DeleteFileA(argv[2]);
    return written > 0 ? 0 : 1;
}
