// Benchmark of the Video 1 encoder on a screen-like sequence, against FFmpeg's msvideo1 encoder
// measured by bench/codec/run.sh in the same run.
//   codec_bench gen OUT W H N
//       writes N frames of rgb555le, top-down: text being typed and scrolled, flat panels and
//       a moving video region
//   codec_bench measure IN W H N KEYINT FFMPEG_DECODED FFMPEG_BYTES FFMPEG_SECONDS
//       encodes IN with our encoder (from 32-bit input, as the recorder feeds it), finds the
//       quality whose size matches FFmpeg's, and prints speed and PSNR side by side
//   codec_bench speed IN W H N KEYINT Q RUNS
//       encodes IN RUNS times at quality Q and prints each run's milliseconds per frame and a
//       hash of the bytes written, so that two builds of the encoder can be compared run for run
#include "pixel_convert.h"
#include "video1_decoder.h"
#include "video1_encoder.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Frame = std::vector<std::uint16_t>;

std::uint16_t rgb(int r, int g, int b) { return video1::pack555(r & 31, g & 31, b & 31); }

// Frame rows top-down, as FFmpeg's rawvideo has them.
std::vector<Frame> generate(int w, int h, int n) {
    std::vector<Frame> frames;
    std::mt19937 rng(12345);
    std::vector<std::uint32_t> glyph_bits(96);
    for (auto &g : glyph_bits)
        g = rng(); // 5x7 glyph shapes
    for (int f = 0; f < n; ++f) {
        Frame px(std::size_t(w) * h, rgb(30, 30, 30));
        auto rect = [&](int x0, int y0, int x1, int y1, std::uint16_t c) {
            for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
                for (int x = std::max(0, x0); x < std::min(w, x1); ++x)
                    px[std::size_t(y) * w + x] = c;
        };
        rect(0, 0, w, 20, rgb(4, 8, 20));          // title bar
        rect(0, h - 24, w, h, rgb(24, 24, 24));    // status bar
        rect(0, 20, 120, h - 24, rgb(27, 28, 30)); // side panel
        for (int i = 0; i < 8; ++i)
            rect(8, 40 + i * 22, 110, 56 + i * 22, rgb(20, 22, 28));
        // Text: lines of glyphs, typed one glyph per frame, scrolled every 20 frames.
        int typed = 200 + f * 3, scroll = (f / 20) * 9;
        for (int line = 0; line < (h - 80) / 9; ++line) {
            for (int col = 0; col < (w - 140) / 6; ++col) {
                int index = (line + scroll / 9) * 100 + col;
                if (index > typed) break;
                std::uint32_t bits = glyph_bits[std::size_t(index * 7) % 96];
                for (int gy = 0; gy < 7; ++gy)
                    for (int gx = 0; gx < 5; ++gx)
                        if ((bits >> ((gy * 5 + gx) % 32)) & 1)
                            px[std::size_t(30 + line * 9 + gy) * w + 130 + col * 6 + gx] =
                                rgb(2, 2, 3);
            }
        }
        // Video region: a moving, shaded pattern with grain, sliding across.
        int vx = 140 + (f * 4) % (w / 3), vy = h / 2 - 40, vw = w / 3, vh = h / 3;
        for (int y = 0; y < vh && vy + y < h; ++y)
            for (int x = 0; x < vw && vx + x < w; ++x) {
                double t = f * 0.2;
                int r = int(15.5 + 15 * std::sin(x * 0.05 + t));
                int g = int(15.5 + 15 * std::sin(y * 0.07 - t * 0.7));
                int b = int(15.5 + 15 * std::sin((x + y) * 0.03 + t * 1.3));
                int grain = int(rng() % 3) - 1;
                px[std::size_t(vy + y) * w + vx + x] =
                    rgb(std::clamp(r + grain, 0, 31), std::clamp(g + grain, 0, 31),
                        std::clamp(b, 0, 31));
            }
        frames.push_back(std::move(px));
    }
    return frames;
}

std::vector<Frame> read_frames(const std::string &path, int w, int h, int n) {
    std::ifstream in(path, std::ios::binary);
    std::vector<Frame> frames(std::size_t(n), Frame(std::size_t(w) * h));
    for (auto &f : frames)
        if (!in.read(reinterpret_cast<char *>(f.data()), std::streamsize(f.size() * 2))) {
            std::fprintf(stderr, "codec_bench: %s is short\n", path.c_str());
            std::exit(1);
        }
    return frames;
}

double psnr(const std::vector<Frame> &a, const std::vector<Frame> &b) {
    double sse = 0, count = 0;
    for (std::size_t f = 0; f < a.size(); ++f)
        for (std::size_t i = 0; i < a[f].size(); ++i)
            for (int s = 0; s < 15; s += 5) {
                int e = int((a[f][i] >> s) & 31) - int((b[f][i] >> s) & 31);
                sse += e * e, ++count;
            }
    return sse == 0 ? 99.0 : 10 * std::log10(31.0 * 31.0 * count / sse);
}

struct Run {
    std::size_t bytes = 0;
    double seconds = 0;
    std::vector<Frame> decoded; // top-down, like the input
};

// Encodes the sequence as the driver does: 32-bit bottom-up DIB in, converted, encoded.
Run encode(const std::vector<std::vector<std::uint8_t>> &dibs, int w, int h, int quality,
           int keyint, bool decode) {
    Run run;
    video1::Encoder enc(w, h);
    Frame input(std::size_t(w) * h), picture(input.size());
    std::vector<std::uint8_t> out(video1::max_frame_size16(w, h));
    for (std::size_t f = 0; f < dibs.size(); ++f) {
        auto start = std::chrono::steady_clock::now();
        video1::dib_to_rgb555(dibs[f].data(), w, h, 32, false, nullptr, 0, input.data());
        std::size_t n = enc.encode(input.data(), quality, f % std::size_t(keyint) == 0, out.data());
        run.seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.bytes += n;
        if (decode) {
            video1::decode16(out.data(), n, w, h, picture.data());
            Frame top_down(picture.size());
            for (int y = 0; y < h; ++y)
                std::copy_n(&picture[std::size_t(h - 1 - y) * w], w, &top_down[std::size_t(y) * w]);
            run.decoded.push_back(std::move(top_down));
        }
    }
    return run;
}

// The frames as the recorder hands them over: 32-bit bottom-up DIBs.
std::vector<std::vector<std::uint8_t>> to_dibs(const std::vector<Frame> &input, int w, int h) {
    std::vector<std::vector<std::uint8_t>> dibs;
    for (const Frame &f : input) {
        std::vector<std::uint8_t> dib(std::size_t(w) * h * 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint16_t v = f[std::size_t(h - 1 - y) * w + x];
                std::uint8_t *p = &dib[(std::size_t(y) * w + x) * 4];
                p[0] = std::uint8_t(video1::expand5(v & 31));
                p[1] = std::uint8_t(video1::expand5((v >> 5) & 31));
                p[2] = std::uint8_t(video1::expand5((v >> 10) & 31));
                p[3] = 0;
            }
        dibs.push_back(std::move(dib));
    }
    return dibs;
}

int speed(char **argv) {
    int w = std::atoi(argv[3]), h = std::atoi(argv[4]), n = std::atoi(argv[5]);
    int keyint = std::atoi(argv[6]), quality = std::atoi(argv[7]), runs = std::atoi(argv[8]);
    auto dibs = to_dibs(read_frames(argv[2], w, h, n), w, h);
    std::vector<std::uint8_t> out(video1::max_frame_size16(w, h));
    for (int r = 0; r < runs; ++r) {
        video1::Encoder enc(w, h);
        Frame input(std::size_t(w) * h);
        std::uint64_t hash = 14695981039346656037ull; // FNV-1a over every frame's bytes
        double seconds = 0;
        for (std::size_t f = 0; f < dibs.size(); ++f) {
            auto start = std::chrono::steady_clock::now();
            video1::dib_to_rgb555(dibs[f].data(), w, h, 32, false, nullptr, 0, input.data());
            std::size_t size =
                enc.encode(input.data(), quality, f % std::size_t(keyint) == 0, out.data());
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            for (std::size_t i = 0; i < size; ++i)
                hash = (hash ^ out[i]) * 1099511628211ull;
        }
        std::printf("%.3f ms/frame %016llx\n", 1000 * seconds / n,
                    static_cast<unsigned long long>(hash));
    }
    return 0;
}

int measure(char **argv) {
    int w = std::atoi(argv[3]), h = std::atoi(argv[4]), n = std::atoi(argv[5]);
    int keyint = std::atoi(argv[6]);
    auto input = read_frames(argv[2], w, h, n);
    auto ff_decoded = read_frames(argv[7], w, h, n);
    double ff_bytes = std::atof(argv[8]), ff_seconds = std::atof(argv[9]);
    auto dibs = to_dibs(input, w, h);
    const double megapixels = double(w) * h * n / 1e6;
    // The highest quality whose output is no larger than FFmpeg's.
    int lo = 0, hi = video1::kMaxQuality;
    if (encode(dibs, w, h, lo, keyint, false).bytes > ff_bytes) {
        std::printf("even quality 0 is larger than FFmpeg's output\n");
    }
    while (lo < hi) {
        int mid = (lo + hi + 1) / 2;
        if (encode(dibs, w, h, mid, keyint, false).bytes <= ff_bytes)
            lo = mid;
        else
            hi = mid - 1;
    }
    auto timed = [&](int quality) {
        Run best = encode(dibs, w, h, quality, keyint, true);
        for (int i = 0; i < 4; ++i)
            best.seconds =
                std::min(best.seconds, encode(dibs, w, h, quality, keyint, false).seconds);
        return best;
    };
    Run matched = timed(lo), fallback = timed(video1::kDefaultQuality), top = timed(10000);
    double ff_psnr = psnr(input, ff_decoded);
    std::printf("sequence: %dx%d, %d frames, key frame every %d\n", w, h, n, keyint);
    std::printf("%-26s %10s %9s %10s\n", "encoder", "bytes", "PSNR dB", "MP/s");
    std::printf("%-26s %10.0f %9.2f %10.1f\n", "ffmpeg msvideo1", ff_bytes, ff_psnr,
                megapixels / ff_seconds);
    auto row = [&](const char *name, int q, const Run &r) {
        std::printf("%-18s q=%5d %10zu %9.2f %10.1f\n", name, q, r.bytes, psnr(input, r.decoded),
                    megapixels / r.seconds);
    };
    row("ours, size-matched", lo, matched);
    row("ours, default", video1::kDefaultQuality, fallback);
    row("ours, best", 10000, top);
    double speed_ratio = (megapixels / matched.seconds) / (megapixels / ff_seconds);
    double psnr_gain = psnr(input, matched.decoded) - ff_psnr;
    std::printf("ratio at equal size: speed %.1fx FFmpeg, size %.3f of FFmpeg, PSNR %+.2f dB\n",
                speed_ratio, matched.bytes / ff_bytes, psnr_gain);
    std::printf("goal (>= 10x speed, PSNR >= FFmpeg at equal size): %s\n",
                speed_ratio >= 10 && psnr_gain >= 0 ? "met" : "NOT met");
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "gen" && argc == 6) {
        int w = std::atoi(argv[3]), h = std::atoi(argv[4]), n = std::atoi(argv[5]);
        std::ofstream out(argv[2], std::ios::binary);
        for (const Frame &f : generate(w, h, n))
            out.write(reinterpret_cast<const char *>(f.data()), std::streamsize(f.size() * 2));
        return out ? 0 : 1;
    }
    if (cmd == "measure" && argc == 10) return measure(argv);
    if (cmd == "speed" && argc == 9) return speed(argv);
    std::fprintf(stderr,
                 "usage: codec_bench gen OUT W H N | measure IN W H N KEYINT "
                 "FFMPEG_DECODED FFMPEG_BYTES FFMPEG_SECONDS | speed IN W H N KEYINT Q RUNS\n");
    return 2;
}
