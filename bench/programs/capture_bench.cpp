// capture_bench: how many frames per second the recording loop gets through at the shortest
// capture interval (1 ms), with the real recorder, worker thread and marker.
//
//   capture_bench FOURCC file.avi X Y W H seconds
//
// Prints: capture W=320 H=240 frames=N seconds=S fps=F skipped=K
#include "recorder/recordthread.h"
#include "recorder/scrcam.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const UINT WM_SYNC = WM_APP + 1;
const UINT_PTR StopTimer = 1;
HWND Pump;
std::unique_ptr<TScreenCam> Cam;
DWORD StopTime;

void WakePump() { PostMessageA(Pump, WM_SYNC, 0, 0); }

LRESULT CALLBACK PumpProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SYNC:
        CheckSynchronize();
        return 0;
    case WM_TIMER:
        if (wp == StopTimer) {
            KillTimer(hwnd, StopTimer);
            StopTime = timeGetTime();
            Cam->StopRecording();
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 8) {
        std::fprintf(stderr, "usage: capture_bench FOURCC file.avi X Y W H seconds\n");
        return 2;
    }
    int x = atoi(argv[3]), y = atoi(argv[4]), w = atoi(argv[5]), h = atoi(argv[6]);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = PumpProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "capture_bench_pump";
    RegisterClassA(&wc);
    Pump = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                         nullptr);
    WakeMainThread = WakePump;
    SetCursorPos(0, 0);
    DeleteFileA(argv[2]);

    Cam = std::make_unique<TScreenCam>(nullptr);
    const char *c = argv[1];
    Cam->CompressorFourCC =
        mmioFOURCC(c[0], c[0] ? c[1] : ' ', c[1] ? c[2] : ' ', c[2] ? c[3] : ' ');
    Cam->MsPerFrame = 1;
    Cam->PlaybackFps = 50;
    Cam->StartRecording(x, y, w, h, argv[2]);
    SetTimer(Pump, StopTimer, (UINT)(atof(argv[7]) * 1000), nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    StopRecordingAndWait(Cam.get());

    // The loop's own time: from its start to the stop request.
    double seconds = (StopTime - Cam->StartTime) / 1000.0;
    std::printf("capture W=%d H=%d frames=%d seconds=%.3f fps=%.1f skipped=%d\n", w, h,
                Cam->FramesWritten, seconds, seconds > 0 ? Cam->FramesWritten / seconds : 0.0,
                Cam->SkippedFrames);
    std::fflush(stdout);
    Cam.reset();
    DeleteFileA(argv[2]);
    DestroyWindow(Pump);
    return 0;
}
