#pragma once
// The main window as it stands when it is created, before any of the program's code runs.
#include "form/form_def.h"

namespace ui {

// Outer size of the main window, twips.
constexpr int kMainWidthTwips = 7920;
constexpr int kMainHeightTwips = 3825;

const form::FormDef& frmMainDefinition();

}  // namespace ui
