// Video 1 decoders for both depths. The frame buffers keep the previous picture, because skipped
// blocks show what was there before.
#pragma once
#include <cstddef>
#include <cstdint>

namespace video1 {

// 16-bit frames into RGB555 pixels (bit 15 cleared), DIB memory order (row 0 at the bottom).
// Returns false when the data ends before the last block; the blocks read so far are kept.
bool decode16(const std::uint8_t *data, std::size_t size, int width, int height,
              std::uint16_t *frame);

// 8-bit (palette) frames into palette indices, same order and rules.
bool decode8(const std::uint8_t *data, std::size_t size, int width, int height,
             std::uint8_t *frame);

} // namespace video1
