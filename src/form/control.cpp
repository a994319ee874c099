#include "form/control.h"

#include "form/form.h"

namespace form {

Control::Control(Form& form, const ControlDef& def, const Rect& pixels, int creationOrder)
    : form_(form),
      name_(def.name),
      index_(def.index),
      kind_(def.kind),
      order_(creationOrder),
      bounds_(pixels),
      visible_(def.visible),
      text_(def.text),
      picture_(def.picture),
      tabIndex_(def.tabIndex),
      font_(def.font),
      foreColour_(def.foreColour),
      backColour_(def.backColour),
      align_(def.align),
      stretch_(def.stretch),
      pointer_(def.pointer),
      border_(def.border) {}

void Control::changed(ControlChange what) {
    if (FormHost* host = form_.host())
        host->controlChanged(*this, what);
}

void Control::setLeft(int value) {
    bounds_.left = value;
    changed(ControlChange::Geometry);
}

void Control::setTop(int value) {
    bounds_.top = value;
    changed(ControlChange::Geometry);
}

void Control::setWidth(int value) {
    if (value < 0)
        throw FormError("Invalid property value: " + name_ + ".Width");
    bounds_.width = value;
    changed(ControlChange::Geometry);
}

void Control::setHeight(int value) {
    if (value < 0)
        throw FormError("Invalid property value: " + name_ + ".Height");
    bounds_.height = value;
    changed(ControlChange::Geometry);
}

void Control::setVisible(bool value) {
    if (visible_ == value)
        return;
    visible_ = value;
    if (!value && form_.focused() == this)
        form_.focusChangedBySystem(nullptr);
    changed(ControlChange::Visible);
}

void Control::setText(const std::string& value) {
    text_ = value;
    changed(ControlChange::Text);
    if (kind_ == ControlKind::TextBox)
        fireChange();
}

void Control::textEditedByUser(const std::string& value) {
    text_ = value;
    fireChange();
}

void Control::setPicture(const std::string& value) {
    picture_ = value;
    changed(ControlChange::Picture);
}

void Control::setFocus() {
    form_.setFocus(*this);
}

void Control::fireClick() {
    if (onClick)
        onClick();
}
void Control::fireDblClick() {
    if (onDblClick)
        onDblClick();
}
void Control::fireChange() {
    if (onChange)
        onChange();
}
void Control::fireMouseDown(const MouseEvent& e) {
    if (onMouseDown)
        onMouseDown(e);
}
void Control::fireMouseUp(const MouseEvent& e) {
    if (onMouseUp)
        onMouseUp(e);
}

}  // namespace form
