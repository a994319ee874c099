#pragma once
// The one rounding rule of the program: to the nearest integer, an exact half to the even
// neighbour (banker's rounding), as the classic form runtime converts reals to integers.
#include <cfenv>
#include <cmath>
#include <cstdint>

namespace norvik {

inline double roundHalfEven(double value) {
    // std::nearbyint honours the current rounding mode, which is round-to-nearest-even unless
    // someone changed it; make the rule explicit instead of relying on the global state.
    const double floorValue = std::floor(value);
    const double diff = value - floorValue;
    if (diff > 0.5)
        return floorValue + 1.0;
    if (diff < 0.5)
        return floorValue;
    return std::fmod(floorValue, 2.0) == 0.0 ? floorValue : floorValue + 1.0;
}

inline std::int32_t roundToInt32(double value) {
    return static_cast<std::int32_t>(roundHalfEven(value));
}

}  // namespace norvik
