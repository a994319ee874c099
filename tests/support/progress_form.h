#pragma once
// A window model holding just the progress caption and bar that a download writes, for tests of
// the download engine on the host and under Wine.
#include "form/form_def.h"

namespace testsupport {

inline form::FormDef progressForm(int captionPixels = 300) {
    form::FormDef f;
    f.name = "frmMain";
    f.width = 9000;
    f.height = 6000;
    form::ControlDef cap;
    cap.name = "ProgressCap";
    cap.kind = form::ControlKind::Label;
    cap.width = captionPixels * 15;
    cap.height = 300;
    form::ControlDef bar;
    bar.name = "ProgressBar";
    bar.kind = form::ControlKind::Shape;
    bar.width = 15;
    bar.height = 300;
    f.windowless = {cap, bar};
    return f;
}

}  // namespace testsupport
