// The window host's drawing basics: the model's colours in GDI terms, the controls' fonts and
// the mouse pointers.
#include "form/win32/host_gdi.h"

#include "common/rounding.h"
#include "common/win32/utf16.h"

namespace form::win32 {

COLORREF resolve(Colour c) {
    return c.isSystem ? GetSysColor(static_cast<int>(c.value)) : static_cast<COLORREF>(c.value);
}

RECT toRECT(const Rect& r) {
    return RECT{r.left, r.top, r.left + r.width, r.top + r.height};
}

HFONT FontCache::get(const Font& font) {
    const std::string key = font.face + "|" + std::to_string(font.points) + (font.bold ? "b" : "");
    auto it = fonts_.find(key);
    if (it != fonts_.end())
        return it->second.get();
    const int height = -norvik::roundToInt32(font.points * kWindowDpi / 72.0);
    const std::wstring face = norvik::win32::toWide(font.face);
    norvik::win32::UniqueFont created(
        CreateFontW(height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_SWISS, face.c_str()));
    const HFONT f = created.get();
    fonts_[key] = std::move(created);
    return f;
}

HCURSOR cursorFor(Pointer pointer, HCURSOR buttonPointer) {
    LPCWSTR id = MAKEINTRESOURCEW(32512);  // IDC_ARROW
    switch (pointer) {
        case Pointer::Button:
            if (buttonPointer)
                return buttonPointer;
            id = MAKEINTRESOURCEW(32649);  // IDC_HAND
            break;
        case Pointer::IBeam:
            id = MAKEINTRESOURCEW(32513);
            break;
        case Pointer::SizeWE:
            id = MAKEINTRESOURCEW(32644);
            break;
        case Pointer::SizeNS:
            id = MAKEINTRESOURCEW(32645);
            break;
        case Pointer::SizeNWSE:
            id = MAKEINTRESOURCEW(32642);
            break;
        case Pointer::SizeNESW:
            id = MAKEINTRESOURCEW(32643);
            break;
        case Pointer::Default:
            break;
    }
    return LoadCursorW(nullptr, id);
}

}  // namespace form::win32
