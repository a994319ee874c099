# The system DLLs that are not on every supported Windows' KnownDLLs list are delay-loaded: the
# loader then does not look for them (in the program's own folder first) before WinMain has
# restricted the search to the system folder. kernel32, user32, gdi32, advapi32, shell32, ole32,
# oleaut32 and msvcrt are KnownDLLs; comctl32 stays a static import because the manifest binds
# it to the system's side-by-side assembly (version 6), which the loader resolves there, and
# InitCommonControlsEx must run before the first window. shell32 and ole32 are delay-loaded too,
# for a faster start: only the folder picker and the picture decoder (started once the window
# is shown) use them, so the window does not wait for them and the libraries they bring in to
# load.
set(NORVIK_DELAY_DLLS wininet msimg32 wintrust crypt32 gdiplus shell32 ole32 mpr)
set(NORVIK_DELAY_LIBS)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  # The 64-bit build exists only to run the tests where 32-bit programs cannot run; the delay
  # tables made below are i686's, so it imports these DLLs as usual (what the delay-loading
  # protects is tested on the i686 build only).
  set(NORVIK_DELAY_LIBS ${NORVIK_DELAY_DLLS})
  add_custom_target(norvik_delay_libs)
  return()
endif()
foreach(dll ${NORVIK_DELAY_DLLS})
  set(lib ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delayload
    COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.sh ${dll} ${lib}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/make_delay_lib.sh
    COMMENT "Delay-load import library for ${dll}.dll" VERBATIM)
  list(APPEND NORVIK_DELAY_LIBS ${lib})
endforeach()
add_custom_target(norvik_delay_libs DEPENDS ${NORVIK_DELAY_LIBS})
