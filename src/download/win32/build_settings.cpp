// Compiled into each program with its own build's settings (NORVIK_STALL_SECONDS,
// NORVIK_SIGN_CHECK_SECONDS and NORVIK_BUILD_EPOCH), so that the product and its loopback test
// copies share every other source.
#include "download/win32/download_wiring.h"

namespace {
[[maybe_unused]] const bool buildSettingsSet = [] {
    download::win32::SetStallSeconds(NORVIK_STALL_SECONDS);
    download::win32::SetCheckSeconds(NORVIK_SIGN_CHECK_SECONDS);
    download::win32::SetBuildEpoch(NORVIK_BUILD_EPOCH);
    return true;
}();
}  // namespace
