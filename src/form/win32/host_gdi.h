#pragma once
// What the window host draws with: the window's resolution, the model's colours as GDI colours,
// the fonts of the controls (created once, owned here) and the mouse pointers.
#include <windows.h>

#include <map>
#include <string>

#include "common/win32/gdi_handles.h"
#include "form/types.h"

namespace form::win32 {

// The window is drawn at the pixel sizes it has on a 96-DPI screen, whatever the screen reports:
// its pictures are made for those sizes and are not to be scaled by the program. Windows 8.1
// and later stretch a program that is not DPI-aware as a whole; Vista and 7 do so above 120 DPI
// with the desktop composition on, and leave it at its pixels up to 120 DPI and on XP. So its
// geometry converts twips at 15 per pixel along both axes and its fonts get their 96-DPI pixel
// heights. Message boxes and the folder dialog are the system's and keep its sizes.
inline constexpr int kWindowDpi = 96;
inline constexpr double kWindowTwipsPerPixel = 1440.0 / kWindowDpi;

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
