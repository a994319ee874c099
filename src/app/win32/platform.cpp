// Stand-in until the upgrade sequence's platform lands.
#include "app/win32/platform.h"

namespace app::win32 {
namespace {
class NoFiles : public FileSystem {
public:
    bool isPlainFile(const std::string&) override { return false; }
    bool exists(const std::string&) override { return false; }
    bool deleteFile(const std::string&) override { return false; }
    bool createFolder(const std::string&) override { return false; }
};
class NoLauncher : public ProcessLauncher {
public:
    bool start(const std::string&) override { return false; }
};
}  // namespace
FileSystem& realFileSystem() {
    static NoFiles f;
    return f;
}
ProcessLauncher& realProcessLauncher() {
    static NoLauncher l;
    return l;
}
}  // namespace app::win32
