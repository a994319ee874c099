#pragma once
// For procedures that skip a failing step and go on with the next one (the screen switch, the
// resize by grip, the browse command): runs one step and ignores its failure.
#include <exception>

namespace norvik {

template <typename Step>
void skipOnFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace norvik
