#include "skin/mdl_skin.h"

#include <exception>
#include <limits>

#include "common/rounding.h"
#include "common/skip_failure.h"

namespace skin {

namespace {

using norvik::skipOnFailure;

// Edge grips are 5 pixels thick, corner grips 11 x 11 (their design sizes).
constexpr int kEdgeGrip = 5;
constexpr int kCornerGrip = 11;
// Title bar and bottom border height, end piece and side border width.
constexpr int kBarHeight = 30;
constexpr int kEndWidth = 19;

}  // namespace

PixelSize OuterSizePixels(const form::Form& frm) {
    // The window reports its outer size in twips as single-precision values.
    const float widthTwips = static_cast<float>(frm.width());
    const float heightTwips = static_cast<float>(frm.height());
    return {norvik::roundToInt32(widthTwips / frm.twipsPerPixelX()),
            norvik::roundToInt32(heightTwips / frm.twipsPerPixelY())};
}

void LayoutSkin(form::Form& frm, bool resizable, ChromeState& state, WindowApi& api) {
    state.SkinResizable = resizable ? 1 : 0;
    const auto [W, H] = OuterSizePixels(frm);

    frm.setBackColour(form::Colour::rgb(207, 207, 207));
    frm.setCaption(frm.control("lblTitle").text());

    form::Control& title = frm.control("lblTitle");
    title.setLeft(16);
    title.setTop(7);

    RoundCorners(frm, api);

    // Every property on its own, Top first, then Left, then Width or Height.
    form::Control& titleLeft = frm.control("imgTitleLeft");
    titleLeft.setTop(0);
    titleLeft.setLeft(0);

    form::Control& titleRight = frm.control("imgTitleRight");
    titleRight.setTop(0);
    titleRight.setLeft(W - kEndWidth);

    // The middle piece runs to the right edge; the right end lies over its last 19 pixels.
    form::Control& titleMain = frm.control("imgTitleMain");
    titleMain.setTop(0);
    titleMain.setLeft(kEndWidth);
    titleMain.setWidth(W - kEndWidth);

    form::Control& windowLeft = frm.control("imgWindowLeft");
    windowLeft.setTop(kBarHeight);
    windowLeft.setLeft(0);
    windowLeft.setHeight(H - 2 * kBarHeight);

    form::Control& bottomLeft = frm.control("imgWindowBottomLeft");
    bottomLeft.setTop(H - kBarHeight);
    bottomLeft.setLeft(0);

    form::Control& bottom = frm.control("imgWindowBottom");
    bottom.setTop(H - kBarHeight);
    bottom.setLeft(kEndWidth);
    bottom.setWidth(W - 2 * kEndWidth);

    form::Control& bottomRight = frm.control("imgWindowBottomRight");
    bottomRight.setTop(H - kBarHeight);
    bottomRight.setLeft(W - kEndWidth);

    // The right side runs on under the bottom-right corner to 8 pixels above the bottom.
    form::Control& windowRight = frm.control("imgWindowRight");
    windowRight.setTop(kBarHeight);
    windowRight.setLeft(W - kEndWidth);
    windowRight.setHeight(H - kBarHeight - 8);

    // A window that is not resizable keeps its grips as an earlier layout left them.
    if (!resizable)
        return;

    for (int i = 0; i <= 7; ++i)
        frm.control("Resizer", i).setVisible(true);

    form::Control& left = frm.control("Resizer", GripLeft);
    left.setTop(kBarHeight);
    left.setLeft(0);
    left.setHeight(H - 2 * kBarHeight);

    form::Control& right = frm.control("Resizer", GripRight);
    right.setTop(kBarHeight);
    right.setLeft(W - kEdgeGrip);
    right.setHeight(H - 2 * kBarHeight);

    form::Control& top = frm.control("Resizer", GripTop);
    top.setTop(0);
    top.setLeft(kEndWidth);
    top.setWidth(W - 2 * kEndWidth - 1);

    form::Control& bottomEdge = frm.control("Resizer", GripBottom);
    bottomEdge.setTop(H - kEdgeGrip);
    bottomEdge.setLeft(kEndWidth);
    bottomEdge.setWidth(W - 2 * kEndWidth - 1);

    form::Control& cornerBR = frm.control("Resizer", GripBottomRight);
    cornerBR.setTop(H - kCornerGrip);
    cornerBR.setLeft(W - kCornerGrip);

    form::Control& cornerBL = frm.control("Resizer", GripBottomLeft);
    cornerBL.setTop(H - kCornerGrip);
    cornerBL.setLeft(0);

    form::Control& cornerTR = frm.control("Resizer", GripTopRight);
    cornerTR.setTop(0);
    cornerTR.setLeft(W - kCornerGrip);

    form::Control& cornerTL = frm.control("Resizer", GripTopLeft);
    cornerTL.setTop(0);
    cornerTL.setLeft(0);
}

void RoundCorners(form::Form& frm, WindowApi& api) {
    const auto [W, H] = OuterSizePixels(frm);
    // A new region at every layout; once set it belongs to the system, so it is neither kept
    // nor deleted here. Both results are ignored.
    const std::uintptr_t region =
        api.createRoundRectRgn(0, 0, W, H, kCornerEllipse, kCornerEllipse);
    api.setWindowRgn(frm.hWnd(), region, true);
}

void DragForm(form::Form& frm, WindowApi& api) {
    if (frm.windowState() == form::WindowState::Maximized)
        return;
    api.releaseCapture();
    // The press position is not passed: lParam points to a 32-bit zero.
    std::int32_t noPosition = 0;
    api.sendMessage(frm.hWnd(), kWmNcLButtonDown, kHtCaption,
                    reinterpret_cast<std::intptr_t>(&noPosition));
}

void ToggleMaxRestore(form::Form& frm, ChromeState& state, WindowApi& api) {
    // The button's two pictures come from controls of these names when the window has them;
    // otherwise the button stays a plain click area in both states.
    auto pictureOf = [&frm](const char* name) -> std::string {
        const form::Control* source = frm.find(name);
        return source ? source->picture() : std::string();
    };
    if (frm.windowState() == form::WindowState::Normal) {
        frm.setWindowState(form::WindowState::Maximized);
        frm.control("imgTitleMaxRestore").setPicture(pictureOf("imgTitleRestore"));
        LayoutSkin(frm, false, state, api);
    } else {
        frm.setWindowState(form::WindowState::Normal);
        frm.control("imgTitleMaxRestore").setPicture(pictureOf("imgTitleMaximize"));
        LayoutSkin(frm, state.SkinResizable == 1, state, api);
    }
}

void ResizeByGrip(form::Form& frm, const CursorPoint& start, const CursorPoint& end,
                  std::int16_t index, ChromeState& state, WindowApi& api) {
    // The cursor's travel in twips. The pixel difference is a 32-bit integer: a difference
    // that does not fit fails its step and leaves the travel at 0.
    auto travel = [](std::int32_t from, std::int32_t to, double twipsPerPixel, double& out) {
        const std::int64_t diff = static_cast<std::int64_t>(to) - from;
        if (diff < std::numeric_limits<std::int32_t>::min() ||
            diff > std::numeric_limits<std::int32_t>::max())
            return;
        out = static_cast<double>(diff) * twipsPerPixel;
    };
    double DX = 0.0;
    double DY = 0.0;
    travel(start.X, end.X, frm.twipsPerPixelX(), DX);
    travel(start.Y, end.Y, frm.twipsPerPixelY(), DY);

    skipOnFailure([&] {
        // The bounds as the window reports them, single precision.
        const float L = static_cast<float>(frm.left());
        const float T = static_cast<float>(frm.top());
        const float Wd = static_cast<float>(frm.width());
        const float Ht = static_cast<float>(frm.height());
        // The new Left is rounded to single precision; the other values pass as computed.
        auto move = [&](double left, double top, double width, double height) {
            frm.move(static_cast<float>(left), top, width, height);
        };
        switch (index) {
            case GripLeft:
                move(L + DX, T, Wd - DX, Ht);
                break;
            case GripRight:
                move(L, T, Wd + DX, Ht);
                break;
            case GripTop:
                move(L, T + DY, Wd, Ht - DY);
                break;
            case GripBottom:
                move(L, T, Wd, Ht + DY);
                break;
            case GripBottomRight:
                move(L, T, Wd + DX, Ht + DY);
                break;
            case GripBottomLeft:
                move(L + DX, T, Wd - DX, Ht + DY);
                break;
            case GripTopRight:
                move(L, T + DY, Wd + DX, Ht - DY);
                break;
            case GripTopLeft:
                move(L + DX, T + DY, Wd - DX, Ht - DY);
                break;
            default:
                break;  // not a grip: nothing moves
        }
    });

    // The minimum size is restored by widening or heightening only, so a left or top edge
    // dragged inward past it pushes the opposite side outward.
    skipOnFailure([&] {
        const float minWidth = static_cast<float>(kMinWidthPixels * frm.twipsPerPixelX());
        if (minWidth > static_cast<float>(frm.width()))
            frm.setWidth(minWidth);
    });
    skipOnFailure([&] {
        const float minHeight = static_cast<float>(kMinHeightPixels * frm.twipsPerPixelY());
        if (minHeight > static_cast<float>(frm.height()))
            frm.setHeight(minHeight);
    });

    skipOnFailure([&] { LayoutSkin(frm, true, state, api); });
}

}  // namespace skin
