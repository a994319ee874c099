// The built-in pictures: found by name in the executable's resources, decoded with GDI+ when
// first asked for and kept as DIB sections; the GDI+ bitmap is released after the conversion.
#include "ui/win32/resource_pictures.h"

#include <objbase.h>
#include <objidl.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
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

// Copies a GDI+ bitmap, converted to premultiplied 32-bit ARGB, into a DIB section that GDI
// draws directly: later paints need no conversion.
norvik::win32::UniqueBitmap toGdi(Gdiplus::Bitmap& bitmap, GdiPicture& p) {
    p.width = static_cast<int>(bitmap.GetWidth());
    p.height = static_cast<int>(bitmap.GetHeight());
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
    Gdiplus::Rect all(0, 0, p.width, p.height);
    Gdiplus::BitmapData data;
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, &data) !=
        Gdiplus::Ok)
        return {};
    auto* out = static_cast<std::uint8_t*>(bits);
    for (int y = 0; y < p.height; ++y) {
        const auto* row = static_cast<const std::uint8_t*>(data.Scan0) + y * data.Stride;
        std::memcpy(out + static_cast<size_t>(y) * p.width * 4, row,
                    static_cast<size_t>(p.width) * 4);
        for (int x = 0; x < p.width && p.opaque; ++x)
            p.opaque = row[x * 4 + 3] == 255;
    }
    bitmap.UnlockBits(&data);
    GdiFlush();
    p.bitmap = dib.get();
    return dib;
}

}  // namespace

ResourcePictures::ResourcePictures(HMODULE module) {
    std::vector<std::wstring> names;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(10) /*RT_RCDATA*/, collectName,
                       reinterpret_cast<LONG_PTR>(&names));
    for (const std::wstring& name : names) {
        HRSRC res = FindResourceW(module, name.c_str(), MAKEINTRESOURCEW(10));
        HGLOBAL handle = res ? LoadResource(module, res) : nullptr;
        const void* data = handle ? LockResource(handle) : nullptr;
        if (!data)
            continue;
        Entry& entry = pictures_[resourceKey(name)];
        entry.data = data;
        entry.size = SizeofResource(module, res);
    }
}

ResourcePictures::~ResourcePictures() {
    joinWorker();
}

void ResourcePictures::startDecoding(const std::vector<std::string>& names) const {
    joinWorker();
    queued_.clear();
    for (const std::string& name : names) {
        auto it = pictures_.find(resourceKey(norvik::win32::toWide(name)));
        if (it != pictures_.end() && !it->second.decoded)
            queued_.push_back(&it->second);
    }
    nextQueued_ = 0;
    // Without the thread, each picture is simply decoded at its first use.
    if (queued_.empty())
        return;
    imagingReady_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    decodingDone_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (imagingReady_ && decodingDone_)
        worker_.reset(CreateThread(nullptr, 0, &ResourcePictures::decodeQueued,
                                   const_cast<ResourcePictures*>(this), 0, nullptr));
    if (!worker_) {
        imagingReady_.reset();
        decodingDone_.reset();
    }
}

DWORD WINAPI ResourcePictures::decodeQueued(void* self) {
    try {
        const auto& pictures = *static_cast<const ResourcePictures*>(self);
        pictures.startImaging();
        SetEvent(pictures.imagingReady_.get());
        pictures.decodeUntaken();
        // The last touch of the object: the caller may go on before the thread has ended.
        SetEvent(pictures.decodingDone_.get());
    } catch (const std::exception&) {
        // What is left undecoded is decoded at its first use.
    }
    return 0;
}

void ResourcePictures::decodeUntaken() const {
    for (std::size_t next = nextQueued_++; next < queued_.size(); next = nextQueued_++)
        decode(*queued_[next]);
}

void ResourcePictures::finishDecoding() const {
    // The thread decodes a few pictures held in memory: it always comes to its end, within
    // milliseconds. Once it has started GDI+ (it sets the event before it decodes anything,
    // or ends), this thread decodes alongside it; then it waits only until the thread is done
    // with the pictures, not for the thread's end (which takes a few more milliseconds).
    if (!decodingDone_)
        return;
    const HANDLE readyOrEnded[] = {imagingReady_.get(), worker_.get()};
    if (WaitForMultipleObjects(2, readyOrEnded, FALSE, INFINITE) == WAIT_OBJECT_0)
        decodeUntaken();
    const HANDLE doneOrEnded[] = {decodingDone_.get(), worker_.get()};
    WaitForMultipleObjects(2, doneOrEnded, FALSE, INFINITE);
    imagingReady_.reset();
    decodingDone_.reset();
}

void ResourcePictures::joinWorker() const {
    finishDecoding();
    if (worker_)
        WaitForSingleObject(worker_.get(), INFINITE);
    worker_.reset();
}

void ResourcePictures::startImaging() const {
    if (!gdiplus_)
        gdiplus_ = std::make_unique<GdiplusSession>();
}

bool ResourcePictures::imagingStarted() const {
    finishDecoding();
    startImaging();
    return gdiplus_->started();
}

void ResourcePictures::decode(Entry& entry) const {
    // The helper thread and the window's thread may both be here at once, each with a picture
    // of its own (taken from the queue's shared counter); GDI+ was started before either
    // decodes.
    startImaging();
    entry.decoded = true;
    if (!gdiplus_->started())
        return;
    // The GDI+ bitmap lives only until its pixels are in the DIB section.
    if (const auto picture = decodeWithGdiplus(entry.data, entry.size))
        entry.bitmap = toGdi(*picture, entry.gdi);
}

const GdiPicture* ResourcePictures::gdi(const std::string& name) const {
    finishDecoding();
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
    finishDecoding();
    for (auto& [name, entry] : pictures_)
        if (!entry.decoded) {
            decode(entry);
            return true;
        }
    return false;
}

}  // namespace ui::win32
