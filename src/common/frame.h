#pragma once
// The window's frame time: during a download the window's thread looks at the transfer and
// repaints at most about 30 times a second.
#include <cstdint>

namespace norvik {

inline constexpr std::uint32_t kFrameMs = 33;

}  // namespace norvik
