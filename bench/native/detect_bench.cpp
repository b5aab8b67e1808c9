// The in-memory part of the Record command's look on the double's virtual screen: what one
// pair of read-out snapshots costs to gather into the change map (nothing changed; a 640 x 360
// video changed all over), and the choice of the picture at the end, at 1024 x 768 and
// 1920 x 1080. Prints the medians.
#include "ui/changeregions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median_ms(int runs, const std::function<void()> &fn) {
    std::vector<double> t;
    for (int i = 0; i < runs; i++) {
        auto start = std::chrono::steady_clock::now();
        fn();
        t.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void run(int w, int h) {
    std::vector<uint32_t> first((size_t)w * h, 0x00203040), still = first, video = first;
    for (int y = 200; y < 560; y++)
        for (int x = 400; x < 1040 && x < w; x++)
            video[(size_t)y * w + x] = (uint32_t)(x * 7919 + y * 104729) & 0x00ffffff;
    ChangeMap map(w, h);
    double none = median_ms(21, [&] { map.Add(first.data(), still.data()); });
    double moving = median_ms(11, [&] { map.Add(first.data(), video.data()); });
    PixelBox found;
    double choose = median_ms(11, [&] { found = ChooseRegion(map); });
    std::printf("%4dx%-4d pair unchanged %.2f ms, pair with a moving video %.2f ms, choice %.2f ms "
                "(found %d,%d,%d,%d)\n",
                w, h, none, moving, choose, found.Left, found.Top, found.Right, found.Bottom);
}

} // namespace

int main() {
    std::printf("Record's look in memory, per pair of snapshots (medians)\n");
    run(1024, 768);
    run(1920, 1080);
    return 0;
}
