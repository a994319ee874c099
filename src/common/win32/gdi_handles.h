#pragma once
// Owners for GDI objects and device contexts, and a guard that puts back what a DC had selected:
// every early return releases and restores what the painting code took.
#include <windows.h>

#include "common/win32/unique_handle.h"

namespace norvik::win32 {

// A bitmap, brush, font, region or pen, released with DeleteObject.
template <typename Handle>
struct GdiObjectTraits {
    using type = Handle;
    static type invalid() { return nullptr; }
    static void close(type h) { DeleteObject(h); }
};
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueRegion = UniqueHandle<GdiObjectTraits<HRGN>>;

// A memory DC from CreateCompatibleDC, released with DeleteDC.
struct MemoryDcTraits {
    using type = HDC;
    static type invalid() { return nullptr; }
    static void close(type dc) { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;

// A window's DC from GetDC, given back with ReleaseDC to the same window.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint .. EndPaint of one WM_PAINT.
class PaintScope {
  public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = BeginPaint(window_, &ps_); }
    ~PaintScope() { EndPaint(window_, &ps_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }
    const RECT& dirty() const { return ps_.rcPaint; }

  private:
    HWND window_;
    PAINTSTRUCT ps_{};
    HDC dc_ = nullptr;
};

// Selects an object into a DC and selects the previous one back at the end of the scope, so
// the object can be deleted afterwards (a selected object cannot).
class SelectionGuard {
  public:
    SelectionGuard(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectionGuard() {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    SelectionGuard(const SelectionGuard&) = delete;
    SelectionGuard& operator=(const SelectionGuard&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace norvik::win32
