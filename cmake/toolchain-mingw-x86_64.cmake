# Cross-build for 64-bit Windows with Debian's mingw-w64 (x86_64): the Windows-side and end-to-end
# tests on a machine that cannot run 32-bit programs (and so not Wine's 32-bit loader). The
# product itself is always the i686 build.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(NORVIK_WINE wine64)  # Wine's 64-bit loader, in /usr/lib/wine
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
