// The 16-bit Video 1 encoder: plain C++, no Windows types, so the driver stays a thin shell.
#pragma once
#include "video1_format.h"
#include <cstddef>
#include <cstdint>
#include <vector>

namespace video1 {

enum class BlockKind : std::uint8_t { fill, two, eight };

// How the encoder coded a block: its kind, flag bits, colours and squared error.
struct CodedBlock {
    BlockKind kind = BlockKind::fill;
    std::uint16_t flags = 0;
    std::uint16_t colour[8] = {};
    int distortion = 0;
};

// Frames are RGB555 pixels (bit 15 ignored) in DIB memory order: row 0 is the lowest scan line.
class Encoder {
  public:
    Encoder(int width, int height); // the size must satisfy valid_frame_size
    int width() const { return width_; }
    int height() const { return height_; }

    // Codes `frame` into `out`, which holds at least max_frame_size16 bytes, and returns the
    // number of bytes written. A key frame has no skip codes; a delta frame skips blocks that
    // match the previous reconstruction closely enough for `quality` (0..10000).
    std::size_t encode(const std::uint16_t *frame, int quality, bool key_frame, std::uint8_t *out);

    // What a decoder shows after the last encoded frame; delta frames are coded against it.
    const std::vector<std::uint16_t> &reconstruction() const { return recon_; }
    bool has_reference() const { return has_reference_; }
    void forget_reference() { has_reference_ = false, previous_quality_ = -1; }

  private:
    int width_, height_;
    std::vector<std::uint16_t> recon_;
    std::vector<std::uint16_t> previous_input_;
    int previous_quality_ = -1;
    bool has_reference_ = false;
    // The choice for each block's input as it was last seen, kept while that input stays the
    // same: a key frame over an unchanged screen then writes the blocks without choosing again.
    std::vector<CodedBlock> choices_;
    std::vector<std::uint8_t> choice_known_;
    int choice_lambda_ = -1;
};

// Lagrange multiplier of the rate/distortion choice, in squared 5-bit levels per byte.
int lambda_for_quality(int quality);

} // namespace video1
