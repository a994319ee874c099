#pragma once
// The partial file written beside a local path until its download is complete; a file of that
// name is this program's leftover from an interrupted run and is replaced. The engine writes it;
// the window's logic keeps room for its name in the path-length test.
#include <string>

namespace download {

inline constexpr const char* kPartialSuffix = ".part";

inline std::string partialName(const std::string& localPath) {
    return localPath + kPartialSuffix;
}

}  // namespace download
