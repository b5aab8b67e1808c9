// Basic Windows types for the native build. Handles are distinct pointer types, as with
// STRICT, so that mixing them up fails to compile here as it would on Windows.
#pragma once
#include <cstddef>
#include <cstdint>

#define CALLBACK

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef unsigned int UINT;
typedef int BOOL;
typedef char CHAR;
typedef char16_t WCHAR;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t LRESULT;
typedef uintptr_t UINT_PTR;
typedef uintptr_t DWORD_PTR;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uint32_t COLORREF;
typedef long HRESULT;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef DWORD *LPDWORD;
typedef UINT MMRESULT;
typedef DWORD MCIERROR;
typedef UINT MCIDEVICEID;

#define DECLARE_FAKE_HANDLE(name)                                                                  \
    struct name##__ {                                                                              \
        int unused;                                                                                \
    };                                                                                             \
    typedef struct name##__ *name
DECLARE_FAKE_HANDLE(HWND);
DECLARE_FAKE_HANDLE(HDC);
DECLARE_FAKE_HANDLE(HBITMAP);
DECLARE_FAKE_HANDLE(HBRUSH);
DECLARE_FAKE_HANDLE(HPEN);
DECLARE_FAKE_HANDLE(HRGN);
DECLARE_FAKE_HANDLE(HFONT);
DECLARE_FAKE_HANDLE(HICON);
DECLARE_FAKE_HANDLE(HINSTANCE);
DECLARE_FAKE_HANDLE(HMENU);
DECLARE_FAKE_HANDLE(HMONITOR);
DECLARE_FAKE_HANDLE(HIC);
DECLARE_FAKE_HANDLE(HDRVR);
typedef HICON HCURSOR;
typedef HINSTANCE HMODULE;
typedef void *HANDLE;
typedef void *HGDIOBJ;
typedef HANDLE HGLOBAL;
typedef struct IAVIFile *PAVIFILE;
typedef struct IAVIStream *PAVISTREAM;

#define TRUE 1
#define FALSE 0
#ifndef NULL
#define NULL 0
#endif

#define MAKELONG(a, b) ((LONG)(((WORD)(a)) | ((DWORD)((WORD)(b))) << 16))
#define LOWORD(l) ((WORD)((DWORD_PTR)(l)&0xffff))
#define HIWORD(l) ((WORD)((DWORD_PTR)(l) >> 16))
#define RGB(r, g, b)                                                                               \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))

struct POINT {
    LONG x, y;
};
struct RECT {
    LONG left, top, right, bottom;
};
typedef RECT *LPRECT;
typedef POINT *LPPOINT;

struct BITMAP {
    LONG bmWidth, bmHeight, bmWidthBytes;
    WORD bmPlanes, bmBitsPixel;
    LPVOID bmBits;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth, biHeight;
    WORD biPlanes, biBitCount;
    DWORD biCompression, biSizeImage;
    LONG biXPelsPerMeter, biYPelsPerMeter;
    DWORD biClrUsed, biClrImportant;
};
typedef BITMAPINFOHEADER *LPBITMAPINFOHEADER;
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER is 40 bytes");
// The fake's GetObject gives this for a DIB section when asked for it.
struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};

struct RGBQUAD {
    BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
typedef BITMAPINFO *LPBITMAPINFO;

struct ICONINFO {
    BOOL fIcon;
    DWORD xHotspot, yHotspot;
    HBITMAP hbmMask, hbmColor;
};
typedef ICONINFO *PICONINFO;

struct CURSORINFO {
    DWORD cbSize, flags;
    HCURSOR hCursor;
    POINT ptScreenPos;
};
typedef CURSORINFO *PCURSORINFO;
#define CURSOR_SHOWING 0x00000001

#define BI_RGB 0
#define DIB_RGB_COLORS 0
