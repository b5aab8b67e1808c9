// The driver side of the video compression manager: what a compressor DLL sees (its messages,
// their structures and the few system calls it makes), so that the codec driver builds natively.
#pragma once
#include "fakewin/types.h"
#include "fakewin/vfw.h"

#define mmioFOURCC mmioFOURCC_FAKE
#define BI_BITFIELDS 3

#define DRV_LOAD 0x0001
#define DRV_ENABLE 0x0002
#define DRV_OPEN 0x0003
#define DRV_CLOSE 0x0004
#define DRV_DISABLE 0x0005
#define DRV_FREE 0x0006
#define DRV_QUERYCONFIGURE 0x0008

#define ICVERSION 0x0104
#define ICERR_MEMORY (-3)
#define ICERR_BADPARAM (-6)
#define ICQUALITY_HIGH 10000
#define ICQUALITY_DEFAULT (-1)
#define VIDCF_QUALITY 0x0001
#define VIDCF_TEMPORAL 0x0004
#define VIDCF_FASTTEMPORALC 0x0020
#define ICCOMPRESS_KEYFRAME 0x00000001
#define ICDECOMPRESS_NULLFRAME 0x10000000

#define ICM_GETSTATE (ICM_RESERVED_LOW + 0)
#define ICM_SETSTATE (ICM_RESERVED_LOW + 1)
#define ICM_GETINFO (ICM_RESERVED_LOW + 2)
#define ICM_GETDEFAULTQUALITY (ICM_RESERVED_LOW + 30)
#define ICM_COMPRESS_GET_FORMAT (ICM_USER + 4)
#define ICM_COMPRESS_GET_SIZE (ICM_USER + 5)
#define ICM_COMPRESS_BEGIN (ICM_USER + 7)
#define ICM_COMPRESS (ICM_USER + 8)
#define ICM_COMPRESS_END (ICM_USER + 9)
#define ICM_DECOMPRESS_GET_FORMAT (ICM_USER + 10)
#define ICM_DECOMPRESS_QUERY (ICM_USER + 11)
#define ICM_DECOMPRESS_BEGIN (ICM_USER + 12)
#define ICM_DECOMPRESS (ICM_USER + 13)
#define ICM_DECOMPRESS_END (ICM_USER + 14)
#define ICM_COMPRESS_FRAMES_INFO (ICM_USER + 70)

struct ICOPEN {
    DWORD dwSize, fccType, fccHandler, dwVersion, dwFlags;
    LRESULT dwError;
};

struct ICCOMPRESS {
    DWORD dwFlags;
    LPBITMAPINFOHEADER lpbiOutput;
    LPVOID lpOutput;
    LPBITMAPINFOHEADER lpbiInput;
    LPVOID lpInput;
    LPDWORD lpckid, lpdwFlags;
    LONG lFrameNum;
    DWORD dwQuality;
};

struct ICDECOMPRESS {
    DWORD dwFlags;
    LPBITMAPINFOHEADER lpbiInput;
    LPVOID lpInput;
    LPBITMAPINFOHEADER lpbiOutput;
    LPVOID lpOutput;
    DWORD ckid;
};

struct ICCOMPRESSFRAMES {
    DWORD dwFlags;
    LPBITMAPINFOHEADER lpbiOutput, lpbiInput;
    LONG lQuality;
    DWORD dwRate, dwScale;
};

LRESULT DefDriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2);
// Wide literals are wchar_t here but WCHAR is 16 bits, as on Windows: these take the literal.
int MessageBoxW(HWND owner, const wchar_t *text, const wchar_t *caption, UINT type);
LPWSTR lstrcpynW(LPWSTR dst, const wchar_t *src, int size);
