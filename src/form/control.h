#pragma once
// One control of a form: its properties (geometry in pixels) and its event handlers.
// Setting a property tells the form's host, which realises the change on screen.
#include <functional>
#include <stdexcept>
#include <string>

#include "form/form_def.h"
#include "form/types.h"

namespace form {

class Form;

// A property value or operation that a control refuses, like the runtime's own errors.
class FormError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class ControlChange { Geometry, Visible, Text, Picture };

struct MouseEvent {
    int button = LeftButton;
    int shift = 0;
    int x = 0, y = 0;  // relative to the control, pixels
};

class Control {
  public:
    Control(Form& form, const ControlDef& def, const Rect& pixels, int creationOrder);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }
    int index() const { return index_; }
    ControlKind kind() const { return kind_; }
    bool isChildWindow() const {
        return kind_ == ControlKind::PictureBox || kind_ == ControlKind::TextBox;
    }
    // Place in creation order (children) or stacking order, topmost first (windowless).
    int order() const { return order_; }
    Form& form() const { return form_; }

    // Geometry, pixels in the form's client area.
    const Rect& bounds() const { return bounds_; }
    int left() const { return bounds_.left; }
    int top() const { return bounds_.top; }
    int width() const { return bounds_.width; }
    int height() const { return bounds_.height; }
    void setLeft(int value);
    void setTop(int value);
    void setWidth(int value);  // a negative size is refused with FormError
    void setHeight(int value);

    bool visible() const { return visible_; }
    void setVisible(bool value);

    // Label caption or text-box text. Setting a text box's text fires Change, like the runtime.
    const std::string& text() const { return text_; }
    void setText(const std::string& value);
    // The host reports text that the user typed or pasted into an edit: store it, fire Change.
    void textEditedByUser(const std::string& value);

    const std::string& picture() const { return picture_; }
    void setPicture(const std::string& value);

    // Gives the control the keyboard focus; FormError when it is hidden or cannot take it.
    void setFocus();

    int tabIndex() const { return tabIndex_; }
    const Font& font() const { return font_; }
    Colour foreColour() const { return foreColour_; }
    Colour backColour() const { return backColour_; }
    Align align() const { return align_; }
    bool stretch() const { return stretch_; }
    Pointer pointer() const { return pointer_; }
    Border border() const { return border_; }

    // Events. Handlers are optional; a control array's handlers know their element by capture.
    std::function<void()> onClick;
    std::function<void()> onDblClick;
    std::function<void()> onChange;
    std::function<void(const MouseEvent&)> onMouseDown;
    std::function<void(const MouseEvent&)> onMouseUp;

    void fireClick();
    void fireDblClick();
    void fireChange();
    void fireMouseDown(const MouseEvent& e);
    void fireMouseUp(const MouseEvent& e);

  private:
    void changed(ControlChange what);

    Form& form_;
    std::string name_;
    int index_;
    ControlKind kind_;
    int order_;
    Rect bounds_;
    bool visible_;
    std::string text_;
    std::string picture_;
    int tabIndex_;
    Font font_;
    Colour foreColour_;
    Colour backColour_;
    Align align_;
    bool stretch_;
    Pointer pointer_;
    Border border_;
};

}  // namespace form
