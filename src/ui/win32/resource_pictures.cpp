#include "ui/win32/resource_pictures.h"

#include <objbase.h>
#include <objidl.h>

#include <cstring>

#include "common/win32/utf16.h"

namespace ui::win32 {

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
}

GdiplusSession::~GdiplusSession() {
    if (token_)
        Gdiplus::GdiplusShutdown(token_);
}

std::unique_ptr<Gdiplus::Bitmap> decodePicture(const void* data, size_t size) {
    // A stream over a private copy (CreateStreamOnHGlobal exists on every Windows version the
    // program runs on; the stream frees the copy when it is released).
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!copy)
        return nullptr;
    if (void* target = GlobalLock(copy)) {
        std::memcpy(target, data, size);
        GlobalUnlock(copy);
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(copy, TRUE, &stream)) || !stream) {
        GlobalFree(copy);
        return nullptr;
    }
    std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    if (!decoded || decoded->GetLastStatus() != Gdiplus::Ok)
        return nullptr;
    // Convert once to premultiplied ARGB: later draws need no per-paint conversion, and the
    // decoded picture no longer depends on the stream.
    const int w = static_cast<int>(decoded->GetWidth());
    const int h = static_cast<int>(decoded->GetHeight());
    auto converted = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppPARGB);
    {
        Gdiplus::Graphics g(converted.get());
        g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
        g.DrawImage(decoded.get(), Gdiplus::Rect(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
    }
    return converted;
}

ResourcePictures::ResourcePictures(HMODULE module) : module_(module) {}

Gdiplus::Bitmap* ResourcePictures::get(const std::string& name) const {
    if (name.empty())
        return nullptr;
    auto it = cache_.find(name);
    if (it != cache_.end())
        return it->second.get();
    std::unique_ptr<Gdiplus::Bitmap> picture;
    const std::wstring wname = norvik::win32::toWide(name);
    if (HRSRC res = FindResourceW(module_, wname.c_str(), MAKEINTRESOURCEW(10) /*RT_RCDATA*/)) {
        HGLOBAL handle = LoadResource(module_, res);
        const void* data = handle ? LockResource(handle) : nullptr;
        if (data)
            picture = decodePicture(data, SizeofResource(module_, res));
    }
    Gdiplus::Bitmap* result = picture.get();
    cache_[name] = std::move(picture);
    return result;
}

}  // namespace ui::win32
