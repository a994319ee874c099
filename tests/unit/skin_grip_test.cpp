// The resize by grip: the window's bounds after a press and release on each grip, the minimum
// size, steps that fail, and the flag the title bar reads when it restores the window.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "skin/chrome.h"
#include "skin/mdl_skin.h"
#include "skin_fakes.h"

namespace {

using form::Rect;
using skin::CursorPoint;
using skin_test::MainWindow;

struct GripCase {
    const char* what;
    int index;
    CursorPoint start, end;
    Rect expected;  // pixels; the window starts at (100, 80), 528 x 255
};

// Cases print as their description in test listings.
void PrintTo(const GripCase& c, std::ostream* os) {
    *os << c.what;
}

class GripResize : public ::testing::TestWithParam<GripCase> {};

TEST_P(GripResize, MovesTheWindowByTheTravelAndKeepsTheMinimum) {
    const GripCase& c = GetParam();
    MainWindow w;
    w.placeAt(100, 80, 528, 255);
    w.state.SkinResizable = 0;
    skin::ResizeByGrip(w.frm, c.start, c.end, static_cast<std::int16_t>(c.index), w.state, w.api);
    EXPECT_EQ(w.frm.boundsPixels(), c.expected);
    // The chrome is laid out for the new size, grips included, whatever the grip did.
    EXPECT_EQ(w.state.SkinResizable, 1);
    EXPECT_TRUE(w.frm.control("Resizer", 4).visible());
    EXPECT_EQ(w.at("Resizer", 4), (Rect{c.expected.width - 11, c.expected.height - 11, 11, 11}));
}

constexpr CursorPoint P(int x, int y) {
    return CursorPoint{x, y};
}
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    EveryGrip, GripResize,
    ::testing::Values(
        GripCase{"LeftEdgeOutward", 0, P(500, 400), P(460, 407), {60, 80, 568, 255}},
        GripCase{"RightEdge", 1, P(500, 400), P(530, 390), {100, 80, 558, 255}},
        GripCase{"TopEdgeOutward", 2, P(500, 400), P(480, 380), {100, 60, 528, 275}},
        GripCase{"BottomEdge", 3, P(500, 400), P(560, 425), {100, 80, 528, 280}},
        GripCase{"BottomRightBy100And50", 4, P(500, 400), P(600, 450), {100, 80, 628, 305}},
        GripCase{"BottomLeft", 5, P(500, 400), P(490, 410), {90, 80, 538, 265}},
        GripCase{"TopRight", 6, P(500, 400), P(510, 390), {100, 70, 538, 265}},
        GripCase{"TopLeftKeepsBottomRight", 7, P(500, 400), P(480, 370), {80, 50, 548, 285}},
        // Left or top dragged inward past the minimum: the side moves by the full travel,
        // then the window is widened or heightened back, so the opposite side moves out.
        GripCase{"LeftEdgePastMinimum", 0, P(0, 0), P(500, 0), {600, 80, 57, 255}},
        GripCase{"TopEdgePastMinimum", 2, P(0, 0), P(0, 200), {100, 280, 528, 90}},
        GripCase{"TopLeftPastMinimum", 7, P(0, 0), P(500, 200), {600, 280, 57, 90}},
        GripCase{"BottomRightBelowMinimum", 4, P(600, 450), P(100, 250), {100, 80, 57, 90}},
        // A negative size is refused by the window: the move is skipped as a whole.
        GripCase{"LeftEdgePastTheRightEdge", 0, P(0, 0), P(600, 0), {100, 80, 528, 255}},
        GripCase{"SamePosition", 4, P(321, 123), P(321, 123), {100, 80, 528, 255}},
        GripCase{
            "ReleaseFarOutsideTheWindow", 1, P(627, 100), P(2627, -5000), {100, 80, 2528, 255}},
        GripCase{"IndexAboveTheGrips", 8, P(0, 0), P(100, 100), {100, 80, 528, 255}},
        GripCase{"NegativeIndex", -1, P(0, 0), P(100, 100), {100, 80, 528, 255}},
        GripCase{"LargestIndex", 32767, P(0, 0), P(100, 100), {100, 80, 528, 255}},
        // A travel beyond 32 bits fails its own step only: X counts as no travel.
        GripCase{"TravelOverflowsX", 4, P(kMin, 0), P(kMax, 10), {100, 80, 528, 265}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(GripResize, OnAMaximizedWindowOnlyTheLayoutRunsAndRestoreLaysTheGrips) {
    MainWindow w;
    w.placeAt(100, 80, 528, 255);
    skin::LayoutSkin(w.frm, true, w.state, w.api);
    skin::ToggleMaxRestore(w.frm, w.state, w.api);
    ASSERT_EQ(w.state.SkinResizable, 0);
    const Rect maximized = w.frm.boundsPixels();

    skin::ResizeByGrip(w.frm, P(0, 0), P(-300, -300), skin::GripBottomRight, w.state, w.api);
    EXPECT_EQ(w.frm.boundsPixels(), maximized);
    EXPECT_EQ(w.state.SkinResizable, 1);
    EXPECT_EQ(w.at("Resizer", 4), (Rect{1013, 727, 11, 11}));

    skin::ToggleMaxRestore(w.frm, w.state, w.api);
    EXPECT_EQ(w.frm.boundsPixels(), (Rect{100, 80, 528, 255}));
    EXPECT_EQ(w.at("Resizer", 4), (Rect{517, 244, 11, 11}));
}

TEST(GripResize, SkinResizableFollowsMaximizeRestoreAndGrips) {
    MainWindow w;
    w.placeAt(100, 80, 528, 255);
    skin::LayoutSkin(w.frm, true, w.state, w.api);
    EXPECT_EQ(w.state.SkinResizable, 1);
    skin::ToggleMaxRestore(w.frm, w.state, w.api);  // maximize: laid out without grips
    EXPECT_EQ(w.state.SkinResizable, 0);
    skin::ToggleMaxRestore(w.frm, w.state, w.api);  // restore: still without
    EXPECT_EQ(w.state.SkinResizable, 0);
    skin::ResizeByGrip(w.frm, P(0, 0), P(10, 10), skin::GripRight, w.state, w.api);
    EXPECT_EQ(w.state.SkinResizable, 1);
    EXPECT_EQ(w.frm.boundsPixels().width, 538);
    EXPECT_EQ(w.at("Resizer", 1), (Rect{533, 30, 5, 195}));
}

TEST(Chrome, PressAndReleaseOnAGripResizeOnceAtTheRelease) {
    MainWindow w;
    w.placeAt(100, 80, 528, 255);
    skin::Chrome chrome(w.frm, w.api);
    chrome.Layout(true);
    const int changesBefore = w.host.boundsChanges;
    w.api.cursor = {P(620, 330), P(720, 380)};

    w.frm.mouseDown(520, 248, form::LeftButton, 0);  // the bottom-right grip
    EXPECT_EQ(chrome.ResizeStart.X, 620);
    EXPECT_EQ(chrome.ResizeStart.Y, 330);
    EXPECT_EQ(w.host.boundsChanges, changesBefore);  // nothing moves while the button is held

    // The release goes to the pressed grip wherever the cursor is now.
    w.frm.mouseUp(900, 700, form::LeftButton, 0);
    EXPECT_EQ(chrome.ResizeEnd.X, 720);
    EXPECT_DOUBLE_EQ(w.frm.width(), 7920 + 1500);
    EXPECT_DOUBLE_EQ(w.frm.height(), 3825 + 750);
    EXPECT_DOUBLE_EQ(w.frm.left(), 1500);
    EXPECT_DOUBLE_EQ(w.frm.top(), 1200);
    EXPECT_EQ(w.host.boundsChanges, changesBefore + 1);
}

TEST(Chrome, AFailedCursorQueryKeepsThePositionOfTheLastUse) {
    MainWindow w;
    w.placeAt(100, 80, 528, 255);
    skin::Chrome chrome(w.frm, w.api);
    chrome.Layout(true);
    w.api.cursor = {P(10, 10), P(30, 10)};
    chrome.Resizer_MouseDown(skin::GripRight);
    chrome.Resizer_MouseUp(skin::GripRight);
    EXPECT_EQ(w.frm.boundsPixels().width, 548);
    w.api.cursorFails = true;
    chrome.Resizer_MouseDown(skin::GripRight);  // start stays (10, 10), end stays (30, 10)
    chrome.Resizer_MouseUp(skin::GripRight);
    EXPECT_EQ(w.frm.boundsPixels().width, 568);
}

}  // namespace
