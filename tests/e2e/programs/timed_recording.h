// One recording through the real recorder and its worker thread for a set time, with the
// message loop that serves the worker's calls on the main thread. Shared by the recording check
// and the capture benchmark.
#pragma once
#include "recorder/recordthread.h"
#include "recorder/scrcam.h"

namespace timed_recording {

const UINT WM_SYNC = WM_APP + 1;
const UINT_PTR StopTimer = 1;

struct State {
    HWND Pump = nullptr;
    TScreenCam *Recorder = nullptr;
    DWORD StopTime = 0;
};
inline State &Current() {
    static State state;
    return state;
}

inline void WakePump() { PostMessageA(Current().Pump, WM_SYNC, 0, 0); }

inline LRESULT CALLBACK PumpProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SYNC:
        CheckSynchronize();
        return 0;
    case WM_TIMER:
        if (wp == StopTimer) {
            KillTimer(hwnd, StopTimer);
            Current().StopTime = timeGetTime();
            Current().Recorder->StopRecording();
            PostQuitMessage(0);
        }
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// "DIB " from "DIB", "MSVC" from "MSVC": blanks fill a short code.
inline DWORD FourCC(const char *s) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; i < 4 && s[i]; ++i)
        c[i] = s[i];
    return mmioFOURCC(c[0], c[1], c[2], c[3]);
}

// Records the area into File for Seconds, waits for the worker, and returns the clock time at
// which the stop was asked for.
inline DWORD RecordFor(TScreenCam &Cam, int X, int Y, int W, int H, const char *File,
                       double Seconds) {
    State &state = Current();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PumpProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "timed_recording_pump";
    RegisterClassA(&wc);
    state.Pump = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               wc.hInstance, nullptr);
    state.Recorder = &Cam;
    WakeMainThread = WakePump;

    // Keep the cursor out of the area so that the frames hold the picture alone.
    SetCursorPos(0, 0);
    DeleteFileA(File);
    Cam.StartRecording(X, Y, W, H, File);
    SetTimer(state.Pump, StopTimer, (UINT)(Seconds * 1000), nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    StopRecordingAndWait(&Cam);
    return state.StopTime;
}

} // namespace timed_recording
