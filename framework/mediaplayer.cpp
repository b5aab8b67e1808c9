#include "framework/mediaplayer.h"
#include "framework/sysutils.h"

TMediaPlayer::~TMediaPlayer() { Close(); }

void TMediaPlayer::CreateParams(std::string &ClassName, DWORD &Style, DWORD &) {
    // Its transport buttons are never shown: the display panel covers its place.
    ClassName = "QuilletPanel";
    Style = 0;
    SetVisible(false);
}

void TMediaPlayer::Open() {
    if (FDevice) Close();
    MCI_OPEN_PARMSA open = {};
    open.lpstrElementName = FileName.c_str();
    FError = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_ELEMENT | MCI_WAIT, (DWORD_PTR)&open);
    if (FError) {
        char text[256] = "";
        if (!mciGetErrorStringA(FError, text, sizeof(text)) || !text[0])
            snprintf(text, sizeof(text), "MCI error %u", (unsigned)FError);
        throw Exception(text);
    }
    FDevice = open.wDeviceID;
    FHasVideo = false;
    MCI_GETDEVCAPS_PARMS caps = {};
    caps.dwItem = MCI_GETDEVCAPS_HAS_VIDEO;
    if (mciSendCommandA(FDevice, MCI_GETDEVCAPS, MCI_GETDEVCAPS_ITEM | MCI_WAIT,
                        (DWORD_PTR)&caps) == 0)
        FHasVideo = caps.dwReturn != 0;
    if (!FHasVideo) return;
    MCI_DGV_WINDOW_PARMSA window = {};
    window.hWnd = Display ? Display->Handle() : nullptr;
    mciSendCommandA(FDevice, MCI_WINDOW, MCI_DGV_WINDOW_HWND | MCI_WAIT, (DWORD_PTR)&window);
    MCI_DGV_RECT_PARMS where = {};
    if (mciSendCommandA(FDevice, MCI_WHERE, MCI_DGV_WHERE_DESTINATION | MCI_WAIT,
                        (DWORD_PTR)&where) == 0) {
        FDefaultWidth = where.rc.right - where.rc.left;
        FDefaultHeight = where.rc.bottom - where.rc.top;
    }
}

void TMediaPlayer::Play() {
    if (!FDevice) return;
    MCI_PLAY_PARMS play = {};
    play.dwCallback = (DWORD_PTR)Handle();
    FError = mciSendCommandA(FDevice, MCI_PLAY, MCI_NOTIFY, (DWORD_PTR)&play);
}

void TMediaPlayer::Close() {
    if (!FDevice) return;
    MCI_GENERIC_PARMS close = {};
    FError = mciSendCommandA(FDevice, MCI_CLOSE, MCI_WAIT, (DWORD_PTR)&close);
    if (FError == 0) {
        FDevice = 0;
        FHasVideo = false;
    }
}

void TMediaPlayer::SetDisplayRect(const RECT &Rect) {
    if (!FDevice || !FHasVideo) return;
    MCI_DGV_RECT_PARMS put = {};
    put.rc = Rect;
    if (Rect.right == 0 && Rect.bottom == 0)
        put.rc = {Rect.left, Rect.top, FDefaultWidth, FDefaultHeight};
    FError = mciSendCommandA(FDevice, MCI_PUT, MCI_DGV_RECT | MCI_DGV_PUT_DESTINATION | MCI_WAIT,
                             (DWORD_PTR)&put);
}
