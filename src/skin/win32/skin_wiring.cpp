// Stand-in until the chrome lands.
#include "skin/win32/skin_wiring.h"

namespace skin::win32 {
void LayoutSkin(form::Form& frm, bool) { frm.setCaption(frm.control("lblTitle").text()); }
void AttachChrome(form::Form&) {}
}  // namespace skin::win32
