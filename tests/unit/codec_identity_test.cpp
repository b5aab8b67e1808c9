// The encoder's output is a fixed function of its input: files written by one build decode the
// same and have the same size as with any other. These hashes were computed by running the
// encoder as it was before its speed work (the straightforward per-candidate version) on the same
// frames; any change to a chosen block, colour, flag bit or skip shows here.
#include "pixel_convert.h"
#include "video1_encoder.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <vector>

namespace {

using Frame = std::vector<std::uint16_t>;

// Integer-only generator, so the frames are the same on every compiler and platform.
struct Lcg {
    std::uint32_t s;
    unsigned next() { return (s = s * 1664525u + 1013904223u) >> 8; }
};

std::uint16_t rgb(int r, int g, int b) { return video1::pack555(r & 31, g & 31, b & 31); }

// Frame `f` of a sequence with noise, gradients, flat panels, text-like edges and a region that
// moves and changes; bit 15 is set at random outside the panels, as the encoder must ignore it.
Frame make_frame(int w, int h, int f, Lcg &rng) {
    Frame px(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint16_t v;
            int band = (y * 5) / h;
            if (band == 0) { // noise, new every frame in its left half
                unsigned n = x < w / 2 ? rng.next() : unsigned(x * 7919 + y * 104729);
                v = static_cast<std::uint16_t>(n & 0x7FFF);
            } else if (band == 1) { // gradients in all three channels
                v = rgb(x * 31 / w, y * 3 % 32, (x + y + f) / 3);
            } else if (band == 2) { // flat panels, including the red level 1 a fill cannot code
                v = rgb(x < w / 3 ? 1 : 20, 12, x < 2 * w / 3 ? 7 : 30);
            } else if (band == 3) { // dark glyph strokes on light, typed one per frame
                bool ink = ((x / 6) < f + 3) && ((x * 3 + y * 5) % 7 < 2 || x % 6 == 0);
                v = ink ? rgb(2, 2, 3) : rgb(29, 30, 30);
            } else { // a small shaded picture sliding across with one-level grain
                int mx = (x + 3 * f) % w;
                int grain = int(rng.next() % 3) - 1;
                v = rgb((mx * 2) % 32, (y * 4 + grain + 32) % 32, (mx + y * 2) % 32);
            }
            if (band != 2 && rng.next() & 1) v |= 0x8000;
            px[std::size_t(y) * w + x] = v;
        }
    return px;
}

std::uint64_t fnv(std::uint64_t h, const std::uint8_t *p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

// Encodes a sequence at `quality` (key frame every fourth, one repeated frame, a delta and a key
// frame at two thirds of the quality) and hashes every byte written and the final reconstruction.
std::uint64_t sequence_hash(int w, int h, int quality, unsigned seed) {
    video1::Encoder enc(w, h);
    Lcg rng{seed};
    std::vector<std::uint8_t> out(video1::max_frame_size16(w, h));
    std::uint64_t hash = 14695981039346656037ull;
    Frame frame;
    for (int f = 0; f < 10; ++f) {
        if (f != 6) frame = make_frame(w, h, f, rng); // frame 6 repeats frame 5
        int q = f == 5 || f == 8 ? quality * 2 / 3 : quality;
        std::size_t n = enc.encode(frame.data(), q, f % 4 == 0, out.data());
        hash = fnv(hash, out.data(), n);
    }
    const Frame &recon = enc.reconstruction();
    return fnv(hash, reinterpret_cast<const std::uint8_t *>(recon.data()), recon.size() * 2);
}

struct Case {
    int w, h, quality;
    unsigned seed;
    std::uint64_t hash;
};

} // namespace

TEST(CodecIdentity, BytesMatchTheReferenceEncoderAtEveryQuality) {
    const Case cases[] = {
        {64, 40, 0, 1, 0x898fbef8a9ae4d06ull},       {64, 40, 2500, 2, 0x6b5cca47588771a9ull},
        {64, 40, 5000, 3, 0xdfddc70302f66b7dull},    {64, 40, 7500, 4, 0x9a9d1c7759ec62a3ull},
        {64, 40, 9000, 5, 0x98eec573420c1ee7ull},    {64, 40, 9800, 6, 0x14b6f06d7943fc79ull},
        {64, 40, 9950, 7, 0xd727ec1ffb16295full},    {64, 40, 10000, 8, 0xa962efffbf9e3634ull},
        {160, 120, 7500, 9, 0x76d46a66eb61cb1dull},  {160, 120, 10000, 10, 0x9a431f78fdc139afull},
        {4, 4, 10000, 11, 0x874bba86fe92f941ull},    {12, 20, 6000, 12, 0xc29e67236fc2ed42ull},
        {96, 80, 9999, 13, 0x711e12c65640ccd7ull},   {4400, 8, 10000, 14, 0xa97cbcf9d51b4a18ull},
        {4400, 8, 8000, 15, 0x83dbd291f15816afull},  {4400, 40, 10000, 16, 0xd91ac2ae8a27aa20ull},
        {4400, 40, 7500, 17, 0x124fc59feb48e926ull},
    };
    for (const Case &c : cases) {
        std::uint64_t got = sequence_hash(c.w, c.h, c.quality, c.seed);
        EXPECT_EQ(got, c.hash) << c.w << "x" << c.h << " q=" << c.quality;
    }
}

// The recorder feeds 32-bit frames: every level of every channel keeps its top five bits in its
// own place, whatever the fourth byte holds, exactly as the 24-bit conversion of the same colours.
TEST(CodecIdentity, ThirtyTwoBitInputKeepsTopFiveBitsOfEachChannel) {
    const int w = 256, h = 3; // row y sweeps channel y through every level
    std::vector<std::uint8_t> bgra(std::size_t(w) * h * 4), bgr(video1::dib_stride(w, 24) * h);
    Lcg rng{99};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t *p = &bgra[(std::size_t(y) * w + x) * 4];
            for (int k = 0; k < 3; ++k)
                p[k] = static_cast<std::uint8_t>(k == y ? x : rng.next());
            p[3] = static_cast<std::uint8_t>(rng.next());
            for (int k = 0; k < 3; ++k)
                bgr[std::size_t(y) * video1::dib_stride(w, 24) + x * 3 + k] = p[k];
        }
    Frame from32(std::size_t(w) * h), from24(from32.size());
    ASSERT_TRUE(video1::dib_to_rgb555(bgra.data(), w, h, 32, false, nullptr, 0, from32.data()));
    ASSERT_TRUE(video1::dib_to_rgb555(bgr.data(), w, h, 24, false, nullptr, 0, from24.data()));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t *p = &bgra[(std::size_t(y) * w + x) * 4];
            std::uint16_t want = video1::pack555(p[2] >> 3, p[1] >> 3, p[0] >> 3);
            ASSERT_EQ(from32[std::size_t(y) * w + x], want) << x << "," << y;
        }
    EXPECT_EQ(from32, from24);
}
