#pragma once
// Fakes for the chrome's tests: the system calls it makes, and a window host that behaves like
// the real one where the chrome depends on it (maximize changes the bounds, restore puts them
// back).
#include <cstdint>
#include <string>
#include <vector>

#include "form/form.h"
#include "skin/mdl_skin.h"
#include "ui/frm_main_def.h"

namespace skin_test {

struct FakeWindowApi : skin::WindowApi {
    struct Region {
        int left, top, right, bottom, ellipseW, ellipseH;
    };
    std::vector<Region> regions;
    struct SetRgn {
        std::uintptr_t hwnd, region;
        bool redraw;
    };
    std::vector<SetRgn> setRegions;
    std::vector<std::string> calls;  // in order: "ReleaseCapture", "SendMessage"
    struct Sent {
        std::uintptr_t hwnd;
        std::uint32_t message;
        std::uintptr_t wParam;
        std::int32_t pointee;  // the 32-bit value lParam pointed to during the call
    };
    std::vector<Sent> sent;
    std::vector<skin::CursorPoint> cursor;  // answers of GetCursorPos, in turn
    bool cursorFails = false;

    std::uintptr_t createRoundRectRgn(int l, int t, int r, int b, int ew, int eh) override {
        regions.push_back({l, t, r, b, ew, eh});
        return 0x5000 + regions.size();
    }
    int setWindowRgn(std::uintptr_t hwnd, std::uintptr_t region, bool redraw) override {
        setRegions.push_back({hwnd, region, redraw});
        return 1;
    }
    bool releaseCapture() override {
        calls.push_back("ReleaseCapture");
        return true;
    }
    std::intptr_t sendMessage(std::uintptr_t hwnd, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) override {
        calls.push_back("SendMessage");
        sent.push_back({hwnd, message, wParam, *reinterpret_cast<const std::int32_t*>(lParam)});
        return 0;
    }
    bool getCursorPos(skin::CursorPoint& p) override {
        if (cursorFails || cursor.empty())
            return false;
        p = cursor.front();
        cursor.erase(cursor.begin());
        return true;
    }
};

// Applies window states the way the system does: maximizing fills the work area, restoring
// returns the normal bounds.
struct FakeHost : form::FormHost {
    form::Form* frm = nullptr;
    form::Rect workArea{0, 0, 1024, 738};
    form::Rect normal;
    int boundsChanges = 0;

    void controlChanged(form::Control&, form::ControlChange) override {}
    void formChanged(form::FormChange what) override {
        if (what == form::FormChange::Bounds)
            ++boundsChanges;
        if (what != form::FormChange::State)
            return;
        if (frm->windowState() == form::WindowState::Maximized) {
            normal = frm->boundsPixels();
            frm->boundsChangedBySystem(workArea);
        } else if (frm->windowState() == form::WindowState::Normal) {
            frm->boundsChangedBySystem(normal);
        }
    }
    bool setFocus(form::Control&) override { return true; }
};

constexpr std::uintptr_t kHwnd = 0x10AB;

// frmMain at 15 twips per pixel with the fake host attached.
struct MainWindow {
    form::Form frm{ui::frmMainDefinition(), 15, 15};
    FakeHost host;
    FakeWindowApi api;
    skin::ChromeState state;
    MainWindow() {
        host.frm = &frm;
        frm.attachHost(&host, kHwnd);
    }
    form::Rect at(const char* name, int index = -1) { return frm.control(name, index).bounds(); }
    void placeAt(int left, int top, int width, int height) {
        frm.boundsChangedBySystem({left, top, width, height});
    }
};

}  // namespace skin_test
