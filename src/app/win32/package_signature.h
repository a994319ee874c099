#pragma once
// The check of a package against its detached CMS signature with crypt32.
#include "app/package_trust.h"

namespace app::win32 {

PackageVerifier& realPackageVerifier();

}  // namespace app::win32
