// The file system and process start of the upgrade sequence, on the Win32 W functions.
#include "app/win32/platform.h"

#include <windows.h>
// after windows.h, whose types it uses
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/file_attributes.h"
#include "app/win32/signature_check.h"
#include "common/win32/com_apartment.h"
#include "common/win32/unique_handle.h"
#include "common/win32/utf16.h"

namespace app::win32 {
namespace {

static_assert(kAttrReadOnly == FILE_ATTRIBUTE_READONLY && kAttrHidden == FILE_ATTRIBUTE_HIDDEN &&
              kAttrSystem == FILE_ATTRIBUTE_SYSTEM && kAttrDirectory == FILE_ATTRIBUTE_DIRECTORY &&
              kAttrArchive == FILE_ATTRIBUTE_ARCHIVE && kAttrNormal == FILE_ATTRIBUTE_NORMAL &&
              kAttrInvalid == INVALID_FILE_ATTRIBUTES);

using norvik::win32::toWide;

using FileHandle = norvik::win32::UniqueFileHandle;

std::uint32_t lastError() {
    return static_cast<std::uint32_t>(GetLastError());
}

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
    bool canReplace(const std::string& path) override {
        const std::wstring wide = toWide(path);
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY))
            return false;
        // Write and delete access without any sharing: refused for a file that any other
        // program has open, as the rename onto it would be.
        const FileHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(file);
    }
    bool createFolder(const std::string& path) override {
        return CreateDirectoryW(toWide(path).c_str(), nullptr) != 0;
    }
    bool removeFolder(const std::string& path) override {
        return RemoveDirectoryW(toWide(path).c_str()) != 0;
    }
};

// The program file, open for reading with read sharing only: it can still be read and run,
// but not written, renamed or deleted while held.
class Win32HeldProgram : public HeldProgram {
  public:
    Win32HeldProgram(std::wstring path, FileHandle file)
        : path_(std::move(path)), file_(std::move(file)) {}
    SignatureCheck signature(bool retrievalAllowed) override {
        return checkSignature(path_, file_.get(), retrievalAllowed);
    }

  private:
    std::wstring path_;
    FileHandle file_;
};

// The process's working folder; "" when it cannot be read.
std::wstring currentFolder() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0)
        return {};
    std::vector<wchar_t> buffer(needed);
    const DWORD written = GetCurrentDirectoryW(needed, buffer.data());
    return written > 0 && written < needed ? std::wstring(buffer.data(), written) : std::wstring();
}

class Win32ProcessLauncher : public ProcessLauncher {
  public:
    HoldResult hold(const std::string& path) override {
        if (path.empty())
            return HoldResult{nullptr, ERROR_FILE_NOT_FOUND};
        std::wstring wide = toWide(path);
        FileHandle file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return HoldResult{nullptr, lastError()};
        return HoldResult{std::make_unique<Win32HeldProgram>(std::move(wide), std::move(file)), 0};
    }

    std::uint32_t start(const std::string& applicationPath) override {
        if (applicationPath.empty())
            return ERROR_FILE_NOT_FOUND;
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
            return lastError();
        // Not waited for: the handles are only released.
        const norvik::win32::UniqueKernelHandle thread(pi.hThread);
        const norvik::win32::UniqueKernelHandle process(pi.hProcess);
        return 0;
    }

    std::uint32_t startElevated(const std::string& applicationPath,
                                const std::string& workingFolder) override {
        const std::wstring application = toWide(applicationPath);
        // The working folder is named: the elevated process is made by the system's elevation
        // service, not by this process, so it would not inherit ours.
        const std::wstring directory = toWide(workingFolder);
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof info;
        // No error box of the shell's own (the program shows its own), and the request is
        // complete when the call returns: the program ends right after it.
        info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
        info.lpVerb = L"runas";
        info.lpFile = application.c_str();
        info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
        info.nShow = SW_SHOWNORMAL;
        // The shell may hand the request to an extension through COM; without an apartment the
        // call is still made, and a plain program starts all the same.
        norvik::win32::enterShellApartment();
        if (!ShellExecuteExW(&info))
            return lastError();
        return 0;
    }

    std::string workingFolder() override { return norvik::win32::toUtf8(currentFolder()); }
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
