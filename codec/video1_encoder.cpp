// The Video 1 frame encoder: which blocks of a frame are skipped, and the codes of the rest.
#include "video1_encoder.h"
#include "video1_blocks.h"

#include <algorithm>
#include <cstring>

namespace video1 {

namespace {

constexpr std::uint32_t kPixelMask = 0x7FFF7FFFu; // two RGB555 pixels without their bit 15

std::uint8_t *flush_skips(int &run, std::uint8_t *out) {
    if (run > 0) out = put16(out, (0x84u << 8) + static_cast<unsigned>(run));
    run = 0;
    return out;
}

// Whether `n` pixels (a multiple of 4) are the same in both, compared 32 bits at a time. The
// stored input has bit 15 clear, so raw equality is equality of the pixels.
bool same_words(const std::uint16_t *a, const std::uint16_t *b, std::size_t n) {
    for (std::size_t i = 0; i < n; i += 4) {
        std::uint32_t x[2], y[2];
        std::memcpy(x, a + i, 8);
        std::memcpy(y, b + i, 8);
        if ((x[0] ^ y[0]) | (x[1] ^ y[1])) return false;
    }
    return true;
}

} // namespace

int lambda_for_quality(int quality) {
    if (quality < 0) quality = 0;
    if (quality > kMaxQuality) quality = kMaxQuality;
    int t = kMaxQuality - quality;
    return static_cast<int>((static_cast<long long>(t) * t) / 250000);
}

Encoder::Encoder(int width, int height)
    : width_(width), height_(height), recon_(static_cast<std::size_t>(width) * height),
      previous_input_(recon_.size()), choices_(block_count(width, height)),
      choice_known_(choices_.size()) {}

std::size_t Encoder::encode(const std::uint16_t *frame, int quality, bool key_frame,
                            std::uint8_t *out) {
    const bool key = key_frame || !has_reference_;
    const int lambda = lambda_for_quality(quality);
    // A block whose input did not change since the last frame, coded at the same quality,
    // would be coded to the same pixels again: skipping it shows the same picture for less.
    const bool same_quality = quality == previous_quality_;
    const std::size_t w = static_cast<std::size_t>(width_);
    std::uint8_t *p = out;
    int run = 0;
    std::uint16_t px[16];
    if (lambda != choice_lambda_) {
        std::fill(choice_known_.begin(), choice_known_.end(), std::uint8_t{0});
        choice_lambda_ = lambda;
    }
    std::size_t index = 0; // of the block in choices_
    for (int by = 0; by < height_ / 4; ++by) {
        const std::size_t strip = static_cast<std::size_t>(by) * 4 * w;
        if (!key && same_quality && same_words(frame + strip, &previous_input_[strip], 4 * w)) {
            // A row of blocks none of whose input changed: every block is skipped.
            for (int bx = 0; bx < width_ / 4; ++bx, ++index)
                if (++run == kMaxSkipRun) p = flush_skips(run, p);
            continue;
        }
        for (int bx = 0; bx < width_ / 4; ++bx, ++index) {
            const std::size_t origin = static_cast<std::size_t>(by) * 4 * w + bx * 4u;
            // Whole rows as two 32-bit words: two pixels masked and compared per operation.
            std::uint32_t changed = 0, differs = 0;
            if (!key && same_quality) {
                // Most blocks of a recording stay as they were: those are skipped after a look
                // at their input alone.
                for (int r = 0; r < 4; ++r) {
                    std::uint32_t in[2], last[2];
                    std::memcpy(in, frame + origin + r * w, 8);
                    std::memcpy(last, &previous_input_[origin + r * w], 8);
                    changed |= ((in[0] & kPixelMask) ^ last[0]) | ((in[1] & kPixelMask) ^ last[1]);
                }
                if (!changed) {
                    if (++run == kMaxSkipRun) p = flush_skips(run, p);
                    continue;
                }
            }
            for (int r = 0; r < 4; ++r) {
                const std::size_t row = origin + r * w;
                std::uint32_t in[2], last[2], shown[2];
                std::memcpy(in, frame + row, 8);
                std::memcpy(last, &previous_input_[row], 8);
                std::memcpy(shown, &recon_[row], 8);
                in[0] &= kPixelMask, in[1] &= kPixelMask;
                changed |= (in[0] ^ last[0]) | (in[1] ^ last[1]);
                differs |= (in[0] ^ shown[0]) | (in[1] ^ shown[1]);
                std::memcpy(&previous_input_[row], in, 8);
                std::memcpy(px + 4 * r, in, 8);
            }
            const bool unchanged = same_quality && !changed;
            CodedBlock &coded = choices_[index];
            std::uint8_t &known = choice_known_[index];
            known &= !changed;
            if (!key) {
                bool skip = unchanged || !differs;
                if (!skip && lambda > 0) {
                    // Near-equal blocks stay as they are when coding them costs more than the
                    // difference; the reference is our own reconstruction, so errors never drift.
                    std::uint16_t ref[16];
                    for (int r = 0; r < 4; ++r)
                        std::memcpy(ref + 4 * r, &recon_[origin + r * w], 8);
                    int d = block_error(px, ref);
                    if (d <= lambda * kFillBytes) {
                        skip = true;
                    } else {
                        if (!known) {
                            choose_block(px, lambda, coded);
                            known = 1;
                        }
                        skip = d <= block_cost(coded, lambda);
                    }
                }
                if (skip) {
                    if (++run == kMaxSkipRun) p = flush_skips(run, p);
                    continue;
                }
            }
            p = flush_skips(run, p);
            if (!known) {
                choose_block(px, lambda, coded);
                known = 1;
            }
            p = write_block(coded, p);
            reconstruct(coded, px);
            for (int r = 0; r < 4; ++r)
                std::memcpy(&recon_[origin + r * w], px + 4 * r, 8);
        }
    }
    p = flush_skips(run, p); // trailing blocks are skipped explicitly, never left out
    p = put16(p, 0);
    has_reference_ = true;
    previous_quality_ = quality;
    return static_cast<std::size_t>(p - out);
}

} // namespace video1
