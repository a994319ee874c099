# Cross-build for 32-bit Windows with Debian's mingw-w64 (i686): the product.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(NORVIK_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
