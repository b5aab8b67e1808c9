// The compressor driver as a host drives it: open, begin, frames, end, close, through DriverProc,
// with the sequences and the bad input a host can send.
#include "codec_stream.h"
#include "pixel_convert.h"
#include "video1_encoder.h"
#include "video1_format.h"

#include "fakewin/vfw_driver.h"
#include "fakewin/windows.h"

#include <gtest/gtest.h>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

extern "C" LRESULT CALLBACK DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2);

// Allocations of at least this many bytes fail while a test says so: a 32-bit host runs out of
// address space long before this machine runs out of memory.
static std::atomic<std::size_t> g_fail_allocations_from{SIZE_MAX};

// The replacements below pair malloc with free themselves; an optimised build's check that
// free meets malloc does not see through operator new.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t size) {
    if (size >= g_fail_allocations_from) throw std::bad_alloc();
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (size >= g_fail_allocations_from) return nullptr;
    return std::malloc(size ? size : 1);
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

using Bytes = std::vector<std::uint8_t>;

struct FailLargeAllocations {
    explicit FailLargeAllocations(std::size_t from) { g_fail_allocations_from = from; }
    ~FailLargeAllocations() { g_fail_allocations_from = SIZE_MAX; }
};

BITMAPINFOHEADER rgb(int w, int h, int bpp) {
    BITMAPINFOHEADER b = {};
    b.biSize = sizeof b;
    b.biWidth = w, b.biHeight = h, b.biPlanes = 1, b.biBitCount = WORD(bpp);
    b.biCompression = BI_RGB;
    b.biSizeImage = DWORD(video1::dib_stride(w, bpp) * h);
    return b;
}

BITMAPINFOHEADER compressed_format(int w, int h) {
    BITMAPINFOHEADER b = rgb(w, h, 16);
    b.biCompression = mmioFOURCC('M', 'S', 'V', 'C');
    b.biSizeImage = DWORD(video1::max_frame_size16(w, h));
    return b;
}

// A BITMAPV4HEADER-sized (108 bytes) or V5-sized (124) header with its masks at offset 40, in a
// block of exactly that size so that a read past it shows under AddressSanitizer.
Bytes rgb565_header(int w, int h, DWORD size) {
    Bytes b(size, 0);
    BITMAPINFOHEADER head = rgb(w, h, 16);
    head.biSize = size;
    head.biCompression = BI_BITFIELDS;
    std::memcpy(b.data(), &head, sizeof head);
    const DWORD masks[3] = {0xF800, 0x07E0, 0x001F};
    if (size >= 40 + sizeof masks) std::memcpy(b.data() + 40, masks, sizeof masks);
    return b;
}

// Video 1 frames from the core encoder, so the driver's decoding side has real input.
Bytes encoded(const std::vector<std::uint16_t> &picture, int w, int h) {
    video1::Encoder enc(w, h);
    Bytes out(video1::max_frame_size16(w, h));
    out.resize(enc.encode(picture.data(), video1::kMaxQuality, true, out.data()));
    return out;
}

class CodecDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(call(DRV_LOAD), 1);
        ASSERT_EQ(call(DRV_ENABLE), 1);
        ASSERT_NE(call(DRV_OPEN, 0, 0), 0); // the instance-less open comes first
        ICOPEN open = {};
        open.dwSize = sizeof open;
        open.fccType = ICTYPE_VIDEO;
        open.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
        open.dwFlags = ICMODE_COMPRESS;
        id_ = DWORD_PTR(call(DRV_OPEN, 0, LPARAM(&open)));
        ASSERT_GT(id_, DWORD_PTR(1));
        EXPECT_EQ(open.dwError, ICERR_OK);
    }
    void TearDown() override {
        EXPECT_EQ(call(DRV_CLOSE), 1);
        call(DRV_DISABLE), call(DRV_FREE);
    }

    LRESULT call(UINT msg, LPARAM p1 = 0, LPARAM p2 = 0) {
        return DriverProc(id_, nullptr, msg, p1, p2);
    }
    LRESULT send(UINT msg, const void *p1, const void *p2 = nullptr) {
        return call(msg, LPARAM(p1), LPARAM(p2));
    }

    struct Frame {
        LRESULT result;
        std::size_t size;
        bool key;
    };
    // One ICM_COMPRESS of a frame at stream position `position`; `in` is read with what follows
    // it (an 8-bit frame's palette).
    Frame compress(const BITMAPINFOHEADER &in, const Bytes &pixels, LONG position, DWORD flags = 0,
                   DWORD quality = DWORD(ICQUALITY_DEFAULT)) {
        BITMAPINFOHEADER out = compressed_format(in.biWidth, in.biHeight);
        Bytes data(out.biSizeImage);
        DWORD ckid = 0, frame_flags = 0xFFFF;
        ICCOMPRESS c = {};
        c.dwFlags = flags;
        c.lpbiOutput = &out, c.lpOutput = data.data();
        c.lpbiInput = const_cast<BITMAPINFOHEADER *>(&in),
        c.lpInput = const_cast<std::uint8_t *>(pixels.data());
        c.lpckid = &ckid, c.lpdwFlags = &frame_flags;
        c.lFrameNum = position;
        c.dwQuality = quality;
        LRESULT r = send(ICM_COMPRESS, &c);
        return {r, out.biSizeImage, (frame_flags & AVIIF_KEYFRAME) != 0};
    }

    LRESULT decompress(BITMAPINFOHEADER *in, const void *data, BITMAPINFOHEADER *out, void *pixels,
                       DWORD flags = 0) {
        ICDECOMPRESS d = {};
        d.dwFlags = flags;
        d.lpbiInput = in, d.lpInput = const_cast<void *>(data);
        d.lpbiOutput = out, d.lpOutput = pixels;
        return send(ICM_DECOMPRESS, &d);
    }

    DWORD_PTR id_ = 0;
};

} // namespace

TEST_F(CodecDriver, AKeyFrameOnlyWhereThePositionDoesNotMoveForward) {
    // The compressed stream passes stream positions; a recorder that falls behind leaves some
    // empty. A still picture must stay all-skip across such gaps.
    const int w = 64, h = 48;
    BITMAPINFOHEADER in = rgb(w, h, 32), out = compressed_format(w, h);
    Bytes still(in.biSizeImage);
    for (std::size_t i = 0; i < still.size(); ++i)
        still[i] = std::uint8_t(i * 37 + i / 97);
    ASSERT_EQ(send(ICM_COMPRESS_BEGIN, &in, &out), ICERR_OK);
    Frame first = compress(in, still, 0);
    ASSERT_EQ(first.result, ICERR_OK);
    EXPECT_TRUE(first.key);
    Frame skip = compress(in, still, 1);
    EXPECT_FALSE(skip.key);
    EXPECT_LT(skip.size, first.size / 20);
    for (LONG position : {2, 4, 6, 8, 9, 10, 12}) {
        Frame f = compress(in, still, position);
        EXPECT_FALSE(f.key) << "position " << position;
        EXPECT_EQ(f.size, skip.size) << "position " << position;
    }
    // A repeated or earlier position starts over, as does the host's own request.
    EXPECT_TRUE(compress(in, still, 12).key);
    EXPECT_TRUE(compress(in, still, 5).key);
    EXPECT_FALSE(compress(in, still, 6).key);
    EXPECT_TRUE(compress(in, still, 7, ICCOMPRESS_KEYFRAME).key);
    EXPECT_EQ(send(ICM_COMPRESS_END, nullptr), ICERR_OK);
    // After an end and a new begin the first frame is a key frame whatever its position.
    ASSERT_EQ(send(ICM_COMPRESS_BEGIN, &in, &out), ICERR_OK);
    EXPECT_TRUE(compress(in, still, 20).key);
}

TEST_F(CodecDriver, QualityAboveTheTopIsTheTopWhicheverMessageGivesIt) {
    // ICCOMPRESS carries the quality in a DWORD, ICCOMPRESSFRAMES in a LONG where 2^31 and more
    // read negative; -1 is the default in both, and 0 a quality like any other.
    const int w = 32, h = 32;
    BITMAPINFOHEADER in = rgb(w, h, 32), out = compressed_format(w, h);
    Bytes pixels(in.biSizeImage);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = std::uint8_t((i * 131 + i / 128 * 7) ^ (i >> 5));
    ASSERT_EQ(send(ICM_COMPRESS_BEGIN, &in, &out), ICERR_OK);
    auto key_size = [&](DWORD quality) {
        return compress(in, pixels, 0, ICCOMPRESS_KEYFRAME, quality).size;
    };
    auto size_after_info = [&](LONG quality) {
        ICCOMPRESSFRAMES info = {};
        info.lQuality = quality;
        EXPECT_EQ(send(ICM_COMPRESS_FRAMES_INFO, &info), ICERR_OK);
        return key_size(DWORD(ICQUALITY_DEFAULT));
    };
    const std::size_t top = key_size(ICQUALITY_HIGH), lowest = key_size(0);
    const std::size_t standard = key_size(DWORD(ICQUALITY_DEFAULT));
    ASSERT_LT(lowest, standard);
    ASSERT_LT(standard, top);
    for (DWORD quality : {10001u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu}) {
        EXPECT_EQ(key_size(quality), top) << quality;
        EXPECT_EQ(size_after_info(0), lowest);
        EXPECT_EQ(size_after_info(LONG(quality)), top) << quality;
    }
    EXPECT_EQ(size_after_info(ICQUALITY_DEFAULT), standard);
}

TEST_F(CodecDriver, SizesA32BitHostCannotHoldAreRefused) {
    BITMAPINFOHEADER huge = rgb(32768, 32768, 32), wide = rgb(16384, 8192, 32);
    BITMAPINFOHEADER huge_video = compressed_format(32768, 32768);
    EXPECT_EQ(send(ICM_COMPRESS_QUERY, &huge), ICERR_BADFORMAT);
    EXPECT_EQ(send(ICM_COMPRESS_GET_SIZE, &huge), ICERR_BADFORMAT);
    EXPECT_EQ(send(ICM_COMPRESS_GET_FORMAT, &wide), ICERR_BADFORMAT);
    EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &huge_video), ICERR_BADFORMAT);
    EXPECT_EQ(send(ICM_DECOMPRESS_GET_FORMAT, &huge_video), ICERR_BADFORMAT);
    // 8192 x 8192 and a long strip still fit.
    BITMAPINFOHEADER largest = rgb(8192, 8192, 32), strip = rgb(32768, 16, 24);
    EXPECT_EQ(send(ICM_COMPRESS_QUERY, &largest), ICERR_OK);
    EXPECT_EQ(send(ICM_COMPRESS_QUERY, &strip), ICERR_OK);
    BITMAPINFOHEADER largest_video = compressed_format(8192, 8192);
    EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &largest_video), ICERR_OK);
}

TEST_F(CodecDriver, RunningOutOfMemoryInABeginHandlerIsReported) {
    const int w = 1024, h = 512; // 1 MB pictures
    BITMAPINFOHEADER in = rgb(w, h, 32), out = compressed_format(w, h), shown = rgb(w, h, 32);
    Bytes pixels(in.biSizeImage, 0x40);
    {
        FailLargeAllocations fail(std::size_t(1) << 20);
        EXPECT_EQ(send(ICM_COMPRESS_BEGIN, &in, &out), ICERR_MEMORY);
        EXPECT_EQ(compress(in, pixels, 0).result, ICERR_MEMORY); // a frame without a begin
        EXPECT_EQ(send(ICM_DECOMPRESS_BEGIN, &out, &shown), ICERR_MEMORY);
    }
    // The instance is still usable once memory is back.
    ASSERT_EQ(send(ICM_COMPRESS_BEGIN, &in, &out), ICERR_OK);
    Frame f = compress(in, pixels, 0);
    EXPECT_EQ(f.result, ICERR_OK);
    EXPECT_TRUE(f.key);
    EXPECT_EQ(send(ICM_DECOMPRESS_BEGIN, &out, &shown), ICERR_OK);
}

TEST_F(CodecDriver, NullPointersFromTheHostAreBadParameters) {
    const int w = 16, h = 16;
    BITMAPINFOHEADER in = rgb(w, h, 32), out = compressed_format(w, h);
    Bytes pixels(in.biSizeImage, 0x20), data(out.biSizeImage);
    EXPECT_EQ(call(ICM_COMPRESS, 0), ICERR_BADPARAM);
    EXPECT_EQ(call(ICM_DECOMPRESS, 0), ICERR_BADPARAM);
    ASSERT_EQ(send(ICM_COMPRESS_BEGIN, &in, &out), ICERR_OK);
    ICCOMPRESS good = {};
    good.lpbiOutput = &out, good.lpOutput = data.data();
    good.lpbiInput = &in, good.lpInput = pixels.data();
    good.dwQuality = DWORD(ICQUALITY_DEFAULT);
    for (int field = 0; field < 4; ++field) {
        ICCOMPRESS c = good;
        if (field == 0) c.lpbiOutput = nullptr;
        if (field == 1) c.lpOutput = nullptr;
        if (field == 2) c.lpbiInput = nullptr;
        if (field == 3) c.lpInput = nullptr;
        EXPECT_EQ(send(ICM_COMPRESS, &c), ICERR_BADPARAM) << "field " << field;
    }
    EXPECT_EQ(send(ICM_COMPRESS, &good), ICERR_OK); // lpdwFlags and lpckid may be null

    BITMAPINFOHEADER shown = rgb(w, h, 16);
    Bytes frame = encoded(codec_test::noise(w, h, 1), w, h), picture(shown.biSizeImage);
    out.biSizeImage = DWORD(frame.size());
    ASSERT_EQ(send(ICM_DECOMPRESS_BEGIN, &out, &shown), ICERR_OK);
    EXPECT_EQ(decompress(nullptr, frame.data(), &shown, picture.data()), ICERR_BADPARAM);
    EXPECT_EQ(decompress(&out, frame.data(), nullptr, picture.data()), ICERR_BADPARAM);
    EXPECT_EQ(decompress(&out, frame.data(), &shown, nullptr), ICERR_BADPARAM);
    EXPECT_EQ(decompress(&out, frame.data(), &shown, picture.data()), ICERR_OK);
}

TEST_F(CodecDriver, DecompressionReadsNoMoreThanTheFrameItWasGiven) {
    const int w = 16, h = 16;
    BITMAPINFOHEADER in = compressed_format(w, h), out = rgb(w, h, 16);
    Bytes first = encoded(codec_test::screen_picture(w, h, 3), w, h);
    Bytes second = encoded(codec_test::noise(w, h, 4), w, h);
    Bytes shown(out.biSizeImage), again(out.biSizeImage);
    ASSERT_EQ(send(ICM_DECOMPRESS_BEGIN, &in, &out), ICERR_OK);
    in.biSizeImage = DWORD(first.size());
    ASSERT_EQ(decompress(&in, first.data(), &out, shown.data()), ICERR_OK);

    // An empty chunk says nothing about how long the buffer is: the held picture is repeated
    // and not a byte of the buffer (here half a frame, exactly allocated) is read.
    Bytes half(second.begin(), second.begin() + std::ptrdiff_t(second.size() / 2));
    in.biSizeImage = 0;
    std::fill(again.begin(), again.end(), 0xEE);
    EXPECT_EQ(decompress(&in, half.data(), &out, again.data()), ICERR_OK);
    EXPECT_EQ(again, shown);
    // A null frame with no data at all does the same.
    std::fill(again.begin(), again.end(), 0xEE);
    EXPECT_EQ(decompress(&in, nullptr, &out, again.data(), ICDECOMPRESS_NULLFRAME), ICERR_OK);
    EXPECT_EQ(again, shown);
    // A frame cut short with its true size decodes what it holds and says it is incomplete.
    in.biSizeImage = DWORD(half.size());
    EXPECT_EQ(decompress(&in, half.data(), &out, again.data()), ICERR_BADFORMAT);
    EXPECT_NE(again, shown);
}

TEST_F(CodecDriver, Rgb565MasksAreReadFromInsideTheHeaderThatHoldsThem) {
    const int w = 8, h = 8;
    BITMAPINFOHEADER in = compressed_format(w, h);
    Bytes red = encoded(std::vector<std::uint16_t>(w * h, 0x7C00), w, h);
    in.biSizeImage = DWORD(red.size());
    for (DWORD size : {108u, 124u}) { // the V4 and V5 headers
        Bytes head = rgb565_header(w, h, size);
        auto *out = reinterpret_cast<BITMAPINFOHEADER *>(head.data());
        EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &in, out), ICERR_OK) << size;
        ASSERT_EQ(send(ICM_DECOMPRESS_BEGIN, &in, out), ICERR_OK) << size;
        std::vector<std::uint16_t> pixels(w * h);
        EXPECT_EQ(decompress(&in, red.data(), out, pixels.data()), ICERR_OK);
        EXPECT_EQ(pixels[0], 0xF800) << size;
        EXPECT_EQ(pixels[w * h - 1], 0xF800) << size;
    }
    // A plain header carries its masks after it; 5-5-5 masks are not 5-6-5.
    struct {
        BITMAPINFOHEADER h;
        DWORD masks[3];
    } plain = {rgb(w, h, 16), {0xF800, 0x07E0, 0x001F}};
    plain.h.biCompression = BI_BITFIELDS;
    EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &in, &plain), ICERR_OK);
    plain.masks[0] = 0x7C00, plain.masks[1] = 0x03E0;
    EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &in, &plain), ICERR_BADFORMAT);
    // A header between the two sizes holds no masks where either kind keeps them.
    Bytes odd = rgb565_header(w, h, 44);
    EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &in, odd.data()), ICERR_BADFORMAT);
}

TEST_F(CodecDriver, DecompressionOnlyIntoAPictureOfTheFramesOwnSize) {
    // Rows the frame has and the output has not would be written past the host's buffer.
    const int w = 8, h = 8;
    BITMAPINFOHEADER in = compressed_format(w, h);
    for (int bpp : {16, 24, 32}) {
        BITMAPINFOHEADER same = rgb(w, h, bpp), topDown = rgb(w, -h, bpp);
        BITMAPINFOHEADER shorter = rgb(w, h - 4, bpp), narrower = rgb(w - 4, h, bpp);
        EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &in, &same), ICERR_OK) << bpp;
        EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &in, &topDown), ICERR_OK) << bpp;
        for (BITMAPINFOHEADER *other : {&shorter, &narrower}) {
            EXPECT_EQ(send(ICM_DECOMPRESS_QUERY, &in, other), ICERR_BADFORMAT) << bpp;
            EXPECT_EQ(send(ICM_DECOMPRESS_BEGIN, &in, other), ICERR_BADFORMAT) << bpp;
        }
    }
}

TEST_F(CodecDriver, DescriptionDefaultsStateAndDialogs) {
    ICINFO info = {};
    EXPECT_EQ(call(ICM_GETINFO, LPARAM(&info), sizeof info - 1), 0);
    ASSERT_EQ(call(ICM_GETINFO, LPARAM(&info), sizeof info), LRESULT(sizeof info));
    EXPECT_EQ(info.fccType, DWORD(ICTYPE_VIDEO));
    EXPECT_EQ(info.fccHandler, mmioFOURCC('M', 'S', 'V', 'C'));
    EXPECT_EQ(info.dwFlags, DWORD(VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(info.szName)), u"Video 1");
    DWORD quality = 0;
    EXPECT_EQ(send(ICM_GETDEFAULTQUALITY, &quality), ICERR_OK);
    EXPECT_EQ(quality, DWORD(video1::kDefaultQuality));
    EXPECT_EQ(send(ICM_GETDEFAULTQUALITY, nullptr), ICERR_BADPARAM);
    // No state to save or restore, nothing to configure; the About box is there.
    EXPECT_EQ(call(ICM_GETSTATE), 0);
    EXPECT_EQ(call(ICM_SETSTATE), 0);
    EXPECT_EQ(call(DRV_QUERYCONFIGURE), 0);
    EXPECT_EQ(call(ICM_CONFIGURE, -1), ICERR_UNSUPPORTED);
    EXPECT_EQ(call(ICM_ABOUT, -1), ICERR_OK);
    EXPECT_EQ(call(ICM_ABOUT, 0), ICERR_OK);
    EXPECT_EQ(call(ICM_USER + 99), ICERR_UNSUPPORTED);
    EXPECT_EQ(DriverProc(1, nullptr, ICM_COMPRESS_QUERY, 0, 0), ICERR_UNSUPPORTED);
    ICOPEN sound = {};
    sound.fccType = mmioFOURCC('a', 'u', 'd', 'c');
    EXPECT_EQ(DriverProc(0, nullptr, DRV_OPEN, 0, LPARAM(&sound)), 0);

    // The compressed format of a bottom-up or top-down frame, and what it takes at most.
    BITMAPINFOHEADER in = rgb(32, -20, 24), format = {};
    EXPECT_EQ(send(ICM_COMPRESS_GET_FORMAT, &in), LRESULT(sizeof format));
    ASSERT_EQ(send(ICM_COMPRESS_GET_FORMAT, &in, &format), ICERR_OK);
    BITMAPINFOHEADER expected = compressed_format(32, 20);
    EXPECT_EQ(std::memcmp(&format, &expected, sizeof format), 0);
    EXPECT_EQ(send(ICM_COMPRESS_GET_SIZE, &in), LRESULT(format.biSizeImage));
    EXPECT_EQ(send(ICM_COMPRESS_QUERY, &in, &format), ICERR_OK);
    format.biHeight = -20;
    EXPECT_EQ(send(ICM_COMPRESS_QUERY, &in, &format), ICERR_BADFORMAT);
}

TEST_F(CodecDriver, EightBitFramesPlayThroughTheirPalette) {
    // Two blocks: one filled with colour 1, one of two colours whose flags all pick the second.
    const int w = 8, h = 4;
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colours[4];
    } in = {compressed_format(w, h), {{0, 0, 0, 0}, {0x30, 0x20, 0x10, 0}, {}, {3, 2, 1, 0}}};
    in.h.biBitCount = 8, in.h.biClrUsed = 4;
    const Bytes frame = {0x01, 0x80, 0x00, 0x00, 0x02, 0x03};
    in.h.biSizeImage = DWORD(frame.size());
    EXPECT_EQ(send(ICM_DECOMPRESS_GET_FORMAT, &in), LRESULT(sizeof in));
    decltype(in) shown = {};
    ASSERT_EQ(send(ICM_DECOMPRESS_GET_FORMAT, &in, &shown), ICERR_OK);
    EXPECT_EQ(shown.h.biCompression, DWORD(BI_RGB));
    EXPECT_EQ(shown.h.biSizeImage, DWORD(w * h));
    EXPECT_EQ(std::memcmp(shown.colours, in.colours, sizeof in.colours), 0);
    Bytes indices(w * h);
    ASSERT_EQ(decompress(&in.h, frame.data(), &shown.h, indices.data()), ICERR_OK);
    EXPECT_EQ(indices, Bytes({1, 1, 1, 1, 3, 3, 3, 3, 1, 1, 1, 1, 3, 3, 3, 3,
                              1, 1, 1, 1, 3, 3, 3, 3, 1, 1, 1, 1, 3, 3, 3, 3}));
    BITMAPINFOHEADER rgb24 = rgb(w, h, 24);
    Bytes pixels(rgb24.biSizeImage);
    EXPECT_EQ(decompress(&in.h, frame.data(), &rgb24, pixels.data()), ICERR_OK);
    EXPECT_EQ(Bytes(pixels.begin() + 9, pixels.begin() + 15), Bytes({0x30, 0x20, 0x10, 3, 2, 1}));
    EXPECT_EQ(send(ICM_DECOMPRESS_END, nullptr), ICERR_OK);

    // An 8-bit screen is compressed through its palette as well.
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD colours[256];
    } screen = {rgb(w, h, 8), {}};
    screen.h.biClrUsed = 256;
    Bytes still(screen.h.biSizeImage, 1);
    EXPECT_EQ(compress(screen.h, still, 0).result, ICERR_OK);
}
