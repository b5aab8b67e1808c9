// The Video for Windows driver around the Video 1 core: message handling only. It compresses
// 8/16/24/32-bit RGB into 16-bit Video 1 and, because registering 'MSVC' hides the system's own
// decoder, also decompresses 8- and 16-bit Video 1 for playback.
#ifdef _WIN32
#include <windows.h>
#include <vfw.h>
#else // the native build, for the driver's own test
#include "fakewin/vfw_driver.h"
#include "fakewin/windows.h"
#endif

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pixel_convert.h"
#include "video1_decoder.h"
#include "video1_encoder.h"

namespace {

const DWORD kVidc = mmioFOURCC('v', 'i', 'd', 'c');
const DWORD kMsvc = mmioFOURCC('M', 'S', 'V', 'C');

// A host in a 32-bit process holds a frame of up to 4 bytes a pixel and its compressed copy, and
// the driver 6 bytes a pixel more (its input, the reference and the previous input): at 2^26
// pixels (8192 x 8192) that is about 750 MB of a 2 GB address space, twice that would rarely
// find room. Larger frames are refused instead of failing later for want of memory.
const std::size_t kMaxPixels = std::size_t(1) << 26;

// Headers from BITMAPV2INFOHEADER on carry the colour masks themselves, at this offset.
const DWORD kMasksOffset = sizeof(BITMAPINFOHEADER);
const DWORD kHeaderWithMasksSize = kMasksOffset + 3 * sizeof(DWORD);

struct Instance {
    DWORD quality = video1::kDefaultQuality;
    // Compression: the core encoder keeps its own reference frame.
    std::unique_ptr<video1::Encoder> encoder;
    std::vector<std::uint16_t> input;
    LONG last_frame = -1;
    // Decompression: the picture persists between frames because of skipped blocks.
    std::vector<std::uint16_t> picture16;
    std::vector<std::uint8_t> picture8;
    std::uint32_t palette[256] = {};
    int palette_size = 0;
};

DWORD lower_fourcc(DWORD f) {
    DWORD r = 0;
    for (int i = 0; i < 32; i += 8) {
        DWORD c = (f >> i) & 0xFF;
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
        r |= c << i;
    }
    return r;
}

LONG abs_height(const BITMAPINFOHEADER *h) { return h->biHeight < 0 ? -h->biHeight : h->biHeight; }

bool within_memory_limit(LONG width, LONG height) {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) <= kMaxPixels;
}

bool compress_input_ok(const BITMAPINFOHEADER *in) {
    if (!in || in->biCompression != BI_RGB || in->biPlanes != 1) return false;
    if (in->biBitCount != 8 && in->biBitCount != 16 && in->biBitCount != 24 && in->biBitCount != 32)
        return false;
    return video1::valid_frame_size(in->biWidth, abs_height(in)) &&
           within_memory_limit(in->biWidth, abs_height(in));
}

bool compress_output_ok(const BITMAPINFOHEADER *in, const BITMAPINFOHEADER *out) {
    if (!out) return true;
    DWORD fcc = lower_fourcc(out->biCompression);
    return (fcc == mmioFOURCC('m', 's', 'v', 'c') || fcc == mmioFOURCC('c', 'r', 'a', 'm')) &&
           out->biBitCount == 16 && out->biWidth == in->biWidth && out->biHeight > 0 &&
           out->biHeight == abs_height(in);
}

void fill_compressed_format(const BITMAPINFOHEADER *in, BITMAPINFOHEADER *out) {
    std::memset(out, 0, sizeof *out);
    out->biSize = sizeof *out;
    out->biWidth = in->biWidth;
    out->biHeight = abs_height(in);
    out->biPlanes = 1;
    out->biBitCount = 16;
    out->biCompression = kMsvc;
    out->biSizeImage = static_cast<DWORD>(video1::max_frame_size16(in->biWidth, abs_height(in)));
}

bool decompress_input_ok(const BITMAPINFOHEADER *in) {
    if (!in) return false;
    DWORD fcc = lower_fourcc(in->biCompression);
    if (fcc != mmioFOURCC('m', 's', 'v', 'c') && fcc != mmioFOURCC('c', 'r', 'a', 'm') &&
        fcc != mmioFOURCC('w', 'h', 'a', 'm'))
        return false;
    return (in->biBitCount == 8 || in->biBitCount == 16) && in->biWidth >= 4 &&
           in->biWidth <= 32768 && in->biHeight >= 4 && in->biHeight <= 32768 &&
           within_memory_limit(in->biWidth, in->biHeight);
}

// RGB565 output is the one 16-bit bit-field layout offered besides RGB555. The masks follow a
// 40-byte header (in the colour table) and sit inside every longer header (V4, V5), at the same
// offset; a header too short to hold them where it claims to is refused.
bool is_rgb565(const BITMAPINFOHEADER *out) {
    if (out->biCompression != BI_BITFIELDS || out->biBitCount != 16) return false;
    if (out->biSize != sizeof(BITMAPINFOHEADER) && out->biSize < kHeaderWithMasksSize) return false;
    DWORD masks[3];
    std::memcpy(masks, reinterpret_cast<const BYTE *>(out) + kMasksOffset, sizeof masks);
    return masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F;
}

bool decompress_output_ok(const BITMAPINFOHEADER *in, const BITMAPINFOHEADER *out) {
    if (!out) return true;
    if (out->biWidth != in->biWidth || abs_height(out) != in->biHeight) return false;
    if (out->biCompression == BI_RGB)
        return out->biBitCount == 16 || out->biBitCount == 24 || out->biBitCount == 32 ||
               (out->biBitCount == 8 && in->biBitCount == 8);
    return is_rgb565(out);
}

int palette_entries(const BITMAPINFOHEADER *h) {
    if (h->biBitCount > 8) return 0;
    return h->biClrUsed ? static_cast<int>(h->biClrUsed) : 1 << h->biBitCount;
}

int read_palette(const BITMAPINFOHEADER *h, std::uint32_t *out) {
    int n = palette_entries(h);
    if (n > 256) n = 256;
    const RGBQUAD *q =
        reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const BYTE *>(h) + h->biSize);
    for (int i = 0; i < n; ++i)
        out[i] =
            (static_cast<std::uint32_t>(q[i].rgbRed) << 16) | (q[i].rgbGreen << 8) | q[i].rgbBlue;
    return n;
}

// Playback decodes 16-bit Video 1 to RGB555 at 16 bits, and 8-bit Video 1 to its palette.
LRESULT decompress_get_format(const BITMAPINFOHEADER *in, BITMAPINFOHEADER *out) {
    if (!decompress_input_ok(in)) return ICERR_BADFORMAT;
    int colours = in->biBitCount == 8 ? palette_entries(in) : 0;
    if (colours > 256) colours = 256;
    DWORD size = sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
    if (!out) return size;
    std::memcpy(out, in, sizeof(BITMAPINFOHEADER));
    // The palette follows the input header wherever its biSize puts it.
    std::memcpy(reinterpret_cast<BYTE *>(out) + sizeof(BITMAPINFOHEADER),
                reinterpret_cast<const BYTE *>(in) + in->biSize, colours * sizeof(RGBQUAD));
    out->biSize = sizeof(BITMAPINFOHEADER);
    out->biCompression = BI_RGB;
    out->biClrUsed = colours;
    out->biSizeImage =
        static_cast<DWORD>(video1::dib_stride(in->biWidth, out->biBitCount) * in->biHeight);
    return ICERR_OK;
}

LRESULT decompress_begin(Instance &inst, const BITMAPINFOHEADER *in, const BITMAPINFOHEADER *out) {
    if (!decompress_input_ok(in) || !out || !decompress_output_ok(in, out)) return ICERR_BADFORMAT;
    std::size_t pixels = static_cast<std::size_t>(in->biWidth) * in->biHeight;
    if (in->biBitCount == 16) {
        inst.picture16.assign(pixels, 0);
        inst.picture8.clear();
    } else {
        inst.picture8.assign(pixels, 0);
        inst.picture16.clear();
        inst.palette_size = read_palette(in, inst.palette);
    }
    return ICERR_OK;
}

LRESULT decompress(Instance &inst, const ICDECOMPRESS *d) {
    if (!d || !d->lpbiInput || !d->lpbiOutput || !d->lpOutput) return ICERR_BADPARAM;
    const BITMAPINFOHEADER *in = d->lpbiInput;
    const BITMAPINFOHEADER *out = d->lpbiOutput;
    if (!decompress_input_ok(in) || !decompress_output_ok(in, out)) return ICERR_BADFORMAT;
    std::size_t pixels = static_cast<std::size_t>(in->biWidth) * in->biHeight;
    bool ready =
        in->biBitCount == 16 ? inst.picture16.size() == pixels : inst.picture8.size() == pixels;
    if (!ready) {
        LRESULT r = decompress_begin(inst, in, out);
        if (r != ICERR_OK) return r;
    }
    // A null frame, or an empty chunk, repeats the held picture; with no size given there is no
    // telling how far the data may be read, so none is.
    bool null_frame = (d->dwFlags & ICDECOMPRESS_NULLFRAME) || !d->lpInput || in->biSizeImage == 0;
    const auto *data = static_cast<const std::uint8_t *>(d->lpInput);
    auto *bits = static_cast<std::uint8_t *>(d->lpOutput);
    bool top_down = out->biHeight < 0, rgb565 = is_rgb565(out);
    bool whole = true;
    if (in->biBitCount == 16) {
        if (!null_frame)
            whole = video1::decode16(data, in->biSizeImage, in->biWidth, in->biHeight,
                                     inst.picture16.data());
        video1::rgb555_to_dib(inst.picture16.data(), in->biWidth, in->biHeight, out->biBitCount,
                              top_down, rgb565, bits);
    } else {
        if (!null_frame)
            whole = video1::decode8(data, in->biSizeImage, in->biWidth, in->biHeight,
                                    inst.picture8.data());
        video1::indices_to_dib(inst.picture8.data(), in->biWidth, in->biHeight, inst.palette,
                               inst.palette_size, out->biBitCount, top_down, rgb565, bits);
    }
    return whole ? ICERR_OK : ICERR_BADFORMAT;
}

LRESULT compress_begin(Instance &inst, const BITMAPINFOHEADER *in, const BITMAPINFOHEADER *out) {
    if (!compress_input_ok(in) || !compress_output_ok(in, out)) return ICERR_BADFORMAT;
    int w = in->biWidth, h = abs_height(in);
    if (!inst.encoder || inst.encoder->width() != w || inst.encoder->height() != h) {
        // The old buffers go first, and the new ones are kept only together: a failed
        // allocation leaves no encoder rather than one whose input buffer has the wrong size.
        inst.encoder.reset();
        inst.input = std::vector<std::uint16_t>();
        auto encoder = std::make_unique<video1::Encoder>(w, h);
        inst.input.assign(static_cast<std::size_t>(w) * h, 0);
        inst.encoder = std::move(encoder);
    }
    inst.encoder->forget_reference();
    inst.last_frame = -1;
    return ICERR_OK;
}

// A quality the host gives: ICQUALITY_DEFAULT, or up to ICQUALITY_HIGH with all above it the top.
DWORD top_quality(DWORD quality) {
    if (quality == static_cast<DWORD>(ICQUALITY_DEFAULT)) return video1::kDefaultQuality;
    return quality > ICQUALITY_HIGH ? ICQUALITY_HIGH : quality;
}

LRESULT compress(Instance &inst, ICCOMPRESS *c) {
    if (!c || !c->lpbiInput || !c->lpInput || !c->lpbiOutput || !c->lpOutput) return ICERR_BADPARAM;
    const BITMAPINFOHEADER *in = c->lpbiInput;
    int w = in->biWidth, h = abs_height(in);
    if (!inst.encoder || inst.encoder->width() != w || inst.encoder->height() != h) {
        LRESULT r = compress_begin(inst, in, c->lpbiOutput);
        if (r != ICERR_OK) return r;
    } else if (!compress_input_ok(in)) {
        return ICERR_BADFORMAT;
    }
    std::uint32_t palette[256];
    int colours = in->biBitCount == 8 ? read_palette(in, palette) : 0;
    video1::dib_to_rgb555(static_cast<const std::uint8_t *>(c->lpInput), w, h, in->biBitCount,
                          in->biHeight < 0, palette, colours, inst.input.data());
    // Positions left empty (a recorder that fell behind) do not break the chain of deltas; a
    // position that repeats or goes back does (the host starts over or seeks).
    bool key = (c->dwFlags & ICCOMPRESS_KEYFRAME) || !inst.encoder->has_reference() ||
               c->lFrameNum <= inst.last_frame;
    DWORD quality = c->dwQuality == static_cast<DWORD>(ICQUALITY_DEFAULT)
                        ? inst.quality
                        : top_quality(c->dwQuality);
    std::size_t size = inst.encoder->encode(inst.input.data(), static_cast<int>(quality), key,
                                            static_cast<std::uint8_t *>(c->lpOutput));
    c->lpbiOutput->biSizeImage = static_cast<DWORD>(size);
    if (c->lpdwFlags) *c->lpdwFlags = key ? AVIIF_KEYFRAME : 0;
    inst.last_frame = c->lFrameNum;
    return ICERR_OK;
}

LRESULT get_info(ICINFO *info, DWORD size) {
    if (!info || size < sizeof(ICINFO)) return 0;
    std::memset(info, 0, sizeof *info);
    info->dwSize = sizeof *info;
    info->fccType = ICTYPE_VIDEO;
    info->fccHandler = kMsvc;
    info->dwFlags = VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC;
    info->dwVersion = 1;
    info->dwVersionICM = ICVERSION;
    lstrcpynW(info->szName, L"Video 1", sizeof info->szName / sizeof(WCHAR));
    lstrcpynW(info->szDescription, L"Video 1 compatible compressor (Quillet)",
              sizeof info->szDescription / sizeof(WCHAR));
    return sizeof(ICINFO);
}

LRESULT open_instance(const ICOPEN *open) {
    // The first open of a driver carries no ICOPEN; it only asks whether the driver loads.
    if (!open) return 1;
    if (lower_fourcc(open->fccType) != kVidc) {
        return 0;
    }
    // The driver's instance outlives this call: the system hands the pointer back as the driver
    // id with every message until DRV_CLOSE.
    std::unique_ptr<Instance> inst(new (std::nothrow) Instance);
    const_cast<ICOPEN *>(open)->dwError = inst ? ICERR_OK : ICERR_MEMORY;
    return reinterpret_cast<LRESULT>(inst.release());
}

LRESULT instance_message(Instance &inst, UINT msg, LPARAM p1, LPARAM p2) {
    auto *in = reinterpret_cast<BITMAPINFOHEADER *>(p1);
    auto *out = reinterpret_cast<BITMAPINFOHEADER *>(p2);
    switch (msg) {
    case ICM_COMPRESS_QUERY:
        return compress_input_ok(in) && compress_output_ok(in, out) ? ICERR_OK : ICERR_BADFORMAT;
    case ICM_COMPRESS_GET_FORMAT:
        if (!compress_input_ok(in)) return ICERR_BADFORMAT;
        if (!out) return sizeof(BITMAPINFOHEADER);
        fill_compressed_format(in, out);
        return ICERR_OK;
    case ICM_COMPRESS_GET_SIZE:
        if (!compress_input_ok(in)) return ICERR_BADFORMAT;
        return static_cast<LRESULT>(video1::max_frame_size16(in->biWidth, abs_height(in)));
    case ICM_COMPRESS_FRAMES_INFO: {
        // The host's quality is a DWORD here read as a LONG: 2^31 and more are past the top.
        const auto *f = reinterpret_cast<const ICCOMPRESSFRAMES *>(p1);
        if (f) inst.quality = top_quality(f->lQuality);
        return ICERR_OK;
    }
    case ICM_COMPRESS_BEGIN:
        return compress_begin(inst, in, out);
    case ICM_COMPRESS:
        return compress(inst, reinterpret_cast<ICCOMPRESS *>(p1));
    case ICM_COMPRESS_END:
        // Wine's compressed stream never closes the driver: give the memory back here.
        inst.encoder.reset();
        inst.input = std::vector<std::uint16_t>();
        return ICERR_OK;
    case ICM_DECOMPRESS_QUERY:
        return decompress_input_ok(in) && decompress_output_ok(in, out) ? ICERR_OK
                                                                        : ICERR_BADFORMAT;
    case ICM_DECOMPRESS_GET_FORMAT:
        return decompress_get_format(in, out);
    case ICM_DECOMPRESS_BEGIN:
        return decompress_begin(inst, in, out);
    case ICM_DECOMPRESS:
        return decompress(inst, reinterpret_cast<const ICDECOMPRESS *>(p1));
    case ICM_DECOMPRESS_END:
        inst.picture16 = std::vector<std::uint16_t>();
        inst.picture8 = std::vector<std::uint8_t>();
        return ICERR_OK;
    }
    return ICERR_UNSUPPORTED;
}

} // namespace

extern "C" LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2) {
    // Id 1 is the instance-less open that precedes real ones.
    Instance *inst = id > 1 ? reinterpret_cast<Instance *>(id) : nullptr;
    switch (msg) {
    case DRV_LOAD:
    case DRV_ENABLE:
    case DRV_DISABLE:
    case DRV_FREE:
        return 1;
    case DRV_OPEN:
        return open_instance(reinterpret_cast<const ICOPEN *>(p2));
    case DRV_CLOSE:
        std::unique_ptr<Instance>{inst};
        return 1;
    case DRV_QUERYCONFIGURE:
        return 0;
    case ICM_GETINFO:
        return get_info(reinterpret_cast<ICINFO *>(p1), static_cast<DWORD>(p2));
    case ICM_GETDEFAULTQUALITY:
        if (!p1) return ICERR_BADPARAM;
        *reinterpret_cast<DWORD *>(p1) = video1::kDefaultQuality;
        return ICERR_OK;
    case ICM_GETSTATE:
    case ICM_SETSTATE:
        return 0;
    case ICM_ABOUT:
        if (p1 != -1)
            MessageBoxW(reinterpret_cast<HWND>(p1),
                        L"Video 1 compatible compressor for Quillet.\n"
                        L"Writes 16-bit Video 1 (RGB555) and plays 8- and 16-bit Video 1.",
                        L"About Video 1", MB_OK | MB_ICONINFORMATION);
        return ICERR_OK;
    case ICM_CONFIGURE:
        return ICERR_UNSUPPORTED; // nothing to configure, for the query (-1) as for the dialog
    }
    if (msg < DRV_USER) return DefDriverProc(id, driver, msg, p1, p2);
    if (!inst) return ICERR_UNSUPPORTED;
    // Nothing may escape into the host: a failed allocation (the begin handlers, a frame that
    // begins implicitly) is reported as the lack of memory it is.
    try {
        return instance_message(*inst, msg, p1, p2);
    } catch (const std::bad_alloc &) {
        return ICERR_MEMORY;
    }
}
