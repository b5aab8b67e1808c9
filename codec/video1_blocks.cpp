// One 4x4 block of a Video 1 frame: its candidates (one colour, two, two per quadrant) weighed
// by their bytes against their error, the bytes written and the pixels a decoder shows.
#include "video1_blocks.h"

#include <algorithm>
#include <cstring>

namespace video1 {

namespace {

using Kind = BlockKind;
using Coded = CodedBlock;

// A block's pixels split into channels, with the per-channel sums and sums of squares that
// every candidate needs.
struct Pixels {
    int r[16], g[16], b[16];
    int sum[3], sqsum[3];
};

inline int sq(int v) { return v * v; }

constexpr int kLevels = 32;                      // values of a 5-bit channel
constexpr int kMaxGroupSum = 16 * (kLevels - 1); // a channel summed over a whole block

// Integer means rounded to nearest, (sum + n / 2) / n, for every group size of a block and
// every sum: the colour minimising the squared error of a group, without a division per use.
struct MeanTable {
    std::uint8_t mean[17][kMaxGroupSum + 1] = {};
    constexpr MeanTable() {
        for (int n = 1; n <= 16; ++n)
            for (int s = 0; s <= kMaxGroupSum; ++s)
                mean[n][s] = static_cast<std::uint8_t>((s + n / 2) / n);
    }
};
constexpr MeanTable kMeans;

inline int rounded_mean(int sum, int n) { return kMeans.mean[n][sum]; }

// For a group of n of a quadrant's 4 pixels whose channel sums to s, with m its rounded mean:
// n*m*m - 2*m*s, the group's squared error in that channel less its sum of squares (0 for an
// empty group). Adding the quadrant's sum of squares gives the error of a split.
constexpr int kQuadrantMaxSum = 4 * (kLevels - 1);
struct SplitErrorTable {
    int term[5][kQuadrantMaxSum + 1] = {};
    constexpr SplitErrorTable() {
        for (int n = 1; n <= 4; ++n)
            for (int s = 0; s <= kQuadrantMaxSum; ++s) {
                int m = (s + n / 2) / n;
                term[n][s] = n * m * m - 2 * m * s;
            }
    }
};
constexpr SplitErrorTable kSplitError;

void unpack(const std::uint16_t *px, Pixels &p) {
    int s[3] = {0, 0, 0}, q[3] = {0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        int r = (px[i] >> 10) & 31, g = (px[i] >> 5) & 31, b = px[i] & 31;
        p.r[i] = r, p.g[i] = g, p.b[i] = b;
        s[0] += r, s[1] += g, s[2] += b;
        q[0] += r * r, q[1] += g * g, q[2] += b * b;
    }
    for (int k = 0; k < 3; ++k)
        p.sum[k] = s[k], p.sqsum[k] = q[k];
}

// One colour for the block. A fill whose red is 1 would read as a skip code, so red 1 becomes
// the nearer of 0 and 2 (the two-colour block still codes red 1 exactly when that pays).
void code_fill(const Pixels &p, Coded &c) {
    const int sr = p.sum[0], sg = p.sum[1], sb = p.sum[2];
    int mr = rounded_mean(sr, 16), mg = rounded_mean(sg, 16), mb = rounded_mean(sb, 16);
    if (mr == 1) mr = sr >= 16 ? 2 : 0;
    c.kind = Kind::fill;
    c.colour[0] = pack555(mr, mg, mb);
    c.distortion = p.sqsum[0] - 2 * mr * sr + 16 * mr * mr + p.sqsum[1] - 2 * mg * sg +
                   16 * mg * mg + p.sqsum[2] - 2 * mb * sb + 16 * mb * mb;
}

// Two colours: split along the channel that varies most at its mean, then let each pixel move
// to the nearer colour `refinements` times (a few steps of two-means clustering). Errors are
// expanded (|p - m|^2 = |p|^2 - 2 p.m + |m|^2) so that the block's sums serve every step.
void code_two(const Pixels &p, int refinements, Coded &c) {
    const int *ch[3] = {p.r, p.g, p.b};
    int axis = 0, best_var = -1;
    for (int k = 0; k < 3; ++k) {
        int var = 16 * p.sqsum[k] - p.sum[k] * p.sum[k];
        if (var > best_var) best_var = var, axis = k;
    }
    unsigned first = 0; // bit i set: pixel i takes the first colour
    for (int i = 0; i < 16; ++i)
        if (16 * ch[axis][i] > p.sum[axis]) first |= 1u << i;

    int ca[3], cb[3], sa[3], sb[3], na;
    for (int step = 0;; ++step) {
        sa[0] = sa[1] = sa[2] = na = 0;
        for (unsigned m = first; m; m &= m - 1) {
            int i = __builtin_ctz(m);
            sa[0] += p.r[i], sa[1] += p.g[i], sa[2] += p.b[i], ++na;
        }
        const int nb = 16 - na;
        for (int k = 0; k < 3; ++k) {
            sb[k] = p.sum[k] - sa[k];
            ca[k] = na ? rounded_mean(sa[k], na) : 0;
            cb[k] = nb ? rounded_mean(sb[k], nb) : 0;
        }
        if (!na) ca[0] = cb[0], ca[1] = cb[1], ca[2] = cb[2];
        if (!nb) cb[0] = ca[0], cb[1] = ca[1], cb[2] = ca[2];
        if (step == refinements) break;
        // Pixel p is nearer the first colour when 2 p.(ca - cb) > |ca|^2 - |cb|^2.
        const int dr = 2 * (ca[0] - cb[0]), dg = 2 * (ca[1] - cb[1]), db = 2 * (ca[2] - cb[2]);
        const int threshold = sq(ca[0]) + sq(ca[1]) + sq(ca[2]) - sq(cb[0]) - sq(cb[1]) - sq(cb[2]);
        unsigned next = 0;
        for (int i = 0; i < 16; ++i)
            next |= static_cast<unsigned>(p.r[i] * dr + p.g[i] * dg + p.b[i] * db > threshold) << i;
        if (next == first) break;
        first = next;
    }
    int d = p.sqsum[0] + p.sqsum[1] + p.sqsum[2];
    for (int k = 0; k < 3; ++k)
        d += na * sq(ca[k]) - 2 * ca[k] * sa[k] + (16 - na) * sq(cb[k]) - 2 * cb[k] * sb[k];
    c.kind = Kind::two;
    c.flags = static_cast<std::uint16_t>(first);
    c.colour[0] = pack555(ca[0], ca[1], ca[2]);
    c.colour[1] = pack555(cb[0], cb[1], cb[2]);
    c.distortion = d;
    // Flag bit 15 set would make the block read as a fill or skip code.
    if (c.flags & 0x8000) {
        c.flags = static_cast<std::uint16_t>(~c.flags);
        std::uint16_t t = c.colour[0];
        c.colour[0] = c.colour[1], c.colour[1] = t;
    }
}

// Pixel indices (flag bits) of each 2x2 quadrant, in the order of the colour pairs.
constexpr int kQuadrant[4][4] = {{0, 1, 4, 5}, {2, 3, 6, 7}, {8, 9, 12, 13}, {10, 11, 14, 15}};
constexpr int kQuadrantOf[16] = {0, 0, 1, 1, 0, 0, 1, 1, 2, 2, 3, 3, 2, 2, 3, 3};

// Two colours per quadrant: with four pixels every split can be tried, so this is the best
// 8-colour block there is.
void code_eight(const Pixels &p, Coded &c) {
    c.kind = Kind::eight;
    c.flags = 0;
    c.distortion = 0;
    constexpr int kMembers[8] = {0, 1, 1, 2, 1, 2, 2, 3}; // pixels a split mask moves
    for (int q = 0; q < 4; ++q) {
        // Channel sums of the pixels each mask moves to the first colour, built from the
        // mask less its lowest bit.
        int sa[8][3], total[3], sqsum = 0;
        sa[0][0] = sa[0][1] = sa[0][2] = 0;
        for (int j = 0; j < 3; ++j) {
            int i = kQuadrant[q][j];
            for (int m = 0; m < (1 << j); ++m) {
                int *t = sa[m | (1 << j)];
                t[0] = sa[m][0] + p.r[i], t[1] = sa[m][1] + p.g[i], t[2] = sa[m][2] + p.b[i];
            }
        }
        for (int k = 0; k < 3; ++k)
            total[k] = 0;
        for (int j = 0; j < 4; ++j) {
            int i = kQuadrant[q][j];
            total[0] += p.r[i], total[1] += p.g[i], total[2] += p.b[i];
            sqsum += sq(p.r[i]) + sq(p.g[i]) + sq(p.b[i]);
        }
        int best = 1 << 30, best_mask = 0;
        // Pixel 3 always stays with the second colour; mask bit j moves pixel j to the first.
        for (int mask = 0; mask < 8; ++mask) {
            const int *a = kSplitError.term[kMembers[mask]],
                      *b = kSplitError.term[4 - kMembers[mask]];
            const int *s = sa[mask];
            int d = sqsum + a[s[0]] + a[s[1]] + a[s[2]] + b[total[0] - s[0]] + b[total[1] - s[1]] +
                    b[total[2] - s[2]];
            if (d < best) {
                best = d, best_mask = mask;
                if (d == 0) break; // only a strictly smaller error would replace it
            }
        }
        const int na = kMembers[best_mask], nb = 4 - na, *s = sa[best_mask];
        int ma[3], mb[3];
        for (int k = 0; k < 3; ++k) {
            mb[k] = rounded_mean(total[k] - s[k], nb);
            ma[k] = na ? rounded_mean(s[k], na) : mb[k];
        }
        c.distortion += best;
        for (int j = 0; j < 4; ++j)
            if ((best_mask >> j) & 1) c.flags |= static_cast<std::uint16_t>(1u << kQuadrant[q][j]);
        c.colour[2 * q] = pack555(ma[0], ma[1], ma[2]);
        c.colour[2 * q + 1] = pack555(mb[0], mb[1], mb[2]);
    }
    // Flag bit 15 (top-right pixel) must be clear: swap the top-right pair instead.
    if (c.flags & 0x8000) {
        c.flags ^= (1u << 10) | (1u << 11) | (1u << 14) | (1u << 15);
        std::uint16_t t = c.colour[6];
        c.colour[6] = c.colour[7], c.colour[7] = t;
    }
}

// The block kinds in order of size; a larger kind is tried only when it can still win.
void choose(const Pixels &p, int lambda, Coded &best) {
    code_fill(p, best);
    if (best.distortion == 0 || block_cost(best, lambda) <= lambda * kTwoBytes) return;
    Coded two;
    code_two(p, lambda == 0 ? 4 : 1, two);
    if (block_cost(two, lambda) < block_cost(best, lambda)) best = two;
    if (best.distortion == 0 || block_cost(best, lambda) <= lambda * kEightBytes) return;
    Coded eight;
    code_eight(p, eight);
    if (block_cost(eight, lambda) < block_cost(best, lambda)) best = eight;
}

} // namespace

void choose_block(const std::uint16_t *px, int lambda, CodedBlock &best) {
    Pixels p;
    unpack(px, p);
    choose(p, lambda, best);
}

int block_error(const std::uint16_t *a, const std::uint16_t *b) {
    int d = 0;
    for (int i = 0; i < 16; ++i) {
        d += sq(((a[i] >> 10) & 31) - ((b[i] >> 10) & 31)) +
             sq(((a[i] >> 5) & 31) - ((b[i] >> 5) & 31)) + sq((a[i] & 31) - (b[i] & 31));
    }
    return d;
}

std::uint8_t *write_block(const Coded &c, std::uint8_t *out) {
    switch (c.kind) {
    case Kind::fill:
        return put16(out, 0x8000u | c.colour[0]);
    case Kind::two:
        out = put16(out, c.flags);
        out = put16(out, c.colour[0]);
        return put16(out, c.colour[1]);
    case Kind::eight:
        out = put16(out, c.flags);
        out = put16(out, 0x8000u | c.colour[0]);
        for (int i = 1; i < 8; ++i)
            out = put16(out, c.colour[i]);
        return out;
    }
    return out;
}

// The pixels a decoder shows for the block.
void reconstruct(const Coded &c, std::uint16_t *px) {
    switch (c.kind) {
    case Kind::fill:
        for (int i = 0; i < 16; ++i)
            px[i] = c.colour[0];
        break;
    case Kind::two:
        for (int i = 0; i < 16; ++i)
            px[i] = c.colour[((c.flags >> i) & 1) ^ 1];
        break;
    case Kind::eight:
        for (int i = 0; i < 16; ++i)
            px[i] = c.colour[2 * kQuadrantOf[i] + (((c.flags >> i) & 1) ^ 1)];
        break;
    }
}

} // namespace video1
