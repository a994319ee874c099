# What both mingw-w64 toolchains share; each sets TOOLCHAIN_PREFIX and NORVIK_WINE first.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model: its runtime imports only what Windows XP's system DLLs export (the
# posix model's thread library needs Vista's GetTickCount64). The program starts no threads.
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Windows test executables run through Wine.
find_program(WINE_PROGRAM NAMES ${NORVIK_WINE} PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
