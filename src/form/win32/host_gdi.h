#pragma once
// What the window host draws with: the screen's resolution, the model's colours as GDI colours,
// the fonts of the controls (created once, owned here) and the mouse pointers.
#include <windows.h>

#include <map>
#include <string>

#include "common/win32/gdi_handles.h"
#include "form/types.h"

namespace form::win32 {

// Dots per inch of the screen along LOGPIXELSX or LOGPIXELSY (96 when it cannot be read).
int screenDpi(int axis);

COLORREF resolve(Colour c);
RECT toRECT(const Rect& r);

// One GDI font per face, size and weight, created at first use and kept for the window's life.
class FontCache {
  public:
    HFONT get(const Font& font);

  private:
    std::map<std::string, norvik::win32::UniqueFont> fonts_;
};

// The pointer shown over a control; `buttonPointer` is the program's own button pointer (the
// system's hand when there is none).
HCURSOR cursorFor(Pointer pointer, HCURSOR buttonPointer);

}  // namespace form::win32
