#pragma once
// The design-time definition of a form: what exists before any of the program's code runs.
// Geometry is in twips; the form converts it with the screen's twips per pixel.
#include <string>
#include <vector>

#include "form/types.h"

namespace form {

struct ControlDef {
    std::string name;
    int index = -1;  // element of a control array, -1 for a plain control
    ControlKind kind = ControlKind::Image;
    int left = 0, top = 0, width = 0, height = 0;  // twips
    bool visible = true;
    int tabIndex = -1;  // -1: takes no place in the tab order
    std::string text;   // label caption or text-box text
    Font font;
    Colour foreColour = Colour::system(SystemColour::WindowText);
    Colour backColour = Colour::system(SystemColour::Window);
    Align align = Align::Left;
    bool stretch = false;  // images: scale the picture to the control
    std::string picture;   // name of a built-in picture, "" for none
    Pointer pointer = Pointer::Default;
    Border border = Border::None;
};

struct FormDef {
    std::string name;
    int width = 0, height = 0;  // outer size, twips
    std::string caption;
    // Windowless controls, topmost first. Child windows always lie above all of them.
    std::vector<ControlDef> windowless;
    // Child windows (picture boxes, text boxes) in creation order.
    std::vector<ControlDef> children;
};

}  // namespace form
