#pragma once
// The model of one top-level form: its controls, its window-level state and the routing of mouse
// input among its windowless controls. Platform-free; a FormHost realises it on screen.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "form/control.h"
#include "form/form_def.h"
#include "form/types.h"

namespace form {

enum class FormChange { Caption, BackColour, Bounds, State };

// What realises the model on screen. The model calls it after each change of its own state.
class FormHost {
  public:
    virtual ~FormHost() = default;
    virtual void controlChanged(Control& control, ControlChange what) = 0;
    virtual void formChanged(FormChange what) = 0;
    // Moves the keyboard focus; false when the control cannot take it now.
    virtual bool setFocus(Control& control) = 0;
};

class Form {
  public:
    Form(const FormDef& def, double twipsPerPixelX, double twipsPerPixelY);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& name() const { return name_; }
    double twipsPerPixelX() const { return tppX_; }
    double twipsPerPixelY() const { return tppY_; }

    // Controls by name (and element index for control arrays). control() throws FormError
    // when there is no such control; find() returns nullptr.
    Control& control(const std::string& name, int index = -1);
    Control* find(const std::string& name, int index = -1);

    // Windowless controls, topmost first.
    const std::vector<Control*>& windowless() const { return windowless_; }
    // Child windows in creation order.
    const std::vector<Control*>& children() const { return children_; }
    // Controls that take part in the tab order, by tab index.
    std::vector<Control*> tabOrder() const;

    // Outer bounds in screen pixels, and the same read in twips as the window reports them.
    const Rect& boundsPixels() const { return bounds_; }
    double left() const { return bounds_.left * tppX_; }
    double top() const { return bounds_.top * tppY_; }
    double width() const { return bounds_.width * tppX_; }
    double height() const { return bounds_.height * tppY_; }
    // Moves and sizes the window in one operation, values in twips (rounded to pixels).
    void move(double left, double top, double width, double height);
    void setWidth(double twips);
    void setHeight(double twips);

    WindowState windowState() const { return state_; }
    void setWindowState(WindowState state);

    const std::string& caption() const { return caption_; }
    void setCaption(const std::string& caption);

    Colour backColour() const { return backColour_; }
    void setBackColour(Colour colour);

    std::uintptr_t hWnd() const { return hwnd_; }

    Control* focused() const { return focused_; }

    // The host's side: attach, and report what the system changed by itself.
    void attachHost(FormHost* host, std::uintptr_t hwnd);
    FormHost* host() const { return host_; }
    void boundsChangedBySystem(const Rect& bounds) { bounds_ = bounds; }
    void stateChangedBySystem(WindowState state) { state_ = state; }
    void focusChangedBySystem(Control* control) { focused_ = control; }
    void setFocus(Control& control);

    // Mouse input over the client area, for the windowless controls.
    Control* hitTest(int x, int y) const;
    Control* captured() const { return captured_; }
    // Returns the control that took the press (and the capture), or nullptr.
    Control* mouseDown(int x, int y, int button, int shift);
    void mouseUp(int x, int y, int button, int shift);
    Control* doubleClick(int x, int y, int shift);
    void cancelCapture();

    std::function<void()> onLoad;
    // The user asked the system to close the window (Alt+F4, the taskbar menu).
    std::function<void()> onClose;

  private:
    std::string name_;
    double tppX_, tppY_;
    std::vector<std::unique_ptr<Control>> owned_;
    std::vector<Control*> windowless_;
    std::vector<Control*> children_;
    Rect bounds_;
    WindowState state_ = WindowState::Normal;
    std::string caption_;
    Colour backColour_ = Colour::system(SystemColour::Window);
    FormHost* host_ = nullptr;
    std::uintptr_t hwnd_ = 0;
    Control* focused_ = nullptr;
    Control* captured_ = nullptr;
    bool pressIsDoubleClick_ = false;
};

// Converts design twips to pixels with the given ratio, half to even.
int twipsToPixels(double twips, double twipsPerPixel);

// The window id of a child control, from its place in creation order (stable for test drivers).
constexpr int childWindowId(int creationOrder) {
    return 100 + creationOrder;
}

}  // namespace form
