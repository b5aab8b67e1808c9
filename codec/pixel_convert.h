// Conversions between uncompressed DIB pixels and the RGB555 frames of the codec core.
#pragma once
#include <cstddef>
#include <cstdint>

namespace video1 {

// Bytes per row of an uncompressed DIB: rows are padded to 4 bytes.
inline std::size_t dib_stride(int width, int bits_per_pixel) {
    return ((static_cast<std::size_t>(width) * bits_per_pixel + 31) / 32) * 4;
}

// Reads a BI_RGB DIB of 8, 16 (RGB555), 24 or 32 bits per pixel into RGB555 in bottom-up order.
// `palette` (0x00RRGGBB entries, `palette_size` of them) serves 8-bit input; missing entries
// read as black. Returns false for an unsupported depth.
bool dib_to_rgb555(const std::uint8_t *bits, int width, int height, int bits_per_pixel,
                   bool top_down, const std::uint32_t *palette, int palette_size,
                   std::uint16_t *out);

// Writes RGB555 (bottom-up) into a DIB of 16 (RGB555, or RGB565 when `rgb565`), 24 or 32 bits.
bool rgb555_to_dib(const std::uint16_t *in, int width, int height, int bits_per_pixel,
                   bool top_down, bool rgb565, std::uint8_t *bits);

// Writes palette indices (bottom-up) into a DIB of 8 (indices), 16, 24 or 32 bits.
bool indices_to_dib(const std::uint8_t *in, int width, int height, const std::uint32_t *palette,
                    int palette_size, int bits_per_pixel, bool top_down, bool rgb565,
                    std::uint8_t *bits);

// 5-bit channel to 8 bits, filling the low bits so white stays white.
inline int expand5(int c) { return (c << 3) | (c >> 2); }

} // namespace video1
