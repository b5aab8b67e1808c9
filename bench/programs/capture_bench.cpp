// capture_bench: how many frames per second the recording loop gets through at the shortest
// capture interval (1 ms), with the real recorder, worker thread and marker.
//
//   capture_bench FOURCC file.avi X Y W H seconds
//   (QUILLET_BENCH_JOURNAL=off records without the journal kept beside the file)
//
// Prints: capture W=320 H=240 frames=N seconds=S fps=F skipped=K
#include "recorder/journalfile.h"
#include "tests/e2e/programs/report.h"
#include "tests/e2e/programs/timed_recording.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

int main(int argc, char **argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: capture_bench FOURCC file.avi X Y W H seconds\n");
        return 2;
    }
    int x = atoi(argv[3]), y = atoi(argv[4]), w = atoi(argv[5]), h = atoi(argv[6]);

    const char *journal = std::getenv("QUILLET_BENCH_JOURNAL");
    if (journal && std::strcmp(journal, "off") == 0) SetJournalsEnabled(false);
    auto cam = std::make_unique<TScreenCam>(nullptr);
    cam->CompressorFourCC = timed_recording::FourCC(argv[1]);
    cam->MsPerFrame = 1;
    cam->PlaybackFps = 50;
    DWORD stopTime = timed_recording::RecordFor(*cam, x, y, w, h, argv[2], atof(argv[7]));

    // The loop's own time: from its start to the stop request.
    double seconds = (stopTime - cam->StartTime) / 1000.0;
    ok(cam->FramesWritten > 0, "capture W=%d H=%d frames=%d seconds=%.3f fps=%.1f skipped=%d", w, h,
       cam->FramesWritten, seconds, seconds > 0 ? cam->FramesWritten / seconds : 0.0,
       cam->SkippedFrames);
    cam.reset();
    DeleteFileA(argv[2]);
    return report::exit_code();
}
