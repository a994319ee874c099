// The window model: unit conversion, lookup, hit-testing and mouse capture.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/rounding.h"
#include "form/form.h"

namespace {

TEST(Rounding, HalfGoesToEvenNeighbour) {
    struct Case {
        double in;
        double out;
    };
    for (const Case c : {Case{0.5, 0}, Case{1.5, 2}, Case{2.5, 2}, Case{-0.5, 0}, Case{-1.5, -2},
                         Case{2.4999, 2}, Case{2.5001, 3}, Case{7.0, 7}, Case{-2.6, -3}})
        EXPECT_EQ(norvik::roundHalfEven(c.in), c.out) << c.in;
}

TEST(Units, TwipsToPixelsUsesTheRatioAndRoundsHalfToEven) {
    EXPECT_EQ(form::twipsToPixels(7920, 15), 528);
    EXPECT_EQ(form::twipsToPixels(3825, 15), 255);
    EXPECT_EQ(form::twipsToPixels(7.5, 15), 0);     // 0.5 -> 0
    EXPECT_EQ(form::twipsToPixels(22.5, 15), 2);    // 1.5 -> 2
    EXPECT_EQ(form::twipsToPixels(37.5, 15), 2);    // 2.5 -> 2
    EXPECT_EQ(form::twipsToPixels(1440, 12), 120);  // 120 dpi
}

form::ControlDef def(const char* name, int l, int t, int w, int h, int index = -1) {
    form::ControlDef d;
    d.name = name;
    d.index = index;
    d.left = l, d.top = t, d.width = w, d.height = h;
    return d;
}

form::FormDef sample() {
    form::FormDef f;
    f.name = "f";
    f.width = 1500;
    f.height = 1500;
    f.windowless = {def("top", 0, 0, 300, 300), def("grip", 150, 150, 300, 300, 3),
                    def("bottom", 0, 0, 1500, 1500)};
    form::ControlDef edit = def("edit", 600, 600, 300, 150);
    edit.kind = form::ControlKind::TextBox;
    f.children = {edit};
    return f;
}

TEST(FormModel, ConvertsEachAxisWithItsOwnRatio) {
    form::Form f(sample(), 15, 10);
    EXPECT_EQ(f.control("grip", 3).bounds(), (form::Rect{10, 15, 20, 30}));
    EXPECT_EQ(f.boundsPixels().width, 100);
    EXPECT_EQ(f.boundsPixels().height, 150);
    EXPECT_DOUBLE_EQ(f.width(), 1500);
    EXPECT_DOUBLE_EQ(f.height(), 1500);
}

TEST(FormModel, LookupByNameAndIndex) {
    form::Form f(sample(), 15, 15);
    EXPECT_NE(f.find("grip", 3), nullptr);
    EXPECT_EQ(f.find("grip"), nullptr);
    EXPECT_EQ(f.find("grip", 2), nullptr);
    EXPECT_THROW(f.control("missing"), form::FormError);
}

TEST(FormModel, HitTestTakesTheTopmostVisibleControl) {
    form::Form f(sample(), 15, 15);
    EXPECT_EQ(f.hitTest(5, 5)->name(), "top");
    EXPECT_EQ(f.hitTest(15, 15)->name(), "top");  // top, grip and bottom all cover it
    EXPECT_EQ(f.hitTest(25, 25)->name(), "grip");
    EXPECT_EQ(f.hitTest(99, 99)->name(), "bottom");
    EXPECT_EQ(f.hitTest(100, 100), nullptr);  // right and bottom edges are outside
    f.control("top").setVisible(false);
    EXPECT_EQ(f.hitTest(5, 5)->name(), "bottom");
}

TEST(FormModel, ReleaseReachesThePressedControlAndClickNeedsTheReleaseOverIt) {
    form::Form f(sample(), 15, 15);
    std::vector<std::string> log;
    for (const char* n : {"top", "bottom"}) {
        form::Control& c = f.control(n);
        c.onMouseDown = [&log, n](const form::MouseEvent& e) {
            log.push_back(std::string(n) + ".down@" + std::to_string(e.x));
        };
        c.onMouseUp = [&log, n](const form::MouseEvent&) { log.push_back(std::string(n) + ".up"); };
        c.onClick = [&log, n] { log.push_back(std::string(n) + ".click"); };
        c.onDblClick = [&log, n] { log.push_back(std::string(n) + ".dbl"); };
    }
    f.mouseDown(5, 5, form::LeftButton, 0);
    EXPECT_EQ(f.captured()->name(), "top");
    f.mouseUp(80, 80, form::LeftButton, 0);  // released over "bottom": still top's release
    EXPECT_EQ(f.captured(), nullptr);
    f.mouseDown(3, 3, form::LeftButton, 0);
    f.mouseUp(4, 4, form::LeftButton, 0);
    f.doubleClick(4, 4, 0);
    f.mouseUp(4, 4, form::LeftButton, 0);
    f.mouseDown(4, 4, form::RightButton, 0);
    f.mouseUp(4, 4, form::RightButton, 0);
    // A release without a press (it began outside, or the capture was lost) reaches nobody.
    f.mouseDown(4, 4, form::LeftButton, 0);
    f.cancelCapture();
    f.mouseUp(4, 4, form::LeftButton, 0);
    f.mouseUp(90, 90, form::LeftButton, 0);
    EXPECT_EQ(
        log, (std::vector<std::string>{"top.down@5", "top.up", "top.down@3", "top.up", "top.click",
                                       "top.dbl", "top.up", "top.down@4", "top.up", "top.down@4"}));
}

TEST(FormModel, TextBoxFiresChangeOnEverySetAndLabelsDoNot) {
    form::Form f(sample(), 15, 15);
    int changes = 0;
    f.control("edit").onChange = [&] { ++changes; };
    f.control("top").onChange = [&] { ++changes; };
    f.control("edit").setText("a");
    f.control("edit").setText("a");
    f.control("edit").textEditedByUser("ab");
    f.control("top").setText("caption");
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(f.control("edit").text(), "ab");
}

TEST(FormModel, FocusNeedsAVisibleChildWindow) {
    form::Form f(sample(), 15, 15);
    EXPECT_THROW(f.control("top").setFocus(), form::FormError);
    f.control("edit").setVisible(false);
    EXPECT_THROW(f.control("edit").setFocus(), form::FormError);
    f.control("edit").setVisible(true);
    f.control("edit").setFocus();
    EXPECT_EQ(f.focused()->name(), "edit");
    f.control("edit").setVisible(false);
    EXPECT_EQ(f.focused(), nullptr);
}

TEST(FormModel, NegativeSizesAreRefused) {
    form::Form f(sample(), 15, 15);
    EXPECT_THROW(f.control("top").setWidth(-1), form::FormError);
    EXPECT_THROW(f.move(0, 0, -15, 100), form::FormError);
    f.control("top").setWidth(0);
    EXPECT_EQ(f.control("top").width(), 0);
}

}  // namespace
