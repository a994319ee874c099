#pragma once
// Helpers of the Windows-side tests: the servers' ports from the environment, temporary folders,
// whole-file reads and a progress view on a window model.
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "download/win32/win32_seams.h"
#include "form/form.h"
#include "progress_form.h"

namespace wintest {

using download::win32::toUtf8;
using download::win32::toWide;

// A variable set by the test runner (run_win_tests.py); nullopt when absent.
inline std::optional<std::string> env(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v)
        return std::nullopt;
    return std::string(v);
}

// Processes every pending message of the thread, as the window host's DoEvents does.
inline void pumpMessages() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
}

inline bool exists(const std::string& path) {
    return GetFileAttributesW(toWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The whole content of a file; nullopt when it cannot be opened.
inline std::optional<std::string> readAll(const std::string& path) {
    const HANDLE f = CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string data;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got > 0)
        data.append(buf, got);
    CloseHandle(f);
    return data;
}

inline bool writeAll(const std::string& path, const std::string& data) {
    const HANDLE f = CreateFileW(toWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
    CloseHandle(f);
    return ok && written == data.size();
}

// A fresh, empty folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& leaf = "") {
        wchar_t tmp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, tmp);
        static int counter = 0;
        path_ = toUtf8(tmp) + "norvik-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(++counter) + leaf;
        CreateDirectoryW(toWide(path_).c_str(), nullptr);
    }
    ~TempFolder() { removeTree(toWide(path_)); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

  private:
    static void removeTree(const std::wstring& dir) {
        WIN32_FIND_DATAW d;
        const HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &d);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = d.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const std::wstring full = dir + L"\\" + name;
                if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    removeTree(full);
                else
                    DeleteFileW(full.c_str());
            } while (FindNextFileW(h, &d));
            FindClose(h);
        }
        RemoveDirectoryW(dir.c_str());
    }
    std::string path_;
};

using testsupport::progressForm;

}  // namespace wintest
