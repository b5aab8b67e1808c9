// Drives the Video 1 compressor DLL through the real Video for Windows API under Wine:
//   codec_check info                      list compressors at 32 bpp, show ours and its
//   About/Configure codec_check query                     compress queries at good and bad frame
//   sizes codec_check encode IN W H N OUT Q K B write IN (top-down BGRA frames) as a compressed
//   AVI,
//                                         handing the compressor B-bit input, quality Q, key every
//                                         K
//   codec_check decode IN OUT B           decode every frame of IN with the 'msvc' driver to B-bit
//                                         output, written top-down to OUT
//   codec_check gaps OUT W H             write one still picture at positions 0 1 2 4 6 8 9 10 12
//   codec_check play IN OUT               play IN through MCI into a window, grab the window (BGRA)
//   codec_check compare A B               compare two raw RGB555 files, bit 15 ignored
//   codec_check pixels                    convert 32-bit rows as this build does (SSE2 where the
//                                         processor has it), compare with each channel's top bits
//   codec_check compare555 A B W H X Y    compare a BGRA grab A (width W) at X,Y with the last
//                                         RGB555 frame of B (W x H), 5-bit values widened
#include "../programs/report.h" // beside the codec, this program has no project include path
#include "pixel_convert.h"
#include "video1_format.h"

#include <windows.h>
#include <vfw.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const DWORD kMsvc = mmioFOURCC('M', 'S', 'V', 'C');

// Releases an AVIFile interface pointer when it goes out of scope.
template <typename T> struct Com {
    T *p = nullptr;
    ~Com() {
        if (p) p->Release();
    }
};

struct Driver {
    HIC h;
    explicit Driver(HIC hic) : h(hic) {}
    ~Driver() {
        if (h) ICClose(h);
    }
};

std::string narrow(const WCHAR *w) {
    char buf[256];
    WideCharToMultiByte(CP_ACP, 0, w, -1, buf, sizeof buf, nullptr, nullptr);
    return buf;
}

std::string fourcc(DWORD f) {
    char s[5] = {char(f), char(f >> 8), char(f >> 16), char(f >> 24), 0};
    return s;
}

struct Dib {
    BITMAPINFOHEADER h;
    RGBQUAD palette[256];
};

Dib rgb_format(int w, int h, int bpp) {
    Dib d = {};
    d.h.biSize = sizeof d.h;
    d.h.biWidth = w;
    d.h.biHeight = h;
    d.h.biPlanes = 1;
    d.h.biBitCount = WORD(bpp);
    d.h.biCompression = BI_RGB;
    d.h.biSizeImage = DWORD(((w * bpp + 31) / 32) * 4 * h);
    if (bpp == 8) { // 3-3-2 levels
        d.h.biClrUsed = 256;
        for (int i = 0; i < 256; ++i)
            d.palette[i] = {BYTE((i & 3) * 85), BYTE(((i >> 2) & 7) * 255 / 7),
                            BYTE((i >> 5) * 255 / 7), 0};
    }
    return d;
}

int info() {
    Dib in = rgb_format(320, 240, 32);
    ICINFO ic = {};
    int ours = 0;
    for (DWORD i = 0; ICInfo(ICTYPE_VIDEO, i, &ic); ++i) {
        Driver d(ICOpen(ic.fccType, ic.fccHandler, ICMODE_QUERY));
        ICINFO full = {};
        if (!d.h || !ICGetInfo(d.h, &full, sizeof full)) {
            std::printf("vidc.%s (cannot open)\n", fourcc(ic.fccHandler).c_str());
            continue;
        }
        bool compress32 = ICCompressQuery(d.h, &in, nullptr) == ICERR_OK;
        std::string desc = narrow(full.szDescription);
        std::printf("vidc.%s \"%s\" compress32=%d\n", fourcc(ic.fccHandler).c_str(), desc.c_str(),
                    compress32);
        if ((ic.fccHandler | 0x20202020) == mmioFOURCC('m', 's', 'v', 'c') && compress32 &&
            desc.find("Video 1 compatible") != std::string::npos) {
            DWORD quality = 0;
            ICGetDefaultQuality(d.h);
            ICSendMessage(d.h, ICM_GETDEFAULTQUALITY, DWORD_PTR(&quality), 0);
            std::printf("  about=%d configure=%d default_quality=%lu flags=0x%lx\n",
                        ICQueryAbout(d.h), ICQueryConfigure(d.h), quality, full.dwFlags);
            ours = ICQueryAbout(d.h) && !ICQueryConfigure(d.h) && quality > 0 && quality <= 10000;
        }
    }
    ok(ours, "the Video 1 compressor is listed, compresses 32-bit frames, has About and no "
             "Configure and a default quality");
    return report::exit_code();
}

int query() {
    Driver d(ICOpen(ICTYPE_VIDEO, kMsvc, ICMODE_COMPRESS));
    if (!d.h) return std::printf("cannot open vidc.MSVC for compression\n"), 1;
    struct Case {
        int w, h, bpp;
        bool ok;
    } cases[] = {{321, 241, 32, false}, {324, 244, 32, true}, {324, 244, 24, true},
                 {324, 244, 16, true},  {324, 244, 8, true},  {324, 241, 32, false},
                 {322, 244, 32, false}, {324, 244, 4, false}};
    for (const Case &c : cases) {
        Dib in = rgb_format(c.w, c.h, c.bpp);
        bool accepted = ICCompressQuery(d.h, &in, nullptr) == ICERR_OK;
        ok(accepted == c.ok, "%dx%dx%d %s", c.w, c.h, c.bpp, accepted ? "accepted" : "refused");
    }
    return report::exit_code();
}

// Top-down BGRA to a bottom-up DIB of the requested depth.
void to_dib(const BYTE *bgra, int w, int h, const Dib &f, std::vector<BYTE> &bits) {
    int bpp = f.h.biBitCount, stride = ((w * bpp + 31) / 32) * 4;
    bits.assign(size_t(stride) * h, 0);
    for (int y = 0; y < h; ++y) {
        const BYTE *s = bgra + size_t(h - 1 - y) * w * 4;
        BYTE *d = bits.data() + size_t(y) * stride;
        for (int x = 0; x < w; ++x, s += 4) {
            int b = s[0], g = s[1], r = s[2];
            switch (bpp) {
            case 32:
                std::memcpy(d + 4 * x, s, 4);
                break;
            case 24:
                d[3 * x] = BYTE(b), d[3 * x + 1] = BYTE(g), d[3 * x + 2] = BYTE(r);
                break;
            case 16: {
                int v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
                d[2 * x] = BYTE(v), d[2 * x + 1] = BYTE(v >> 8);
                break;
            }
            case 8:
                d[x] = BYTE(((r >> 5) << 5) | ((g >> 5) << 2) | (b >> 6));
                break;
            }
        }
    }
}

struct CompressedAvi {
    Com<IAVIFile> file;
    Com<IAVIStream> raw, compressed;
};

// A new AVI at `out_path` with one video stream compressed by 'MSVC' from `format` frames.
HRESULT create_compressed(CompressedAvi &avi, const char *out_path, const Dib &format, int quality,
                          int key_every) {
    DeleteFileA(out_path);
    HRESULT hr = AVIFileOpenA(&avi.file.p, out_path, OF_CREATE | OF_WRITE, nullptr);
    int w = format.h.biWidth, h = format.h.biHeight, bpp = format.h.biBitCount;
    AVISTREAMINFOA si = {};
    si.fccType = streamtypeVIDEO;
    si.dwScale = 1;
    si.dwRate = 10;
    si.dwSuggestedBufferSize = format.h.biSizeImage;
    SetRect(&si.rcFrame, 0, 0, w, h);
    if (hr == 0) hr = AVIFileCreateStreamA(avi.file.p, &avi.raw.p, &si);
    AVICOMPRESSOPTIONS options = {};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = kMsvc;
    options.dwQuality = DWORD(quality);
    options.dwKeyFrameEvery = DWORD(key_every);
    options.dwFlags = AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID;
    if (hr == 0) hr = AVIMakeCompressedStream(&avi.compressed.p, avi.raw.p, &options, nullptr);
    LONG format_size = LONG(sizeof format.h + (bpp == 8 ? 256 * sizeof(RGBQUAD) : 0));
    if (hr == 0)
        hr = AVIStreamSetFormat(avi.compressed.p, 0, const_cast<Dib *>(&format), format_size);
    if (hr != 0) std::printf("creating the compressed stream failed: 0x%lx\n", hr);
    return hr;
}

int encode(const char *in_path, int w, int h, int n, const char *out_path, int quality,
           int key_every, int bpp) {
    FILE *in = std::fopen(in_path, "rb");
    if (!in) return std::printf("cannot read %s\n", in_path), 1;
    Dib format = rgb_format(w, h, bpp);
    CompressedAvi avi;
    if (create_compressed(avi, out_path, format, quality, key_every) != 0) return 1;
    HRESULT hr;
    std::vector<BYTE> frame(size_t(w) * h * 4), bits;
    int written = 0;
    for (; written < n && std::fread(frame.data(), frame.size(), 1, in) == 1; ++written) {
        to_dib(frame.data(), w, h, format, bits);
        hr = AVIStreamWrite(avi.compressed.p, written, 1, bits.data(), LONG(bits.size()), 0,
                            nullptr, nullptr);
        if (hr != 0) return std::printf("write %d failed: 0x%lx\n", written, hr), 1;
    }
    std::fclose(in);
    return ok(written == n, "wrote %d of %d frames", written, n) ? 0 : 1;
}

// A recorder that falls behind leaves positions empty: a still picture must stay all-skip
// across the gaps (sizes and key frames are checked on the file afterwards).
int gaps(const char *out_path, int w, int h) {
    Dib format = rgb_format(w, h, 32);
    std::vector<BYTE> picture(size_t(w) * h * 4), bits;
    for (size_t i = 0; i < picture.size(); ++i)
        picture[i] = BYTE((i * 37) ^ (i / 4 / w * 11));
    to_dib(picture.data(), w, h, format, bits);
    CompressedAvi avi;
    if (create_compressed(avi, out_path, format, 7500, 0) != 0) return 1;
    for (LONG position : {0, 1, 2, 4, 6, 8, 9, 10, 12}) {
        HRESULT hr = AVIStreamWrite(avi.compressed.p, position, 1, bits.data(), LONG(bits.size()),
                                    0, nullptr, nullptr);
        if (hr != 0) return std::printf("write at %ld failed: 0x%lx\n", position, hr), 1;
    }
    return 0;
}

int decode(const char *in_path, const char *out_path, int bpp) {
    Com<IAVIFile> file;
    Com<IAVIStream> stream;
    if (AVIFileOpenA(&file.p, in_path, OF_READ, nullptr) != 0 ||
        AVIFileGetStream(file.p, &stream.p, streamtypeVIDEO, 0) != 0)
        return std::printf("cannot open %s\n", in_path), 1;
    LONG size = 0;
    AVIStreamReadFormat(stream.p, 0, nullptr, &size);
    std::vector<BYTE> format_bytes(size_t(size) + 1024);
    AVIStreamReadFormat(stream.p, 0, format_bytes.data(), &size);
    auto *in = reinterpret_cast<BITMAPINFOHEADER *>(format_bytes.data());
    Driver d(ICOpen(ICTYPE_VIDEO, mmioFOURCC('m', 's', 'v', 'c'), ICMODE_DECOMPRESS));
    ICINFO info = {};
    if (!d.h || !ICGetInfo(d.h, &info, sizeof info))
        return std::printf("cannot open vidc.msvc for decompression\n"), 1;
    std::printf("decoder: %s\n", narrow(info.szDescription).c_str());
    int w = in->biWidth, h = in->biHeight;
    Dib out = rgb_format(w, h, bpp);
    if (ICDecompressQuery(d.h, in, &out) != ICERR_OK ||
        ICDecompressBegin(d.h, in, &out) != ICERR_OK)
        return std::printf("decompressor refuses %d-bit output\n", bpp), 1;
    FILE *o = std::fopen(out_path, "wb");
    int stride = ((w * bpp + 31) / 32) * 4, row = w * bpp / 8, frames = 0;
    std::vector<BYTE> data(size_t(w) * h * 3 + 1024), pixels(size_t(stride) * h);
    for (LONG i = AVIStreamStart(stream.p); i < AVIStreamEnd(stream.p); ++i, ++frames) {
        LONG bytes = 0;
        if (AVIStreamRead(stream.p, i, 1, data.data(), LONG(data.size()), &bytes, nullptr) != 0)
            return std::printf("read %ld failed\n", i), 1;
        in->biSizeImage = DWORD(bytes);
        if (ICDecompress(d.h, 0, in, data.data(), &out.h, pixels.data()) != ICERR_OK)
            return std::printf("decompress %ld failed\n", i), 1;
        for (int y = h - 1; y >= 0; --y)
            std::fwrite(pixels.data() + size_t(y) * stride, row, 1, o);
    }
    ICDecompressEnd(d.h);
    std::fclose(o);
    std::printf("decoded %d frames\n", frames);
    return 0;
}

LRESULT CALLBACK plain_window(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd, msg, wp, lp);
}

int play(const char *in_path, const char *out_path) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = plain_window;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "codec_check";
    wc.hbrBackground = HBRUSH(GetStockObject(BLACK_BRUSH));
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(WS_EX_TOPMOST, "codec_check", "codec_check", WS_POPUP | WS_VISIBLE,
                                0, 0, 400, 300, nullptr, nullptr, wc.hInstance, nullptr);
    char cmd[600], answer[128] = "";
    std::snprintf(cmd, sizeof cmd, "open \"%s\" alias clip", in_path);
    MCIERROR e = mciSendStringA(cmd, answer, sizeof answer, nullptr);
    if (e) return std::printf("mci open failed: %lu\n", e), 1;
    std::snprintf(cmd, sizeof cmd, "window clip handle %lu", (unsigned long)(DWORD_PTR)hwnd);
    e = mciSendStringA(cmd, nullptr, 0, nullptr);
    // Unstretched, so the window shows the decoded pixels one to one.
    if (!e) e = mciSendStringA("where clip source", answer, sizeof answer, nullptr);
    if (!e) std::snprintf(cmd, sizeof cmd, "put clip destination at %s", answer);
    if (!e) e = mciSendStringA(cmd, nullptr, 0, nullptr);
    if (!e) e = mciSendStringA("play clip wait", nullptr, 0, nullptr);
    if (e) return std::printf("mci play failed: %lu\n", e), 1;
    MSG m;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
        Sleep(10);
    }
    RECT r;
    GetClientRect(hwnd, &r);
    int w = r.right, h = r.bottom;
    Dib f = rgb_format(w, -h, 32);
    void *bits = nullptr;
    HDC screen = GetDC(hwnd), mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO *>(&f), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    GdiFlush();
    FILE *o = std::fopen(out_path, "wb");
    std::fwrite(bits, size_t(w) * h * 4, 1, o);
    std::fclose(o);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(hwnd, screen);
    mciSendStringA("close clip", nullptr, 0, nullptr);
    DestroyWindow(hwnd);
    std::printf("grabbed %dx%d\n", w, h);
    return 0;
}

std::vector<BYTE> read_file(const char *path) {
    std::vector<BYTE> data;
    if (FILE *f = std::fopen(path, "rb")) {
        BYTE buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            data.insert(data.end(), buf, buf + n);
        std::fclose(f);
    }
    return data;
}

int compare(const char *a_path, const char *b_path) {
    std::vector<BYTE> a = read_file(a_path), b = read_file(b_path);
    if (a.empty() || a.size() != b.size())
        return std::printf("sizes differ: %zu vs %zu bytes\n", a.size(), b.size()), 1;
    size_t differ = 0;
    for (size_t i = 0; i + 1 < a.size(); i += 2)
        differ += ((a[i] | (a[i + 1] << 8)) & 0x7FFF) != ((b[i] | (b[i + 1] << 8)) & 0x7FFF);
    return ok(differ == 0, "%zu of %zu pixels differ", differ, a.size() / 2) ? 0 : 1;
}

// The window after playback shows one of the last frames (Wine stops a frame early): find the
// frame the grab equals exactly. A match after frame 0 shows playback ran and decoded exactly.
int compare_grab(const char *grab_path, const char *frames_path, int grab_w, int w, int h, int x0,
                 int y0) {
    std::vector<BYTE> g = read_file(grab_path), f = read_file(frames_path);
    size_t frame = size_t(w) * h * 2;
    if (f.size() < frame || g.size() < size_t(grab_w) * (y0 + h) * 4)
        return std::printf("files too small\n"), 1;
    int match = -1;
    size_t fewest = SIZE_MAX;
    for (size_t k = 0; k < f.size() / frame; ++k) {
        const BYTE *fr = f.data() + k * frame;
        size_t differ = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int v = fr[2 * (size_t(y) * w + x)] | (fr[2 * (size_t(y) * w + x) + 1] << 8);
                const BYTE *p = g.data() + 4 * (size_t(y0 + y) * grab_w + x0 + x);
                differ += (p[0] >> 3) != (v & 31) || (p[1] >> 3) != ((v >> 5) & 31) ||
                          (p[2] >> 3) != ((v >> 10) & 31);
            }
        if (differ < fewest) fewest = differ, match = int(k);
    }
    return ok(fewest == 0 && match > 0, "closest frame %d of %zu: %zu of %d pixels differ", match,
              f.size() / frame, fewest, w * h)
               ? 0
               : 1;
}

// Row y sweeps channel y through every level, at a width that leaves a tail after the vector
// steps; the other channels and the fourth byte vary.
int pixels() {
    const int w = 259, h = 3;
    std::vector<BYTE> bgra((size_t)w * h * 4);
    for (size_t i = 0; i < bgra.size(); i++)
        bgra[i] = (BYTE)(i % 4 == i / 4 / w ? i / 4 % w : i * 37 + 11);
    std::vector<std::uint16_t> out((size_t)w * h);
    video1::dib_to_rgb555(bgra.data(), w, h, 32, false, nullptr, 0, out.data());
    size_t differ = 0;
    for (size_t i = 0; i < out.size(); i++) {
        const BYTE *p = &bgra[i * 4];
        differ += out[i] != video1::pack555(p[2] >> 3, p[1] >> 3, p[0] >> 3);
    }
    return ok(differ == 0, "%zu of %zu converted pixels differ", differ, out.size()) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    int rc = 2;
    AVIFileInit();
    if (cmd == "info")
        rc = info();
    else if (cmd == "query")
        rc = query();
    else if (cmd == "encode" && argc == 10)
        rc = encode(argv[2], atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), argv[6], atoi(argv[7]),
                    atoi(argv[8]), atoi(argv[9]));
    else if (cmd == "decode" && argc == 5)
        rc = decode(argv[2], argv[3], atoi(argv[4]));
    else if (cmd == "gaps" && argc == 5)
        rc = gaps(argv[2], atoi(argv[3]), atoi(argv[4]));
    else if (cmd == "play" && argc == 4)
        rc = play(argv[2], argv[3]);
    else if (cmd == "pixels")
        rc = pixels();
    else if (cmd == "compare" && argc == 4)
        rc = compare(argv[2], argv[3]);
    else if (cmd == "compare555" && argc == 9)
        rc = compare_grab(argv[2], argv[3], atoi(argv[4]), atoi(argv[5]), atoi(argv[6]),
                          atoi(argv[7]), atoi(argv[8]));
    else
        std::printf("usage: codec_check info|query|encode|decode|play ...\n");
    AVIFileExit();
    std::fflush(stdout);
    return rc;
}
