// Prints GetWindowsVersionName() of this process, for the version tests: Wine gives each
// program the Windows version its AppDefaults name in the registry.
#include <cstdio>

#include "download/win32/download_wiring.h"

int main() {
    std::fputs(download::win32::GetWindowsVersionName().c_str(), stdout);
    return 0;
}
