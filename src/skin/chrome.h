#pragma once
// Binds the chrome's procedures to the window's title bar and resize grips, and keeps the
// chrome's state and the cursor positions of a grip's press and release.
#include "form/form.h"
#include "skin/mdl_skin.h"

namespace skin {

class Chrome {
  public:
    // Binds: a press on imgTitleLeft, imgTitleMain, imgTitleRight or lblTitle drags the
    // window; a click on imgTitleMaxRestore and a double-click on lblTitle or imgTitleMain
    // toggle maximize/restore; a press and release on Resizer(i) resize by grip i.
    Chrome(form::Form& frm, WindowApi& api);
    Chrome(const Chrome&) = delete;
    Chrome& operator=(const Chrome&) = delete;

    // The chrome layout of this window (LayoutSkin with its state).
    void Layout(bool resizable) { LayoutSkin(frm_, resizable, State, api_); }
    void Title_MouseDown() { DragForm(frm_, api_); }
    void MaxRestore() { ToggleMaxRestore(frm_, State, api_); }
    void Resizer_MouseDown(int index);
    void Resizer_MouseUp(int index);

    ChromeState State;
    // The cursor's screen position at the last press and the last release on a grip.
    CursorPoint ResizeStart;
    CursorPoint ResizeEnd;

  private:
    form::Form& frm_;
    WindowApi& api_;
};

}  // namespace skin
