# The Windows build: the Windows layer, the product, its tools and the Windows-side tests.

# Every binary is a plain Win32 Unicode program with the C++ runtime linked in statically.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501 WINVER=0x0501)
add_link_options(-static -static-libgcc -static-libstdc++)
# The same sources give the same bytes wherever and whenever they are built: no build folder in
# the objects, no link time in the PE header.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=src -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
add_link_options(-Wl,--no-insert-timestamp)
# Archives without dates, owners or modes (binutils' deterministic mode, asked for rather than
# left to the distribution's default).
foreach(lang C CXX)
  set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
# scripts/release.sh: the product without its symbol table.
option(NORVIK_RELEASE "Strip the product (the release build of scripts/release.sh)" OFF)

# The Windows layer: every src/<subsystem>/win32/*.cpp except the program's entry point.
file(GLOB NORVIK_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*/win32/*.cpp)
list(FILTER NORVIK_WIN32_SOURCES EXCLUDE REGEX ".*/(winmain|build_settings)\\.cpp$")
include(cmake/delay_load.cmake)
add_library(norvik_win32 STATIC ${NORVIK_WIN32_SOURCES})
add_dependencies(norvik_win32 norvik_delay_libs)
target_link_libraries(norvik_win32 PUBLIC norvik_core
  ${NORVIK_DELAY_LIBS} delayimp gdi32 user32 shell32 ole32 comctl32 kernel32 uuid)
norvik_warnings(norvik_win32)

# The product. The download host is compiled into WinMain only, so that the same sources also
# give a copy pointing at the loopback server of the end-to-end tests.
set(NORVIK_TEST_PORT 47080 CACHE STRING "Loopback port of the end-to-end tests' download server")
# A transfer that receives less than 1 KiB in this many seconds has failed: the product's value,
# and the loopback test copies' (short, so that the stall tests take seconds).
set(NORVIK_STALL_SECONDS 60 CACHE STRING "Seconds without 1 KiB received before a download fails")
set(NORVIK_TEST_STALL_SECONDS 4 CACHE STRING "NORVIK_STALL_SECONDS of the loopback test copies")
# How long each check of the update tool's signature may take before the upgrade stops with
# "SignTimeoutErr" (on Windows XP the check may fetch from the network).
set(NORVIK_SIGN_CHECK_SECONDS 60 CACHE STRING "Seconds each signature check of the update tool may take")
# The subject common name the update tool's Authenticode signer must have; empty turns the
# check off (see the README for what that costs).
set(NORVIK_TOOL_PUBLISHER "Norvik Software JSC" CACHE STRING
  "Signer of the update tool that the program accepts (empty: no check)")
# Whether each package must come with the maker's detached signature (<package>.p7s beside it):
# "off" asks the server for exactly the three files; "required" downloads each package's
# signature first and accepts the package only when it is signed by NORVIK_TOOL_PUBLISHER.
set(NORVIK_PACKAGE_SIGNATURES off CACHE STRING "Package signatures: off or required")
set_property(CACHE NORVIK_PACKAGE_SIGNATURES PROPERTY STRINGS off required)
if(NORVIK_PACKAGE_SIGNATURES STREQUAL "required")
  if(NORVIK_TOOL_PUBLISHER STREQUAL "")
    message(FATAL_ERROR "NORVIK_PACKAGE_SIGNATURES=required needs the signer's name: "
      "NORVIK_TOOL_PUBLISHER is empty")
  endif()
  set(norvik_package_signatures 1)
elseif(NORVIK_PACKAGE_SIGNATURES STREQUAL "off")
  set(norvik_package_signatures 0)
else()
  message(FATAL_ERROR "NORVIK_PACKAGE_SIGNATURES is off or required, not "
    "\"${NORVIK_PACKAGE_SIGNATURES}\"")
endif()
# The date of the commit the program is built from (seconds since 1970): a server certificate
# refused as out of date while the computer's date lies before it blames the clock. Empty takes
# the commit's, as the reproducible release does (SOURCE_DATE_EPOCH, else git), never the time of
# the build; a test build may set any value.
set(NORVIK_BUILD_EPOCH "" CACHE STRING "Build date, seconds since 1970 (empty: the commit's)")
set(norvik_build_epoch "${NORVIK_BUILD_EPOCH}")
if(norvik_build_epoch STREQUAL "" AND DEFINED ENV{SOURCE_DATE_EPOCH})
  set(norvik_build_epoch "$ENV{SOURCE_DATE_EPOCH}")
endif()
if(norvik_build_epoch STREQUAL "")
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct HEAD
    OUTPUT_VARIABLE norvik_build_epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT norvik_build_epoch MATCHES "^[0-9]+$")
  set(norvik_build_epoch 0)  # unknown: only the certificate's own start judges the clock
endif()
file(GLOB NORVIK_RC CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/*.rc)
# The version and description of project() for the version information and the manifest:
# "2.00" is the version's major and two-digit minor number.
set(NORVIK_GENERATED ${CMAKE_BINARY_DIR}/generated)
string(REPLACE "." "," NORVIK_VERSION_NUMBERS "${PROJECT_VERSION}")
math(EXPR norvik_minor "100 + ${PROJECT_VERSION_MINOR}")
string(SUBSTRING "${norvik_minor}" 1 2 norvik_minor)
set(NORVIK_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${norvik_minor}")
file(CONFIGURE OUTPUT ${NORVIK_GENERATED}/norvik_version.h CONTENT
"#pragma once
#define NORVIK_VERSION_NUMBERS ${NORVIK_VERSION_NUMBERS}
#define NORVIK_VERSION_TEXT \"${NORVIK_VERSION_TEXT}\"
#define NORVIK_DESCRIPTION \"${PROJECT_DESCRIPTION}\"
")
# The manifest names the program's architecture and asks for the common controls of the same
# one: a 64-bit test build that asked for the x86 assembly would get a 32-bit comctl32 and not
# start.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(NORVIK_MANIFEST_ARCH x86)
else()
  set(NORVIK_MANIFEST_ARCH amd64)
endif()
configure_file(${CMAKE_SOURCE_DIR}/src/ui/UpgradeNorvik.manifest.in
  ${NORVIK_GENERATED}/UpgradeNorvik.manifest @ONLY)
# The resource script names its pictures, icon, pointer and manifest as files: rebuild it when
# one of them changes.
file(GLOB NORVIK_RC_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/ui/art/*)
list(APPEND NORVIK_RC_FILES ${NORVIK_GENERATED}/norvik_version.h
  ${NORVIK_GENERATED}/UpgradeNorvik.manifest)
# The first screen's pictures (what the window definition shows before any code runs, and every
# button, whose box takes its picture's size) are also built in pre-decoded, so that the window
# is drawn and shown before the picture decoder (GDI+, and what it loads) is started; the other
# screens' pictures are decoded after it is shown. Made from the pictures above at build time.
set(NORVIK_PREDECODED_PICTURES bg.jpg cmdUpd.jpg cmdOK.jpg cmdHelp.jpg cmdProxy.jpg cmdExit.jpg
  cmdBr.jpg imgTitleLeft.gif imgTitleMain.gif imgTitleRight.gif imgWindowLeft.bmp
  imgWindowRight.bmp imgWindowBottom.bmp imgWindowBottomLeft.bmp imgWindowBottomRight.bmp)
find_program(NORVIK_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(norvik_predecoded_dir ${NORVIK_GENERATED}/predecoded)
set(norvik_predecoded_rc "")
set(norvik_predecoded_inputs)
set(norvik_predecoded_outputs)
foreach(picture ${NORVIK_PREDECODED_PICTURES})
  get_filename_component(name ${picture} NAME_WE)
  list(APPEND norvik_predecoded_inputs ${CMAKE_SOURCE_DIR}/src/ui/art/${picture})
  list(APPEND norvik_predecoded_outputs ${norvik_predecoded_dir}/${name}.bmp)
  string(APPEND norvik_predecoded_rc "${name} BITMAP \"predecoded/${name}.bmp\"\n")
endforeach()
add_custom_command(OUTPUT ${norvik_predecoded_outputs}
  COMMAND ${NORVIK_PYTHON3} ${CMAKE_SOURCE_DIR}/tools/art/predecode.py ${norvik_predecoded_dir}
    ${norvik_predecoded_inputs}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/art/predecode.py ${norvik_predecoded_inputs} VERBATIM)
add_custom_target(norvik_predecoded_pictures DEPENDS ${norvik_predecoded_outputs})
file(CONFIGURE OUTPUT ${NORVIK_GENERATED}/predecoded_pictures.rc CONTENT "${norvik_predecoded_rc}")
list(APPEND NORVIK_RC_FILES ${norvik_predecoded_outputs} ${NORVIK_GENERATED}/predecoded_pictures.rc)
set_source_files_properties(${NORVIK_RC} PROPERTIES OBJECT_DEPENDS "${NORVIK_RC_FILES}")
function(norvik_product target host stall_seconds output_dir package_signatures)
  add_executable(${target} WIN32 ${CMAKE_SOURCE_DIR}/src/app/win32/winmain.cpp
    ${CMAKE_SOURCE_DIR}/src/download/win32/build_settings.cpp ${NORVIK_RC})
  target_link_libraries(${target} PRIVATE norvik_win32)
  target_compile_definitions(${target} PRIVATE NORVIK_DOWNLOAD_HOST="${host}"
    NORVIK_STALL_SECONDS=${stall_seconds} NORVIK_TOOL_PUBLISHER="${NORVIK_TOOL_PUBLISHER}"
    NORVIK_SIGN_CHECK_SECONDS=${NORVIK_SIGN_CHECK_SECONDS} NORVIK_BUILD_EPOCH=${norvik_build_epoch}LL
    NORVIK_PACKAGE_SIGNATURES_REQUIRED=${package_signatures})
  target_include_directories(${target} PRIVATE ${NORVIK_GENERATED})
  add_dependencies(${target} norvik_predecoded_pictures)
  target_link_options(${target} PRIVATE -municode $<$<BOOL:${NORVIK_RELEASE}>:-s>)
  norvik_warnings(${target})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME UpgradeNorvik
    RUNTIME_OUTPUT_DIRECTORY ${output_dir})
endfunction()
norvik_product(UpgradeNorvik "${NORVIK_DOWNLOAD_HOST}" ${NORVIK_STALL_SECONDS} ${CMAKE_BINARY_DIR}
  ${norvik_package_signatures})
norvik_product(UpgradeNorvikLoopback "localhost:${NORVIK_TEST_PORT}" ${NORVIK_TEST_STALL_SECONDS}
  ${CMAKE_BINARY_DIR}/loopback ${norvik_package_signatures})
# By address: WinINet sends requests for a dotted host through a configured proxy (a dotless
# name such as localhost is "<local>" and bypasses it), so the proxy test uses this copy.
norvik_product(UpgradeNorvikLoopbackIp "127.0.0.1:${NORVIK_TEST_PORT}" ${NORVIK_TEST_STALL_SECONDS}
  ${CMAKE_BINARY_DIR}/loopback-ip ${norvik_package_signatures})
# The loopback copy that requires package signatures whatever the build's setting, for the
# end-to-end tests of signed packages (it needs a publisher to require).
if(NOT NORVIK_TOOL_PUBLISHER STREQUAL "")
  norvik_product(UpgradeNorvikLoopbackSigned "localhost:${NORVIK_TEST_PORT}"
    ${NORVIK_TEST_STALL_SECONDS} ${CMAKE_BINARY_DIR}/loopback-signed 1)
endif()

# The same copy on the path of Windows without SetDefaultDllDirectories (XP, and Vista or 7
# without its update) under Wine too, which has the call: the late DLLs are loaded by their full
# paths group by group (the planted-DLL test and bench/startup run it).
norvik_product(UpgradeNorvikOldLoader "localhost:${NORVIK_TEST_PORT}" ${NORVIK_TEST_STALL_SECONDS}
  ${CMAKE_BINARY_DIR}/old-loader ${norvik_package_signatures})
target_compile_definitions(UpgradeNorvikOldLoader PRIVATE NORVIK_WITHOUT_DEFAULT_DLL_DIRECTORIES=1)

# Programs that are not the product (test driver, stand-in update tool, CA installer, ...).
file(GLOB NORVIK_TOOL_DIRS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*/CMakeLists.txt)
foreach(tool_cmake ${NORVIK_TOOL_DIRS})
  get_filename_component(tool_dir ${tool_cmake} DIRECTORY)
  add_subdirectory(${tool_dir})
endforeach()

add_subdirectory(tests/win)
add_subdirectory(tests/e2e)
add_subdirectory(tests/release)
