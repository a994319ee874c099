#pragma once
// The window host: realises a form model as a borderless Win32 window (its children, painting
// and input live in the files beside this one) and provides the runtime services.
#include <windows.h>

#include <memory>
#include <string>

#include "form/form.h"
#include "form/runtime.h"

namespace ui::win32 {
class ResourcePictures;
}

namespace form::win32 {

class ChildWindows;
class FontCache;
class Painter;

struct HostResources {
    HINSTANCE instance = nullptr;
    const ui::win32::ResourcePictures* pictures = nullptr;
    HICON iconBig = nullptr;
    HICON iconSmall = nullptr;
    HCURSOR buttonPointer = nullptr;  // shown over the picture-box buttons
};

// The class of the main window, by which another copy of the program finds it.
inline constexpr wchar_t kMainWindowClass[] = L"NorvikForm";

class WindowHost : public FormHost, public Runtime {
  public:
    // Creates the window, hidden, with its child windows. Throws std::runtime_error when the
    // window classes or the window cannot be created.
    WindowHost(Form& form, const HostResources& resources);
    ~WindowHost() override;
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    HWND hwnd() const { return hwnd_; }

    // Sizes the picture boxes to their pictures, runs the form's load handler, then shows the
    // window centred on the screen.
    void loadAndShow(int showCommand);
    // The message loop; returns when the window is gone.
    void run();

    // FormHost
    void controlChanged(Control& control, ControlChange what) override;
    void formChanged(FormChange what) override;
    bool setFocus(Control& control) override;

    // Runtime
    void doEvents() override;
    void msgBox(const std::string& text, const std::string& title, MsgIcon icon) override;
    void endProgram(int exitCode) override;

    // Counters for the benchmark: how often and how much the client area was painted.
    long paintCount() const;
    long long paintedPixels() const;

  private:
    static LRESULT CALLBACK mainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handleMain(UINT msg, WPARAM wp, LPARAM lp);
    void closeRequested();
    void decodeVisiblePictures();
    void syncBoundsFromWindow();
    void dispatch(MSG& msg);

    Form& form_;
    HostResources res_;
    HWND hwnd_ = nullptr;
    std::unique_ptr<FontCache> fonts_;
    std::unique_ptr<Painter> painter_;
    std::unique_ptr<ChildWindows> children_;
    DWORD lastPaint_ = 0;  // tick count of the last paint taken by doEvents
};

}  // namespace form::win32
