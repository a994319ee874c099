#pragma once
// The folder picker bound to the real shell, for WinMain.
#include <string>

namespace shell::win32 {

// The chosen folder's path, or "" when the user cancels or anything fails.
std::string SelectFolder();

}  // namespace shell::win32
