#include "fakewin/fakewin.h"
#include "fakewin/screen.h"
#include "fakewin/window.h"
#include "framework/application.h"
#include "marker/flashwnd.h"

#include <gtest/gtest.h>

namespace {

// The corner brackets of an area W x H in window coordinates, from their arms' extents.
bool InBracket(int x, int y, int W, int H) {
    auto in = [&](int x0, int x1, int y0, int y1) {
        return x >= x0 && x <= x1 && y >= y0 && y <= y1;
    };
    return in(0, 23, 0, 7) || in(0, 7, 0, 23) ||                                   // top-left
           in(W - 11, W + 15, 0, 7) || in(W + 9, W + 15, 0, 23) ||                 // top-right
           in(0, 23, H + 9, H + 15) || in(0, 7, H - 11, H + 15) ||                 // bottom-left
           in(W - 11, W + 15, H + 9, H + 15) || in(W + 9, W + 15, H - 11, H + 15); // bottom-right
}

class Marker : public ::testing::Test {
  protected:
    void SetUp() override { fakewin::reset(); }
    void TearDown() override {
        marker.reset();
        EXPECT_EQ(fakewin::live_objects(), fakewin::LiveObjects{});
        EXPECT_TRUE(fakewin::misuse_log().empty()) << fakewin::misuse_log()[0];
    }
    fakewin::WindowInfo Info() {
        fakewin::WindowInfo info;
        EXPECT_TRUE(fakewin::window_info(marker->Handle(), info));
        return info;
    }
    std::unique_ptr<TFlashingWnd> marker = std::make_unique<TFlashingWnd>(nullptr);
};

TEST_F(Marker, IsAHiddenTopMostPopupWithItsInitialBounds) {
    EXPECT_EQ(marker->Left(), 430);
    EXPECT_EQ(marker->Top(), 104);
    EXPECT_EQ(marker->Width(), 483);
    EXPECT_EQ(marker->Height(), 458);
    auto info = Info();
    EXPECT_TRUE(info.style & WS_POPUP);
    EXPECT_FALSE(info.style & (WS_CAPTION | WS_THICKFRAME));
    EXPECT_TRUE(info.exstyle & WS_EX_TOPMOST);
    EXPECT_FALSE(info.visible);
}

TEST_F(Marker, IsOwnedByTheApplicationsHiddenWindow) {
    // Owned, it gets no taskbar button nor Alt-Tab entry of its own.
    Application->Initialize();
    HWND application = Application->Handle();
    ASSERT_NE(application, nullptr);
    auto info = Info();
    EXPECT_EQ(info.parent, application);
    EXPECT_FALSE(info.exstyle & WS_EX_APPWINDOW);
}

TEST_F(Marker, ShapeIsFourBracketsJustOutsideTheArea) {
    marker->SetCaptureRect(100, 100, 200, 150);
    EXPECT_EQ(marker->AreaLeft, 100);
    EXPECT_EQ(marker->AreaTop, 100);
    EXPECT_EQ(marker->AreaRight, 299);
    EXPECT_EQ(marker->AreaBottom, 249);
    auto info = Info();
    EXPECT_EQ(info.rect.left, 92);
    EXPECT_EQ(info.rect.top, 92);
    EXPECT_EQ(info.rect.right - info.rect.left, 216);
    EXPECT_EQ(info.rect.bottom - info.rect.top, 166);
    EXPECT_FALSE(info.visible);
    ASSERT_NE(info.region, nullptr);
    EXPECT_TRUE(info.region_redraw); // a marker already shown takes its new shape at once
    for (int y = -2; y < 170; y++)
        for (int x = -2; x < 220; x++)
            ASSERT_EQ(fakewin::region_contains(info.region, x, y), InBracket(x, y, 200, 150))
                << "at " << x << "," << y;
    // The top-right horizontal arm, and nothing of the marker over the area itself.
    for (int x = 189; x <= 215; x++)
        EXPECT_TRUE(fakewin::region_contains(info.region, x, 0));
    EXPECT_FALSE(fakewin::region_contains(info.region, 188, 0));
    for (int y = 8; y < 8 + 150; y++)
        for (int x = 8; x < 8 + 200; x++)
            ASSERT_FALSE(fakewin::region_contains(info.region, x, y));
}

TEST_F(Marker, AreaOf35PixelsJoinsTheArms) {
    marker->SetCaptureRect(10, 10, 35, 35);
    auto info = Info();
    ASSERT_NE(info.region, nullptr);
    for (int i = 0; i < 35 + 16; i++) {
        EXPECT_TRUE(fakewin::region_contains(info.region, i, 3)) << i;       // top bar
        EXPECT_TRUE(fakewin::region_contains(info.region, i, 35 + 12)) << i; // bottom bar
        EXPECT_TRUE(fakewin::region_contains(info.region, 3, i)) << i;       // left bar
        EXPECT_TRUE(fakewin::region_contains(info.region, 35 + 12, i)) << i; // right bar
    }
    EXPECT_FALSE(fakewin::region_contains(info.region, 8 + 17, 8 + 17));
    EXPECT_FALSE(fakewin::region_contains(info.region, 35 + 8, 20)); // the gap column
}

TEST_F(Marker, OnePixelAreaIsPlacedButNeverPainted) {
    marker->SetCaptureRect(50, 60, 1, 20);
    auto info = Info();
    EXPECT_EQ(info.rect.left, 42);
    EXPECT_EQ(info.rect.right - info.rect.left, 17);
    EXPECT_NE(info.region, nullptr);
    marker->PaintFrame(MarkerIdleColor);
    marker->SetCaptureRect(50, 60, 20, 1);
    marker->PaintFrame(MarkerIdleColor);
    EXPECT_TRUE(fakewin::window_paints().empty());
    EXPECT_EQ(fakewin::window_dcs_taken(marker->Handle()), 2);
}

TEST_F(Marker, PaintBeforeAnyPlacementDrawsNothing) {
    marker->PaintFrame(MarkerActiveColor);
    EXPECT_TRUE(fakewin::window_paints().empty());
    EXPECT_EQ(fakewin::window_dcs_taken(marker->Handle()), 1);
}

TEST_F(Marker, PaintFillsTheWholeWindowInTheColour) {
    marker->SetCaptureRect(0, 0, 64, 48);
    EXPECT_EQ(Info().rect.left, -8);
    EXPECT_EQ(Info().rect.top, -8);
    marker->PaintFrame(MarkerActiveColor);
    marker->PaintFrame(MarkerIdleColor);
    auto paints = fakewin::window_paints();
    ASSERT_EQ(paints.size(), 2u);
    for (size_t i = 0; i < 2; i++) {
        COLORREF c = i == 0 ? RGB(255, 255, 180) : RGB(0, 255, 80);
        EXPECT_EQ(paints[i].hwnd, marker->Handle());
        EXPECT_EQ(paints[i].rect.left, 0);
        EXPECT_EQ(paints[i].rect.top, 0);
        EXPECT_EQ(paints[i].rect.right, 64 + 16);
        EXPECT_EQ(paints[i].rect.bottom, 48 + 16);
        EXPECT_TRUE(paints[i].filled);
        EXPECT_EQ(paints[i].brush, c);
        EXPECT_TRUE(paints[i].outlined);
        EXPECT_EQ(paints[i].pen, c);
        EXPECT_EQ(paints[i].pen_width, 1);
    }
}

TEST_F(Marker, NewPlacementMovesTheWindowAndReplacesItsRegion) {
    marker->SetCaptureRect(100, 100, 200, 150);
    HRGN first = Info().region;
    marker->SetCaptureRect(300, 200, 60, 40);
    auto info = Info();
    EXPECT_EQ(info.rect.left, 292);
    EXPECT_EQ(info.rect.top, 192);
    EXPECT_EQ(info.rect.right, 292 + 76);
    EXPECT_EQ(info.rect.bottom, 192 + 56);
    EXPECT_NE(info.region, first);
    EXPECT_FALSE(fakewin::region_valid(first));
    EXPECT_TRUE(fakewin::region_contains(info.region, 60 + 15, 40 + 15));
    EXPECT_FALSE(fakewin::region_contains(info.region, 60 + 16, 40 + 15));
}

TEST_F(Marker, DestroyingTheWindowFreesItsRegion) {
    marker->SetCaptureRect(100, 100, 200, 150);
    HRGN region = Info().region;
    marker.reset();
    EXPECT_FALSE(fakewin::region_valid(region));
}

} // namespace
