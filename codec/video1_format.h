// Facts of the Video 1 bitstream that the encoder, the decoder and the driver share.
#pragma once
#include <cstddef>
#include <cstdint>

namespace video1 {

constexpr int kMaxQuality = 10000;
constexpr int kDefaultQuality = 7500;
constexpr int kMaxSkipRun = 1023; // a skip code carries 10 bits; 0 would end the frame early

// Decoders disagree on sizes that are not whole blocks, and newer ones refuse tiny frames.
inline bool valid_frame_size(int width, int height) {
    return width >= 4 && height >= 4 && width % 4 == 0 && height % 4 == 0 && width <= 32768 &&
           height <= 32768;
}

inline std::size_t block_count(int width, int height) {
    return static_cast<std::size_t>(width / 4) * static_cast<std::size_t>(height / 4);
}

// Every block as an 8-colour block plus the end marker: no frame is ever larger.
inline std::size_t max_frame_size16(int width, int height) {
    return 18 * block_count(width, height) + 2;
}
inline std::size_t max_frame_size8(int width, int height) {
    return 10 * block_count(width, height) + 2;
}

inline std::uint16_t pack555(int r, int g, int b) {
    return static_cast<std::uint16_t>((r << 10) | (g << 5) | b);
}

} // namespace video1
