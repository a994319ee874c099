// The file system and process start of the upgrade sequence, on the Win32 W functions.
#include "app/win32/platform.h"

#include <windows.h>

#include <string>
#include <vector>

#include "app/file_attributes.h"
#include "common/win32/utf16.h"

namespace app::win32 {
namespace {

static_assert(kAttrReadOnly == FILE_ATTRIBUTE_READONLY && kAttrHidden == FILE_ATTRIBUTE_HIDDEN &&
              kAttrSystem == FILE_ATTRIBUTE_SYSTEM && kAttrDirectory == FILE_ATTRIBUTE_DIRECTORY &&
              kAttrArchive == FILE_ATTRIBUTE_ARCHIVE && kAttrNormal == FILE_ATTRIBUTE_NORMAL &&
              kAttrInvalid == INVALID_FILE_ATTRIBUTES);

using norvik::win32::toWide;

class Win32FileSystem : public FileSystem {
  public:
    bool isPlainFile(const std::string& path) override {
        return isPlainFileAttributes(GetFileAttributesW(toWide(path).c_str()));
    }
    bool exists(const std::string& path) override {
        return GetFileAttributesW(toWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    bool deleteFile(const std::string& path) override {
        return DeleteFileW(toWide(path).c_str()) != 0;
    }
    bool createFolder(const std::string& path) override {
        return CreateDirectoryW(toWide(path).c_str(), nullptr) != 0;
    }
};

class Win32ProcessLauncher : public ProcessLauncher {
  public:
    bool start(const std::string& applicationPath) override {
        if (applicationPath.empty())
            return false;
        const std::wstring application = toWide(applicationPath);
        // The program is named explicitly, so no part of a path with spaces can be taken for
        // another program. The command line is only the quoted path, as the program's argv[0];
        // CreateProcessW may write into it, hence the writable copy.
        const std::wstring quoted = L"\"" + application + L"\"";
        std::vector<wchar_t> commandLine(quoted.begin(), quoted.end());
        commandLine.push_back(L'\0');

        STARTUPINFOW si{};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_SHOWNORMAL;
        PROCESS_INFORMATION pi{};
        if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, nullptr, &si, &pi))
            return false;
        // Not waited for: the handles are only released.
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        return true;
    }
};

}  // namespace

FileSystem& realFileSystem() {
    static Win32FileSystem files;
    return files;
}

ProcessLauncher& realProcessLauncher() {
    static Win32ProcessLauncher launcher;
    return launcher;
}

}  // namespace app::win32
