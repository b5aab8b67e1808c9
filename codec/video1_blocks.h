// One 4x4 block of a Video 1 frame, as the encoder codes it. Plain C++, no Windows types.
#pragma once
#include "video1_encoder.h"

#include <cstdint>

namespace video1 {

// Bytes each block kind costs; the choice weighs them against distortion.
constexpr int kFillBytes = 2;
constexpr int kTwoBytes = 6;
constexpr int kEightBytes = 18;

inline int block_cost(const CodedBlock &c, int lambda) {
    int bytes = c.kind == BlockKind::fill  ? kFillBytes
                : c.kind == BlockKind::two ? kTwoBytes
                                           : kEightBytes;
    return c.distortion + lambda * bytes;
}

inline std::uint8_t *put16(std::uint8_t *out, unsigned v) {
    out[0] = static_cast<std::uint8_t>(v & 0xFF);
    out[1] = static_cast<std::uint8_t>(v >> 8);
    return out + 2;
}

// The best coding of the block's 16 pixels (rows bottom-up, 4 a row) at the multiplier lambda.
void choose_block(const std::uint16_t *px, int lambda, CodedBlock &best);
// The squared error between two blocks of 16 pixels.
int block_error(const std::uint16_t *a, const std::uint16_t *b);
// Writes the block's code at out and returns the end.
std::uint8_t *write_block(const CodedBlock &c, std::uint8_t *out);
// The pixels a decoder shows for the block.
void reconstruct(const CodedBlock &c, std::uint16_t *px);

} // namespace video1
