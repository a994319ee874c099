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

class ResourcePictures {
  public:
    // Decodes every named RCDATA resource of `module` (the pictures), once.
    explicit ResourcePictures(HMODULE module);
    // The decoded picture of that name (any letter case), or nullptr when there is none.
    Gdiplus::Bitmap* get(const std::string& name) const;

  private:
    std::map<std::wstring, std::unique_ptr<Gdiplus::Bitmap>> pictures_;
};

// Decodes an encoded picture (JPEG, GIF, BMP, PNG) held in memory into a premultiplied
// 32-bit bitmap that draws fast; nullptr when it cannot be decoded.
std::unique_ptr<Gdiplus::Bitmap> decodePicture(const void* data, size_t size);

}  // namespace ui::win32
