#pragma once
// The skinned chrome bound to the real platform, for WinMain.
#include "form/form.h"
#include "skin/mdl_skin.h"

namespace skin::win32 {

// Lays the frame pictures (and, when resizable, the grips) around the window and shapes it.
void LayoutSkin(form::Form& frm, bool resizable);
// Binds the title bar (drag, maximize/restore) and the resize grips to their handlers.
void AttachChrome(form::Form& frm);
// The User32/GDI32 calls of the chrome.
WindowApi& windowApi();

}  // namespace skin::win32
