// Stand-in until the folder picker lands.
#include "shell/win32/shell_wiring.h"

namespace shell::win32 {
std::string SelectFolder() { return ""; }
}  // namespace shell::win32
