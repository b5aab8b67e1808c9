// The video compression manager of the double: installed compressors by index, query-mode
// handles, the format query and the About/configuration dialogs, all logged.
#include "fakewin/area.h"
#include "fakewin/ic.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>

namespace fakewin {
namespace {
constexpr LRESULT BadHandle = -8; // ICERR_BADHANDLE

struct IcState {
    std::vector<FakeCompressor> installed;
    std::map<uintptr_t, size_t> handles; // open handle -> index into installed
    uintptr_t next_handle = 0x1000;
    std::vector<std::string> log;
    std::vector<CompressorDialog> dialogs;
};
Area<IcState> ic;
IcState &s = ic.s;
using Lock = std::unique_lock<std::mutex>;

// The manager matches codes without regard to case ('VIDC' finds 'vidc' compressors).
bool same_code(DWORD a, DWORD b) {
    for (int i = 0; i < 4; i++) {
        int ca = std::tolower((a >> (8 * i)) & 0xff), cb = std::tolower((b >> (8 * i)) & 0xff);
        if (ca != cb) return false;
    }
    return true;
}

// The compressor behind an open handle, or null. Lock held.
const FakeCompressor *lookup(HIC hic) {
    auto it = s.handles.find((uintptr_t)hic);
    return it == s.handles.end() ? nullptr : &s.installed[it->second];
}

void copy_text(WCHAR *dst, size_t capacity, const std::u16string &src) {
    size_t n = std::min(src.size(), capacity - 1);
    std::copy(src.begin(), src.begin() + n, dst);
    dst[n] = 0;
}

// What ICInfo tells of a compressor; ICGetInfo adds its names.
void fill_info(ICINFO *info, const FakeCompressor &c) {
    std::memset(info, 0, sizeof(*info));
    info->dwSize = sizeof(ICINFO);
    info->fccType = c.fccType;
    info->fccHandler = c.fccHandler;
    copy_text(info->szDriver, 128, u"fakewin.drv");
}
} // namespace

std::string code_text(DWORD code) {
    std::string text;
    for (int i = 0; i < 4; i++) {
        char c = (char)((code >> (8 * i)) & 0xff);
        text += c ? c : ' ';
    }
    return text;
}

void install_compressor(const FakeCompressor &compressor) {
    Lock lock(ic.mutex);
    s.installed.push_back(compressor);
}
int open_compressors() { return (int)ic.get(&IcState::handles).size(); }
std::vector<std::string> compressor_log() { return ic.get(&IcState::log); }
std::vector<CompressorDialog> compressor_dialogs() { return ic.get(&IcState::dialogs); }

} // namespace fakewin

using namespace fakewin;

BOOL ICInfo(DWORD fccType, DWORD fccHandler, ICINFO *info) {
    if (!info) return FALSE;
    Lock lock(ic.mutex);
    // A small handler value is an index among the compressors of the type, as on Windows;
    // otherwise it names a compressor by its code.
    DWORD index = 0;
    for (const FakeCompressor &c : s.installed) {
        if (!same_code(c.fccType, fccType)) continue;
        if (index == fccHandler || same_code(c.fccHandler, fccHandler)) {
            // Like the real manager, ICInfo names the driver only; the description comes
            // from ICGetInfo on an open handle.
            fill_info(info, c);
            return TRUE;
        }
        index++;
    }
    return FALSE;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode) {
    Lock lock(ic.mutex);
    std::string line = "open " + code_text(fccHandler) + " " + std::to_string(mode);
    for (size_t i = 0; i < s.installed.size(); i++) {
        const FakeCompressor &c = s.installed[i];
        if (!same_code(c.fccType, fccType) || !same_code(c.fccHandler, fccHandler)) continue;
        s.log.push_back("open " + code_text(c.fccHandler) + " " + std::to_string(mode));
        if (c.open_fails) return nullptr;
        uintptr_t h = s.next_handle;
        s.next_handle += 4;
        s.handles[h] = i;
        return (HIC)h;
    }
    s.log.push_back(line + " (not installed)");
    return nullptr;
}

LRESULT ICClose(HIC hic) {
    Lock lock(ic.mutex);
    const FakeCompressor *c = lookup(hic);
    s.log.push_back(c ? "close " + code_text(c->fccHandler) : "close (bad handle)");
    if (!c) return BadHandle;
    s.handles.erase((uintptr_t)hic);
    return ICERR_OK;
}

LRESULT ICGetInfo(HIC hic, ICINFO *info, DWORD size) {
    Lock lock(ic.mutex);
    const FakeCompressor *c = lookup(hic);
    if (!c || !info || size < sizeof(ICINFO)) return 0;
    fill_info(info, *c);
    if (c->info_without_codes) info->fccType = info->fccHandler = 0;
    info->dwVersionICM = 0x0104;
    std::string name = code_text(c->fccHandler);
    copy_text(info->szName, 16, std::u16string(name.begin(), name.end()));
    copy_text(info->szDescription, 128, c->description);
    return sizeof(ICINFO);
}

LRESULT ICSendMessage(HIC hic, UINT msg, DWORD_PTR param1, DWORD_PTR param2) {
    Lock lock(ic.mutex);
    const FakeCompressor *c = lookup(hic);
    if (!c) return BadHandle;
    std::string name = code_text(c->fccHandler);
    switch (msg) {
    case ICM_COMPRESS_QUERY: {
        auto *in = (const BITMAPINFOHEADER *)param1;
        if (!in) return ICERR_BADFORMAT;
        char line[96];
        std::snprintf(line, sizeof line, "query %s %ldx%ldx%u", name.c_str(), (long)in->biWidth,
                      (long)in->biHeight, (unsigned)in->biBitCount);
        // A wanted output format is not modelled; the log says one was asked for.
        s.log.push_back(std::string(line) + (param2 ? " to given format" : ""));
        // The callback runs unlocked so that it may look at the double itself.
        std::function<bool(const BITMAPINFOHEADER &)> accepts = c->accepts;
        lock.unlock();
        return !accepts || accepts(*in) ? ICERR_OK : ICERR_BADFORMAT;
    }
    case ICM_ABOUT:
    case ICM_CONFIGURE: {
        bool about = msg == ICM_ABOUT;
        bool has = about ? c->has_about : c->has_configure;
        std::string kind = about ? "about" : "configure";
        if (param1 == (DWORD_PTR)-1) {
            s.log.push_back(kind + "? " + name);
            return has ? ICERR_OK : ICERR_UNSUPPORTED;
        }
        s.log.push_back(kind + " " + name + (has ? "" : " (none)"));
        if (!has) return ICERR_UNSUPPORTED;
        s.dialogs.push_back({kind, name, (HWND)param1});
        return ICERR_OK;
    }
    default:
        return ICERR_UNSUPPORTED;
    }
}
