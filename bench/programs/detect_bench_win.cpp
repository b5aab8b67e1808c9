// The Record command's look on the real API, in a scene the benchmark has put on the screen:
// runs the look a number of times and measures each area found against the picture.
//
//   detect_bench_win RUNS X Y W H [X Y W H...]
//       the picture at (X, Y), W x H screen pixels; further rectangles count as the picture
//       too (a letterboxed video's whole player), each run scored against the one it fits best.
//       Prints a line a run and one summary line:
//       "summary covered_worst=.. covered_median=.. outside_worst=.. outside_median=..
//        look_worst=.. look_median=.. (ms)"
// Covered is the share of the picture that the area recorded holds, outside the share of the
// area recorded that is not picture. The area recorded is what Record Again records from the
// found bounds: CaptureRight - CaptureLeft across and CaptureBottom - CaptureTop down.
#include "bench/programs/bench_clock.h"
#include "framework/winapi.h"
#include "ui/areadetect.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Rect {
    long long l, t, r, b; // right and bottom exclusive
    long long Area() const { return r > l && b > t ? (r - l) * (b - t) : 0; }
};

Rect Common(const Rect &a, const Rect &b) {
    return {std::max(a.l, b.l), std::max(a.t, b.t), std::min(a.r, b.r), std::min(a.b, b.b)};
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 6 || (argc - 2) % 4) {
        std::fprintf(stderr, "usage: detect_bench_win RUNS X Y W H [X Y W H...]\n");
        return 2;
    }
    int runs = std::max(1, std::atoi(argv[1]));
    std::vector<Rect> pictures;
    for (int i = 2; i + 3 < argc; i += 4) {
        long long x = std::atoll(argv[i]), y = std::atoll(argv[i + 1]);
        pictures.push_back({x, y, x + std::atoll(argv[i + 2]), y + std::atoll(argv[i + 3])});
    }
    std::vector<double> covered, outside, look;
    for (int run = 0; run < runs; run++) {
        int l = 0, t = 0, r = 0, b = 0;
        double start = bench::NowMs();
        DetectChangingArea(l, t, r, b);
        look.push_back(bench::NowMs() - start);
        Rect area = {l, t, r, b};
        double bestCovered = 0, bestOutside = 1;
        for (const Rect &p : pictures) {
            long long common = Common(area, p).Area();
            double c = (double)common / p.Area();
            double o = area.Area() ? 1.0 - (double)common / area.Area() : 0;
            if (c - o > bestCovered - bestOutside) bestCovered = c, bestOutside = o;
        }
        covered.push_back(bestCovered);
        outside.push_back(bestOutside);
        std::printf("run %d: bounds %d %d %d %d covered %.3f outside %.3f look %.0f ms\n", run + 1,
                    l, t, r, b, bestCovered, bestOutside, look.back());
        std::fflush(stdout);
    }
    std::printf("summary covered_worst=%.3f covered_median=%.3f outside_worst=%.3f "
                "outside_median=%.3f look_worst=%.0f look_median=%.0f\n",
                *std::min_element(covered.begin(), covered.end()), bench::Median(covered),
                *std::max_element(outside.begin(), outside.end()), bench::Median(outside),
                *std::max_element(look.begin(), look.end()), bench::Median(look));
    return 0;
}
