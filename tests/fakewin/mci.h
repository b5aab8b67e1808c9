// Media Control Interface: command strings and the player's commands.
#pragma once
#include "fakewin/types.h"

#define MCI_OPEN 0x0803
#define MCI_CLOSE 0x0804
#define MCI_PLAY 0x0806
#define MCI_GETDEVCAPS 0x080B
#define MCI_WINDOW 0x0841
#define MCI_PUT 0x0842
#define MCI_WHERE 0x0843
#define MCI_NOTIFY 0x00000001L
#define MCI_WAIT 0x00000002L
#define MCI_OPEN_ELEMENT 0x00000200L
#define MCI_OPEN_TYPE 0x00002000L
#define MCI_GETDEVCAPS_ITEM 0x00000100L
#define MCI_GETDEVCAPS_HAS_VIDEO 0x00000003L
#define MCI_DGV_WINDOW_HWND 0x00010000L
#define MCI_DGV_RECT 0x00010000L
#define MCI_DGV_PUT_DESTINATION 0x00040000L
#define MCI_DGV_WHERE_DESTINATION 0x00040000L
#define MCIERR_BASE 256
#define MCIERR_INVALID_DEVICE_ID (MCIERR_BASE + 1)
#define MCIERR_UNRECOGNIZED_COMMAND (MCIERR_BASE + 5)
#define MCIERR_FILE_NOT_FOUND (MCIERR_BASE + 19)

struct MCI_OPEN_PARMSA {
    DWORD_PTR dwCallback;
    MCIDEVICEID wDeviceID;
    LPCSTR lpstrElementName;
};
struct MCI_GENERIC_PARMS {
    DWORD_PTR dwCallback;
};
struct MCI_PLAY_PARMS {
    DWORD_PTR dwCallback;
};
struct MCI_GETDEVCAPS_PARMS {
    DWORD_PTR dwCallback;
    DWORD dwReturn, dwItem;
};
struct MCI_DGV_WINDOW_PARMSA {
    DWORD_PTR dwCallback;
    HWND hWnd;
};
struct MCI_DGV_RECT_PARMS {
    DWORD_PTR dwCallback;
    RECT rc;
};

MCIERROR mciSendStringA(LPCSTR command, LPSTR ret, UINT retLength, HWND callback);
MCIERROR mciSendCommandA(MCIDEVICEID device, UINT msg, DWORD_PTR flags, DWORD_PTR params);
BOOL mciGetErrorStringA(MCIERROR error, LPSTR text, UINT length);
