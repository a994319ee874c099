#include "ui/frm_main_def.h"

namespace ui {
namespace {

using form::Align;
using form::Border;
using form::Colour;
using form::ControlDef;
using form::ControlKind;
using form::Font;
using form::Pointer;
using form::SystemColour;

ControlDef image(const char* name, int l, int t, int w, int h, bool stretch, const char* picture) {
    ControlDef d;
    d.name = name;
    d.kind = ControlKind::Image;
    d.left = l, d.top = t, d.width = w, d.height = h;
    d.stretch = stretch;
    d.picture = picture;
    return d;
}

ControlDef hidden(ControlDef d) {
    d.visible = false;
    return d;
}

ControlDef grip(int index, int l, int t, int w, int h, Pointer pointer) {
    ControlDef d = image("Resizer", l, t, w, h, false, "");
    d.index = index;
    d.visible = false;
    d.pointer = pointer;
    return d;
}

ControlDef button(const char* name, int l, int t, int w, int h, bool visible, int tab,
                  Border border = Border::Sunken) {
    ControlDef d;
    d.name = name;
    d.kind = ControlKind::PictureBox;
    d.left = l, d.top = t, d.width = w, d.height = h;
    d.visible = visible;
    d.tabIndex = tab;
    d.picture = name;  // each button shows the picture named after it
    d.pointer = Pointer::Button;
    d.border = border;
    return d;
}

ControlDef textBox(const char* name, int l, int t, int w, int h, bool visible, int tab) {
    ControlDef d;
    d.name = name;
    d.kind = ControlKind::TextBox;
    d.left = l, d.top = t, d.width = w, d.height = h;
    d.visible = visible;
    d.tabIndex = tab;
    d.font = Font{"Arial", 9.75, false};
    d.foreColour = Colour::rgb(0, 0, 128);
    d.backColour = Colour::system(SystemColour::Window);
    d.pointer = Pointer::IBeam;
    d.border = Border::Flat;
    return d;
}

form::FormDef build() {
    form::FormDef f;
    f.name = "frmMain";
    f.width = kMainWidthTwips;
    f.height = kMainHeightTwips;
    f.caption = "Norvik Tools";

    ControlDef title;
    title.name = "lblTitle";
    title.kind = ControlKind::Label;
    title.left = 2520, title.top = 120, title.width = 3990, title.height = 240;
    title.tabIndex = 0;
    title.text = "Norvik Tools";
    title.font = Font{"Arial", 9.75, true};
    title.foreColour = Colour::rgb(255, 255, 255);
    title.align = Align::Left;

    ControlDef bar;
    bar.name = "ProgressBar";
    bar.kind = ControlKind::Shape;
    bar.left = 180, bar.top = 3210, bar.width = 15, bar.height = 345;
    bar.foreColour = Colour::system(SystemColour::Highlight);  // outline
    bar.backColour = Colour::system(SystemColour::Highlight);  // fill

    ControlDef cap;
    cap.name = "ProgressCap";
    cap.kind = ControlKind::Label;
    cap.left = 180, cap.top = 3270, cap.width = 7560, cap.height = 300;
    cap.tabIndex = 10;
    cap.font = Font{"Arial", 8.25, true};
    cap.foreColour = Colour::system(SystemColour::WindowText);
    cap.align = Align::Center;

    // Windowless controls, topmost first.
    f.windowless = {
        hidden(image("bg5", 120, 600, 7665, 3045, false, "bg5")),
        title,
        cap,
        bar,
        hidden(image("bg3", 120, 600, 7665, 3045, false, "bg3")),
        hidden(image("bg2", 135, 600, 7665, 3045, false, "bg2")),
        image("bg", 120, 600, 7665, 3045, false, "bg"),
        image("imgTitleMaxRestore", 1680, 360, 195, 195, false, ""),
        grip(7, 2400, 120, 165, 165, Pointer::SizeNWSE),
        grip(6, 2160, 120, 165, 165, Pointer::SizeNESW),
        grip(5, 1920, 120, 165, 165, Pointer::SizeNESW),
        grip(4, 1680, 120, 165, 165, Pointer::SizeNWSE),
        grip(3, 720, 360, 855, 75, Pointer::SizeNS),
        grip(2, 720, 120, 855, 75, Pointer::SizeNS),
        grip(1, 480, 120, 75, 375, Pointer::SizeWE),
        grip(0, 240, 120, 75, 375, Pointer::SizeWE),
        image("imgTitleLeft", 5880, 0, 285, 450, false, "imgTitleLeft"),
        image("imgTitleRight", 6240, 0, 285, 450, false, "imgTitleRight"),
        image("imgTitleMain", 4320, 0, 285, 450, true, "imgTitleMain"),
        image("imgWindowBottomLeft", 6600, 0, 285, 450, false, "imgWindowBottomLeft"),
        image("imgWindowBottomRight", 6960, 0, 285, 450, false, "imgWindowBottomRight"),
        image("imgWindowBottom", 4680, 0, 285, 450, true, "imgWindowBottom"),
        image("imgWindowLeft", 5040, 0, 285, 450, true, "imgWindowLeft"),
        image("imgWindowRight", 5400, 0, 285, 450, true, "imgWindowRight"),
    };

    // Child windows in creation order.
    f.children = {
        button("cmdBr", 5220, 2040, 510, 510, false, 11, Border::Flat),
        textBox("txtPort", 1635, 2010, 3555, 360, false, 7),
        textBox("txtIP", 1635, 1530, 3555, 360, false, 6),
        textBox("txtFolder", 270, 2130, 4920, 360, false, 5),
        textBox("txtRK", 2160, 1425, 3600, 360, true, 4),
        button("cmdOK", 5880, 765, 1740, 450, false, 8),
        button("cmdExit", 5895, 2610, 1740, 450, true, 1),
        button("cmdProxy", 5880, 1995, 1740, 450, true, 2),
        button("cmdHelp", 5880, 1380, 1740, 450, true, 9),
        button("cmdUpd", 5880, 765, 1740, 450, true, 3),
    };
    return f;
}

}  // namespace

const form::FormDef& frmMainDefinition() {
    static const form::FormDef def = build();
    return def;
}

}  // namespace ui
