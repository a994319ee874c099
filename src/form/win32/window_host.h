#pragma once
// Realises a form model as a borderless Win32 window: child windows for picture boxes and edits,
// windowless controls painted double-buffered in stacking order, mouse routing with capture,
// pointers, focus and tab order; and the runtime services (DoEvents, message boxes, end).
#include <windows.h>

#include <map>
#include <string>

#include "form/form.h"
#include "form/runtime.h"
#include "ui/win32/resource_pictures.h"

namespace form::win32 {

struct HostResources {
    HINSTANCE instance = nullptr;
    const ui::win32::ResourcePictures* pictures = nullptr;
    HICON iconBig = nullptr;
    HICON iconSmall = nullptr;
    HCURSOR buttonPointer = nullptr;  // shown over the picture-box buttons
};

// The screen's twips per pixel along x and y, as the system reports its resolution.
double screenTwipsPerPixelX();
double screenTwipsPerPixelY();

class WindowHost : public FormHost, public Runtime {
  public:
    WindowHost(Form& form, const HostResources& resources);
    ~WindowHost() override;
    WindowHost(const WindowHost&) = delete;
    WindowHost& operator=(const WindowHost&) = delete;

    HWND hwnd() const { return hwnd_; }

    // Runs the form's load handler, then shows the window centred on the screen.
    void loadAndShow(int showCommand);
    // The message loop; returns the exit code when the window is gone.
    int run();

    // FormHost
    void controlChanged(Control& control, ControlChange what) override;
    void formChanged(FormChange what) override;
    bool setFocus(Control& control) override;

    // Runtime
    void doEvents() override;
    void msgBox(const std::string& text, const std::string& title, MsgIcon icon) override;
    void endProgram() override;

    // Counters for the benchmark: how often and how much the client area was painted.
    long paintCount() const { return paintCount_; }
    long long paintedPixels() const { return paintedPixels_; }

  private:
    static LRESULT CALLBACK mainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK pictureBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK editProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static WindowHost* hostOf(HWND child);
    LRESULT handleMain(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handlePictureBox(Control& control, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    void createChildren();
    void sizePictureBoxesToTheirPictures();
    void orderChildrenForTabbing();
    void paint(HDC target, const RECT& dirty);
    void drawControl(HDC dc, Control& c);
    const ui::win32::GdiPicture* pictureOf(const Control& c) const;
    static void drawPicture(HDC dc, const ui::win32::GdiPicture& pic, int x, int y, int width,
                            int height);
    void invalidateControl(Control& c);
    void syncBoundsFromWindow();
    HFONT fontFor(const Font& font);
    HCURSOR cursorFor(Pointer pointer) const;
    bool dispatchDialogKeys(MSG& msg);
    static int shiftState(WPARAM wp);

    Form& form_;
    HostResources res_;
    HWND hwnd_ = nullptr;
    std::map<Control*, HWND> childWindows_;
    std::map<HWND, Control*> childControls_;
    std::map<Control*, RECT> paintedRects_;
    RECT pendingPaint_{0, 0, 0, 0};       // invalidated since the last WM_PAINT
    HWND doubleClickedButton_ = nullptr;  // a picture box between a double-click and its release
    DWORD lastPaint_ = 0;                 // tick count of the last paint taken by doEvents
    std::map<std::string, HFONT> fonts_;
    bool settingText_ = false;
    HBITMAP backBuffer_ = nullptr;
    SIZE backBufferSize_{0, 0};
    long paintCount_ = 0;
    long long paintedPixels_ = 0;
};

}  // namespace form::win32
