// The system calls a compressor driver makes: nothing to show, nothing to forward.
#include "fakewin/vfw_driver.h"

LRESULT DefDriverProc(DWORD_PTR, HDRVR, UINT, LPARAM, LPARAM) { return 0; }

int MessageBoxW(HWND, const wchar_t *, const wchar_t *, UINT) { return 1; }

LPWSTR lstrcpynW(LPWSTR dst, const wchar_t *src, int size) {
    int i = 0;
    for (; i + 1 < size && src[i]; ++i)
        dst[i] = static_cast<WCHAR>(src[i]);
    if (size > 0) dst[i] = 0;
    return dst;
}
