#pragma once
// The real file system and process start of the upgrade sequence.
#include "app/services.h"

namespace app::win32 {

FileSystem& realFileSystem();
ProcessLauncher& realProcessLauncher();

}  // namespace app::win32
