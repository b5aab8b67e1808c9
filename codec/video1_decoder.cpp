#include "video1_decoder.h"

#include <climits>

namespace video1 {

namespace {

// Walks the blocks of a frame, handling the skip codes both depths share. `block` gets the
// offset of the block's lower-left pixel and its two code bytes, and returns false when the data
// runs out.
template <typename Block>
bool walk(const std::uint8_t *data, std::size_t size, int width, int height, Block block) {
    std::size_t pos = 0;
    int skip = 0;
    for (int by = 0; by < height / 4; ++by) {
        for (int bx = 0; bx < width / 4; ++bx) {
            if (skip > 0) {
                --skip;
                continue;
            }
            if (pos + 2 > size) return false;
            int a = data[pos], b = data[pos + 1];
            pos += 2;
            if (b >= 0x84 && b <= 0x87) {
                int n = ((b - 0x84) << 8) | a;
                skip = n == 0 ? INT_MAX : n - 1; // a zero count leaves the rest of the frame
                continue;
            }
            std::size_t origin = static_cast<std::size_t>(by) * 4 * width + bx * 4u;
            if (!block(origin, a, b, data, size, pos)) return false;
        }
    }
    return true;
}

inline unsigned read16(const std::uint8_t *d, std::size_t pos) {
    return d[pos] | (static_cast<unsigned>(d[pos + 1]) << 8);
}

// Flag bit 4r+c is the pixel at row r (from the bottom), column c; a set bit takes the first
// colour of the pair of its quadrant.
template <typename Pixel>
void paint(Pixel *frame, std::size_t origin, int width, unsigned flags, const Pixel *colours,
           bool quadrants) {
    for (int r = 0; r < 4; ++r) {
        Pixel *row = frame + origin + static_cast<std::size_t>(r) * width;
        for (int c = 0; c < 4; ++c) {
            int bit = (flags >> (4 * r + c)) & 1;
            int pair = quadrants ? 2 * (2 * (r >> 1) + (c >> 1)) : 0;
            row[c] = colours[pair + (bit ? 0 : 1)];
        }
    }
}

} // namespace

bool decode16(const std::uint8_t *data, std::size_t size, int width, int height,
              std::uint16_t *frame) {
    return walk(data, size, width, height,
                [&](std::size_t origin, int a, int b, const std::uint8_t *d, std::size_t n,
                    std::size_t &pos) {
                    std::uint16_t colours[8];
                    if (b >= 0x80) {
                        colours[0] = static_cast<std::uint16_t>(((b << 8) | a) & 0x7FFF);
                        paint(frame, origin, width, 0xFFFF, colours, false);
                        return true;
                    }
                    if (pos + 4 > n) return false;
                    unsigned c0 = read16(d, pos);
                    int count = (c0 & 0x8000) ? 8 : 2;
                    if (pos + 2 * count > n) return false;
                    for (int i = 0; i < count; ++i)
                        colours[i] = static_cast<std::uint16_t>(read16(d, pos + 2 * i) & 0x7FFF);
                    pos += 2 * count;
                    paint(frame, origin, width, (b << 8) | a, colours, count == 8);
                    return true;
                });
}

bool decode8(const std::uint8_t *data, std::size_t size, int width, int height,
             std::uint8_t *frame) {
    return walk(data, size, width, height,
                [&](std::size_t origin, int a, int b, const std::uint8_t *d, std::size_t n,
                    std::size_t &pos) {
                    std::uint8_t colours[8];
                    int count = b < 0x80 ? 2 : b >= 0x90 ? 8 : 0;
                    if (count == 0) {
                        colours[0] = static_cast<std::uint8_t>(a);
                        paint(frame, origin, width, 0xFFFF, colours, false);
                        return true;
                    }
                    if (pos + count > n) return false;
                    for (int i = 0; i < count; ++i)
                        colours[i] = d[pos + i];
                    pos += count;
                    paint(frame, origin, width, (b << 8) | a, colours, count == 8);
                    return true;
                });
}

} // namespace video1
