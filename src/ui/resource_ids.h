#pragma once
// Ids of the resources built into UpgradeNorvik.exe (shared by the .rc file and the code).
#define NORVIK_ICON_GROUP 1
#define NORVIK_ICON_16 30001
#define NORVIK_ICON_32 30002
#define NORVIK_BUTTON_POINTER 200

#ifndef RC_INVOKED
namespace ui {
constexpr int kAppIconGroup = NORVIK_ICON_GROUP;
constexpr int kButtonPointer = NORVIK_BUTTON_POINTER;
}  // namespace ui
#endif
