#pragma once
// The pictures built into the executable, decoded once with GDI+.
#include <windows.h>
// GDI+ headers need min/max and the COM basics.
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ui::win32 {

// Starts GDI+ for the lifetime of the object.
class GdiplusSession {
  public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

  private:
    ULONG_PTR token_ = 0;
};

// A decoded picture as GDI draws it fastest: a 32-bit top-down DIB section with premultiplied
// alpha, and whether every pixel is opaque (then it is copied, otherwise alpha-blended).
struct GdiPicture {
    HBITMAP bitmap = nullptr;
    int width = 0;
    int height = 0;
    bool opaque = true;
};

class ResourcePictures {
  public:
    // Decodes every named RCDATA resource of `module` (the pictures), once.
    explicit ResourcePictures(HMODULE module);
    ~ResourcePictures();
    ResourcePictures(const ResourcePictures&) = delete;
    ResourcePictures& operator=(const ResourcePictures&) = delete;

    // The decoded picture of that name (any letter case), or nullptr when there is none.
    Gdiplus::Bitmap* get(const std::string& name) const;
    // The same picture for GDI, or nullptr.
    const GdiPicture* gdi(const std::string& name) const;

  private:
    struct Entry {
        std::unique_ptr<Gdiplus::Bitmap> bitmap;
        GdiPicture gdi;
    };
    const Entry* find(const std::string& name) const;
    std::map<std::wstring, Entry> pictures_;
};

// Decodes an encoded picture (JPEG, GIF, BMP, PNG) held in memory into a premultiplied
// 32-bit bitmap that draws fast; nullptr when it cannot be decoded.
std::unique_ptr<Gdiplus::Bitmap> decodePicture(const void* data, size_t size);

}  // namespace ui::win32
