// record_check: one recording through the real recorder and its worker thread, on the real
// Video for Windows, while another program shows a moving picture in the area.
//
//   record_check FOURCC file.avi X Y W H ms_per_frame playback_fps seconds
//
// Starts the recording, runs a message loop that serves the worker's synchronised calls for
// the given time, stops, waits for the worker and prints what the recorder counted:
//   recorded frames=N skipped=S capture=WxH fourcc=XXXX result=idle
#include "marker/flashwnd.h"
#include "recorder/recordthread.h"
#include "recorder/scrcam.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const UINT WM_SYNC = WM_APP + 1;
const UINT_PTR StopTimer = 1;
HWND Pump;

void WakePump() { PostMessageA(Pump, WM_SYNC, 0, 0); }

LRESULT CALLBACK PumpProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SYNC:
        CheckSynchronize();
        return 0;
    case WM_TIMER:
        if (wp == StopTimer) {
            KillTimer(hwnd, StopTimer);
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

DWORD FourCC(const char *s) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && s[i]; ++i)
        c[i] = s[i];
    return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 10) {
        std::fprintf(stderr,
                     "usage: record_check FOURCC file.avi X Y W H ms_per_frame fps seconds\n");
        return 2;
    }
    int x = atoi(argv[3]), y = atoi(argv[4]), w = atoi(argv[5]), h = atoi(argv[6]);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = PumpProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "record_check_pump";
    RegisterClassA(&wc);
    Pump = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance,
                         nullptr);
    WakeMainThread = WakePump;

    // Keep the cursor out of the area so that the frames hold the picture alone.
    SetCursorPos(0, 0);
    DeleteFileA(argv[2]);

    auto cam = std::make_unique<TScreenCam>(nullptr);
    cam->CompressorFourCC = FourCC(argv[1]);
    cam->MsPerFrame = atoi(argv[7]);
    cam->PlaybackFps = atoi(argv[8]);
    cam->Quality = 10000;
    cam->StartRecording(x, y, w, h, argv[2]);
    SetTimer(Pump, StopTimer, (UINT)(atof(argv[9]) * 1000), nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    StopRecordingAndWait(cam.get());

    DWORD code = cam->CompressorFourCC;
    std::printf("recorded frames=%d skipped=%d capture=%dx%d fourcc=%c%c%c%c result=%s\n",
                cam->FramesWritten, cam->SkippedFrames, cam->CaptureWidth, cam->CaptureHeight,
                (char)(code & 0xFF), (char)((code >> 8) & 0xFF), (char)((code >> 16) & 0xFF),
                (char)(code >> 24), cam->Recording || cam->RecordThread ? "busy" : "idle");
    std::fflush(stdout);
    cam.reset();
    DestroyWindow(Pump);
    return 0;
}
