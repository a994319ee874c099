#pragma once
// Which file-system entries count as plain files for the upgrade: the decision on a Windows
// attribute mask, kept apart from the system call so that it can be checked anywhere.
#include <cstdint>

namespace app {

// Values of the Windows FILE_ATTRIBUTE_* bits used here.
inline constexpr std::uint32_t kAttrReadOnly = 0x1;
inline constexpr std::uint32_t kAttrHidden = 0x2;
inline constexpr std::uint32_t kAttrSystem = 0x4;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
// What the attribute query returns when nothing has the name (or the path is malformed).
inline constexpr std::uint32_t kAttrInvalid = 0xFFFFFFFF;

// True for an existing ordinary, read-only or archive file; false for a missing entry, a folder,
// and hidden or system files.
constexpr bool isPlainFileAttributes(std::uint32_t attrs) {
    return attrs != kAttrInvalid && (attrs & (kAttrDirectory | kAttrHidden | kAttrSystem)) == 0;
}

}  // namespace app
