#pragma once
// The child windows of a form: a picture box or an edit for each windowed control, and the
// routing of their mouse, focus and keyboard input to the model.
#include <windows.h>

#include <map>
#include <memory>
#include <vector>

#include "form/form.h"
#include "form/win32/host_gdi.h"
#include "form/win32/painter.h"

namespace form::win32 {

class ChildWindows {
  public:
    ChildWindows(Form& form, Painter& painter, FontCache& fonts, HCURSOR buttonPointer);
    ChildWindows(const ChildWindows&) = delete;
    ChildWindows& operator=(const ChildWindows&) = delete;

    // Registers the picture box class; false (with the system's error) when it cannot.
    static bool registerClass(HINSTANCE instance);
    // Makes each picture box as large as its picture plus its border.
    void sizePictureBoxesToTheirPictures();
    // Creates a window under `parent` for every windowed control of the form that has none yet
    // (with `visibleOnly`, only for those visible now: the others are made after the window is
    // shown) and stacks them all in tab order.
    void create(HWND parent, HINSTANCE instance, bool visibleOnly);

    // Follows a change of the model; false when the control has no window of its own (a
    // windowed control whose window is not made yet takes the model's state when it is).
    bool controlChanged(Control& control, ControlChange what);
    // Moves the focus to the control's window if it is visible; true when it got it.
    bool setFocus(HWND parent, Control& control);
    // Gives the focus back to the control that had it when the window was left.
    bool restoreFocus();
    // WM_CTLCOLOREDIT of the parent: the edit's colours, or nullptr for a window not ours.
    HBRUSH editColours(HWND edit, HDC dc) const;
    // EN_CHANGE from the parent's WM_COMMAND: the text the user typed reaches the model.
    void editChanged(HWND edit);
    // Tab and shift+tab move among the visible children in tab order; true when handled.
    bool dispatchDialogKeys(HWND parent, MSG& msg);

  private:
    // What a child window's GWLP_USERDATA points to.
    struct Binding {
        ChildWindows* owner;
        Control* control;
    };
    static LRESULT CALLBACK pictureBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK editProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT handlePictureBox(Control& control, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void orderForTabbing();

    Form& form_;
    Painter& painter_;
    FontCache& fonts_;
    HCURSOR buttonPointer_;
    std::vector<std::unique_ptr<Binding>> bindings_;
    std::map<Control*, HWND> windows_;
    std::map<HWND, Control*> controls_;
    HWND doubleClickedButton_ = nullptr;  // a picture box between a double-click and its release
    bool settingText_ = false;            // the model fires Change itself for its own texts
};

}  // namespace form::win32
