#include "app/network_paths.h"

namespace app {

std::string driveRootOf(const std::string& path) {
    if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/'))
        return {};
    const char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
        return {};
    return path.substr(0, 2) + "\\";
}

bool driveUnseenWhileElevated(const std::string& folder, DriveNames& drives) {
    const std::string root = driveRootOf(folder);
    return !root.empty() && drives.kindOf(root) == DriveNames::Kind::NoRootDir &&
           drives.runsElevated();
}

std::string networkFormOf(const std::string& path, DriveNames& drives) {
    const std::string root = driveRootOf(path);
    if (root.empty() || drives.kindOf(root) != DriveNames::Kind::Remote)
        return path;
    if (std::string universal = drives.universalName(path); !universal.empty())
        return universal;
    std::string share = drives.connectionOf(path.substr(0, 2));
    if (share.empty())
        return path;
    // The rest of the path begins with its separator.
    while (!share.empty() && (share.back() == '\\' || share.back() == '/'))
        share.pop_back();
    return share + path.substr(2);
}

}  // namespace app
