// The video compression manager of the double: installed compressors by index, query-mode
// handles, the format query and the About/configuration dialogs, all logged.
#include "fakewin/ic.h"
#include "fakewin/fakewin.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace fakewin {
namespace {
std::mutex mutex;
std::vector<FakeCompressor> installed;
std::map<uintptr_t, size_t> handles; // open handle -> index into installed
uintptr_t next_handle = 0x1000;
std::vector<std::string> log_lines;
std::vector<CompressorDialog> dialogs;

void reset_ic() {
    std::lock_guard<std::mutex> lock(mutex);
    installed.clear();
    handles.clear();
    next_handle = 0x1000;
    log_lines.clear();
    dialogs.clear();
}
ResetHook hook(&reset_ic);

// The manager matches codes without regard to case ('VIDC' finds 'vidc' compressors).
bool same_code(DWORD a, DWORD b) {
    for (int i = 0; i < 4; i++) {
        int ca = std::tolower((a >> (8 * i)) & 0xff), cb = std::tolower((b >> (8 * i)) & 0xff);
        if (ca != cb) return false;
    }
    return true;
}

std::string code_text(DWORD code) {
    std::string s;
    for (int i = 0; i < 4; i++) {
        char c = (char)((code >> (8 * i)) & 0xff);
        s += c ? c : ' ';
    }
    return s;
}

// Caller holds the mutex.
const FakeCompressor *lookup(HIC hic, std::string &name) {
    auto it = handles.find((uintptr_t)hic);
    if (it == handles.end()) return nullptr;
    name = code_text(installed[it->second].fccHandler);
    return &installed[it->second];
}

void copy_text(WCHAR *dst, size_t capacity, const std::u16string &src) {
    size_t n = std::min(src.size(), capacity - 1);
    std::copy(src.begin(), src.begin() + n, dst);
    dst[n] = 0;
}
} // namespace

void install_compressor(const FakeCompressor &compressor) {
    std::lock_guard<std::mutex> lock(mutex);
    installed.push_back(compressor);
}

int open_compressors() {
    std::lock_guard<std::mutex> lock(mutex);
    return (int)handles.size();
}

std::vector<std::string> compressor_log() {
    std::lock_guard<std::mutex> lock(mutex);
    return log_lines;
}

std::vector<CompressorDialog> compressor_dialogs() {
    std::lock_guard<std::mutex> lock(mutex);
    return dialogs;
}

} // namespace fakewin

using namespace fakewin;

BOOL ICInfo(DWORD fccType, DWORD fccHandler, ICINFO *info) {
    if (!info) return FALSE;
    std::lock_guard<std::mutex> lock(mutex);
    // A small handler value is an index among the compressors of the type, as on Windows;
    // otherwise it names a compressor by its code.
    DWORD index = 0;
    for (const FakeCompressor &c : installed) {
        if (!same_code(c.fccType, fccType)) continue;
        if (index == fccHandler || same_code(c.fccHandler, fccHandler)) {
            // Like the real manager, ICInfo names the driver only; the description comes
            // from ICGetInfo on an open handle.
            std::memset(info, 0, sizeof(*info));
            info->dwSize = sizeof(ICINFO);
            info->fccType = c.fccType;
            info->fccHandler = c.fccHandler;
            copy_text(info->szDriver, 128, u"fakewin.drv");
            return TRUE;
        }
        index++;
    }
    return FALSE;
}

HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT mode) {
    std::lock_guard<std::mutex> lock(mutex);
    for (size_t i = 0; i < installed.size(); i++) {
        const FakeCompressor &c = installed[i];
        if (!same_code(c.fccType, fccType) || !same_code(c.fccHandler, fccHandler)) continue;
        log_lines.push_back("open " + code_text(c.fccHandler) + " " + std::to_string(mode));
        if (c.open_fails) return nullptr;
        uintptr_t h = next_handle;
        next_handle += 4;
        handles[h] = i;
        return (HIC)h;
    }
    log_lines.push_back("open " + code_text(fccHandler) + " " + std::to_string(mode) +
                        " (not installed)");
    return nullptr;
}

LRESULT ICClose(HIC hic) {
    std::lock_guard<std::mutex> lock(mutex);
    std::string name;
    if (!lookup(hic, name)) {
        log_lines.push_back("close (bad handle)");
        return -8; // ICERR_BADHANDLE
    }
    handles.erase((uintptr_t)hic);
    log_lines.push_back("close " + name);
    return ICERR_OK;
}

LRESULT ICGetInfo(HIC hic, ICINFO *info, DWORD size) {
    std::lock_guard<std::mutex> lock(mutex);
    std::string name;
    const FakeCompressor *c = lookup(hic, name);
    if (!c || !info || size < sizeof(ICINFO)) return 0;
    std::memset(info, 0, sizeof(*info));
    info->dwSize = sizeof(ICINFO);
    info->fccType = c->fccType;
    info->fccHandler = c->fccHandler;
    info->dwVersionICM = 0x0104;
    std::u16string short_name;
    for (char ch : name)
        short_name += (char16_t)ch;
    copy_text(info->szName, 16, short_name);
    copy_text(info->szDescription, 128, c->description);
    copy_text(info->szDriver, 128, u"fakewin.drv");
    return sizeof(ICINFO);
}

LRESULT ICSendMessage(HIC hic, UINT msg, DWORD_PTR param1, DWORD_PTR param2) {
    std::unique_lock<std::mutex> lock(mutex);
    std::string name;
    const FakeCompressor *c = lookup(hic, name);
    if (!c) return -8; // ICERR_BADHANDLE
    switch (msg) {
    case ICM_COMPRESS_QUERY: {
        auto *in = (const BITMAPINFOHEADER *)param1;
        if (!in) return ICERR_BADFORMAT;
        char line[96];
        std::snprintf(line, sizeof line, "query %s %ldx%ldx%u", name.c_str(), (long)in->biWidth,
                      (long)in->biHeight, (unsigned)in->biBitCount);
        // A wanted output format is not modelled; the log says one was asked for.
        log_lines.push_back(std::string(line) + (param2 ? " to given format" : ""));
        // The callback runs unlocked so that it may look at the double itself.
        std::function<bool(const BITMAPINFOHEADER &)> accepts = c->accepts;
        lock.unlock();
        return !accepts || accepts(*in) ? ICERR_OK : ICERR_BADFORMAT;
    }
    case ICM_ABOUT:
    case ICM_CONFIGURE: {
        bool about = msg == ICM_ABOUT;
        bool has = about ? c->has_about : c->has_configure;
        const char *kind = about ? "about" : "configure";
        if (param1 == (DWORD_PTR)-1) {
            log_lines.push_back(std::string(kind) + "? " + name);
            return has ? ICERR_OK : ICERR_UNSUPPORTED;
        }
        if (!has) {
            log_lines.push_back(std::string(kind) + " " + name + " (none)");
            return ICERR_UNSUPPORTED;
        }
        log_lines.push_back(std::string(kind) + " " + name);
        dialogs.push_back({kind, name, (HWND)param1});
        return ICERR_OK;
    }
    default:
        return ICERR_UNSUPPORTED;
    }
}
