// Test-side reading of 16-bit Video 1 frames into a list of codes, independent of the codec's
// own decoder, so tests can state which block kinds an encoder chose.
#pragma once
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace codec_test {

enum class Code { skip, fill, two, eight, end };

struct Item {
    Code code;
    int count = 1;        // blocks covered (skip runs)
    unsigned word = 0;    // first word: flags, fill colour or skip code
    std::uint16_t c0 = 0; // first colour word as written
};

inline std::vector<Item> read_codes(const std::vector<std::uint8_t> &f, std::size_t blocks) {
    std::vector<Item> items;
    std::size_t pos = 0, seen = 0;
    auto rd = [&](std::size_t at) { return unsigned(f.at(at) | (f.at(at + 1) << 8)); };
    while (seen < blocks) {
        unsigned w = rd(pos);
        unsigned b = w >> 8;
        Item it{Code::fill, 1, w, 0};
        if (b >= 0x84 && b <= 0x87) {
            it.code = Code::skip, it.count = int(w - 0x8400), pos += 2;
        } else if (b >= 0x80) {
            pos += 2;
        } else {
            it.c0 = std::uint16_t(rd(pos + 2));
            it.code = (it.c0 & 0x8000) ? Code::eight : Code::two;
            pos += it.code == Code::eight ? 18 : 6;
        }
        seen += std::size_t(it.count);
        items.push_back(it);
    }
    if (pos + 2 <= f.size() && rd(pos) == 0) items.push_back({Code::end, 0, 0, 0});
    return items;
}

inline int count(const std::vector<Item> &items, Code code) {
    int n = 0;
    for (const Item &i : items)
        n += i.code == code;
    return n;
}

// A screen-like picture: flat background, dark "text" strokes, a coloured gradient box.
inline std::vector<std::uint16_t> screen_picture(int w, int h, unsigned seed) {
    std::vector<std::uint16_t> px(std::size_t(w) * h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint16_t v = 0x7BDE; // light grey
            if (y > h / 2 && (x * 7 + y * 3 + int(seed)) % 11 < 3) v = 0x0421;
            if (x < w / 3 && y < h / 3) v = std::uint16_t(((x % 32) << 10) | ((y % 32) << 5) | 9);
            px[std::size_t(y) * w + x] = v;
        }
    for (int i = 0; i < w * h / 50; ++i)
        px[rng() % px.size()] = std::uint16_t(rng() & 0x7FFF);
    return px;
}

inline std::vector<std::uint16_t> noise(int w, int h, unsigned seed) {
    std::vector<std::uint16_t> px(std::size_t(w) * h);
    std::mt19937 rng(seed);
    for (auto &p : px)
        p = std::uint16_t(rng() & 0x7FFF);
    return px;
}

// Sum of squared 5-bit channel differences.
inline long long sse(const std::vector<std::uint16_t> &a, const std::vector<std::uint16_t> &b) {
    long long d = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        for (int s = 0; s < 15; s += 5) {
            int e = int((a[i] >> s) & 31) - int((b[i] >> s) & 31);
            d += e * e;
        }
    return d;
}

} // namespace codec_test
