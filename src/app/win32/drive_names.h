#pragma once
// Drive letters, network connections and the token's elevation, as this process sees them.
#include "app/services.h"

namespace app::win32 {

DriveNames& realDriveNames();

}  // namespace app::win32
