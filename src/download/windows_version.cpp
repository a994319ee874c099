#include "download/windows_version.h"

namespace download {

std::string windowsVersionName(std::uint32_t major, std::uint32_t minor, std::uint32_t platformId) {
    const bool nt = platformId == kPlatformWin32Nt;
    switch (major) {
        case 5:
            return "Windows 2000";
        case 4:
            if (nt)
                return "Windows NT 4.0";
            return minor == 0 ? "Windows 95" : "Windows 98";
        case 3:
            return nt ? "Windows NT 3.x" : "Windows 3.x";
        default:
            return "Unknown Windows Version";
    }
}

}  // namespace download
