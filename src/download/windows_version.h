#pragma once
// The name of a Windows version as the start-up uses it to choose between http and https.
#include <cstdint>
#include <string>

namespace download {

inline constexpr std::uint32_t kPlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT

// One of "Windows 2000" (every 5.x), "Windows NT 4.0", "Windows 95", "Windows 98",
// "Windows NT 3.x", "Windows 3.x" and "Unknown Windows Version" (everything else, 6.0 on too).
std::string windowsVersionName(std::uint32_t major, std::uint32_t minor, std::uint32_t platformId);

}  // namespace download
