// record_check: one recording through the real recorder and its worker thread, on the real
// Video for Windows, while another program shows a moving picture in the area.
//
//   record_check FOURCC file.avi X Y W H ms_per_frame playback_fps seconds
//
// Starts the recording, runs a message loop that serves the worker's synchronised calls for
// the given time, stops, waits for the worker and reports what the recorder counted:
//   PASS: recorded frames=N skipped=S capture=WxH fourcc=XXXX result=idle
// (FAIL and result=busy when the recorder did not come back to rest).
#include "tests/e2e/programs/report.h"
#include "tests/e2e/programs/timed_recording.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char **argv) {
    if (argc < 10) {
        std::fprintf(stderr,
                     "usage: record_check FOURCC file.avi X Y W H ms_per_frame fps seconds\n");
        return 2;
    }
    int x = atoi(argv[3]), y = atoi(argv[4]), w = atoi(argv[5]), h = atoi(argv[6]);

    auto cam = std::make_unique<TScreenCam>(nullptr);
    cam->CompressorFourCC = timed_recording::FourCC(argv[1]);
    cam->MsPerFrame = atoi(argv[7]);
    cam->PlaybackFps = atoi(argv[8]);
    cam->Quality = 10000;
    timed_recording::RecordFor(*cam, x, y, w, h, argv[2], atof(argv[9]));

    DWORD code = cam->CompressorFourCC;
    bool idle = !cam->Recording && !cam->RecordThread;
    ok(idle, "recorded frames=%d skipped=%d capture=%dx%d fourcc=%c%c%c%c result=%s",
       cam->FramesWritten, cam->SkippedFrames, cam->CaptureWidth, cam->CaptureHeight,
       (char)(code & 0xFF), (char)((code >> 8) & 0xFF), (char)((code >> 16) & 0xFF),
       (char)(code >> 24), idle ? "idle" : "busy");
    cam.reset();
    return report::exit_code();
}
