// The main window's definition converts to the pixel geometry the layout relies on.
#include <gtest/gtest.h>

#include "form/form.h"
#include "ui/frm_main_def.h"

namespace {

TEST(FrmMainDefinition, PixelGeometryAtFifteenTwipsPerPixel) {
    form::Form f(ui::frmMainDefinition(), 15, 15);
    EXPECT_EQ(f.boundsPixels().width, 528);
    EXPECT_EQ(f.boundsPixels().height, 255);
    struct Case {
        const char* name;
        int index;
        form::Rect pixels;
    };
    for (const Case& c :
         {Case{"txtRK", -1, {144, 95, 240, 24}}, Case{"txtFolder", -1, {18, 142, 328, 24}},
          Case{"cmdExit", -1, {393, 174, 116, 30}}, Case{"cmdBr", -1, {348, 136, 34, 34}},
          Case{"bg2", -1, {9, 40, 511, 203}}, Case{"ProgressBar", -1, {12, 214, 1, 23}},
          Case{"ProgressCap", -1, {12, 218, 504, 20}}, Case{"Resizer", 4, {112, 8, 11, 11}},
          Case{"imgTitleMaxRestore", -1, {112, 24, 13, 13}}})
        EXPECT_EQ(f.control(c.name, c.index).bounds(), c.pixels) << c.name;
}

TEST(FrmMainDefinition, StackingAndTabOrder) {
    form::Form f(ui::frmMainDefinition(), 15, 15);
    // The caption over the bar over the backgrounds; the grips over the frame pictures.
    auto place = [&](const char* name, int index = -1) { return f.control(name, index).order(); };
    EXPECT_LT(place("lblTitle"), place("imgTitleMain"));
    EXPECT_LT(place("ProgressCap"), place("ProgressBar"));
    EXPECT_LT(place("ProgressBar"), place("bg2"));
    EXPECT_LT(place("Resizer", 0), place("imgWindowLeft"));
    EXPECT_LT(place("imgTitleMaxRestore"), place("imgTitleMain"));
    std::string tabs;
    for (form::Control* c : f.tabOrder())
        tabs += c->name() + " ";
    EXPECT_EQ(tabs,
              "lblTitle cmdExit cmdProxy cmdUpd txtRK txtFolder txtIP txtPort cmdOK cmdHelp "
              "ProgressCap cmdBr ");
}

}  // namespace
