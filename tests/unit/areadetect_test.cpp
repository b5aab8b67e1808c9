// The Record command's look at the screen: the analysis on change maps drawn as tables, and the
// look itself on the virtual screen, which the tests change while it sleeps.
#include "fakewin/fakewin.h"
#include "fakewin/kernel.h"
#include "fakewin/screen.h"
#include "fakewin/window.h"
#include "ui/areadetect.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

void PrintTo(const PixelBox &b, std::ostream *os) {
    *os << "{" << b.Left << ", " << b.Top << ", " << b.Right << ", " << b.Bottom << "}";
}

namespace {

constexpr int Cell = ChangeMap::CellSize;

// A change map drawn in cells: '.' unchanged, a digit the changes seen over the whole cell.
ChangeMap Drawn(const std::vector<const char *> &rows) {
    ChangeMap map((int)strlen(rows[0]) * Cell, (int)rows.size() * Cell);
    for (int r = 0; r < (int)rows.size(); r++)
        for (int c = 0; rows[r][c]; c++)
            if (rows[r][c] != '.') {
                map.Mark(c * Cell, r * Cell, rows[r][c] - '0');
                map.Mark(c * Cell + Cell - 1, r * Cell + Cell - 1, rows[r][c] - '0');
            }
    return map;
}
// Cells c0..c1 across and r0..r1 down, in pixels.
PixelBox Cells(int c0, int r0, int c1, int r1) {
    return {c0 * Cell, r0 * Cell, c1 * Cell + Cell - 1, r1 * Cell + Cell - 1};
}

struct RegionCase {
    const char *scene;
    std::vector<const char *> map;
    PixelBox picture;
};

TEST(ChooseRegion, TheMovingPictureNotEveryChange) {
    const RegionCase cases[] = {
        {"nothing moved", {"....", "...."}, {}},
        {"a test pattern: a sweeping strip, and parts of it that move apart reached in turn",
         {"....................", //
          "..11..........1.....", // the timecode, joined to the strip
          "..999999999999999...", //
          "....1...............", // a small square moving down into the checkerboard's rows
          "....1...............", //
          "....1.....33333.....", //
          "..........33333....."},
         Cells(2, 1, 16, 6)},
        {"a clock above and a caret below stay out",
         {".....22.......", //
          "..............", //
          "..............", //
          "..99999999....", //
          "..99999999....", //
          "..............", //
          "..............", //
          "...5.........."},
         Cells(2, 3, 9, 4)},
        {"a small object's path across a still picture",
         {"11..........", ".11.........", "..11........", "...11.......", "............"},
         Cells(0, 0, 4, 3)},
        {"of two videos the larger, though the smaller changes more in each cell",
         {"999.........", "999.........", "999.........", "............", "......555555",
          "......555555", "......555555"},
         Cells(6, 4, 11, 6)},
    };
    for (const RegionCase &c : cases)
        EXPECT_EQ(ChooseRegion(Drawn(c.map)), c.picture) << c.scene;
}

TEST(ChangeMap, FaintAndUnusedByteChangesAreNoChangeAndOwnWindowsAreCleared) {
    const int W = 64, H = 16;
    std::vector<uint32_t> a(W * H, 0x00101010), b = a;
    b[1 * W + 3] = 0xff101010;                                 // the unused byte
    b[2 * W + 5] = 0x00101010 + (ChangeMap::FaintChange << 8); // a letterbox bar's flicker
    b[9 * W + 40] = 0x00101010 + ((ChangeMap::FaintChange + 1) << 16);
    b[12 * W + 50] = 0x00808080;
    ChangeMap map(W, H);
    map.Add(a.data(), b.data());
    EXPECT_EQ(ChooseRegion(map), (PixelBox{40, 9, 50, 12})) << "the two are one region";
    map.Clear({38, 0, 44, 10});
    EXPECT_EQ(ChooseRegion(map), (PixelBox{50, 12, 50, 12}));
    map.Clear({0, 0, W - 1, H - 1});
    EXPECT_TRUE(map.Empty());
}

TEST(SnapToEdges, OutToThePicturesOwnEdgesOrTheScreensButNoFurther) {
    const int W = 64, H = 48;
    const uint32_t desk = 0x00203040, picture = 0x00c0c0c0;
    struct Case {
        PixelBox picture, changes, found;
    } cases[] = {
        {{10, 8, 49, 39}, {20, 16, 39, 31}, {10, 8, 49, 39}},   // still margins around the motion
        {{30, 20, 63, 47}, {36, 26, 55, 40}, {30, 20, 63, 47}}, // at the screen's corner
        {{2, 2, 61, 45}, {25, 20, 34, 27}, {25, 20, 34, 27}},   // the edges beyond reach
    };
    for (const Case &c : cases) {
        std::vector<uint32_t> px(W * H, desk);
        for (int y = c.picture.Top; y <= c.picture.Bottom; y++)
            for (int x = c.picture.Left; x <= c.picture.Right; x++)
                px[y * W + x] = picture;
        EXPECT_EQ(SnapToEdges(px.data(), W, H, c.changes), c.found);
    }
}

TEST(SnapToWindow, TheWindowOrControlTheRegionNearlyFills) {
    const PixelBox player = {100, 100, 739, 519}, surface = {108, 130, 731, 489};
    const PixelBox region = {110, 140, 725, 480};
    EXPECT_EQ(SnapToWindow(region, {player, surface}), surface);
    EXPECT_EQ(SnapToWindow({104, 126, 735, 493}, {player, surface}), surface) << "slack";
    EXPECT_EQ(SnapToWindow({300, 200, 500, 400}, {player, surface}), (PixelBox{300, 200, 500, 400}))
        << "a small object in a still picture";
    EXPECT_EQ(SnapToWindow({90, 100, 739, 519}, {player}), (PixelBox{90, 100, 739, 519}))
        << "a region reaching beyond the window";
}

const COLORREF Background = RGB(40, 80, 120);

class AreaDetect : public ::testing::Test {
  protected:
    void SetUp() override {
        fakewin::reset();
        fakewin::set_screen(1000, 660, 32);
        fakewin::fill_screen_rect(0, 0, 1000, 660, Background);
    }
    void TearDown() override {
        EXPECT_EQ(fakewin::cursor_show_count(), 0);
        EXPECT_EQ(fakewin::live_objects(), fakewin::LiveObjects());
        EXPECT_TRUE(fakewin::misuse_log().empty());
        fakewin::on_sleep(nullptr);
    }
    // Runs the look, `change` called at every pause with the time since the look began; the
    // bounds found, and the look's length in `took`.
    PixelBox detect(std::function<void(DWORD at)> change, const LookWait &wait = {}) {
        DWORD start = fakewin::now();
        fakewin::on_sleep([&](DWORD) {
            if (change) change(fakewin::now() - start);
        });
        PixelBox b;
        looked = DetectChangingArea(b.Left, b.Top, b.Right, b.Bottom, wait);
        fakewin::on_sleep(nullptr);
        took = fakewin::now() - start;
        return b;
    }
    static void flash(DWORD at, int l, int t, int r, int b) { // inclusive
        fakewin::fill_screen_rect(l, t, r + 1, b + 1, RGB(at & 255, 30, at / 256 & 255));
    }
    DWORD took = 0;
    bool looked = false;
};

TEST_F(AreaDetect, LooksASecondFromTheMotionOrFiveSecondsAtAStillScreen) {
    EXPECT_EQ(detect([](DWORD at) { flash(at, 100, 50, 299, 149); }),
              (PixelBox{100, 50, 299, 149}));
    EXPECT_EQ(took, LookAfterMotion);
    EXPECT_EQ(fakewin::sleeps().size(), LookAfterMotion / SnapshotInterval);

    EXPECT_EQ(detect(nullptr), (PixelBox{0, 0, 0, 0}));
    EXPECT_EQ(took, LongestStillLook);

    // Still for two seconds, then moving; a column of 0 is a column like any other.
    EXPECT_EQ(detect([](DWORD at) {
                  if (at > 2000) flash(at, 0, 300, 99, 399);
              }),
              (PixelBox{0, 300, 99, 399}));
    EXPECT_EQ(took, 2000 + LookAfterMotion);
}

TEST_F(AreaDetect, StopCancelsTheLookWithNoArea) {
    int waits = 0;
    PixelBox b = detect([](DWORD at) { flash(at, 10, 10, 50, 50); },
                        [&](DWORD ms) {
                            Sleep(ms);
                            return ++waits < 3;
                        });
    EXPECT_FALSE(looked);
    EXPECT_EQ(b, (PixelBox{0, 0, 0, 0}));
    EXPECT_EQ(waits, 3);
}

TEST_F(AreaDetect, TakesTheControlThePictureNearlyFillsButNoWindowOfItsOwn) {
    auto window = [](HWND parent, DWORD style, int x, int y, int w, int h) {
        return CreateWindowExA(0, "other", "", style, x, y, w, h, parent, nullptr, nullptr,
                               nullptr);
    };
    // The program's own window repaints all over, more than the video changes.
    HWND own = window(nullptr, WS_POPUP | WS_VISIBLE, 20, 20, 600, 420);
    HWND player = window(nullptr, WS_POPUP | WS_VISIBLE, 640, 440, 340, 200);
    fakewin::make_foreign(player);
    window(player, WS_CHILD | WS_VISIBLE, 10, 20, 320, 170);
    auto scene = [](DWORD at) {
        flash(at, 20, 20, 619, 439);
        flash(at, 655, 470, 960, 620);
    };
    EXPECT_EQ(detect(scene), (PixelBox{650, 460, 969, 629}));
    DestroyWindow(player);
    EXPECT_EQ(detect(scene), (PixelBox{655, 470, 960, 620}));
    DestroyWindow(own);
}

TEST_F(AreaDetect, CursorIsHiddenWhileTheSnapshotsAreTaken) {
    int during = 1;
    detect([&](DWORD at) {
        during = fakewin::cursor_show_count();
        flash(at, 1, 1, 9, 9);
    });
    EXPECT_EQ(during, -1);
}

TEST_F(AreaDetect, UnreadableSnapshotThrowsAfterRestoringCursorAndReleasingAll) {
    // The first snapshot fails before the look's first pause; a later one fails while its
    // desktop context is held. TearDown checks the cursor count, the DCs and the bitmaps.
    fakewin::fail_get_dibits(1);
    PixelBox b;
    EXPECT_THROW(DetectChangingArea(b.Left, b.Top, b.Right, b.Bottom), std::runtime_error);
    EXPECT_EQ(b, (PixelBox{0, 0, 0, 0}));
    EXPECT_TRUE(fakewin::sleeps().empty());

    fakewin::on_sleep([](DWORD) { fakewin::fail_get_dibits(1); });
    EXPECT_THROW(DetectChangingArea(b.Left, b.Top, b.Right, b.Bottom), std::runtime_error);
    EXPECT_EQ(fakewin::cursor_show_count(), 0);
}

} // namespace
