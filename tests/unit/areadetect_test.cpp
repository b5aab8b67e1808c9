// The Record command's area detection on the virtual screen: the screen is changed during
// the half-second pause between the two snapshots.
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "fakewin/screen.h"
#include "ui/areadetect.h"
#include "unit/areadetect_reference.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <stdexcept>

namespace {

struct Bounds {
    int left = -1, top = -1, right = -1, bottom = -1;
    bool operator==(const Bounds &o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};
std::ostream &operator<<(std::ostream &os, const Bounds &b) {
    return os << "{" << b.left << ", " << b.top << ", " << b.right << ", " << b.bottom << "}";
}

const COLORREF Background = RGB(40, 80, 120);
const COLORREF Changed = RGB(200, 30, 30);

class AreaDetect : public ::testing::Test {
  protected:
    void SetUp() override {
        fakewin::reset();
        fakewin::set_screen(1024, 768, 32);
        fakewin::fill_screen_rect(0, 0, 1024, 768, Background);
    }
    void TearDown() override {
        EXPECT_EQ(fakewin::cursor_show_count(), 0);
        EXPECT_EQ(fakewin::live_objects(), fakewin::LiveObjects());
        EXPECT_TRUE(fakewin::misuse_log().empty());
        fakewin::on_sleep(nullptr);
    }

    // Runs the detection with `change` applied to the screen during the pause.
    Bounds detect(std::function<void()> change) {
        int sleeps = 0;
        fakewin::on_sleep([&](DWORD) {
            if (sleeps++ == 0 && change) change();
        });
        Bounds b;
        DetectChangingArea(b.left, b.top, b.right, b.bottom);
        fakewin::on_sleep(nullptr);
        EXPECT_EQ(sleeps, 1);
        return b;
    }
    static void box(int left, int top, int right, int bottom) { // inclusive
        fakewin::fill_screen_rect(left, top, right + 1, bottom + 1, Changed);
    }
};

TEST_F(AreaDetect, WorkedExampleGivesTheBoxAfterOneHalfSecondPause) {
    EXPECT_EQ(detect([] { box(100, 50, 299, 149); }), (Bounds{100, 50, 299, 149}));
    EXPECT_EQ(fakewin::sleeps(), std::vector<DWORD>{500});
}

TEST_F(AreaDetect, NothingChangedLeavesEveryBoundAtZero) {
    EXPECT_EQ(detect(nullptr), (Bounds{0, 0, 0, 0}));
}

TEST_F(AreaDetect, ColourChangeBelowTheDeviceResolutionIsNoChange) {
    // At 16 bits both colours land on one device pixel, as GetPixel would also report.
    fakewin::set_screen(320, 200, 16);
    fakewin::fill_screen_rect(0, 0, 320, 200, RGB(64, 64, 64));
    EXPECT_EQ(detect([] { fakewin::fill_screen_rect(10, 10, 50, 50, RGB(65, 65, 66)); }),
              (Bounds{0, 0, 0, 0}));
    EXPECT_EQ(detect([] { fakewin::fill_screen_rect(10, 10, 50, 50, RGB(72, 64, 64)); }),
              (Bounds{10, 10, 49, 49}));
}

TEST_F(AreaDetect, ChangesOnlyInRowZeroSetLeftAndRightAlone) {
    EXPECT_EQ(detect([] { box(10, 0, 20, 0); }), (Bounds{10, 0, 20, 0}));
    // From column 0 the left bound is the first changed column greater than 0.
    fakewin::fill_screen_rect(0, 0, 1024, 768, Background);
    EXPECT_EQ(detect([] { box(0, 0, 20, 0); }), (Bounds{1, 0, 20, 0}));
}

TEST_F(AreaDetect, BoxAtColumnZeroOrRowZeroStartsItsBoundAtOne) {
    EXPECT_EQ(detect([] { box(0, 10, 49, 19); }), (Bounds{1, 10, 49, 19}));
    fakewin::fill_screen_rect(0, 0, 1024, 768, Background);
    EXPECT_EQ(detect([] { box(30, 0, 59, 9); }), (Bounds{30, 1, 59, 9}));
    fakewin::fill_screen_rect(0, 0, 1024, 768, Background);
    EXPECT_EQ(detect([] { box(0, 0, 9, 9); }), (Bounds{1, 1, 9, 9}));
}

TEST_F(AreaDetect, SinglePixelAndScreenCorners) {
    EXPECT_EQ(detect([] { fakewin::set_screen_pixel(500, 300, Changed); }),
              (Bounds{500, 300, 500, 300}));
    fakewin::fill_screen_rect(0, 0, 1024, 768, Background);
    EXPECT_EQ(detect([] { fakewin::set_screen_pixel(1023, 767, Changed); }),
              (Bounds{1023, 767, 1023, 767}));
}

TEST_F(AreaDetect, TopRowFixesTheColumnsOfEverythingBelow) {
    EXPECT_EQ(detect([] {
                  box(200, 100, 209, 100);
                  box(150, 101, 300, 150);
              }),
              (Bounds{200, 100, 209, 150}));
}

TEST_F(AreaDetect, LowerPlaceCountsOnlyWhenItOverlapsTheUpperColumns) {
    EXPECT_EQ(detect([] {
                  box(100, 100, 199, 149);
                  box(150, 300, 400, 309);
              }),
              (Bounds{100, 100, 199, 309}));
    fakewin::fill_screen_rect(0, 0, 1024, 768, Background);
    EXPECT_EQ(detect([] {
                  box(100, 100, 199, 149);
                  box(500, 600, 600, 610);
                  box(10, 700, 99, 710);
              }),
              (Bounds{100, 100, 199, 149}));
}

TEST_F(AreaDetect, CursorIsHiddenWhileTheSnapshotsAreTaken) {
    int during = 1;
    detect([&] { during = fakewin::cursor_show_count(); });
    EXPECT_EQ(during, -1);
}

TEST_F(AreaDetect, UnreadableSnapshotThrowsAfterRestoringCursorAndReleasingAll) {
    // The first snapshot fails before the pause; the second one fails while its desktop
    // context is held. TearDown checks the cursor count, the DCs and the bitmaps.
    fakewin::fail_get_dibits(1);
    Bounds b;
    EXPECT_THROW(DetectChangingArea(b.left, b.top, b.right, b.bottom), std::runtime_error);
    EXPECT_EQ(b, (Bounds{0, 0, 0, 0}));
    EXPECT_TRUE(fakewin::sleeps().empty());

    fakewin::on_sleep([](DWORD) { fakewin::fail_get_dibits(1); });
    EXPECT_THROW(DetectChangingArea(b.left, b.top, b.right, b.bottom), std::runtime_error);
    EXPECT_EQ(fakewin::cursor_show_count(), 0);
}

TEST(AreaScan, OnlyTheColourBytesAreCompared) {
    // The unused fourth byte of a 32-bit pixel may differ between two reads of one colour.
    std::vector<uint32_t> a(16 * 8, 0x00123456), b = a;
    b[3 * 16 + 5] = 0xff123456;
    b[4 * 16 + 7] = 0x00123457;
    Bounds r;
    ScanChangedArea(a.data(), b.data(), 16, 8, r.left, r.top, r.right, r.bottom);
    EXPECT_EQ(r, (Bounds{7, 4, 7, 4}));
}

// The bulk read-out and scan against single GetPixel reads, on random screens of every depth
// the double has: small boxes, scattered pixels, and changes too small for the device.
TEST(AreaDetectProperty, BulkScanMatchesPerPixelReads) {
    std::mt19937 rng(20240611);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int W = 96, H = 64;
    int nonzero = 0, runs = 0;
    for (int bpp : {32, 24, 16, 8}) {
        for (int round = 0; round < 150; round++) {
            fakewin::reset();
            fakewin::set_screen(W, H, bpp);
            for (int y = 0; y < H; y++)
                for (int x = 0; x < W; x++)
                    fakewin::set_screen_pixel(x, y, RGB(x * 2, y * 3, (x ^ y) & 0xff));
            auto change = [&] {
                int boxes = pick(0, 3), dots = pick(0, 4);
                for (int i = 0; i < boxes; i++) {
                    int l = pick(0, W - 1), t = pick(0, H - 1);
                    fakewin::fill_screen_rect(l, t, l + pick(1, 30), t + pick(1, 20),
                                              RGB(pick(0, 255), pick(0, 255), pick(0, 255)));
                }
                for (int i = 0; i < dots; i++) {
                    int x = pick(0, W - 1), y = pick(0, H - 1);
                    COLORREF c = fakewin::screen_pixel(x, y);
                    // Sometimes a nudge of a few levels, which 16 and 8 bits may swallow.
                    COLORREF nudged =
                        RGB(std::min(255, GetRValue(c) + pick(0, 9)), GetGValue(c), GetBValue(c));
                    fakewin::set_screen_pixel(x, y, pick(0, 1) ? nudged : RGB(pick(0, 255), 0, 9));
                }
            };
            HDC screen = GetDC(nullptr);
            auto before = std::make_unique<PixelSnapshot>(screen, W, H);
            fakewin::on_sleep([&](DWORD) { change(); });
            Bounds bulk;
            DetectChangingArea(bulk.left, bulk.top, bulk.right, bulk.bottom);
            fakewin::on_sleep(nullptr);
            Bounds ref;
            {
                PixelSnapshot after(screen, W, H);
                ScanChangedAreaByPixel(before->get(), after.get(), W, H, ref.left, ref.top,
                                       ref.right, ref.bottom);
            }
            before.reset();
            ReleaseDC(nullptr, screen);
            ASSERT_EQ(bulk, ref) << "bpp " << bpp << " round " << round;
            ASSERT_EQ(fakewin::live_objects(), fakewin::LiveObjects());
            nonzero += !(bulk == Bounds{0, 0, 0, 0});
            runs++;
        }
    }
    // The random screens must exercise found areas, not only empty ones.
    EXPECT_GT(nonzero, runs / 2);
}

} // namespace
