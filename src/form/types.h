#pragma once
// Plain value types shared by the window model, its definition and its hosts.
#include <cstdint>
#include <string>

namespace form {

enum class ControlKind {
    PictureBox,  // child window showing one picture; the command buttons
    TextBox,     // single-line edit child window
    Label,       // windowless text
    Image,       // windowless picture area
    Shape,       // windowless filled rectangle
};

enum class Align { Left, Center, Right };

// Mouse pointers a control can show.
enum class Pointer { Default, IBeam, Button, SizeWE, SizeNS, SizeNWSE, SizeNESW };

enum class Border { None, Sunken, Flat };

enum class WindowState { Normal = 0, Minimized = 1, Maximized = 2 };

// The system colours the window uses; values are the Win32 COLOR_* indices.
enum class SystemColour { WindowText = 8, Window = 5, Highlight = 13 };

struct Colour {
    bool isSystem = false;
    std::uint32_t value = 0;  // 0x00BBGGRR for RGB, the COLOR_* index for system colours

    static constexpr Colour rgb(int r, int g, int b) {
        return Colour{false, static_cast<std::uint32_t>(r | (g << 8) | (b << 16))};
    }
    static constexpr Colour system(SystemColour c) {
        return Colour{true, static_cast<std::uint32_t>(c)};
    }
    friend bool operator==(const Colour&, const Colour&) = default;
};

struct Font {
    std::string face = "Arial";
    double points = 9.75;
    bool bold = false;
    friend bool operator==(const Font&, const Font&) = default;
};

// A rectangle in pixels.
struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    bool contains(int x, int y) const {
        return x >= left && y >= top && x < left + width && y < top + height;
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum MouseButton { LeftButton = 1, RightButton = 2, MiddleButton = 4 };

}  // namespace form
