#include "app/screen_modes.h"

#include <exception>

namespace app {
namespace {

// Runs one step of the screen switch; a failure of the step is ignored.
template <typename Step>
void step(Step&& s) {
    try {
        s();
    } catch (const std::exception&) {
    }
}

void show(form::Form& frm, const char* name, bool visible) {
    step([&] { frm.control(name).setVisible(visible); });
}

}  // namespace

void layoutSetting(form::Form& frm, const std::string& mode) {
    for (const char* bg : {"bg", "bg2", "bg3", "bg5"})
        show(frm, bg, false);
    show(frm, "cmdOK", false);
    show(frm, "cmdUpd", true);
    for (const char* c : {"txtRK", "txtFolder", "cmdBr", "txtIP", "txtPort"})
        show(frm, c, false);
    show(frm, "ProgressBar", true);
    step([&] { frm.control("ProgressBar").setWidth(1); });
    show(frm, "ProgressCap", true);
    step([&] { frm.control("ProgressCap").setText(""); });

    if (mode == kModeHome) {
        show(frm, "bg", true);
        show(frm, "ProgressBar", false);
        show(frm, "ProgressCap", false);
    } else if (mode == kModeUpgrade) {
        show(frm, "bg2", true);
        show(frm, "txtRK", true);
        show(frm, "txtFolder", true);
        show(frm, "cmdBr", true);
        show(frm, "cmdOK", true);
        show(frm, "cmdUpd", false);
        step([&] { frm.control("txtRK").setFocus(); });
    } else if (mode == kModeProxy) {
        show(frm, "bg3", true);
        show(frm, "txtIP", true);
        show(frm, "txtPort", true);
        step([&] { frm.control("txtIP").setFocus(); });
        show(frm, "ProgressBar", false);
        show(frm, "ProgressCap", false);
    } else if (mode == kModeHelp) {
        show(frm, "bg5", true);
        show(frm, "ProgressBar", false);
        show(frm, "ProgressCap", false);
    }
}

}  // namespace app
