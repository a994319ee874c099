#pragma once
// The name of a Windows version as the start-up uses it to choose between http and https, and
// whether its WinINet can be expected to speak TLS 1.2.
#include <cstdint>
#include <string>

namespace download {

inline constexpr std::uint32_t kPlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT

// One of "Windows 2000" (every 5.x), "Windows NT 4.0", "Windows 95", "Windows 98",
// "Windows NT 3.x", "Windows 3.x" and "Unknown Windows Version" (everything else, 6.0 on too).
std::string windowsVersionName(std::uint32_t major, std::uint32_t minor, std::uint32_t platformId);

// True for Windows 6.0 (Vista, Server 2008), whose WinINet has no TLS 1.2, and 6.1 (7, Server
// 2008 R2), where WinINet has it off unless Internet Explorer 11 turned it on.
bool lacksTls12ByDefault(std::uint32_t major, std::uint32_t minor);

}  // namespace download
