// Windows, messages and controls, as far as the program uses them. The double keeps a
// record per window (class, text, styles, place, visibility, region) that tests inspect.
#pragma once
#include "fakewin/types.h"

typedef LRESULT (*WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
    UINT cbSize, style;
    WNDPROC lpfnWndProc;
    HINSTANCE hInstance;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszClassName;
};
struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
typedef MSG *LPMSG;

#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_TABSTOP 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_APPWINDOW 0x00040000L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTROLPARENT 0x00010000L

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_SHOWNA 8

#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOACTIVATE 0x0010

#define GWLP_USERDATA (-21)
#define GWLP_WNDPROC (-4)

#define WM_SIZE 0x0005
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_DPICHANGED 0x02E0
#define WM_NCDESTROY 0x0082
#define WM_COMMAND 0x0111
#define WM_HSCROLL 0x0114
#define WM_USER 0x0400
#define WM_APP 0x8000

#define PM_REMOVE 0x0001

#define COLOR_BTNFACE 15

HMODULE GetModuleHandleA(LPCSTR name);
// Finds nothing: the program falls back to what every system has.
typedef void (*FARPROC)();
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
WORD RegisterClassExA(const WNDCLASSEXA *cls);
BOOL GetClassInfoExA(HINSTANCE inst, LPCSTR name, WNDCLASSEXA *cls);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE inst, LPVOID param);
BOOL DestroyWindow(HWND hwnd);
BOOL IsWindow(HWND hwnd);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value);
LONG_PTR GetWindowLongPtrA(HWND hwnd, int index);
LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL IsWindowVisible(HWND hwnd);
BOOL SetWindowPos(HWND hwnd, HWND after, int x, int y, int cx, int cy, UINT flags);
BOOL GetClientRect(HWND hwnd, LPRECT rect);
int SetWindowRgn(HWND hwnd, HRGN rgn, BOOL redraw);
BOOL SetWindowTextA(HWND hwnd, LPCSTR text);
int GetWindowTextA(HWND hwnd, LPSTR text, int max);
int GetWindowTextLengthA(HWND hwnd);
BOOL EnableWindow(HWND hwnd, BOOL enable);
BOOL IsWindowEnabled(HWND hwnd);
HWND GetDesktopWindow();
HWND SetFocus(HWND hwnd);
HWND GetFocus();
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max);
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove);
BOOL TranslateMessage(const MSG *msg);
LRESULT DispatchMessageA(const MSG *msg);
BOOL IsDialogMessageA(HWND hwnd, LPMSG msg);
void PostQuitMessage(int code);
HBRUSH GetSysColorBrush(int index);
HWND GetAncestor(HWND hwnd, UINT flags);

// The virtual screen and its monitors (set up through the double's screen.h); MonitorFromRect
// answers as with MONITOR_DEFAULTTONULL, whatever the flags.
#define SM_XVIRTUALSCREEN 76
#define SM_YVIRTUALSCREEN 77
#define SM_CXVIRTUALSCREEN 78
#define SM_CYVIRTUALSCREEN 79
#define MONITOR_DEFAULTTONULL 0
int GetSystemMetrics(int index);
HMONITOR MonitorFromRect(const RECT *rect, DWORD flags);
// A monitor's work area is the whole monitor.
#define MONITOR_DEFAULTTONEAREST 2
HMONITOR MonitorFromPoint(POINT pt, DWORD flags);
struct MONITORINFO {
    DWORD cbSize;
    RECT rcMonitor, rcWork;
    DWORD dwFlags;
};
BOOL GetMonitorInfoA(HMONITOR monitor, MONITORINFO *info);
#define SW_SHOWNOACTIVATE 4
#define SW_SHOWMINNOACTIVE 7
HWND GetShellWindow();
#define GA_ROOT 2

// System-wide hot keys.
#define WM_HOTKEY 0x0312
#define MOD_ALT 0x0001
#define MOD_CONTROL 0x0002
#define MOD_SHIFT 0x0004
#define MOD_NOREPEAT 0x4000
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk);
BOOL UnregisterHotKey(HWND hwnd, int id);

// Tool tips (the controls' hints).
#define TOOLTIPS_CLASSA "tooltips_class32"
#define TTS_ALWAYSTIP 0x01
#define TTS_NOPREFIX 0x02
#define TTF_IDISHWND 0x0001
#define TTF_SUBCLASS 0x0010
#define TTM_SETDELAYTIME (WM_USER + 3)
#define TTM_ADDTOOLA (WM_USER + 4)
#define TTM_DELTOOLA (WM_USER + 5)
#define TTDT_RESHOW 1
struct TOOLINFOA {
    UINT cbSize, uFlags;
    HWND hwnd;
    UINT_PTR uId;
    RECT rect;
    HINSTANCE hinst;
    LPSTR lpszText;
    LPARAM lParam;
    void *lpReserved;
};

// Dialog-style keyboard handling and the standard controls' styles and messages.

#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_GROUPBOX 0x00000007L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define BN_CLICKED 0

#define ES_LEFT 0x0000L
#define ES_AUTOHSCROLL 0x0080L
#define EN_CHANGE 0x0300

#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_NOPREFIX 0x00000080L

#define CBS_DROPDOWN 0x0002L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_AUTOHSCROLL 0x0040L
#define CBS_HASSTRINGS 0x0200L
#define CB_ADDSTRING 0x0143
#define CB_GETCURSEL 0x0147
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CBN_SELCHANGE 1
#define CBN_EDITCHANGE 5

#define TRACKBAR_CLASSA "msctls_trackbar32"
#define TBS_HORZ 0x0000
#define TBS_NOTICKS 0x0010
#define TBM_GETPOS (WM_USER)
#define TBM_SETPOS (WM_USER + 5)
#define TBM_SETRANGEMIN (WM_USER + 7)
#define TBM_SETRANGEMAX (WM_USER + 8)

// Common controls and the file-open dialog.
#define ICC_BAR_CLASSES 0x00000004
#define ICC_STANDARD_CLASSES 0x00004000
struct INITCOMMONCONTROLSEX {
    DWORD dwSize, dwICC;
};
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX *icc);

#define MAX_PATH 260
#define OFN_HIDEREADONLY 0x00000004
#define OFN_EXPLORER 0x00080000
struct OPENFILENAMEA {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCSTR lpstrFilter;
    DWORD nFilterIndex;
    LPSTR lpstrFile;
    DWORD nMaxFile;
    LPCSTR lpstrInitialDir, lpstrTitle;
    DWORD Flags;
    LPCSTR lpstrDefExt;
};
BOOL GetOpenFileNameA(OPENFILENAMEA *ofn);

// Fonts of forms and controls.
#define LF_FACESIZE 32
#define FW_NORMAL 400
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DEFAULT_PITCH 0
#define FF_DONTCARE 0
struct LOGFONTA {
    LONG lfHeight, lfWeight;
    BYTE lfCharSet, lfOutPrecision, lfClipPrecision, lfQuality, lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
};
HFONT CreateFontIndirectA(const LOGFONTA *font);

// Locale and text conversion.
#define LOCALE_USER_DEFAULT 0x0400
#define LOCALE_SDECIMAL 0x000E
#define CP_ACP 0
#define CP_UTF8 65001
int GetLocaleInfoA(DWORD locale, DWORD type, LPSTR data, int size);
int WideCharToMultiByte(UINT codepage, DWORD flags, LPCWSTR wide, int wide_len, LPSTR out,
                        int out_size, LPCSTR default_char, BOOL *used_default);

// Choosing an area by hand. Windows that make_foreign marks are another process's, the rest this
// thread's. WM_PAINT is never sent.
#define WM_PAINT 0x000F
#define WM_SETCURSOR 0x0020
#define WM_NCHITTEST 0x0084
#define WM_KEYDOWN 0x0100
#define WM_MOUSEMOVE 0x0200
#define WM_MOUSEHOVER 0x02A1
// Where the mouse goes, as the program asks to hear of it (fakewin::mouse_tracking).
#define TME_HOVER 0x00000001
#define TME_LEAVE 0x00000002
#define HOVER_DEFAULT 0xFFFFFFFF
struct TRACKMOUSEEVENT {
    DWORD cbSize, dwFlags;
    HWND hwndTrack;
    DWORD dwHoverTime;
};
BOOL TrackMouseEvent(TRACKMOUSEEVENT *track);
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_RBUTTONUP 0x0205
#define WM_CAPTURECHANGED 0x0215
#define HTTRANSPARENT (-1)
#define VK_ESCAPE 0x1B
#define CWP_SKIPINVISIBLE 0x0001
#define CWP_SKIPTRANSPARENT 0x0004
#define FW_BOLD 700
typedef BOOL (*WNDENUMPROC)(HWND, LPARAM);
HWND WindowFromPoint(POINT pt);
HWND ChildWindowFromPointEx(HWND parent, POINT pt, UINT flags);
BOOL ScreenToClient(HWND hwnd, LPPOINT pt);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD process);
DWORD GetCurrentThreadId();
BOOL EnumThreadWindows(DWORD thread, WNDENUMPROC fn, LPARAM lp);
HWND SetCapture(HWND hwnd);
BOOL ReleaseCapture();
HCURSOR SetCursor(HCURSOR cursor);
HWND GetForegroundWindow();
BOOL SetForegroundWindow(HWND hwnd);
HMODULE LoadLibraryA(LPCSTR name); // finds nothing
