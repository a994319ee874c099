#pragma once
// The skinned chrome of a borderless window: frame pictures and resize grips laid around it,
// its rounded outline, the title bar's drag and maximize/restore, and the resize by grip.
// Platform-free; the few system calls it needs go through WindowApi.
#include <cstdint>

#include "form/form.h"

namespace skin {

// A screen position as GetCursorPos fills it, in pixels.
struct CursorPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
};

// The system calls of the chrome, one for one.
class WindowApi {
  public:
    virtual ~WindowApi() = default;
    // CreateRoundRectRgn: the new region's handle, 0 on failure.
    virtual std::uintptr_t createRoundRectRgn(int left, int top, int right, int bottom,
                                              int ellipseWidth, int ellipseHeight) = 0;
    // SetWindowRgn: on success the region belongs to the system.
    virtual int setWindowRgn(std::uintptr_t hwnd, std::uintptr_t region, bool redraw) = 0;
    virtual bool releaseCapture() = 0;
    virtual std::intptr_t sendMessage(std::uintptr_t hwnd, std::uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // GetCursorPos: fills `point` on success and leaves it untouched on failure.
    virtual bool getCursorPos(CursorPoint& point) = 0;
};

inline constexpr std::uint32_t kWmNcLButtonDown = 0xA1;
inline constexpr std::uintptr_t kHtCaption = 2;
inline constexpr int kCornerEllipse = 24;
inline constexpr int kMinWidthPixels = 57;
inline constexpr int kMinHeightPixels = 90;

// The grips of the Resizer array, by element index.
enum Grip : std::int16_t {
    GripLeft = 0,
    GripRight = 1,
    GripTop = 2,
    GripBottom = 3,
    GripBottomRight = 4,
    GripBottomLeft = 5,
    GripTopRight = 6,
    GripTopLeft = 7,
};

// The chrome's own state, one per skinned window.
struct ChromeState {
    // 1 when the most recent LayoutSkin was asked for a resizable window, else 0; read when the
    // window is restored from maximized.
    std::int16_t SkinResizable = 0;
};

// Lays the title bar, borders and corners around the window for its current outer size,
// sets its background colour and caption, gives it its rounded outline and, when resizable,
// shows and places the eight grips. A failing step ends the layout there (FormError).
void LayoutSkin(form::Form& frm, bool resizable, ChromeState& state, WindowApi& api);

// Gives the window a rounded-rectangle region of its current size.
void RoundCorners(form::Form& frm, WindowApi& api);

// Starts the system's move of the window, as if its caption had been pressed.
void DragForm(form::Form& frm, WindowApi& api);

// Switches the window between normal and maximized and lays the chrome out again.
void ToggleMaxRestore(form::Form& frm, ChromeState& state, WindowApi& api);

// Resizes the window by the cursor's travel from `start` to `end` as grip `index` directs,
// keeps it at least 57 x 90 pixels and lays the chrome out again. Every step that fails is
// skipped.
void ResizeByGrip(form::Form& frm, const CursorPoint& start, const CursorPoint& end,
                  std::int16_t index, ChromeState& state, WindowApi& api);

// The window's outer size in pixels, as LayoutSkin and RoundCorners compute it.
struct PixelSize {
    std::int32_t W = 0;
    std::int32_t H = 0;
};
PixelSize OuterSizePixels(const form::Form& frm);

}  // namespace skin
