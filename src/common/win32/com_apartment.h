#pragma once
// The window's thread joins a single-threaded COM apartment only when a shell call first needs
// one (the folder picker, starting a program through the shell), not at start-up.
#include <windows.h>
//
#include <objbase.h>

namespace norvik::win32 {

// Makes the calling thread (the window's) a single-threaded apartment for the rest of the run,
// once; false when COM cannot be started there.
inline bool enterShellApartment() {
    static const bool entered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    return entered;
}

}  // namespace norvik::win32
