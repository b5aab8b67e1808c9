// The codec's own decoders on hand-written streams (independent of the encoder), and the pixel
// conversions of the driver.
#include "pixel_convert.h"
#include "video1_decoder.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put(Bytes &b, unsigned v) { b.push_back(std::uint8_t(v)), b.push_back(std::uint8_t(v >> 8)); }

} // namespace

TEST(CodecDecode16, EachBlockKindAndSkipPaintsTheRightPixels) {
    // 8x4: two blocks. Block 0: 2-colour, flags 0x0001 (only bottom-left pixel first colour).
    // Block 1: 8-colour with distinct pairs per quadrant, flags 0x0F0F (rows 0 and 2 first).
    Bytes s;
    put(s, 0x0001), put(s, 0x1111), put(s, 0x2222);
    put(s, 0x0F0F);
    for (unsigned c = 0; c < 8; ++c)
        put(s, (c == 0 ? 0x8000 : 0) | (0x100 + c));
    put(s, 0);
    std::vector<std::uint16_t> f(32, 0);
    ASSERT_TRUE(video1::decode16(s.data(), s.size(), 8, 4, f.data()));
    EXPECT_EQ(f[0], 0x1111);
    EXPECT_EQ(f[1], 0x2222);
    EXPECT_EQ(f[3 * 8 + 3], 0x2222);
    // Block 1 starts at x = 4. Bottom-left quadrant rows 0/1: first colour c0 (bit 15 dropped).
    EXPECT_EQ(f[4], 0x100);
    EXPECT_EQ(f[8 + 5], 0x101);
    EXPECT_EQ(f[6], 0x102);      // bottom-right, row 0: c2
    EXPECT_EQ(f[8 + 7], 0x103);  // bottom-right, row 1: c3
    EXPECT_EQ(f[16 + 4], 0x104); // top-left, row 2: c4
    EXPECT_EQ(f[24 + 5], 0x105);
    EXPECT_EQ(f[16 + 7], 0x106); // top-right, row 2: c6
    EXPECT_EQ(f[24 + 7], 0x107);

    // Next frame: skip one block, fill the other; the skipped block keeps the old pixels.
    Bytes t;
    put(t, 0x8401), put(t, 0x8000 | 0x7C00), put(t, 0);
    auto before = f;
    ASSERT_TRUE(video1::decode16(t.data(), t.size(), 8, 4, f.data()));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(f[y * 8 + x], before[y * 8 + x]);
            EXPECT_EQ(f[y * 8 + 4 + x], 0x7C00);
        }
}

TEST(CodecDecode16, ZeroSkipLeavesTheRestAndTruncationIsReported) {
    std::vector<std::uint16_t> f(16 * 4, 0x1234);
    Bytes s;
    put(s, 0x8000 | 0x0001), put(s, 0x8400); // fill block 0, then "skip 0"
    EXPECT_TRUE(video1::decode16(s.data(), s.size(), 16, 4, f.data()));
    EXPECT_EQ(f[0], 0x0001);
    EXPECT_EQ(f[4], 0x1234);
    Bytes cut;
    put(cut, 0x0001), put(cut, 0x1111); // a 2-colour block missing its second colour
    EXPECT_FALSE(video1::decode16(cut.data(), cut.size(), 4, 4, f.data()));
    EXPECT_FALSE(video1::decode16(cut.data(), 0, 4, 4, f.data()));
    // An 8-colour block cut after any of its colours: nothing is read past the data.
    Bytes eight;
    put(eight, 0x0F0F);
    for (unsigned c = 0; c < 8; ++c)
        put(eight, (c == 0 ? 0x8000 : 0) | c);
    for (std::size_t size = 4; size < eight.size(); size += 2) {
        Bytes part(eight.begin(), eight.begin() + size);
        EXPECT_FALSE(video1::decode16(part.data(), part.size(), 4, 4, f.data())) << size;
    }
    EXPECT_TRUE(video1::decode16(eight.data(), eight.size(), 4, 4, f.data()));
}

TEST(CodecDecode8, PaletteFramesOfEachKind) {
    // Block 0: fill index 7. Block 1: 2-colour indices 1/2, flags 0x00FF (rows 0-1 first).
    // Block 2: 8-colour, flags 0x9000 | 0x000F... B must be >= 0x90.
    Bytes s;
    s.push_back(7), s.push_back(0x80);
    put(s, 0x00FF), s.push_back(1), s.push_back(2);
    put(s, 0x9000 | 0x0005);
    for (int i = 0; i < 8; ++i)
        s.push_back(std::uint8_t(10 + i));
    put(s, 0);
    std::vector<std::uint8_t> f(12 * 4, 0);
    ASSERT_TRUE(video1::decode8(s.data(), s.size(), 12, 4, f.data()));
    EXPECT_EQ(f[0], 7);
    EXPECT_EQ(f[3 * 12 + 3], 7);
    EXPECT_EQ(f[4], 1);
    EXPECT_EQ(f[2 * 12 + 4], 2);
    // Block 2 at x = 8: bits 0 and 2 set -> c0 at (0,0), c2 at (0,2); (0,1) takes c1.
    EXPECT_EQ(f[8], 10);
    EXPECT_EQ(f[9], 11);
    EXPECT_EQ(f[10], 12);
    EXPECT_EQ(f[3 * 12 + 11], 16); // bit 15 set: top-right first colour c6
    EXPECT_EQ(f[3 * 12 + 10], 17); // bit 14 clear: c7
    EXPECT_EQ(f[2 * 12 + 8], 15);  // bit 8 clear: top-left second colour c5
}

TEST(CodecPixels, InputDepthsConvertToRgb555InBottomUpOrder) {
    const int w = 4, h = 2;
    // Pixel (x=1, bottom row) is pure red, (x=2, top row) pure blue; everything else black.
    std::vector<std::uint8_t> bgra(w * h * 4, 0), bgr(w * h * 3, 0), rgb16(w * h * 2, 0),
        idx(w * h, 0);
    bgra[1 * 4 + 2] = 0xFF, bgra[(w + 2) * 4 + 0] = 0xF8;
    bgr[1 * 3 + 2] = 0xFF, bgr[(w + 2) * 3 + 0] = 0xF8;
    rgb16[2] = 0x00, rgb16[3] = 0xFC, rgb16[(w + 2) * 2] = 0x1F; // bit 15 set must be dropped
    idx[1] = 1, idx[w + 2] = 2;
    const std::uint32_t pal[3] = {0, 0xFF0000, 0x0000F8};
    std::vector<std::uint16_t> want(w * h, 0);
    want[1] = 0x7C00, want[w + 2] = 0x001F;
    std::vector<std::uint16_t> out(w * h);
    struct Case {
        const std::uint8_t *bits;
        int bpp;
    } cases[] = {{bgra.data(), 32}, {bgr.data(), 24}, {rgb16.data(), 16}, {idx.data(), 8}};
    for (const Case &c : cases) {
        ASSERT_TRUE(video1::dib_to_rgb555(c.bits, w, h, c.bpp, false, pal, 3, out.data()));
        EXPECT_EQ(out, want) << c.bpp;
        ASSERT_TRUE(video1::dib_to_rgb555(c.bits, w, h, c.bpp, true, pal, 3, out.data()));
        EXPECT_EQ(out[w + 1], 0x7C00) << c.bpp; // top-down: first DIB row is the top
        EXPECT_EQ(out[2], 0x001F) << c.bpp;
    }
    EXPECT_FALSE(video1::dib_to_rgb555(bgra.data(), w, h, 4, false, pal, 3, out.data()));
}

TEST(CodecPixels, OutputDepthsExpandFiveBitsToFullRange) {
    std::vector<std::uint16_t> in = {0x7FFF, 0x7C00, 0x0000, 0x0421}; // white, red, black, 1/1/1
    std::vector<std::uint8_t> b32(16), b24(12), b16(8);
    ASSERT_TRUE(video1::rgb555_to_dib(in.data(), 4, 1, 32, false, false, b32.data()));
    ASSERT_TRUE(video1::rgb555_to_dib(in.data(), 4, 1, 24, false, false, b24.data()));
    EXPECT_EQ(std::vector<std::uint8_t>(b32.begin(), b32.begin() + 4),
              (std::vector<std::uint8_t>{255, 255, 255, 0}));
    EXPECT_EQ(b32[6], 255);
    EXPECT_EQ(b24[3 * 3], 8); // 5-bit 1 -> 8-bit 8
    ASSERT_TRUE(video1::rgb555_to_dib(in.data(), 4, 1, 16, false, true, b16.data()));
    EXPECT_EQ(b16[0] | (b16[1] << 8), 0xFFFF); // RGB565 white
    EXPECT_EQ(b16[2] | (b16[3] << 8), 0xF800);
    ASSERT_TRUE(video1::rgb555_to_dib(in.data(), 4, 1, 16, false, false, b16.data()));
    EXPECT_EQ(b16[2] | (b16[3] << 8), 0x7C00);
    EXPECT_FALSE(video1::rgb555_to_dib(in.data(), 4, 1, 8, false, false, b16.data()));
}

TEST(CodecPixels, PaletteFramesExpandThroughTheirPalette) {
    const std::uint32_t pal[2] = {0x102030, 0xF80000};
    std::vector<std::uint8_t> idx = {0, 1, 1, 0, 1, 0, 0, 1}; // 4x2, bottom row first
    std::vector<std::uint8_t> b24(24), b16(16), b8(8);
    ASSERT_TRUE(video1::indices_to_dib(idx.data(), 4, 2, pal, 2, 24, true, false, b24.data()));
    // Top-down: the first DIB row is the top frame row (1, 0, 0, 1).
    EXPECT_EQ(std::vector<std::uint8_t>(b24.begin(), b24.begin() + 6),
              (std::vector<std::uint8_t>{0x00, 0x00, 0xF8, 0x30, 0x20, 0x10}));
    ASSERT_TRUE(video1::indices_to_dib(idx.data(), 4, 2, pal, 2, 16, false, false, b16.data()));
    EXPECT_EQ(b16[2] | (b16[3] << 8), 0x7C00);
    ASSERT_TRUE(video1::indices_to_dib(idx.data(), 4, 2, pal, 2, 8, false, false, b8.data()));
    EXPECT_EQ(b8, idx);
}
