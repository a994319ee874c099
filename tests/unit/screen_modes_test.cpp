// The screen switch of the main window, on the real window definition.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/screen_modes.h"
#include "ui/frm_main_def.h"

namespace {

const char* const kSwitchable[] = {"bg",      "bg2",         "bg3",        "bg5",       "cmdOK",
                                   "cmdUpd",  "cmdBr",       "txtRK",      "txtFolder", "txtIP",
                                   "txtPort", "ProgressBar", "ProgressCap"};

std::set<std::string> shown(form::Form& f) {
    std::set<std::string> result;
    for (const char* name : kSwitchable)
        if (f.control(name).visible())
            result.insert(name);
    return result;
}

// Records focus requests and refuses none, like a shown window.
class FocusHost : public form::FormHost {
  public:
    void controlChanged(form::Control&, form::ControlChange) override {}
    void formChanged(form::FormChange) override {}
    bool setFocus(form::Control&) override { return true; }
};

struct ScreenCase {
    std::string mode;
    std::set<std::string> visible;
    std::string focus;  // "" = unchanged
};

void PrintTo(const ScreenCase& c, std::ostream* os) {
    *os << "mode \"" << c.mode << '"';
}

class ScreenModes : public ::testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenModes, ShowExactlyTheControlsOfTheScreen) {
    const ScreenCase& c = GetParam();
    // Start from every other screen, so that nothing of the previous one leaks through.
    for (const char* previous : {"", "RK", "Proxy", "Help", "other"}) {
        form::Form f(ui::frmMainDefinition(), 15, 15);
        FocusHost host;
        f.attachHost(&host, 1);
        app::layoutSetting(f, previous);
        f.control("cmdExit").setFocus();
        app::layoutSetting(f, c.mode);
        EXPECT_EQ(shown(f), c.visible) << "mode '" << c.mode << "' after '" << previous << "'";
        const std::string focus = c.focus.empty() ? "cmdExit" : c.focus;
        ASSERT_NE(f.focused(), nullptr);
        EXPECT_EQ(f.focused()->name(), focus);
        EXPECT_EQ(f.control("ProgressBar").width(), 1);
        EXPECT_EQ(f.control("ProgressCap").text(), "");
        // Controls that no mode touches keep their design state.
        for (const char* fixed : {"cmdExit", "cmdHelp", "cmdProxy", "lblTitle", "imgTitleMain"})
            EXPECT_TRUE(f.control(fixed).visible()) << fixed;
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, ScreenModes,
    ::testing::Values(
        ScreenCase{"", {"bg", "cmdUpd"}, ""},
        ScreenCase{"RK",
                   {"bg2", "cmdBr", "cmdOK", "txtRK", "txtFolder", "ProgressBar", "ProgressCap"},
                   "txtRK"},
        ScreenCase{"Proxy", {"bg3", "cmdUpd", "txtIP", "txtPort"}, "txtIP"},
        ScreenCase{"Help", {"bg5", "cmdUpd"}, ""},
        // Any other text, including a listed mode in another letter case: the neutral state.
        ScreenCase{"rk", {"cmdUpd", "ProgressBar", "ProgressCap"}, ""},
        ScreenCase{"HELP", {"cmdUpd", "ProgressBar", "ProgressCap"}, ""},
        ScreenCase{" RK", {"cmdUpd", "ProgressBar", "ProgressCap"}, ""},
        ScreenCase{"bogus", {"cmdUpd", "ProgressBar", "ProgressCap"}, ""}));

TEST(ScreenModes, UpgradeScreenAgainEmptiesTheProgressAndKeepsTheBoxTexts) {
    form::Form f(ui::frmMainDefinition(), 15, 15);
    app::layoutSetting(f, "Proxy");
    f.control("txtIP").setText("10.0.0.1");
    f.control("txtPort").setText("8080");
    app::layoutSetting(f, "RK");
    f.control("txtRK").setText("KH1");
    f.control("txtFolder").setText("C:\\Norvik");
    f.control("ProgressCap").setText("Downloading ... 37%: 1,221Kb / 3,300Kb");
    f.control("ProgressBar").setWidth(187);
    for (const char* mode : {"RK", "Help", "", "Proxy", "RK"})
        app::layoutSetting(f, mode);
    EXPECT_EQ(f.control("ProgressCap").text(), "");
    EXPECT_EQ(f.control("ProgressBar").width(), 1);
    EXPECT_EQ(f.control("txtIP").text(), "10.0.0.1");
    EXPECT_EQ(f.control("txtPort").text(), "8080");
    EXPECT_EQ(f.control("txtRK").text(), "KH1");
    EXPECT_EQ(f.control("txtFolder").text(), "C:\\Norvik");
}

TEST(ScreenModes, AFocusThatCannotBeGivenIsSkippedAndTheRestStillRuns) {
    // No host: the window is not shown yet, like at start-up, and the focus request fails.
    class RefusingHost : public FocusHost {
        bool setFocus(form::Control&) override { return false; }
    } host;
    form::Form f(ui::frmMainDefinition(), 15, 15);
    f.attachHost(&host, 1);
    app::layoutSetting(f, "RK");
    EXPECT_EQ(shown(f), (std::set<std::string>{"bg2", "cmdBr", "cmdOK", "txtRK", "txtFolder",
                                               "ProgressBar", "ProgressCap"}));
    EXPECT_EQ(f.focused(), nullptr);
}

}  // namespace
