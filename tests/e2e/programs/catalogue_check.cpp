// The compressor catalogue on the real compression manager, for tests/e2e/catalogue/run.sh.
//
//   catalogue_check [HANDLER]   HANDLER: a compressor the catalogue must hold (e.g. MSVC)
//
// Prints the catalogue ("compressor: <index> <handler> <description> about=<0|1>
// configure=<0|1>"), then one "PASS: <check>" or "FAIL: <check>" line per check
// (tests/e2e/programs/report.h).
#include "recorder/scrcam.h"
#include "tests/e2e/programs/report.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Code(DWORD c) {
    std::string s;
    for (int i = 0; i < 4; i++)
        s += (char)((c >> (8 * i)) & 0xff);
    return s;
}

bool SameCode(DWORD a, DWORD b) {
    for (int i = 0; i < 4; i++)
        if (std::tolower((a >> (8 * i)) & 0xff) != std::tolower((b >> (8 * i)) & 0xff))
            return false;
    return true;
}

std::string Narrow(const WCHAR *text) {
    char buf[256];
    WideCharToMultiByte(CP_ACP, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

// The compressors that accept a 320 x 200 uncompressed frame at the screen's depth, asked of
// the manager directly, in its order and within its first 32 indices.
std::vector<DWORD> AcceptingHandlers(int bpp) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } probe = {};
    probe.header.biSize = sizeof(BITMAPINFOHEADER);
    probe.header.biWidth = 320;
    probe.header.biHeight = 200;
    probe.header.biPlanes = 1;
    probe.header.biBitCount = (WORD)bpp;
    probe.header.biCompression = BI_RGB;
    probe.header.biSizeImage = (320 * bpp + 31) / 32 * 4 * 200;
    probe.header.biClrUsed = bpp <= 8 ? 1u << bpp : 0;
    std::vector<DWORD> found;
    for (DWORD i = 0; i < 32; i++) {
        ICINFO info = {};
        if (!ICInfo(ICTYPE_VIDEO, i, &info)) continue;
        std::printf("installed: %lu %s\n", (unsigned long)i, Code(info.fccHandler).c_str());
        HIC hic = ICOpen(info.fccType, info.fccHandler, ICMODE_QUERY);
        if (!hic) continue;
        if (ICSendMessage(hic, ICM_COMPRESS_QUERY, (DWORD_PTR)&probe, 0) == ICERR_OK)
            found.push_back(info.fccHandler);
        ICClose(hic);
    }
    return found;
}

// Waits for a dialog window of this process owned by Owner, notes its title and closes it.
class DialogCloser {
  public:
    explicit DialogCloser(HWND owner) : owner(owner), worker([this] { Run(); }) {}
    ~DialogCloser() {
        stop = true;
        worker.join();
    }
    std::string Title() const { return seen ? title : std::string(); }
    bool Seen() const { return seen; }
    bool OwnedByOwner() const { return owned; }

  private:
    static BOOL CALLBACK Find(HWND hwnd, LPARAM lp) {
        auto *self = (DialogCloser *)lp;
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        char cls[64] = "";
        GetClassNameA(hwnd, cls, sizeof cls);
        if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd) || std::strcmp(cls, "#32770"))
            return TRUE;
        self->found = hwnd;
        return FALSE;
    }
    void Run() {
        DWORD end = GetTickCount() + 10000;
        while (!stop && GetTickCount() < end) {
            found = nullptr;
            EnumWindows(Find, (LPARAM)this);
            if (found) {
                char text[128] = "";
                GetWindowTextA(found, text, sizeof text);
                title = text;
                owned = GetWindow(found, GW_OWNER) == owner;
                seen = true;
                Sleep(200); // visible long enough for anyone watching the display
                PostMessageA(found, WM_COMMAND, IDOK, 0);
                PostMessageA(found, WM_CLOSE, 0, 0);
                return;
            }
            Sleep(20);
        }
    }
    HWND owner;
    HWND found = nullptr;
    std::string title;
    std::atomic<bool> seen{false}, owned{false}, stop{false};
    std::thread worker;
};

} // namespace

int main(int argc, char **argv) {
    std::string expected = argc > 1 ? argv[1] : "";
    auto cam = std::make_unique<TScreenCam>(nullptr);
    std::printf("screen: %d bits per pixel\n", cam->BitsPerPixel);

    std::vector<DWORD> accepting = AcceptingHandlers(cam->BitsPerPixel);
    cam->EnumerateCompressors();
    HWND owner =
        CreateWindowExA(0, "STATIC", "catalogue owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                        300, 120, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);

    bool same = cam->CompressorCount == (int)accepting.size();
    int about_index = -1;
    for (int i = 0; i < cam->CompressorCount; i++) {
        const ICINFO &e = cam->Compressors[i];
        bool about = false, configure = false;
        cam->QueryCompressorDialogs((uint8_t)i, about, configure);
        std::printf("compressor: %d %s %s about=%d configure=%d\n", i, Code(e.fccHandler).c_str(),
                    Narrow(e.szDescription).c_str(), about, configure);
        if (same && !SameCode(e.fccHandler, accepting[i])) same = false;
        if (about && about_index < 0) about_index = i;
    }
    std::fflush(stdout);
    ok(same,
       "the catalogue lists exactly the compressors that accept the screen's frames (%d listed, "
       "%d accept a 320x200 probe)",
       cam->CompressorCount, (int)accepting.size());
    int undescribed = 0;
    for (int i = 0; i < cam->CompressorCount; i++)
        undescribed += cam->Compressors[i].szDescription[0] == 0;
    ok(undescribed == 0, "every entry carries the compressor's description (%d without)",
       undescribed);

    if (!expected.empty()) {
        DWORD code = mmioFOURCC(expected[0], expected[1], expected[2], expected[3]);
        bool listed = false;
        for (int i = 0; i < cam->CompressorCount; i++)
            listed = listed || SameCode(cam->Compressors[i].fccHandler, code);
        ok(listed, "the catalogue holds %s", expected.c_str());
    }

    // Nothing selected (255) and past the end: no dialog, both answers false.
    {
        bool about = true, configure = true;
        cam->QueryCompressorDialogs(255, about, configure);
        DialogCloser closer(owner);
        cam->ShowCompressorAbout(255, owner);
        cam->ShowCompressorAbout((uint8_t)cam->CompressorCount, owner);
        Sleep(300);
        ok(!about && !configure && !closer.Seen(),
           "index 255 and the index past the end show nothing (about=%d configure=%d dialog=%d)",
           about, configure, (int)closer.Seen());
    }

    if (about_index >= 0) {
        DialogCloser closer(owner);
        DWORD start = GetTickCount();
        cam->ShowCompressorAbout((uint8_t)about_index, owner);
        DWORD took = GetTickCount() - start;
        std::printf("about: \"%s\" after %lu ms\n", closer.Title().c_str(), (unsigned long)took);
        ok(closer.Seen() && closer.OwnedByOwner(),
           "About shows the compressor's own dialog over the owner and returns when closed (%s)",
           !closer.Seen()          ? "no dialog appeared"
           : closer.OwnedByOwner() ? "owned by the owner"
                                   : "the dialog has another owner");
    } else {
        std::printf("about: no listed compressor has an About box\n");
    }

    DestroyWindow(owner);
    cam.reset();
    return report::exit_code();
}
