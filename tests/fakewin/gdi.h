// Screen, device contexts, bitmaps, cursor, global memory, clock and message boxes.
#pragma once
#include "fakewin/types.h"

// Device capabilities
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define LOGPIXELSY 90

#define SRCCOPY 0x00CC0020
#define RGN_DIFF 4
#define ERROR 0
#define NULLREGION 1
#define COMPLEXREGION 3
#define PS_SOLID 0
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define HOLLOW_BRUSH 5
#define BLACK_PEN 7
#define NULL_PEN 8
#define CLR_INVALID 0xFFFFFFFF

HDC GetDC(HWND hwnd);
int ReleaseDC(HWND hwnd, HDC dc);
int GetDeviceCaps(HDC dc, int index);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// A bitmap of the given size and depth (16, 24 or 32 bits, BI_RGB). The double keeps its pixels
// like any bitmap's; the bits block handed out is not kept in step with them, so the program
// must read them with GetDIBits.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO *bmi, UINT usage, void **bits, HANDLE section,
                         DWORD offset);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ obj);
BOOL DeleteObject(HGDIOBJ obj);
int GetObjectA(HGDIOBJ obj, int size, LPVOID out);
#define GetObject GetObjectA
HGDIOBJ GetStockObject(int index);
BOOL BitBlt(HDC dst, int x, int y, int cx, int cy, HDC src, int x1, int y1, DWORD rop);
int GetDIBits(HDC dc, HBITMAP bmp, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO bmi,
              UINT usage);
COLORREF GetPixel(HDC dc, int x, int y);
HBRUSH CreateSolidBrush(COLORREF color);
HPEN CreatePen(int style, int width, COLORREF color);
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
HRGN CreateRectRgn(int left, int top, int right, int bottom);
// RGN_DIFF only; the result is said to be COMPLEXREGION whenever it is not empty.
int CombineRgn(HRGN dst, HRGN src1, HRGN src2, int mode);

// Text: nothing is drawn.
#define ETO_OPAQUE 0x0002
struct SIZE {
    LONG cx, cy;
};
BOOL GdiFlush();
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF SetTextColor(HDC dc, COLORREF color);
BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT *rect, LPCSTR text, UINT count,
                 const int *dx);
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int count, SIZE *size); // 7 x 15 a letter

// Cursor and icons
#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_IBEAM MAKEINTRESOURCEA(32513)
#define IDC_CROSS MAKEINTRESOURCEA(32515)
HCURSOR LoadCursorA(HINSTANCE inst, LPCSTR name);
#define LoadCursor LoadCursorA
// The cursor shown on the screen, whichever thread set it.
BOOL GetCursorInfo(PCURSORINFO info);
BOOL GetCursorPos(LPPOINT pt);
int ShowCursor(BOOL show);
BOOL GetIconInfo(HICON icon, PICONINFO info);
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);

// Global memory
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
HGLOBAL GlobalAlloc(UINT flags, size_t bytes);
LPVOID GlobalLock(HGLOBAL mem);
BOOL GlobalUnlock(HGLOBAL mem);
HGLOBAL GlobalFree(HGLOBAL mem);
HGLOBAL GlobalHandle(LPCVOID ptr);
size_t GlobalSize(HGLOBAL mem);

// Clock and kernel
DWORD timeGetTime();
MMRESULT timeBeginPeriod(UINT ms);
MMRESULT timeEndPeriod(UINT ms);
#define TIMERR_NOERROR 0
void Sleep(DWORD ms);
BOOL DeleteFileA(LPCSTR name);
#define DeleteFile DeleteFileA
DWORD GetFileAttributesA(LPCSTR name);
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_NORMAL 0x80
struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
// The double's local time (fakewin::set_local_time).
void GetLocalTime(SYSTEMTIME *time);
// Logged, not run (fakewin::shell_runs); answers 42, a success.
HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder,
                        int show);

// Message boxes
#define MB_OK 0x00000000
#define MB_YESNO 0x00000004
#define MB_ICONERROR 0x00000010
#define MB_ICONWARNING 0x00000030
#define MB_ICONINFORMATION 0x00000040
#define MB_SYSTEMMODAL 0x00001000
#define MB_SETFOREGROUND 0x00010000
#define MB_TOPMOST 0x00040000
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
#define MessageBox MessageBoxA
