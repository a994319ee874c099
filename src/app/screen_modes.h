#pragma once
// Switching the main window's client area between its screens.
#include <string>

#include "form/form.h"

namespace app {

// Mode names of the four screens.
inline const std::string kModeHome = "";
inline const std::string kModeUpgrade = "RK";
inline const std::string kModeProxy = "Proxy";
inline const std::string kModeHelp = "Help";

// Puts every switchable control into the neutral state, then shows what the screen of `mode`
// needs. Modes are compared exactly; an unknown mode leaves the neutral state. A failing step is
// skipped and the others still run.
void layoutSetting(form::Form& frm, const std::string& mode);

}  // namespace app
