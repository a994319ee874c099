#pragma once
// Paints a form's windowless controls into its top-level window, double-buffered and in
// stacking order, and draws the pictures of the picture boxes; keeps what waits to be painted.
#include <windows.h>

#include <map>

#include "common/win32/gdi_handles.h"
#include "form/form.h"
#include "form/win32/host_gdi.h"
#include "ui/win32/resource_pictures.h"

namespace form::win32 {

class Painter {
  public:
    Painter(Form& form, const ui::win32::ResourcePictures* pictures, FontCache& fonts);
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    // WM_PAINT of the top-level window.
    void paintWindow(HWND window);
    // WM_PAINT of a picture box: its picture, unscaled, at the inner top-left corner.
    void paintPictureBox(HWND box, const Control& control);
    // Marks for painting where the windowless control was drawn last and where it is now.
    void invalidate(HWND window, Control& control);

    // The decoded picture of a control, or nullptr when it has none.
    const ui::win32::GdiPicture* pictureOf(const Control& control) const;

    // How often and how much of the client area was painted (for the benchmark).
    long paintCount() const { return paintCount_; }
    long long paintedPixels() const { return paintedPixels_; }

  private:
    void paint(HWND window, HDC target, const RECT& dirty);
    void drawControl(HDC dc, Control& c);
    static void drawPicture(HDC dc, const ui::win32::GdiPicture& pic, int x, int y, int width,
                            int height);

    Form& form_;
    const ui::win32::ResourcePictures* pictures_;
    FontCache& fonts_;
    std::map<Control*, RECT> paintedRects_;
    RECT pendingPaint_{0, 0, 0, 0};  // invalidated since the last WM_PAINT
    norvik::win32::UniqueBitmap backBuffer_;
    SIZE backBufferSize_{0, 0};
    long paintCount_ = 0;
    long long paintedPixels_ = 0;
};

}  // namespace form::win32
