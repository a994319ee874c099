#pragma once
// The skinned chrome bound to the real platform, for WinMain.
#include "form/form.h"

namespace skin::win32 {

// Binds the title bar (drag, maximize/restore) and the resize grips of the program's one
// skinned window to their handlers; the chrome and its state live as long as the program.
void AttachChrome(form::Form& frm);
// Lays the frame pictures (and, when resizable, the grips) around that window and shapes it.
void LayoutSkin(form::Form& frm, bool resizable);

}  // namespace skin::win32
