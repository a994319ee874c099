#pragma once
// Everything the main window's logic calls outside itself. WinMain wires the real subsystems;
// unit tests wire fakes that record calls and script answers.
#include <functional>
#include <string>

#include "form/form.h"
#include "form/runtime.h"

namespace app {

// The file-system operations of the upgrade sequence and the folder test. Paths are UTF-8.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // True for an existing plain file (ordinary, read-only, archive); false for folders and for
    // hidden or system files.
    virtual bool isPlainFile(const std::string& path) = 0;
    // True when anything (file or folder, whatever its attributes) has this name.
    virtual bool exists(const std::string& path) = 0;
    // Deletes a file; false when it cannot be deleted.
    virtual bool deleteFile(const std::string& path) = 0;
    // Creates one folder level; false when it cannot be created.
    virtual bool createFolder(const std::string& path) = 0;
};

// Starts a program in a normal, focused window without waiting for it.
class ProcessLauncher {
  public:
    virtual ~ProcessLauncher() = default;
    // Starts exactly the program at `applicationPath` with no arguments; false when it cannot.
    virtual bool start(const std::string& applicationPath) = 0;
};

struct Services {
    // Host (and optional :port) of the download server, fixed when the program was built.
    std::string downloadHost;
    form::Runtime* runtime = nullptr;
    FileSystem* files = nullptr;
    ProcessLauncher* launcher = nullptr;

    // The download engine: remote path, local path, progress caption and bar, proxy text.
    std::function<std::string(const std::string&, const std::string&, form::Control*,
                              form::Control*, const std::string&)>
        downloadFile;
    // Closes and removes the partial file of a download that is still running (before exit).
    std::function<void()> abandonDownloads;
    // Sets the download engine's BaseUrl.
    std::function<void(const std::string&)> setBaseUrl;
    std::function<std::string()> windowsVersionName;
    std::function<void(form::Form&, bool)> setTopmost;
    // The chrome layout of the window (frame pictures, outline, grips when resizable).
    std::function<void(form::Form&, bool)> layoutSkin;
    // The folder picker: the chosen folder, or "" when cancelled or failed.
    std::function<std::string()> selectFolder;
};

}  // namespace app
