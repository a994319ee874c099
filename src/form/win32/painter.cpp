// Painting of the window host: the windowless controls through a back buffer, the pictures of
// the picture boxes, and the bookkeeping of invalidated rectangles.
#include "form/win32/painter.h"

#include <algorithm>
#include <string>

#include "common/win32/utf16.h"

namespace form::win32 {
namespace {

using norvik::win32::SelectionGuard;

UINT alignFlags(Align a) {
    switch (a) {
        case Align::Center:
            return DT_CENTER;
        case Align::Right:
            return DT_RIGHT;
        case Align::Left:
            break;
    }
    return DT_LEFT;
}

}  // namespace

Painter::Painter(Form& form, const ui::win32::ResourcePictures* pictures, FontCache& fonts)
    : form_(form), pictures_(pictures), fonts_(fonts) {}

const ui::win32::GdiPicture* Painter::pictureOf(const Control& c) const {
    return pictures_ ? pictures_->gdi(c.picture()) : nullptr;
}

void Painter::paintWindow(HWND window) {
    SetRectEmpty(&pendingPaint_);
    const norvik::win32::PaintScope scope(window);
    if (!IsRectEmpty(&scope.dirty()))
        paint(window, scope.dc(), scope.dirty());
}

void Painter::paintPictureBox(HWND box, const Control& control) {
    const norvik::win32::PaintScope scope(box);
    if (const ui::win32::GdiPicture* pic = pictureOf(control))
        drawPicture(scope.dc(), *pic, 0, 0, pic->width, pic->height);
}

void Painter::invalidate(HWND window, Control& c) {
    // Repaint where the control was drawn last and where it is now, nothing else.
    RECT dirty = toRECT(c.bounds());
    auto it = paintedRects_.find(&c);
    if (it != paintedRects_.end())
        UnionRect(&dirty, &dirty, &it->second);
    paintedRects_[&c] = toRECT(c.bounds());
    // A window not shown yet is painted whole when it appears.
    if (!IsWindowVisible(window))
        return;
    // Invalidating costs a round trip to the window server (in Wine); a rectangle that already
    // waits to be painted needs no second call (a download may set the caption several times
    // before the next paint).
    RECT merged;
    UnionRect(&merged, &pendingPaint_, &dirty);
    if (EqualRect(&merged, &pendingPaint_))
        return;
    pendingPaint_ = merged;
    InvalidateRect(window, &dirty, FALSE);
}

void Painter::paint(HWND window, HDC target, const RECT& dirty) {
    RECT client;
    GetClientRect(window, &client);
    if (!backBuffer_ || backBufferSize_.cx != client.right || backBufferSize_.cy != client.bottom) {
        backBuffer_.reset(CreateCompatibleBitmap(target, std::max<LONG>(1, client.right),
                                                 std::max<LONG>(1, client.bottom)));
        backBufferSize_ = {client.right, client.bottom};
    }
    const norvik::win32::UniqueMemoryDc mem(CreateCompatibleDC(target));
    if (!mem || !backBuffer_)
        return;
    const SelectionGuard bitmap(mem.get(), backBuffer_.get());
    const norvik::win32::UniqueRegion clip(CreateRectRgnIndirect(&dirty));
    SelectClipRgn(mem.get(), clip.get());  // the DC keeps its own copy of the region

    const norvik::win32::UniqueBrush back(CreateSolidBrush(resolve(form_.backColour())));
    FillRect(mem.get(), &dirty, back.get());

    const auto& controls = form_.windowless();
    for (auto it = controls.rbegin(); it != controls.rend(); ++it) {
        Control& c = **it;
        if (!c.visible())
            continue;
        RECT r = toRECT(c.bounds()), overlap;
        if (!IntersectRect(&overlap, &r, &dirty))
            continue;
        paintedRects_[&c] = r;
        drawControl(mem.get(), c);
    }
    BitBlt(target, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top,
           mem.get(), dirty.left, dirty.top, SRCCOPY);
    ++paintCount_;
    paintedPixels_ += static_cast<long long>(dirty.right - dirty.left) * (dirty.bottom - dirty.top);
}

void Painter::drawPicture(HDC dc, const ui::win32::GdiPicture& pic, int x, int y, int width,
                          int height) {
    // Plain GDI from the decoded bitmaps: copying is far cheaper per paint than drawing through
    // GDI+, and a nearest-neighbour stretch keeps a frame piece's edges as drawn.
    const norvik::win32::UniqueMemoryDc source(CreateCompatibleDC(dc));
    if (!source)
        return;
    const SelectionGuard picture(source.get(), pic.bitmap);
    if (!pic.opaque) {
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, x, y, width, height, source.get(), 0, 0, pic.width, pic.height, blend);
    } else if (width == pic.width && height == pic.height) {
        BitBlt(dc, x, y, width, height, source.get(), 0, 0, SRCCOPY);
    } else {
        const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, x, y, width, height, source.get(), 0, 0, pic.width, pic.height, SRCCOPY);
        SetStretchBltMode(dc, oldMode);
    }
}

void Painter::drawControl(HDC dc, Control& c) {
    RECT r = toRECT(c.bounds());
    switch (c.kind()) {
        case ControlKind::Image: {
            const ui::win32::GdiPicture* pic = pictureOf(c);
            if (!pic)
                return;  // an image without a picture draws nothing
            // Stretched: scaled to the control; otherwise at the picture's own size.
            const int w = c.stretch() ? c.width() : pic->width;
            const int h = c.stretch() ? c.height() : pic->height;
            drawPicture(dc, *pic, c.left(), c.top(), w, h);
            return;
        }
        case ControlKind::Label: {
            if (c.text().empty())
                return;
            const std::wstring text = norvik::win32::toWide(c.text());
            const SelectionGuard font(dc, fonts_.get(c.font()));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, resolve(c.foreColour()));
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                      DT_WORDBREAK | DT_NOPREFIX | alignFlags(c.align()));
            return;
        }
        case ControlKind::Shape: {
            const norvik::win32::UniqueBrush fill(CreateSolidBrush(resolve(c.backColour())));
            FillRect(dc, &r, fill.get());
            const norvik::win32::UniqueBrush outline(CreateSolidBrush(resolve(c.foreColour())));
            FrameRect(dc, &r, outline.get());
            return;
        }
        case ControlKind::PictureBox:
        case ControlKind::TextBox:
            return;
    }
}

}  // namespace form::win32
