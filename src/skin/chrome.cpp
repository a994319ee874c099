#include "skin/chrome.h"

namespace skin {

Chrome::Chrome(form::Form& frm, WindowApi& api) : frm_(frm), api_(api) {
    // The handlers ignore the button, the shift state and the position their events carry.
    for (const char* name : {"imgTitleLeft", "imgTitleMain", "imgTitleRight", "lblTitle"})
        frm_.control(name).onMouseDown = [this](const form::MouseEvent&) { Title_MouseDown(); };
    frm_.control("imgTitleMaxRestore").onClick = [this] { MaxRestore(); };
    frm_.control("lblTitle").onDblClick = [this] { MaxRestore(); };
    frm_.control("imgTitleMain").onDblClick = [this] { MaxRestore(); };
    for (int i = 0; i <= 7; ++i) {
        form::Control& grip = frm_.control("Resizer", i);
        grip.onMouseDown = [this, i](const form::MouseEvent&) { Resizer_MouseDown(i); };
        grip.onMouseUp = [this, i](const form::MouseEvent&) { Resizer_MouseUp(i); };
    }
}

void Chrome::Resizer_MouseDown(int) {
    api_.getCursorPos(ResizeStart);
}

void Chrome::Resizer_MouseUp(int index) {
    api_.getCursorPos(ResizeEnd);
    ResizeByGrip(frm_, ResizeStart, ResizeEnd, static_cast<std::int16_t>(index), State, api_);
}

}  // namespace skin
