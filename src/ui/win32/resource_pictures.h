#pragma once
// The pictures built into the executable, each decoded with GDI+ at its first use into a bitmap
// that GDI draws directly.
#include <windows.h>
// GDI+ headers need min/max and the COM basics.
#include <objidl.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

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

// The pictures start GDI+ themselves before their first decode (on the helper thread when there
// is one, so the window is made meanwhile) and shut it down after their last.
class ResourcePictures {
  public:
    // Finds the named RCDATA resources of `module` (the pictures); none is decoded yet.
    explicit ResourcePictures(HMODULE module);
    ~ResourcePictures();
    ResourcePictures(const ResourcePictures&) = delete;
    ResourcePictures& operator=(const ResourcePictures&) = delete;

    // The picture of that name (any letter case), decoded at its first use; nullptr when there
    // is none or it cannot be decoded. Pictures stay decoded for the object's life.
    const GdiPicture* gdi(const std::string& name) const;
    // Decodes one picture that was not used yet; false when none is left.
    bool decodeNext() const;
    // Starts decoding these pictures on a helper thread while the caller builds the window; the
    // next gdi() or decodeNext() decodes what the thread has not taken yet and waits until the
    // thread is done with the rest. The thread touches nothing but these pictures, and the
    // caller must not use GDI+ until then.
    void startDecoding(const std::vector<std::string>& names) const;
    // Whether GDI+ could be started (waits for the helper thread; false: no picture can be
    // decoded).
    bool imagingStarted() const;

  private:
    struct Entry {
        const void* data = nullptr;  // the resource, mapped with the module
        DWORD size = 0;
        bool decoded = false;  // tried, whether or not it succeeded
        norvik::win32::UniqueBitmap bitmap;
        GdiPicture gdi;
    };
    void decode(Entry& entry) const;
    void startImaging() const;
    static DWORD WINAPI decodeQueued(void* self);
    // Decodes queued pictures that no thread has taken yet, one at a time.
    void decodeUntaken() const;
    // Returns once every queued picture is decoded (the thread may still be ending).
    void finishDecoding() const;
    // Waits for the thread's end as well; before GDI+ shuts down or the queue is replaced.
    void joinWorker() const;
    // Started before the first decode, on the thread that decodes first; ended last.
    mutable std::unique_ptr<GdiplusSession> gdiplus_;
    // Decoding is a cache: it changes no picture that callers can see.
    mutable std::map<std::wstring, Entry> pictures_;
    // The helper thread and the entries it decodes (the map is not changed after construction);
    // the caller's thread, once the thread has started GDI+ (`imagingReady_`), takes its share
    // of them instead of only waiting: each thread takes the next untaken entry.
    mutable norvik::win32::UniqueKernelHandle worker_;
    mutable norvik::win32::UniqueKernelHandle imagingReady_;
    mutable norvik::win32::UniqueKernelHandle decodingDone_;
    mutable std::vector<Entry*> queued_;
    mutable std::atomic<std::size_t> nextQueued_{0};
};

}  // namespace ui::win32
