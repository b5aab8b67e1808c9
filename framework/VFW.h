// Video for Windows declarations that the recorder and the run's files use, and the small
// helpers that wrap the compression manager's messages (QueryCompressor, with the other holders,
// is in framework/gdiholders.h).
#pragma once
#include "framework/gdiholders.h"
#include "framework/winapi.h"

#include <cstdint>

// The SDK defines some of these as macros; the recorder uses its own typed helpers.
#undef mmioFOURCC
#undef ICQueryAbout
#undef ICAbout
#undef ICQueryConfigure
#undef ICConfigure
#undef ICCompressQuery

constexpr DWORD mmioFOURCC(char c0, char c1, char c2, char c3) {
    return (DWORD)(uint8_t)c0 | ((DWORD)(uint8_t)c1 << 8) | ((DWORD)(uint8_t)c2 << 16) |
           ((DWORD)(uint8_t)c3 << 24);
}

// Handler codes name the same compressor whatever their letters' case: the manager may
// report 'msvc' for 'MSVC'.
constexpr bool SameFourCC(DWORD a, DWORD b) {
    for (int shift = 0; shift < 32; shift += 8) {
        char x = (char)((a >> shift) & 0xFF), y = (char)((b >> shift) & 0xFF);
        if (x >= 'a' && x <= 'z') x = (char)(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = (char)(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

inline bool ICQueryAbout(HIC hic) {
    return ICSendMessage(hic, ICM_ABOUT, (DWORD_PTR)-1, ICMF_ABOUT_QUERY) == ICERR_OK;
}
inline LRESULT ICAbout(HIC hic, HWND Owner) {
    return ICSendMessage(hic, ICM_ABOUT, (DWORD_PTR)Owner, 0);
}
inline bool ICQueryConfigure(HIC hic) {
    return ICSendMessage(hic, ICM_CONFIGURE, (DWORD_PTR)-1, ICMF_CONFIGURE_QUERY) == ICERR_OK;
}
inline LRESULT ICConfigure(HIC hic, HWND Owner) {
    return ICSendMessage(hic, ICM_CONFIGURE, (DWORD_PTR)Owner, 0);
}
inline LRESULT ICCompressQuery(HIC hic, const BITMAPINFOHEADER *Input,
                               const BITMAPINFOHEADER *Output) {
    return ICSendMessage(hic, ICM_COMPRESS_QUERY, (DWORD_PTR)Input, (DWORD_PTR)Output);
}
