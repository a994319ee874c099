#pragma once
// The progress caption while a complete file is checked (the update tool's signature): shown by
// the engine during a download's check and by the window during the held tool's check.
#include <string>

namespace download {

// "Dang kiem tra <file name> ...".
inline std::string checkingCaption(const std::string& localPath) {
    const std::size_t slash = localPath.find_last_of("\\/");
    return "Dang kiem tra " + localPath.substr(slash == std::string::npos ? 0 : slash + 1) + " ...";
}

}  // namespace download
