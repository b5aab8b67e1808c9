// The recorder object: its settings at creation and the marker window it owns.
#include "recorder/scrcam.h"
#include "marker/flashwnd.h"
#include "recorder/recordthread.h"

TScreenCam::TScreenCam(TComponent *Owner) {
    Recording = false;
    CompressorCount = 0;
    SelectedCompressor = -1;
    HDC screen = GetDC(nullptr);
    BitsPerPixel = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    // The virtual screen, every monitor in it: an area may lie left of or above the primary.
    ScreenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    ScreenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    ScreenWidth = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    ScreenHeight = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    CompressorFourCC = mmioFOURCC('M', 'S', 'V', 'C');
    MsPerFrame = 100;
    PlaybackFps = 10;
    KeyFrameEvery = 5;
    Quality = 6550;
    RecordCursor = true;
    // The owner (the main window) would free the marker too; the recorder frees it first and
    // the component leaves its owner's list then.
    MarkerWindow = new TFlashingWnd(Owner);
    ShowMarker = true;
    ArrowCursor = LoadCursor(nullptr, IDC_ARROW);
    RecordThread = nullptr;
}

TScreenCam::~TScreenCam() {
    // A worker still finishing its run must be done with the recorder before it goes.
    StopRecordingAndWait(this);
    delete MarkerWindow;
}
