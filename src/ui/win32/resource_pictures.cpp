// The built-in pictures: found by name in the executable's resources, copied from their
// pre-decoded form or decoded with GDI+ when first asked for, and kept as DIB sections; a GDI+
// bitmap is released after the conversion.
#include "ui/win32/resource_pictures.h"

#include <objbase.h>
#include <objidl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "common/win32/utf16.h"

namespace ui::win32 {

GdiplusSession::GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok)
        token_ = 0;
}

GdiplusSession::~GdiplusSession() {
    if (token_)
        Gdiplus::GdiplusShutdown(token_);
}

namespace {

// Resource names compare without regard to case; the resource compiler stores them upper-case.
std::wstring resourceKey(std::wstring name) {
    for (wchar_t& ch : name)
        if (ch >= L'a' && ch <= L'z')
            ch = static_cast<wchar_t>(ch - L'a' + L'A');
    return name;
}

BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    if (!IS_INTRESOURCE(name))
        reinterpret_cast<std::vector<std::wstring>*>(names)->push_back(name);
    return TRUE;
}

// Decodes an encoded picture (JPEG, GIF, BMP) held in memory with GDI+; nullptr when it cannot
// be decoded.
std::unique_ptr<Gdiplus::Bitmap> decodeWithGdiplus(const void* data, size_t size) {
    // A stream over a private copy (CreateStreamOnHGlobal exists on every Windows version the
    // program runs on; the stream frees the copy when it is released, and the bitmap holds its
    // own reference for as long as it needs it).
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
    return decoded;
}

// Copies `height` rows of 32-bit premultiplied pixels, `stride` bytes apart, into a DIB section
// that GDI draws directly: later paints need no conversion.
norvik::win32::UniqueBitmap toDib(const std::uint8_t* rows, std::ptrdiff_t stride, GdiPicture& p) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = p.width;
    info.bmiHeader.biHeight = -p.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    norvik::win32::UniqueBitmap dib(
        CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dib || !bits)
        return {};
    auto* out = static_cast<std::uint8_t*>(bits);
    const size_t rowBytes = static_cast<size_t>(p.width) * 4;
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t* row = rows + y * stride;
        std::memcpy(out + y * rowBytes, row, rowBytes);
        for (int x = 0; x < p.width && p.opaque; ++x)
            p.opaque = row[x * 4 + 3] == 255;
    }
    GdiFlush();
    p.bitmap = dib.get();
    return dib;
}

norvik::win32::UniqueBitmap fromGdiplus(Gdiplus::Bitmap& bitmap, GdiPicture& p) {
    p.width = static_cast<int>(bitmap.GetWidth());
    p.height = static_cast<int>(bitmap.GetHeight());
    Gdiplus::Rect all(0, 0, p.width, p.height);
    Gdiplus::BitmapData data;
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) !=
        Gdiplus::Ok)
        return {};
    norvik::win32::UniqueBitmap dib =
        toDib(static_cast<const std::uint8_t*>(data.Scan0), data.Stride, p);
    bitmap.UnlockBits(&data);
    return dib;
}

// A pre-decoded copy: a BITMAPINFOHEADER followed by the pixels, 32-bit top-down; empty when the
// resource is not of that form.
norvik::win32::UniqueBitmap fromPredecoded(const void* data, DWORD size, GdiPicture& p) {
    constexpr int kMaxSide = 4096;
    BITMAPINFOHEADER header;
    if (size < sizeof header)
        return {};
    std::memcpy(&header, data, sizeof header);
    if (header.biSize != sizeof header || header.biBitCount != 32 ||
        header.biCompression != BI_RGB || header.biWidth <= 0 || header.biWidth > kMaxSide ||
        header.biHeight >= 0 || header.biHeight < -kMaxSide)
        return {};
    p.width = header.biWidth;
    p.height = -header.biHeight;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(p.width) * 4;
    if ((size - sizeof header) / stride < static_cast<size_t>(p.height))
        return {};
    return toDib(static_cast<const std::uint8_t*>(data) + sizeof header, stride, p);
}

// The named resources of one type, each as its bytes.
template <typename Found>
void forEachNamed(HMODULE module, LPCWSTR type, Found found) {
    std::vector<std::wstring> names;
    EnumResourceNamesW(module, type, collectName, reinterpret_cast<LONG_PTR>(&names));
    for (const std::wstring& name : names) {
        HRSRC res = FindResourceW(module, name.c_str(), type);
        HGLOBAL handle = res ? LoadResource(module, res) : nullptr;
        if (const void* data = handle ? LockResource(handle) : nullptr)
            found(resourceKey(name), data, SizeofResource(module, res));
    }
}

}  // namespace

ResourcePictures::ResourcePictures(HMODULE module, std::function<void()> beforeImaging,
                                   bool usePredecoded)
    : beforeImaging_(std::move(beforeImaging)) {
    forEachNamed(module, MAKEINTRESOURCEW(10) /*RT_RCDATA*/,
                 [this](const std::wstring& key, const void* data, DWORD size) {
                     Entry& entry = pictures_[key];
                     entry.data = data;
                     entry.size = size;
                 });
    if (usePredecoded)
        forEachNamed(module, MAKEINTRESOURCEW(2) /*RT_BITMAP*/,
                     [this](const std::wstring& key, const void* data, DWORD size) {
                         if (auto it = pictures_.find(key); it != pictures_.end()) {
                             it->second.predecoded = data;
                             it->second.predecodedSize = size;
                         }
                     });
}

bool ResourcePictures::imagingStarted() const {
    if (!gdiplus_) {
        // Also where a pre-decoded copy is missing or refused before the window is shown.
        if (beforeImaging_)
            beforeImaging_();
        gdiplus_ = std::make_unique<GdiplusSession>();
    }
    return gdiplus_->started();
}

void ResourcePictures::decode(Entry& entry) const {
    entry.decoded = true;
    if (entry.predecoded) {
        entry.bitmap = fromPredecoded(entry.predecoded, entry.predecodedSize, entry.gdi);
        if (entry.bitmap)
            return;
        entry.gdi = GdiPicture{};
    }
    if (!imagingStarted())
        return;
    // The GDI+ bitmap lives only until its pixels are in the DIB section.
    if (const auto picture = decodeWithGdiplus(entry.data, entry.size))
        entry.bitmap = fromGdiplus(*picture, entry.gdi);
}

const GdiPicture* ResourcePictures::gdi(const std::string& name) const {
    if (name.empty())
        return nullptr;
    auto it = pictures_.find(resourceKey(norvik::win32::toWide(name)));
    if (it == pictures_.end())
        return nullptr;
    Entry& entry = it->second;
    if (!entry.decoded)
        decode(entry);
    return entry.bitmap ? &entry.gdi : nullptr;
}

bool ResourcePictures::decodeNext() const {
    for (auto& [name, entry] : pictures_)
        if (!entry.decoded) {
            decode(entry);
            return true;
        }
    return false;
}

}  // namespace ui::win32
