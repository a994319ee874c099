#pragma once
// The pictures built into the executable, each decoded at its first use into a bitmap that GDI
// draws directly.
#include <windows.h>
// GDI+ headers need min/max and the COM basics.
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "common/win32/gdi_handles.h"

namespace ui::win32 {

// Starts GDI+ for the lifetime of the object.
class GdiplusSession {
  public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // False when GDI+ could not be started (then no picture can be decoded).
    bool started() const { return token_ != 0; }

  private:
    ULONG_PTR token_ = 0;
};

// A decoded picture as GDI draws it fastest: a 32-bit top-down DIB section with premultiplied
// alpha, and whether every pixel is opaque (then it is copied, otherwise alpha-blended). The
// bitmap belongs to the ResourcePictures that handed it out.
struct GdiPicture {
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
    bool opaque = true;
};

// The pictures of the first screen are also built in pre-decoded (RT_BITMAP resources of the
// same names, 32-bit top-down with premultiplied alpha): those are copied, not decoded, so the
// window is drawn and shown before GDI+ starts. Every other picture is decoded with GDI+, which
// the pictures start before their first decode and shut down after their last.
class ResourcePictures {
  public:
    // Finds the named RCDATA resources of `module` (the pictures) and their pre-decoded copies,
    // which are used unless `usePredecoded` is false; none is decoded yet. `beforeImaging` runs
    // once, just before GDI+ is first started (the caller loads gdiplus.dll safely there).
    explicit ResourcePictures(HMODULE module, std::function<void()> beforeImaging = {},
                              bool usePredecoded = true);
    ResourcePictures(const ResourcePictures&) = delete;
    ResourcePictures& operator=(const ResourcePictures&) = delete;

    // The picture of that name (any letter case), decoded at its first use; nullptr when there
    // is none or it cannot be decoded. Pictures stay decoded for the object's life.
    const GdiPicture* gdi(const std::string& name) const;
    // Decodes one picture that was not used yet; false when none is left.
    bool decodeNext() const;
    // Starts GDI+ unless it runs; false when it cannot be started (then no picture without a
    // pre-decoded copy can be decoded).
    bool imagingStarted() const;

  private:
    struct Entry {
        // The resources, mapped with the module.
        const void* data = nullptr;
        DWORD size = 0;
        const void* predecoded = nullptr;
        DWORD predecodedSize = 0;
        bool decoded = false;  // tried, whether or not it succeeded
        norvik::win32::UniqueBitmap bitmap;
        GdiPicture gdi;
    };
    void decode(Entry& entry) const;
    std::function<void()> beforeImaging_;
    // Started before the first decode with GDI+; ended last.
    mutable std::unique_ptr<GdiplusSession> gdiplus_;
    // Decoding is a cache: it changes no picture that callers can see.
    mutable std::map<std::wstring, Entry> pictures_;
};

}  // namespace ui::win32
