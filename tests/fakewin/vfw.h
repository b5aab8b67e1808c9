// Video for Windows: the AVIFile library and the video compression manager.
#pragma once
#include "fakewin/types.h"

typedef struct _GUID *LPCLSID; // the program passes none

#define mmioFOURCC_FAKE(a, b, c, d)                                                                \
    ((DWORD)(BYTE)(a) | ((DWORD)(BYTE)(b) << 8) | ((DWORD)(BYTE)(c) << 16) |                       \
     ((DWORD)(BYTE)(d) << 24))
#define streamtypeVIDEO mmioFOURCC_FAKE('v', 'i', 'd', 's')
#define streamtypeAUDIO mmioFOURCC_FAKE('a', 'u', 'd', 's')
#define ICTYPE_VIDEO mmioFOURCC_FAKE('v', 'i', 'd', 'c')

#define OF_WRITE 0x0001
#define OF_CREATE 0x1000
#define AVIERR_OK 0
#define AVIERR_FILEOPEN ((HRESULT)0x80044074)
#define AVIERR_BADFORMAT ((HRESULT)0x80044066)
#define AVIERR_FILEWRITE ((HRESULT)0x80044073)
#define AVIERR_MEMORY ((HRESULT)0x80044067)
#define AVIERR_BADPARAM ((HRESULT)0x80044068)
#define AVIERR_ERROR ((HRESULT)0x800440C7)
#define AVIERR_FILEREAD ((HRESULT)0x80044072)
#define AVIERR_BUFFERTOOSMALL ((HRESULT)0x80044075)
#define AVIIF_KEYFRAME 0x10
#define AVICOMPRESSF_KEYFRAMES 0x04
#define AVICOMPRESSF_VALID 0x08

struct AVISTREAMINFOA {
    DWORD fccType, fccHandler, dwFlags, dwCaps;
    WORD wPriority, wLanguage;
    DWORD dwScale, dwRate, dwStart, dwLength, dwInitialFrames, dwSuggestedBufferSize, dwQuality;
    DWORD dwSampleSize;
    RECT rcFrame;
    DWORD dwEditCount, dwFormatChangeCount;
    char szName[64];
};
static_assert(sizeof(AVISTREAMINFOA) == 140, "AVISTREAMINFOA is 140 bytes");

struct AVICOMPRESSOPTIONS {
    DWORD fccType, fccHandler, dwKeyFrameEvery, dwQuality, dwBytesPerSecond, dwFlags;
    LPVOID lpFormat;
    DWORD cbFormat;
    LPVOID lpParms;
    DWORD cbParms, dwInterleaveEvery;
};
typedef AVICOMPRESSOPTIONS *LPAVICOMPRESSOPTIONS;

struct ICINFO {
    DWORD dwSize, fccType, fccHandler, dwFlags, dwVersion, dwVersionICM;
    WCHAR szName[16], szDescription[128], szDriver[128];
};
static_assert(sizeof(ICINFO) == 568, "ICINFO is 568 bytes");

#define ICMODE_COMPRESS 1
#define ICMODE_QUERY 4
#define ICERR_OK 0
#define ICERR_UNSUPPORTED (-1)
#define ICERR_BADFORMAT (-2)
#define DRV_USER 0x4000
#define ICM_USER (DRV_USER + 0x0000)
#define ICM_RESERVED_LOW (DRV_USER + 0x1000)
#define ICM_CONFIGURE (ICM_RESERVED_LOW + 10)
#define ICM_ABOUT (ICM_RESERVED_LOW + 11)
#define ICM_COMPRESS_QUERY (ICM_USER + 6)
#define ICMF_ABOUT_QUERY 0x00000001
#define ICMF_CONFIGURE_QUERY 0x00000001

DWORD VideoForWindowsVersion();
void AVIFileInit();
void AVIFileExit();
HRESULT AVIFileOpenA(PAVIFILE *file, LPCSTR name, UINT mode, LPCLSID handler);
#define AVIFileOpen AVIFileOpenA
HRESULT AVIFileCreateStreamA(PAVIFILE file, PAVISTREAM *stream, AVISTREAMINFOA *info);
#define AVIFileCreateStream AVIFileCreateStreamA
HRESULT AVIMakeCompressedStream(PAVISTREAM *compressed, PAVISTREAM source,
                                AVICOMPRESSOPTIONS *options, LPCLSID handler);
HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG pos, LPVOID format, LONG size);
HRESULT AVIStreamReadFormat(PAVISTREAM stream, LONG pos, LPVOID format, LONG *size);
HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG size,
                       DWORD flags, LONG *samplesWritten, LONG *bytesWritten);
LONG AVIStreamLength(PAVISTREAM stream);
// Reads back a written chunk: the bytes the file holds for it (the written bytes, cut or
// padded with zeros to the size the write reported).
HRESULT AVIStreamRead(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG size,
                      LONG *bytes, LONG *samplesRead);
#define FIND_PREV 0x0004
#define FIND_KEY 0x0010
// Key frames: a file's first write, and every dwKeyFrameEvery-th after it when that is set.
LONG AVIStreamFindSample(PAVISTREAM stream, LONG pos, LONG flags);
HRESULT AVISaveOptionsFree(int count, LPAVICOMPRESSOPTIONS *options);
ULONG AVIFileRelease(PAVIFILE file);
ULONG AVIStreamRelease(PAVISTREAM stream);

// Free space of the disk the AVI files go to (kept by the double's AVI sink).
union ULARGE_INTEGER {
    unsigned long long QuadPart;
};
typedef ULARGE_INTEGER *PULARGE_INTEGER;
BOOL GetDiskFreeSpaceExA(LPCSTR directory, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);
#define GetDiskFreeSpaceEx GetDiskFreeSpaceExA
// Names relative to the process's current folder, with "/" after it.
DWORD GetFullPathNameA(LPCSTR name, DWORD size, LPSTR buffer, LPSTR *filePart);

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode);
LRESULT ICClose(HIC hic);
BOOL ICInfo(DWORD fccType, DWORD fccHandler, ICINFO *info);
LRESULT ICGetInfo(HIC hic, ICINFO *info, DWORD size);
LRESULT ICSendMessage(HIC hic, UINT msg, DWORD_PTR param1, DWORD_PTR param2);
