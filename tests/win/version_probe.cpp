// Prints GetWindowsVersionName() of this process, or with "tls" GetOldTlsResult(), for the
// version tests: Wine gives each program the Windows version its AppDefaults name in the registry.
#include <cstdio>
#include <cstring>

#include "download/win32/download_wiring.h"

int main(int argc, char** argv) {
    const bool tls = argc > 1 && std::strcmp(argv[1], "tls") == 0;
    std::fputs((tls ? download::win32::GetOldTlsResult() : download::win32::GetWindowsVersionName())
                   .c_str(),
               stdout);
    return 0;
}
