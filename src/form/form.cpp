#include "form/form.h"

#include <algorithm>

#include "common/rounding.h"

namespace form {

int twipsToPixels(double twips, double twipsPerPixel) {
    return norvik::roundToInt32(twips / twipsPerPixel);
}

Form::Form(const FormDef& def, double twipsPerPixelX, double twipsPerPixelY)
    : name_(def.name), tppX_(twipsPerPixelX), tppY_(twipsPerPixelY), caption_(def.caption) {
    bounds_ = {0, 0, twipsToPixels(def.width, tppX_), twipsToPixels(def.height, tppY_)};
    auto make = [&](const ControlDef& d, int order) {
        const Rect r{twipsToPixels(d.left, tppX_), twipsToPixels(d.top, tppY_),
                     twipsToPixels(d.width, tppX_), twipsToPixels(d.height, tppY_)};
        owned_.push_back(std::make_unique<Control>(*this, d, r, order));
        return owned_.back().get();
    };
    int order = 0;
    for (const ControlDef& d : def.windowless)
        windowless_.push_back(make(d, order++));
    order = 0;
    for (const ControlDef& d : def.children)
        children_.push_back(make(d, order++));
}

Control* Form::find(const std::string& name, int index) {
    for (auto& c : owned_)
        if (c->name() == name && c->index() == index)
            return c.get();
    return nullptr;
}

Control& Form::control(const std::string& name, int index) {
    if (Control* c = find(name, index))
        return *c;
    std::string what = "Control not found: " + name;
    if (index >= 0)
        what += "(" + std::to_string(index) + ")";
    throw FormError(what);
}

std::vector<Control*> Form::tabOrder() const {
    std::vector<Control*> result;
    for (auto& c : owned_)
        if (c->tabIndex() >= 0)
            result.push_back(c.get());
    std::stable_sort(result.begin(), result.end(),
                     [](Control* a, Control* b) { return a->tabIndex() < b->tabIndex(); });
    return result;
}

void Form::move(double left, double top, double width, double height) {
    const Rect r{twipsToPixels(left, tppX_), twipsToPixels(top, tppY_), twipsToPixels(width, tppX_),
                 twipsToPixels(height, tppY_)};
    if (r.width < 0 || r.height < 0)
        throw FormError("Invalid property value: Form size");
    if (state_ != WindowState::Normal)
        throw FormError("Can't move or size a maximized window");
    bounds_ = r;
    if (host_)
        host_->formChanged(FormChange::Bounds);
}

void Form::setWidth(double twips) {
    move(left(), top(), twips, height());
}
void Form::setHeight(double twips) {
    move(left(), top(), width(), twips);
}

void Form::setWindowState(WindowState state) {
    state_ = state;
    if (host_)
        host_->formChanged(FormChange::State);
}

void Form::setCaption(const std::string& caption) {
    caption_ = caption;
    if (host_)
        host_->formChanged(FormChange::Caption);
}

void Form::setBackColour(Colour colour) {
    backColour_ = colour;
    if (host_)
        host_->formChanged(FormChange::BackColour);
}

void Form::attachHost(FormHost* host, std::uintptr_t hwnd) {
    host_ = host;
    hwnd_ = hwnd;
}

void Form::setFocus(Control& control) {
    if (!control.isChildWindow() || !control.visible())
        throw FormError("Invalid procedure call: " + control.name() + ".SetFocus");
    if (host_ && !host_->setFocus(control))
        throw FormError("Invalid procedure call: " + control.name() + ".SetFocus");
    focused_ = &control;
}

Control* Form::hitTest(int x, int y) const {
    for (Control* c : windowless_)
        if (c->visible() && c->bounds().contains(x, y))
            return c;
    return nullptr;
}

Control* Form::mouseDown(int x, int y, int button, int shift) {
    Control* target = hitTest(x, y);
    captured_ = target;
    pressIsDoubleClick_ = false;
    if (target)
        target->fireMouseDown({button, shift, x - target->left(), y - target->top()});
    return target;
}

void Form::mouseUp(int x, int y, int button, int shift) {
    // A release belongs to the control that took the press; one without a press (it began
    // outside the window, or the capture was lost meanwhile) reaches no control.
    Control* target = captured_;
    const bool wasDouble = pressIsDoubleClick_;
    captured_ = nullptr;
    pressIsDoubleClick_ = false;
    if (!target)
        return;
    target->fireMouseUp({button, shift, x - target->left(), y - target->top()});
    // A click is a left press and release over the same control; the release that ends a
    // double-click gives no second Click.
    if (button == LeftButton && !wasDouble && target->visible() && target->bounds().contains(x, y))
        target->fireClick();
}

Control* Form::doubleClick(int x, int y, int shift) {
    (void)shift;
    Control* target = hitTest(x, y);
    captured_ = target;
    pressIsDoubleClick_ = true;
    if (target)
        target->fireDblClick();
    return target;
}

void Form::cancelCapture() {
    captured_ = nullptr;
    pressIsDoubleClick_ = false;
}

}  // namespace form
