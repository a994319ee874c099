// The chrome layout and the title bar: where every frame piece and grip lands at a given size,
// the rounded outline, the resizable flag, and drag and maximize/restore through their bindings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/chrome.h"
#include "skin/mdl_skin.h"
#include "skin_fakes.h"

namespace {

using form::Rect;
using skin_test::MainWindow;

struct Placed {
    const char* name;
    int index;
    Rect rect;
};

void expectPlaced(MainWindow& w, const std::vector<Placed>& expected) {
    for (const Placed& p : expected)
        EXPECT_EQ(w.at(p.name, p.index), p.rect)
            << p.name << (p.index >= 0 ? "(" + std::to_string(p.index) + ")" : "");
}

struct LayoutCase {
    const char* what;
    int width, height;  // pixels
    std::vector<Placed> frame;
    std::vector<Placed> grips;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.what;
}

class LayoutAtSize : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutAtSize, PlacesFrameAndGrips) {
    const LayoutCase& c = GetParam();
    MainWindow w;
    w.placeAt(100, 80, c.width, c.height);
    skin::LayoutSkin(w.frm, true, w.state, w.api);
    expectPlaced(w, c.frame);
    expectPlaced(w, c.grips);
    EXPECT_EQ(w.at("lblTitle"), (Rect{16, 7, 266, 16}));
    for (int i = 0; i <= 7; ++i)
        EXPECT_TRUE(w.frm.control("Resizer", i).visible()) << i;
    ASSERT_EQ(w.api.regions.size(), 1u);
    EXPECT_EQ(w.api.regions[0].right, c.width);
    EXPECT_EQ(w.api.regions[0].bottom, c.height);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, LayoutAtSize,
    ::testing::Values(LayoutCase{"design size 528 x 255",
                                 528,
                                 255,
                                 {{"imgTitleLeft", -1, {0, 0, 19, 30}},
                                  {"imgTitleRight", -1, {509, 0, 19, 30}},
                                  {"imgTitleMain", -1, {19, 0, 509, 30}},
                                  {"imgWindowLeft", -1, {0, 30, 19, 195}},
                                  {"imgWindowBottomLeft", -1, {0, 225, 19, 30}},
                                  {"imgWindowBottom", -1, {19, 225, 490, 30}},
                                  {"imgWindowBottomRight", -1, {509, 225, 19, 30}},
                                  {"imgWindowRight", -1, {509, 30, 19, 217}}},
                                 {{"Resizer", 0, {0, 30, 5, 195}},
                                  {"Resizer", 1, {523, 30, 5, 195}},
                                  {"Resizer", 2, {19, 0, 489, 5}},
                                  {"Resizer", 3, {19, 250, 489, 5}},
                                  {"Resizer", 4, {517, 244, 11, 11}},
                                  {"Resizer", 5, {0, 244, 11, 11}},
                                  {"Resizer", 6, {517, 0, 11, 11}},
                                  {"Resizer", 7, {0, 0, 11, 11}}}},
                      LayoutCase{"smallest size 57 x 90",
                                 57,
                                 90,
                                 {{"imgTitleLeft", -1, {0, 0, 19, 30}},
                                  {"imgTitleRight", -1, {38, 0, 19, 30}},
                                  {"imgTitleMain", -1, {19, 0, 38, 30}},
                                  {"imgWindowLeft", -1, {0, 30, 19, 30}},
                                  {"imgWindowBottomLeft", -1, {0, 60, 19, 30}},
                                  {"imgWindowBottom", -1, {19, 60, 19, 30}},
                                  {"imgWindowBottomRight", -1, {38, 60, 19, 30}},
                                  {"imgWindowRight", -1, {38, 30, 19, 52}}},
                                 {{"Resizer", 0, {0, 30, 5, 30}},
                                  {"Resizer", 1, {52, 30, 5, 30}},
                                  {"Resizer", 2, {19, 0, 18, 5}},
                                  {"Resizer", 3, {19, 85, 18, 5}},
                                  {"Resizer", 4, {46, 79, 11, 11}},
                                  {"Resizer", 5, {0, 79, 11, 11}},
                                  {"Resizer", 6, {46, 0, 11, 11}},
                                  {"Resizer", 7, {0, 0, 11, 11}}}}),
    [](const auto& info) {
        return std::to_string(info.param.width) + "x" + std::to_string(info.param.height);
    });

TEST(LayoutSkin, SetsColourCaptionAndOutlineAndLeavesContentControlsAlone) {
    MainWindow w;
    const Rect bg = w.at("bg"), maxRestore = w.at("imgTitleMaxRestore"), ok = w.at("cmdOK");
    w.frm.control("lblTitle").setText("Upgrade Norvik 12.0");
    skin::LayoutSkin(w.frm, true, w.state, w.api);
    EXPECT_EQ(w.frm.backColour(), form::Colour::rgb(207, 207, 207));
    EXPECT_EQ(w.frm.caption(), "Upgrade Norvik 12.0");
    ASSERT_EQ(w.api.regions.size(), 1u);
    const auto& r = w.api.regions[0];
    EXPECT_EQ(std::vector<int>({r.left, r.top, r.right, r.bottom, r.ellipseW, r.ellipseH}),
              std::vector<int>({0, 0, 528, 255, 24, 24}));
    ASSERT_EQ(w.api.setRegions.size(), 1u);
    EXPECT_EQ(w.api.setRegions[0].hwnd, skin_test::kHwnd);
    EXPECT_EQ(w.api.setRegions[0].region, 0x5001u);  // the region just created
    EXPECT_TRUE(w.api.setRegions[0].redraw);
    EXPECT_EQ(w.at("bg"), bg);
    EXPECT_EQ(w.at("imgTitleMaxRestore"), maxRestore);
    EXPECT_EQ(w.at("cmdOK"), ok);

    // The caption follows the label only at the next layout; every layout makes a new region.
    w.frm.control("lblTitle").setText("Other");
    EXPECT_EQ(w.frm.caption(), "Upgrade Norvik 12.0");
    skin::LayoutSkin(w.frm, false, w.state, w.api);
    EXPECT_EQ(w.frm.caption(), "Other");
    ASSERT_EQ(w.api.setRegions.size(), 2u);
    EXPECT_EQ(w.api.setRegions[1].region, 0x5002u);
}

TEST(LayoutSkin, GripsAreShownOnlyByAResizableLayoutAndNeverHiddenAgain) {
    MainWindow w;
    const Rect designGrip = w.at("Resizer", 4);
    skin::LayoutSkin(w.frm, false, w.state, w.api);
    EXPECT_EQ(w.state.SkinResizable, 0);
    for (int i = 0; i <= 7; ++i)
        EXPECT_FALSE(w.frm.control("Resizer", i).visible()) << i;
    EXPECT_EQ(w.at("Resizer", 4), designGrip);

    skin::LayoutSkin(w.frm, true, w.state, w.api);
    EXPECT_EQ(w.state.SkinResizable, 1);
    EXPECT_EQ(w.at("Resizer", 4), (Rect{517, 244, 11, 11}));

    // A later non-resizable layout at another size moves the frame but not the grips.
    w.placeAt(0, 0, 600, 300);
    skin::LayoutSkin(w.frm, false, w.state, w.api);
    EXPECT_EQ(w.state.SkinResizable, 0);
    EXPECT_EQ(w.at("imgTitleRight"), (Rect{581, 0, 19, 30}));
    for (int i = 0; i <= 7; ++i)
        EXPECT_TRUE(w.frm.control("Resizer", i).visible()) << i;
    EXPECT_EQ(w.at("Resizer", 4), (Rect{517, 244, 11, 11}));
}

TEST(LayoutSkin, ConvertsTheOuterSizeWithEachAxisRatio) {
    // 120 dpi: 12 twips per pixel on both axes; the form holds 660 x 319 pixels.
    form::Form frm(ui::frmMainDefinition(), 12, 12);
    skin_test::FakeWindowApi api;
    skin::ChromeState state;
    skin::LayoutSkin(frm, true, state, api);
    EXPECT_EQ(frm.control("imgTitleRight").left(), 660 - 19);
    EXPECT_EQ(frm.control("Resizer", 3).top(), frm.boundsPixels().height - 5);
    EXPECT_EQ(api.regions.at(0).right, 660);
}

TEST(LayoutSkin, AFailingStepEndsTheLayoutWithEarlierStepsDone) {
    // Narrower than the two bottom corners: the bottom border's width is refused after its
    // Top and Left were written; nothing after it is placed and the grips stay hidden.
    MainWindow w;
    w.placeAt(0, 0, 30, 90);
    const Rect bottomRight = w.at("imgWindowBottomRight");
    EXPECT_THROW(skin::LayoutSkin(w.frm, true, w.state, w.api), form::FormError);
    EXPECT_EQ(w.state.SkinResizable, 1);
    EXPECT_EQ(w.at("imgTitleMain"), (Rect{19, 0, 11, 30}));
    EXPECT_EQ(w.at("imgWindowBottom").top, 60);
    EXPECT_EQ(w.at("imgWindowBottom").left, 19);
    EXPECT_EQ(w.at("imgWindowBottom").width, 19);  // design width kept
    EXPECT_EQ(w.at("imgWindowBottomRight"), bottomRight);
    EXPECT_FALSE(w.frm.control("Resizer", 0).visible());
}

TEST(LayoutSkin, AWindowWithoutTheTitleLabelFailsAfterSettingTheFlag) {
    form::FormDef def;
    def.name = "bare";
    def.width = 7920;
    def.height = 3825;
    form::Form frm(def, 15, 15);
    skin_test::FakeWindowApi api;
    skin::ChromeState state;
    state.SkinResizable = 1;
    EXPECT_THROW(skin::LayoutSkin(frm, false, state, api), form::FormError);
    EXPECT_EQ(state.SkinResizable, 0);
    EXPECT_EQ(frm.backColour(), form::Colour::rgb(207, 207, 207));
    EXPECT_TRUE(api.regions.empty());
}

// ---------------------------------------------------------------------------------------------
// Title bar

TEST(DragForm, StartsTheSystemMoveUnlessMaximized) {
    MainWindow w;
    skin::DragForm(w.frm, w.api);
    EXPECT_EQ(w.api.calls, (std::vector<std::string>{"ReleaseCapture", "SendMessage"}));
    ASSERT_EQ(w.api.sent.size(), 1u);
    EXPECT_EQ(w.api.sent[0].hwnd, skin_test::kHwnd);
    EXPECT_EQ(w.api.sent[0].message, 0xA1u);  // WM_NCLBUTTONDOWN
    EXPECT_EQ(w.api.sent[0].wParam, 2u);      // HTCAPTION
    EXPECT_EQ(w.api.sent[0].pointee, 0);

    w.api.calls.clear();
    w.frm.setWindowState(form::WindowState::Maximized);
    skin::DragForm(w.frm, w.api);
    EXPECT_TRUE(w.api.calls.empty());
}

TEST(ToggleMaxRestore, MaximizesWithTheFrameReLaidAndRestoresWithGripsInPlace) {
    MainWindow w;
    w.placeAt(200, 150, 528, 255);
    skin::LayoutSkin(w.frm, true, w.state, w.api);
    const Rect grip = w.at("Resizer", 1);

    skin::ToggleMaxRestore(w.frm, w.state, w.api);
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Maximized);
    EXPECT_EQ(w.state.SkinResizable, 0);
    expectPlaced(w, {{"imgTitleRight", -1, {1005, 0, 19, 30}},
                     {"imgTitleMain", -1, {19, 0, 1005, 30}},
                     {"imgWindowLeft", -1, {0, 30, 19, 678}},
                     {"imgWindowBottom", -1, {19, 708, 986, 30}},
                     {"imgWindowBottomRight", -1, {1005, 708, 19, 30}},
                     {"imgWindowRight", -1, {1005, 30, 19, 700}}});
    EXPECT_EQ(w.at("Resizer", 1), grip);  // grips left where they were
    EXPECT_EQ(w.api.regions.back().right, 1024);
    EXPECT_EQ(w.api.regions.back().bottom, 738);
    EXPECT_EQ(w.frm.control("imgTitleMaxRestore").picture(), "");

    skin::ToggleMaxRestore(w.frm, w.state, w.api);
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Normal);
    EXPECT_EQ(w.frm.boundsPixels(), (Rect{200, 150, 528, 255}));
    EXPECT_EQ(w.at("imgTitleRight"), (Rect{509, 0, 19, 30}));
    EXPECT_EQ(w.api.regions.back().right, 528);
    EXPECT_EQ(w.at("Resizer", 1), grip);
    for (int i = 0; i <= 7; ++i)
        EXPECT_TRUE(w.frm.control("Resizer", i).visible()) << i;
}

TEST(ToggleMaxRestore, AMinimizedWindowIsRestored) {
    MainWindow w;
    w.host.normal = w.frm.boundsPixels();
    w.frm.stateChangedBySystem(form::WindowState::Minimized);
    skin::ToggleMaxRestore(w.frm, w.state, w.api);
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Normal);
    EXPECT_EQ(w.at("imgTitleRight"), (Rect{509, 0, 19, 30}));
}

TEST(ToggleMaxRestore, TakesTheButtonPicturesFromControlsOfThoseNamesWhenPresent) {
    form::FormDef def = ui::frmMainDefinition();
    form::ControlDef restore;
    restore.name = "imgTitleRestore";
    restore.picture = "picRestore";
    form::ControlDef maximize = restore;
    maximize.name = "imgTitleMaximize";
    maximize.picture = "picMaximize";
    def.windowless.push_back(restore);
    def.windowless.push_back(maximize);
    form::Form frm(def, 15, 15);
    skin_test::FakeWindowApi api;
    skin::ChromeState state;
    skin::ToggleMaxRestore(frm, state, api);
    EXPECT_EQ(frm.control("imgTitleMaxRestore").picture(), "picRestore");
    skin::ToggleMaxRestore(frm, state, api);
    EXPECT_EQ(frm.control("imgTitleMaxRestore").picture(), "picMaximize");
}

TEST(Chrome, TitleControlsAreBoundToDragAndToggle) {
    MainWindow w;
    skin::Chrome chrome(w.frm, w.api);
    chrome.Layout(true);
    auto drags = [&] { return w.api.sent.size(); };

    struct Press {
        const char* what;
        int x, y, button;
        bool drags;
    };
    for (const Press& p : {Press{"imgTitleLeft", 8, 25, form::LeftButton, true},
                           Press{"imgTitleMain", 200, 26, form::RightButton, true},
                           Press{"imgTitleRight", 518, 25, form::MiddleButton, true},
                           Press{"lblTitle", 30, 12, form::LeftButton, true},
                           Press{"imgTitleMaxRestore", 115, 27, form::LeftButton, false}}) {
        const size_t before = drags();
        w.frm.mouseDown(p.x, p.y, p.button, 0);
        w.frm.cancelCapture();
        EXPECT_EQ(drags() - before, p.drags ? 1u : 0u) << p.what;
    }

    // A click on the button and a double-click on the label or the middle piece toggle.
    w.frm.mouseDown(115, 27, form::LeftButton, 0);
    w.frm.mouseUp(115, 27, form::LeftButton, 0);
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Maximized);
    w.frm.doubleClick(30, 12, 0);
    w.frm.mouseUp(30, 12, form::LeftButton, 0);
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Normal);
    w.frm.doubleClick(200, 26, 0);
    w.frm.mouseUp(200, 26, form::LeftButton, 0);
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Maximized);
    w.frm.doubleClick(200, 26, 0);  // the middle piece of the maximized bar
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Normal);
    // The title ends do not toggle.
    w.frm.doubleClick(8, 25, 0);
    w.frm.doubleClick(518, 25, 0);
    EXPECT_EQ(w.frm.windowState(), form::WindowState::Normal);
}

}  // namespace
