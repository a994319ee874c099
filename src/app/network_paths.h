#pragma once
// Norvik on a mapped network drive. An elevated process does not see the drive letters mapped in
// the user's own, unelevated logon (the system keeps the two logons' drive letters apart), but
// it reaches the same share by its network path \\server\share\...
#include <string>

#include "app/services.h"

namespace app {

// "X:\" for a path that begins with a drive letter, a colon and a separator; "" for any other
// (a UNC path, a relative one).
std::string driveRootOf(const std::string& path);

// True when `folder` lies on a drive letter that this process does not see (no root there) while
// it runs elevated: the letter may well be the user's own mapping.
bool driveUnseenWhileElevated(const std::string& folder, DriveNames& drives);

// `path` by its network name when it lies on a drive letter that is a network connection (the
// form an elevated process can reach): WNetGetUniversalNameW's answer, else the drive's
// connection with the rest of the path; otherwise, and when neither is known, `path` unchanged.
std::string networkFormOf(const std::string& path, DriveNames& drives);

}  // namespace app
