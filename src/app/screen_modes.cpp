#include "app/screen_modes.h"

#include "common/skip_failure.h"

namespace app {
namespace {

using norvik::skipOnFailure;

void show(form::Form& frm, const char* name, bool visible) {
    skipOnFailure([&] { frm.control(name).setVisible(visible); });
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
    skipOnFailure([&] { frm.control("ProgressBar").setWidth(1); });
    show(frm, "ProgressCap", true);
    skipOnFailure([&] { frm.control("ProgressCap").setText(""); });

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
        skipOnFailure([&] { frm.control("txtRK").setFocus(); });
    } else if (mode == kModeProxy) {
        show(frm, "bg3", true);
        show(frm, "txtIP", true);
        show(frm, "txtPort", true);
        skipOnFailure([&] { frm.control("txtIP").setFocus(); });
        show(frm, "ProgressBar", false);
        show(frm, "ProgressCap", false);
    } else if (mode == kModeHelp) {
        show(frm, "bg5", true);
        show(frm, "ProgressBar", false);
        show(frm, "ProgressCap", false);
    }
}

}  // namespace app
